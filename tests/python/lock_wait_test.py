"""A record writer that waits for another program's lock pauses only its own call: the server
goes on serving everyone else, the caller's next call waits behind the paused one, and a server
told to stop answers the paused call before it goes."""

import os
import signal
import sqlite3
import statistics
import tempfile
import threading
import time

import vorlix
from server_folder import ServerTestCase

PROGID = "Vorlix.DBConnection"


class LockWaitTest(ServerTestCase):
    def setUp(self):
        self.path = os.path.join(tempfile.mkdtemp(dir=self.folder.file("")), "locked.vdb")
        with vorlix.CreateObject(PROGID) as db:
            self.assertTrue(db.CreateDatabase(self.path))
            self.assertEqual(db.OpenForWrite(self.path), (True, False))
            self.assertTrue(db.Command("CREATE TABLE People (ID LONG, Name TEXT(20))"))
            db.Close()

    def hold_write_lock(self):
        """Another program's write lock on the file, held until the test ends."""
        holder = sqlite3.connect(self.path, isolation_level=None)
        holder.execute("BEGIN IMMEDIATE")
        self.addCleanup(holder.close)
        return holder

    def test_other_clients_are_served_while_an_append_waits_for_a_lock(self):
        # Another program takes the file's write lock: the append retries, pausing between
        # attempts, until the lock goes.
        holder = self.hold_write_lock()
        done = []
        with vorlix.CreateObject(PROGID) as writer, vorlix.CreateObject(PROGID) as other:
            self.assertEqual(writer.OpenForWrite(self.path), (True, False))
            self.assertTrue(writer.Table("People", ""))

            def append():
                done.append(("append", writer.Append(["ID", 1, "Name", "Ann"], False)[0]))

            def version_behind_the_append():
                # The same object, the same connection: answered only after the append.
                time.sleep(0.2)
                done.append(("version", writer.GetVorlixVersion()))

            threads = [threading.Thread(target=append),
                       threading.Thread(target=version_behind_the_append)]
            for thread in threads:
                thread.start()
            time.sleep(0.5)
            waits = []
            for _ in range(10):
                start = time.monotonic()
                self.assertEqual(other.GetVorlixVersion(), 1)
                waits.append(time.monotonic() - start)
            self.assertEqual(done, [], "the append did not wait for the lock")
            self.assertLess(statistics.median(waits), 0.05)
            holder.execute("COMMIT")
            for thread in threads:
                thread.join(30)
            self.assertEqual(done, [("append", True), ("version", 1)])
            self.assertEqual(other.OpenForWrite(self.path), (True, False))
            self.assertTrue(other.Table("People", ""))
            self.assertEqual(other.Count(), (True, 1))

    def test_a_stopped_server_answers_the_waiting_call_before_it_goes(self):
        self.hold_write_lock()
        done = []
        with vorlix.CreateObject(PROGID) as writer:
            self.assertEqual(writer.OpenForWrite(self.path), (True, False))
            self.assertTrue(writer.Table("People", ""))
            thread = threading.Thread(
                target=lambda: done.append(writer.Append(["ID", 2, "Name", "Bo"], False)[0]))
            thread.start()
            time.sleep(0.5)
            os.kill(self.folder.server_pid(), signal.SIGTERM)
            thread.join(30)
        # The remaining attempts run without pauses; the lock is still held, so they fail.
        self.assertEqual(done, [False])
        self.assertTrue(self.folder.server_ended())
