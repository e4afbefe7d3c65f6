// Runs tasks one at a time, in the order they were queued: the plug-in is synchronous, and the
// bridge answers one origin's requests in order, so one printer never has two calls in flight.
export class SerialQueue {
  constructor() {
    this.tail = Promise.resolve();
  }

  /** Queues task (a function returning a value or a promise); resolves or rejects as the task does. */
  run(task) {
    const result = this.tail.then(task);
    // A failed task must not stop the ones queued after it.
    this.tail = result.then(() => undefined, () => undefined);
    return result;
  }
}
