"""The connection object's extension interface through the real server: the same object
answers it by QueryInterface, on its own D-Bus interface and late-bound, and a client killed
inside a transaction leaves nothing of it behind, not even its lock."""

import subprocess
import sys
import time

import vorlix
from server_folder import ServerTestCase
from vorlix import variant as v

EXTENSION_IID = "{5E3C1A77-2B94-4D0F-9A61-3C7E15D28B40}"
DISPATCH = "Vorlix.IDispatch"

# A second client that begins a transaction, inserts a row, says so and waits to be killed.
CHILD = """
import sys, vorlix
db = vorlix.CreateObject("Vorlix.DBConnection")
db.Open(sys.argv[1], False, False)
assert db.BeginTrans()
assert db.Execute("INSERT INTO T VALUES (?, ?)", [9, "gone"])[0]
print("ready", flush=True)
sys.stdin.read()
"""


class ExtensionTest(ServerTestCase):
    def setUp(self):
        self.path = self.folder.file(self.id().rsplit(".", 1)[1] + ".vdb")
        self.db = vorlix.CreateObject("Vorlix.DBConnection")
        self.addCleanup(self.db.close)
        self.db.CreateDatabase(self.path)
        self.assertEqual(self.db.Open(self.path, False, False), self.path)
        self.assertTrue(self.db.Command("CREATE TABLE T (ID LONG PRIMARY KEY, Name TEXT(20))"))

    def count(self):
        ok, cursor, _ = self.db.OpenCursor("SELECT count(*) FROM T", None)
        ok, columns, _, rows = self.db.Fetch(cursor, 5)
        self.db.CloseCursor(cursor)
        return columns[0][0]

    def test_the_same_object_answers_the_extension_every_way(self):
        call = self.db._call
        self.assertEqual(call("Vorlix.IUnknown", "QueryInterface", "s", (EXTENSION_IID,)), 0)
        xml = call("org.freedesktop.DBus.Introspectable", "Introspect", "", ())
        self.assertIn('<interface name="Vorlix.IDBConnection">', xml)
        self.assertIn('<interface name="Vorlix.IDBConnection2">', xml)
        # Late-bound names reach both interfaces; the old DISPIDs stay.
        self.assertEqual(call(DISPATCH, "GetIDsOfNames", "asu", (["execute", "pvParams"], 0)),
                         (0, [1000, 1]))
        self.assertEqual(call(DISPATCH, "GetIDsOfNames", "asu", (["GetVorlixVersion"], 0)),
                         (0, [58]))
        hr, description = call(DISPATCH, "GetTypeInfo", "uu", (0, 0))
        self.assertIn("interface IDBConnection : IDispatch", description)
        self.assertIn('[id(1002), helpstring("method Fetch")] HRESULT Fetch(', description)
        # The typed form on the extension's own D-Bus interface.
        hr, affected, last_id, cursor, columns, ok = call(
            "Vorlix.IDBConnection2", "Execute", "s(qv)",
            ("INSERT INTO T VALUES (?, ?)", v.to_variant([1, "a"])))
        self.assertEqual((hr, affected, v.from_variant(last_id), cursor, ok), (0, 1, 1, 0, -1))
        # Late-bound, through the module: a cursor, typed columns and a null mask.
        self.assertTrue(self.db.Execute("INSERT INTO T VALUES (:id, :name)",
                                        ["id", 2, "name", None])[0])
        ok, cursor, columns = self.db.OpenCursor("SELECT ID, Name FROM T ORDER BY ID", None)
        self.assertEqual([c[:2] for c in columns], [["ID", v.VT_I4], ["Name", v.VT_BSTR]])
        self.assertEqual(self.db.Fetch(cursor, 10),
                         (True, [[1, 2], ["a", ""]], [vorlix.Empty, b"\x00\x01"], 2))

    def test_a_client_killed_inside_a_transaction_leaves_nothing_and_no_lock(self):
        with subprocess.Popen([sys.executable, "-c", CHILD, self.path], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True) as child:
            try:
                self.assertEqual(child.stdout.readline(), "ready\n")
                # Not seen before commit, and the file is locked against writers.
                self.assertEqual(self.count(), 0)
                self.assertFalse(self.db.Execute("INSERT INTO T VALUES (1, 'x')", None)[0])
            finally:
                child.kill()
        # The server learns of the death from the socket; until then the lock may stay a moment.
        deadline = time.monotonic() + 10
        while not self.db.Execute("INSERT INTO T VALUES (1, 'x')", None)[0]:
            self.assertLess(time.monotonic(), deadline, self.db.GetLastDAOError())
            time.sleep(0.05)
        self.assertEqual(self.count(), 1)
