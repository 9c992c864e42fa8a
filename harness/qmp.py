"""QEMU's machine protocol (QMP) over its Unix socket."""
import json
import socket
import time

from .errors import QemuError


class Qmp:
    """A minimal QMP client: one command at a time, events kept aside."""

    def __init__(self, path, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise QemuError("no QMP socket at %s" % path)
                time.sleep(0.05)
        self.sock.settimeout(timeout)
        self.reader = self.sock.makefile("rb")
        self.events = []
        self._message()  # the greeting
        self.command("qmp_capabilities")

    def _message(self):
        line = self.reader.readline()
        if not line:
            raise QemuError("QEMU closed the QMP connection")
        return json.loads(line)

    def command(self, name, **arguments):
        request = {"execute": name}
        if arguments:
            request["arguments"] = arguments
        self.sock.sendall(json.dumps(request).encode() + b"\n")
        while True:
            reply = self._message()
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise QemuError("%s: %s" % (name, reply["error"].get("desc")))
            else:
                return reply.get("return")

    def close(self):
        self.reader.close()
        self.sock.close()
