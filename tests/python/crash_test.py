"""A server killed in the middle of appends loses no acknowledged record, leaves a sound file and
a client told that it went away; the next client brings a new server up by itself."""

import collections
import contextlib
import ctypes
import os
import random
import signal
import sqlite3
import threading

import vorlix
from server_folder import ServerTestCase

PROGID = "Vorlix.DBConnection"
KILLS = 4
SEED = 7
PR_SET_CHILD_SUBREAPER = 36


def setUpModule():
    # Activation starts each server as an orphaned grandchild. As their subreaper this process
    # inherits them, so it can reap the ones it kills: a server reaped is wholly gone, its
    # listening socket too, before the next client looks for one.
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


class CrashTest(ServerTestCase):
    def open_log(self, path):
        """A new object with the file open and Log current; activation starts its server."""
        db = vorlix.CreateObject(PROGID)
        self.assertEqual(db.Open(path, False, False), path)
        self.assertTrue(db.Table("Log", "ByK"))
        return db

    def test_acknowledged_records_survive_kills(self):
        path = self.folder.file("crash.vdb")
        with vorlix.CreateObject(PROGID) as db:
            self.assertTrue(db.CreateDatabase(path))
            db.Open(path, False, False)
            self.assertTrue(db.Command("CREATE TABLE Log (K LONG NOT NULL, V TEXT(40))"))
            self.assertTrue(db.Command("CREATE UNIQUE INDEX ByK ON Log (K)"))
        moments = random.Random(SEED)
        acknowledged, tried, killed = set(), 0, []
        for _ in range(KILLS):
            with self.open_log(path) as db:
                pid = self.folder.server_pid()
                self.assertNotIn(pid, killed)
                timer = threading.Timer(moments.uniform(0.05, 0.5), os.kill, (pid, signal.SIGKILL))
                timer.start()
                # Said so, whether the kill meets a call or comes between two.
                with self.assertRaisesRegex(vorlix.VorlixError,
                                            r"^E_FAIL \(0x80004005\): the server went away: "):
                    while True:
                        tried += 1
                        ok, _ = db.Append(["K", tried, "V", "record %d" % tried], False)
                        if not ok:
                            self.fail("Append answered false: %s" % (db.GetLastDAOError(),))
                        acknowledged.add(tried)
                # A call that failed before the kill must not be hidden by it: the server then
                # lives on and ends by itself, which the status below tells apart.
                timer.cancel()
                timer.join()
            _, status = os.waitpid(pid, 0)
            self.assertEqual(os.WTERMSIG(status) if os.WIFSIGNALED(status) else None,
                             signal.SIGKILL)
            killed.append(pid)
        with self.open_log(path) as db:
            pid = self.folder.server_pid()
            ok, served = db.Count()
            self.assertTrue(ok)
        self.assertTrue(self.folder.server_ended())
        os.waitpid(pid, 0)

        with contextlib.closing(sqlite3.connect(path)) as file:
            self.assertEqual(file.execute("PRAGMA integrity_check").fetchall(), [("ok",)])
            rows = file.execute("SELECT K, V FROM Log").fetchall()
        keys = collections.Counter(k for k, _ in rows)
        self.assertEqual([k for k, n in keys.items() if n > 1], [])
        self.assertEqual(acknowledged - keys.keys(), set())
        self.assertLessEqual(keys.keys(), set(range(1, tried + 1)))
        self.assertEqual([(k, v) for k, v in rows if v != "record %d" % k], [])
        self.assertEqual(served, len(rows))
