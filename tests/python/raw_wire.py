"""The wire at the level of bytes: a socket to the server that authenticates and then sends
whatever frames a test builds, well-formed or not, and reads the answers. Little-endian D-Bus
marshalling of the few types the tests need."""

import os
import socket
import struct

METHOD_CALL, METHOD_RETURN, ERROR = 1, 2, 3
_PATH, _INTERFACE, _MEMBER, _ERROR_NAME, _REPLY_SERIAL, _SIGNATURE = 1, 2, 3, 4, 5, 8


def _pad(data, alignment):
    return data + b"\0" * (-len(data) % alignment)


def _string(data, text):
    """data (bytes, or a bytearray extended in place) followed by text as a string."""
    raw = text if isinstance(text, bytes) else text.encode()
    data += b"\0" * (-len(data) % 4)
    data += struct.pack("<I", len(raw)) + raw + b"\0"
    return data


def _signature(data, text):
    raw = text.encode()
    return data + bytes([len(raw)]) + raw + b"\0"


def frame(path, interface, member, signature="", body=b"", serial=1, kind=METHOD_CALL):
    """A message as bytes; member may be bytes, so that it can hold what no text holds."""
    fields = b""
    for code, sig, value in ((_PATH, "o", path), (_INTERFACE, "s", interface),
                             (_MEMBER, "s", member), (_SIGNATURE, "g", signature)):
        if value is None or (code == _SIGNATURE and not value):
            continue
        fields = _pad(fields, 8) + bytes([code])
        fields = _signature(fields, sig)
        fields = _signature(fields, value) if sig == "g" else _string(fields, value)
    header = struct.pack("<cBBBII", b"l", kind, 0, 1, len(body), serial)
    return _pad(header + struct.pack("<I", len(fields)) + fields, 8) + body


def string_body(*texts):
    """Arguments that are all strings ("s", "ss" ...)."""
    data = b""
    for text in texts:
        data = _string(data, text)
    return data


def names_body(names, lcid=0):
    """GetIDsOfNames' arguments: the names ("as"), then the locale ("u")."""
    data = bytearray(4)
    for name in names:
        _string(data, name)
    data[0:4] = struct.pack("<I", len(data) - 4)
    return _pad(bytes(data), 4) + struct.pack("<I", lcid)


def invoke_body(dispid, arg_count=0):
    """Invoke's arguments: the DISPID, then arg_count VT_EMPTY arguments, each (qv) = (0, y 0)
    in 6 bytes, padded to 8 before the next."""
    element = struct.pack("<H", 0) + _signature(b"", "y") + b"\0"
    elements = b"\0\0".join([element] * arg_count)
    return struct.pack("<iI", dispid, len(elements)) + elements


class Reply:
    def __init__(self, kind, reply_serial, error_name, body):
        self.kind, self.reply_serial, self.error_name, self.body = (
            kind, reply_serial, error_name, body)

    def hresult(self):
        return struct.unpack_from("<i", self.body)[0]

    def path(self):
        """The object path that follows the HRESULT in an "io" answer."""
        size = struct.unpack_from("<I", self.body, 4)[0]
        return self.body[8:8 + size].decode()


class RawConnection:
    """An authenticated connection; timeout bounds every read."""

    def __init__(self, socket_path, timeout=5.0):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(socket_path)
        uid = str(os.getuid()).encode().hex()
        self.sock.sendall(b"\0AUTH EXTERNAL " + uid.encode() + b"\r\n")
        if not self._line().startswith(b"OK "):
            raise ConnectionError("authentication refused")
        self.sock.sendall(b"BEGIN\r\n")
        self._serial = 100

    def _line(self):
        line = b""
        while not line.endswith(b"\r\n"):
            chunk = self.sock.recv(1)
            if not chunk:
                raise ConnectionError("closed during authentication")
            line += chunk
        return line

    def _exactly(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise ConnectionError("closed by the server")
            data += chunk
        return data

    def send(self, data):
        self.sock.sendall(data)

    def receive(self):
        """The next message from the server; ConnectionError when it closed the connection,
        socket.timeout when nothing came in time."""
        fixed = self._exactly(16)
        kind = fixed[1]
        body_size, _, fields_size = struct.unpack_from("<III", fixed, 4)
        rest = self._exactly(-(16 + fields_size) % 8 + fields_size + body_size)
        fields, body = rest[:fields_size], rest[len(rest) - body_size:]
        reply_serial, error_name, at = None, None, 0
        while at < len(fields):
            at += -at % 8
            code, sig_size = fields[at], fields[at + 1]
            sig = fields[at + 2:at + 2 + sig_size]
            at += 3 + sig_size
            if sig in (b"s", b"o"):
                at += -(at + 16) % 4
                size = struct.unpack_from("<I", fields, at)[0]
                value = fields[at + 4:at + 4 + size].decode()
                at += 5 + size
            elif sig == b"g":
                size = fields[at]
                value = fields[at + 1:at + 1 + size].decode()
                at += 2 + size
            else:
                at += -(at + 16) % 4
                value = struct.unpack_from("<I", fields, at)[0]
                at += 4
            if code == _REPLY_SERIAL:
                reply_serial = value
            elif code == _ERROR_NAME:
                error_name = value
        return Reply(kind, reply_serial, error_name, body)

    def call(self, path, interface, member, signature="", body=b""):
        """Sends a well-formed call and waits for its answer."""
        self._serial += 1
        self.send(frame(path, interface, member, signature, body, self._serial))
        while True:
            reply = self.receive()
            if reply.reply_serial == self._serial:
                return reply

    def create_connection_object(self):
        factory = self.call("/Vorlix", "Vorlix.IActivator", "GetClassObject", "s",
                            string_body("{B1106722-DEA1-4B39-887C-E8E29D8A84C6}")).path()
        return self.call(factory, "Vorlix.IClassFactory", "CreateInstance", "s",
                         string_body("{21E29A29-971A-41E6-A6D5-8859DB03FC05}")).path()

    def close(self):
        self.sock.close()
