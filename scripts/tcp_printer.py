#!/usr/bin/env python3
"""A network "printer" on 127.0.0.1: it stores what each connection sends, the way a raw (port 9100)
printer receives a job. Every connection becomes one file, job-NNNN.bin, in the given folder; a file
appears only once its connection has closed, so a file that exists is a complete job.

Used by the end-to-end tests (as a module) and by the demo (as a program, bounded by --lifetime).
"""
import argparse
import os
import socket
import sys
import threading
import time

IDLE_LIMIT = 60.0  # seconds a connection may stay silent before it is dropped


class TcpPrinter:
    def __init__(self, directory, port=0, host="127.0.0.1"):
        self.directory = directory
        os.makedirs(directory, exist_ok=True)
        self._server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._server.bind((host, port))
        self._server.listen(8)
        self._server.settimeout(0.2)
        self.port = self._server.getsockname()[1]
        self._count = 0
        self._lock = threading.Lock()
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        self._thread.join()
        self._server.close()

    def jobs(self):
        """The complete jobs received so far, oldest first, as bytes."""
        names = sorted(n for n in os.listdir(self.directory) if n.startswith("job-") and n.endswith(".bin"))
        result = []
        for name in names:
            with open(os.path.join(self.directory, name), "rb") as f:
                result.append(f.read())
        return result

    def connections(self):
        """Connections accepted so far, finished or not."""
        with self._lock:
            return self._count

    def _accept_loop(self):
        while not self._stopping.is_set():
            try:
                conn, _ = self._server.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            with self._lock:
                self._count += 1
                number = self._count
            threading.Thread(target=self._receive, args=(conn, number), daemon=True).start()

    def _receive(self, conn, number):
        partial = os.path.join(self.directory, "partial-%04d" % number)
        conn.settimeout(IDLE_LIMIT)
        try:
            with open(partial, "wb") as out:
                while True:
                    chunk = conn.recv(1 << 16)
                    if not chunk:
                        break
                    out.write(chunk)
        except OSError:
            pass  # a dropped connection still leaves what it sent
        finally:
            conn.close()
        os.rename(partial, os.path.join(self.directory, "job-%04d.bin" % number))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dir", required=True, help="folder for the received jobs")
    parser.add_argument("--port", type=int, default=0, help="TCP port on 127.0.0.1 (0: any free one)")
    parser.add_argument("--port-file", help="write the port number here once listening")
    parser.add_argument("--lifetime", type=float, default=600, help="stop after this many seconds")
    args = parser.parse_args()
    printer = TcpPrinter(args.dir, args.port).start()
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % printer.port)
        os.rename(args.port_file + ".tmp", args.port_file)
    print("tcp_printer: listening on 127.0.0.1:%d, jobs in %s" % (printer.port, args.dir), flush=True)
    try:
        time.sleep(args.lifetime)
    except KeyboardInterrupt:
        pass
    printer.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
