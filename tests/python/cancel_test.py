"""Cancel through the DB-API driver against the real server: a statement stopped from another
thread of its client, while other clients are served and another process may not stop it; and
the statement of a client that is killed."""

import os
import subprocess
import sys
import threading
import time

import vorlix
from server_folder import ServerTestCase
from vorlix import dbapi

# Counts for hours unless stopped.
FOREVER = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n"

# Another process of the same user asks to cancel the object at argv[1]; prints the answer.
STRANGER = """
import sys, dbus, vorlix.activation
connection = vorlix.activation.connect_running()
try:
    print(connection.call_blocking(None, sys.argv[1], "Vorlix.IDBConnection2", "Cancel", "", ()))
except dbus.exceptions.DBusException as e:
    print(e.get_dbus_name())
"""

# A client that starts argv[2] on the file argv[1], says so, and waits for its rows.
VICTIM = """
import sys, vorlix
cursor = vorlix.connect(sys.argv[1]).cursor()
cursor.execute(sys.argv[2])
print("ready", flush=True)
cursor.fetchall()
"""


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class CancelTest(ServerTestCase):
    def setUp(self):
        self.path = self.folder.file(self.id().rsplit(".", 1)[1] + ".vdb")

    def wait_for_work(self, pid, since):
        """Returns once the server has spent a fifth of a second of CPU since since: it runs
        the statement, having nothing else to do."""
        deadline = time.monotonic() + 30
        while cpu_seconds(pid) - since < 0.2:
            self.assertLess(time.monotonic(), deadline, "the statement does not run")
            time.sleep(0.02)

    def test_only_its_client_stops_a_statement_and_others_are_served_meanwhile(self):
        db = vorlix.connect(self.path)
        self.addCleanup(db.close)
        self.assertFalse(db.cancel())  # nothing runs
        server = self.folder.server_pid()
        cursor, failures = db.cursor(), []

        def count():
            try:
                cursor.execute(FOREVER)
                cursor.fetchall()
            except dbapi.OperationalError as e:
                failures.append(e.code)

        before = cpu_seconds(server)
        thread = threading.Thread(target=count)
        thread.start()
        self.wait_for_work(server, before)
        with vorlix.CreateObject("Vorlix.DBConnection") as other:
            self.assertEqual(other.GetVorlixVersion(), 1)
        stranger = subprocess.run([sys.executable, "-c", STRANGER, db._object.path],
                                  capture_output=True, text=True, timeout=60)
        self.assertEqual(stranger.stdout, "org.freedesktop.DBus.Error.UnknownObject\n",
                         stranger.stderr)
        self.assertTrue(thread.is_alive())
        self.assertTrue(db.cancel())
        thread.join(30)
        self.assertFalse(thread.is_alive())
        self.assertEqual(failures, [3059])
        cursor.execute("SELECT 42")
        self.assertEqual(cursor.fetchall(), [(42,)])

    def test_the_statement_of_a_killed_client_stops(self):
        vorlix.connect(self.path).close()
        with subprocess.Popen([sys.executable, "-c", VICTIM, self.path, FOREVER],
                              stdout=subprocess.PIPE, text=True) as child:
            try:
                self.assertEqual(child.stdout.readline(), "ready\n")
                server = self.folder.server_pid()
                self.wait_for_work(server, cpu_seconds(server))
            finally:
                child.kill()
        # The call holds its object, and the server with it, until the statement ends.
        self.assertTrue(self.folder.server_ended())
