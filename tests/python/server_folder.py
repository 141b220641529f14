"""A registry and a runtime directory in a temporary folder per test class, with the real
vorlix-server ($VORLIX_SERVER) registered there; activation starts the server in it."""

import os
import socket
import struct
import subprocess
import tempfile
import time
import unittest


class ServerFolder:
    def __init__(self):
        self._temp = tempfile.TemporaryDirectory()
        self.registry, self.runtime = self.file("registry.reg"), self.file("run")
        self.socket = os.path.join(self.runtime, "server")
        os.environ.update(VORLIX_REGISTRY=self.registry, VORLIX_RUNTIME_DIR=self.runtime)
        subprocess.run([os.environ["VORLIX_SERVER"], "/RegServer"], check=True, timeout=60)

    def file(self, name):
        return os.path.join(self._temp.name, name)

    def server_pid(self):
        """The process id of the server listening on the socket."""
        probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            probe.connect(self.socket)
            creds = probe.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED,
                                     struct.calcsize("3i"))
        finally:
            probe.close()
        return struct.unpack("3i", creds)[0]

    def server_ended(self):
        """Whether the server is gone (its socket removed) within 15 s: the idle time-out, the
        pause and slack. It ends by itself only when no object and no connection is left."""
        deadline = time.monotonic() + 15
        while os.path.exists(self.socket) and time.monotonic() < deadline:
            time.sleep(0.02)
        return not os.path.exists(self.socket)

    def close(self):
        self._temp.cleanup()


class ServerTestCase(unittest.TestCase):
    """The server a class starts must end by itself once the class has released its objects."""

    @classmethod
    def setUpClass(cls):
        cls.folder = ServerFolder()

    @classmethod
    def tearDownClass(cls):
        ended = cls.folder.server_ended()
        cls.folder.close()
        if not ended:
            raise AssertionError("the server still runs: an object was not released")
