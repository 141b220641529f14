"""A write that finds the disk full fails as a recorded engine failure, and leaves the file sound
and readable, on a small file system of its own."""

import contextlib
import os
import sqlite3
import subprocess

import vorlix
from server_folder import ServerTestCase

PROGID = "Vorlix.DBConnection"
DISK = 1 << 20  # bytes: room for a dozen records after the empty database
VALUE = 64 * 1024  # characters of each record


class FullDiskTest(ServerTestCase):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        self.disk = self.folder.file("disk")
        os.mkdir(self.disk)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % DISK, "tmpfs",
                                self.disk], capture_output=True, text=True, timeout=60)
        if mount.returncode != 0:
            self.skipTest("cannot mount a tmpfs: " + mount.stderr.strip())
        self.addCleanup(self.unmount)

    def unmount(self):
        # Runs after the test's objects are released, which must leave no file open there; a
        # lazy unmount still frees the mount point when one is left.
        if subprocess.run(["umount", self.disk], timeout=60).returncode != 0:
            subprocess.run(["umount", "--lazy", self.disk], timeout=60)
            self.fail("the file system was still in use after the objects were released")

    def test_full_disk_fails_the_append_and_keeps_what_was_stored(self):
        path = os.path.join(self.disk, "full.vdb")
        stored = {}
        with vorlix.CreateObject(PROGID) as db:
            self.assertTrue(db.CreateDatabase(path))
            db.Open(path, False, False)
            self.assertTrue(db.Command("CREATE TABLE Big (K LONG NOT NULL, V MEMO)"))
            self.assertTrue(db.Command("CREATE UNIQUE INDEX ByK ON Big (K)"))
            self.assertTrue(db.Table("Big", "ByK"))
            # Twice what the disk holds: an Append answering true all the way would claim
            # records that cannot be there.
            for k in range(2 * DISK // VALUE):
                value = chr(ord("a") + k % 26) * VALUE
                ok, _ = db.Append(["K", k, "V", value], False)
                if not ok:
                    break
                stored[k] = value
            else:
                self.fail("%d records of %d characters acknowledged on %d bytes"
                          % (len(stored), VALUE, DISK))
            self.assertTrue(db.IsDAOError())
            code, description = db.GetLastDAOError()
            self.assertNotEqual(code, 0)
            self.assertIn("full", description)
            self.assertTrue(stored)

            self.assertTrue(db.Table("Big", "ByK"))
            for k, value in stored.items():
                self.assertTrue(db.Seek(k)[0], k)
                self.assertEqual(db.GetFieldValue(1), (True, value), k)
            self.assertEqual(db.Count(), (True, len(stored)))

        with contextlib.closing(sqlite3.connect(path)) as file:
            self.assertEqual(file.execute("PRAGMA integrity_check").fetchall(), [("ok",)])
            self.assertEqual(dict(file.execute("SELECT K, V FROM Big")), stored)
