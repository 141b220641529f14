"""The wire under calls it cannot serve: wrong members and signatures get the protocol's own
errors, absurd argument counts are refused at once, and fuzzed frames leave the server serving
everyone else."""

import os
import random
import struct
import tempfile

import raw_wire
import vorlix
from server_folder import ServerTestCase

PROGID = "Vorlix.DBConnection"
DISP_E_UNKNOWNNAME = -2147352570
DISP_E_BADPARAMCOUNT = -2147352562
GET_VORLIX_VERSION = 58
INTERFACE = "Vorlix.IDBConnection"


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for %d" % pid)


class WireTestCase(ServerTestCase):
    def setUp(self):
        # Held for the whole test, so that the server stays between connections.
        self.keeper = vorlix.CreateObject(PROGID)
        self.wire = raw_wire.RawConnection(self.folder.socket)
        self.path = self.wire.create_connection_object()

    def tearDown(self):
        self.wire.close()
        self.keeper.close()


class ProtocolErrorsTest(WireTestCase):
    def test_each_wrong_call_gets_its_own_error(self):
        cases = [
            ((self.path, INTERFACE, "GetVorlixVersion", "s", raw_wire.string_body("x")),
             "org.freedesktop.DBus.Error.InvalidArgs"),
            ((self.path, "Vorlix.IDispatch", "Invoke", "s", raw_wire.string_body("x")),
             "org.freedesktop.DBus.Error.InvalidArgs"),
            ((self.path, INTERFACE, "NoSuchMethod"), "org.freedesktop.DBus.Error.UnknownMethod"),
            (("/Vorlix/DBConnection", "Vorlix.IClassFactory", "Destroy"),
             "org.freedesktop.DBus.Error.UnknownMethod"),
            (("/Vorlix/Nothing/1", INTERFACE, "GetVorlixVersion"),
             "org.freedesktop.DBus.Error.UnknownObject"),
        ]
        for call, error in cases:
            with self.subTest(call=call[:3]):
                reply = self.wire.call(*call)
                self.assertEqual((reply.kind, reply.error_name), (raw_wire.ERROR, error))
        # The protocol's own peer members stay answered.
        reply = self.wire.call(self.path, "org.freedesktop.DBus.Peer", "Ping")
        self.assertEqual(reply.kind, raw_wire.METHOD_RETURN)

    def test_a_message_that_cannot_be_read_closes_its_connection_at_once(self):
        version = raw_wire.frame(self.path, INTERFACE, "GetVorlixVersion")
        unreadable = {
            "member of invalid UTF-8": raw_wire.frame(self.path, INTERFACE, b"Get\xffVersion"),
            "type 0": raw_wire.frame(self.path, INTERFACE, "GetVorlixVersion", kind=0),
            "serial 0": raw_wire.frame(self.path, INTERFACE, "GetVorlixVersion", serial=0),
            "call without a member": raw_wire.frame(self.path, INTERFACE, None),
            "protocol version 2": version[:3] + b"\x02" + version[4:],
        }
        for case, data in unreadable.items():
            with self.subTest(case=case):
                wire = raw_wire.RawConnection(self.folder.socket, timeout=2.0)
                wire.send(data)
                # Closed, not left waiting for an answer that never comes (a timeout here).
                with self.assertRaises(ConnectionError):
                    wire.receive()
                wire.close()
        self.assertEqual(self.wire.call(self.path, INTERFACE, "GetVorlixVersion").hresult(), 0)

    def test_a_long_message_announced_holds_only_the_memory_of_what_came(self):
        pid = self.folder.server_pid()
        before = resident_kib(pid)

        def served():
            # Each answer takes a turn of the server's loop, and each turn serves one connection
            # that waits: after these, what the others sent has been read.
            for _ in range(10):
                reply = self.wire.call(self.path, INTERFACE, "GetVorlixVersion")
                self.assertEqual(reply.hresult(), 0)

        # Four calls that each announce a 100 MiB body, then send it 4 KiB at a time: room is
        # made when more of a message comes, and must follow what came, not what was announced.
        call = raw_wire.frame(self.path, INTERFACE, "Seek", "ay", b"")
        announced = call[:4] + struct.pack("<I", 100 << 20) + call[8:]
        wires = [raw_wire.RawConnection(self.folder.socket) for _ in range(4)]
        for wire in wires:
            wire.send(announced + struct.pack("<I", (100 << 20) - 4) + bytes(4092))
        served()
        for wire in wires:
            wire.send(bytes(4096))
        served()
        self.assertLess(resident_kib(pid) - before, 32 * 1024)
        for wire in wires:
            wire.close()

    def test_absurd_argument_counts_are_refused_whole(self):
        names = ["GetVorlixVersion"] + ["p%d" % i for i in range(200000)]
        reply = self.wire.call(self.path, "Vorlix.IDispatch", "GetIDsOfNames", "asu",
                               raw_wire.names_body(names))
        self.assertEqual(reply.hresult(), DISP_E_UNKNOWNNAME)
        count = struct.unpack_from("<I", reply.body, 4)[0] // 4
        self.assertEqual(count, len(names))
        reply = self.wire.call(self.path, "Vorlix.IDispatch", "Invoke", "ia(qv)",
                               raw_wire.invoke_body(GET_VORLIX_VERSION, 100000))
        self.assertEqual(reply.hresult(), DISP_E_BADPARAMCOUNT)
        reply = self.wire.call(self.path, INTERFACE, "GetVorlixVersion")
        self.assertEqual(reply.hresult(), 0)


class FuzzTest(WireTestCase):
    MESSAGES = 2000
    PER_CONNECTION = 20

    def valid_frames(self):
        body = raw_wire.string_body
        return [
            raw_wire.frame(self.path, INTERFACE, "GetVorlixVersion"),
            raw_wire.frame(self.path, "Vorlix.IDispatch", "Invoke", "ia(qv)",
                           raw_wire.invoke_body(GET_VORLIX_VERSION, 2)),
            raw_wire.frame(self.path, "Vorlix.IDispatch", "GetIDsOfNames", "asu",
                           raw_wire.names_body(["Seek", "vKey1"])),
            raw_wire.frame(self.path, INTERFACE, "Table", "ss", body("People", "ID")),
            raw_wire.frame("/Vorlix", "Vorlix.IActivator", "GetClassObject", "s",
                           body("{B1106722-DEA1-4B39-887C-E8E29D8A84C6}")),
        ]

    def mutate(self, rng, data):
        data = bytearray(data)
        how = rng.randrange(4)
        if how == 0:  # a few bytes flipped anywhere, header included
            for _ in range(rng.randint(1, 4)):
                data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        elif how == 1:  # one byte set to a boundary value
            data[rng.randrange(len(data))] = rng.choice([0, 1, 0x7F, 0x80, 0xFF])
        elif how == 2:  # the body shortened or lengthened under an unchanged header
            cut = rng.randrange(16, len(data) + 1)
            data = data[:cut] + bytes(rng.randrange(9))
        else:  # noise after a well-formed fixed header
            data = data[:16] + bytes(rng.getrandbits(8) for _ in range(rng.randrange(64)))
        return bytes(data)

    def test_fuzzed_frames_leave_the_server_serving(self):
        # Whatever a fuzzed call may create lands in a folder of the test's own.
        self.addCleanup(os.chdir, os.getcwd())
        os.chdir(tempfile.mkdtemp(dir=self.folder.file("")))
        pid = self.folder.server_pid()
        before = resident_kib(pid)
        rng = random.Random(20261207)
        valid = self.valid_frames()
        for first in range(0, self.MESSAGES, self.PER_CONNECTION):
            wire = raw_wire.RawConnection(self.folder.socket)
            for _ in range(self.PER_CONNECTION):
                try:
                    wire.send(self.mutate(rng, rng.choice(valid)))
                except (BrokenPipeError, ConnectionResetError):
                    break  # the server closed a connection it could not read
            wire.close()
            self.assertEqual(self.keeper.GetVorlixVersion(), 1, "after message %d" % first)
        self.assertEqual(self.wire.call(self.path, INTERFACE, "GetVorlixVersion").hresult(), 0)
        self.assertLess(resident_kib(pid) - before, 64 * 1024)
