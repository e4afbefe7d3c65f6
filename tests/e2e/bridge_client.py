"""A client that speaks native messaging to tovi-bridge.exe under Wine, as a browser does: frames of a
4-byte little-endian length and UTF-8 JSON on the host's standard input and output. Used by the
end-to-end tests and the benchmark."""
import base64
import json
import queue
import struct
import subprocess
import threading

PART_TEXT = 1 << 20  # Base64 characters a part, as the page library sends them


def frame(message):
    """The frame of a message: a dict is written as JSON, bytes are sent as they are."""
    body = message if isinstance(message, bytes) else json.dumps(message).encode("utf-8")
    return struct.pack("<I", len(body)) + body


class BridgeClient:
    """One running tovi-bridge.exe. Replies are read by a thread of their own, so that a host that
    answers nothing makes recv() time out rather than hang."""

    def __init__(self, command, env=None, timeout=120):
        self.timeout = timeout
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env)
        self.replies = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.next_id = 1

    def _read(self):
        out = self.process.stdout
        while True:
            header = out.read(4)
            if len(header) < 4:
                self.replies.put(None)  # the host ended (or cut a length short)
                return
            length = struct.unpack("<I", header)[0]
            body = out.read(length)
            self.replies.put(json.loads(body.decode("utf-8")) if len(body) == length else None)

    def send(self, message):
        self.process.stdin.write(frame(message))
        self.process.stdin.flush()

    def recv(self):
        """The next reply, or None when the host ended."""
        return self.replies.get(timeout=self.timeout)

    def call(self, origin, method, **params):
        """Sends one request and returns its reply."""
        request_id = self.next_id
        self.next_id += 1
        self.send(dict(params, id=request_id, origin=origin, method=method))
        reply = self.recv()
        assert reply is None or reply["id"] == request_id, reply
        return reply

    def print_document(self, origin, data, printer=None, part_text=PART_TEXT):
        """Prints bytes as the page library does: one request, or parts of part_text characters when
        the Base64 text is longer. Returns the replies, the last one the print's own."""
        return self.print_text(origin, base64.b64encode(data).decode("ascii"), printer, part_text)

    def print_text(self, origin, text, printer=None, part_text=PART_TEXT):
        """As print_document, for a document already in Base64."""
        slices = [text[i:i + part_text] for i in range(0, len(text), part_text)] or [""]
        extra = {"printer": printer} if printer is not None else {}
        if len(slices) == 1:
            return [self.call(origin, "print", data=text, **extra)]
        return [self.call(origin, "print", data=piece, part=k, parts=len(slices), **extra)
                for k, piece in enumerate(slices, 1)]

    def close(self):
        """Ends the input (the host exits at the end of its input) and returns the exit code and
        what the host wrote on standard error."""
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass
        try:
            code = self.process.wait(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = self.process.wait()
        err = self.process.stderr.read()
        self.process.stdout.close()
        self.process.stderr.close()
        return code, err
