"""A record writer that waits for another program's lock pauses only its own call: the server
goes on serving everyone else, and the caller's next call waits behind the paused one."""

import os
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

    def test_other_clients_are_served_while_an_append_waits_for_a_lock(self):
        # Another program takes the file's write lock: the append retries, pausing between
        # attempts, until the lock goes.
        holder = sqlite3.connect(self.path, isolation_level=None)
        holder.execute("BEGIN IMMEDIATE")
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
        holder.close()
