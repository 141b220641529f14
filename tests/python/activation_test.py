"""Why activation fails, as the VorlixError says it, against real registry files, real programs
and folders. A server killed in the middle of a call is crash_test's."""

import os
import select
import socket
import threading
import time
from unittest import mock

import vorlix
from server_folder import ServerTestCase

PROGID = "Vorlix.DBConnection"
CLSID = "{B1106722-DEA1-4B39-887C-E8E29D8A84C6}"
SERVER_KEY = "CLSID\\%s\\LocalServer32" % CLSID


def environment(name, value):
    return mock.patch.dict(os.environ, {name: value})


class ActivationErrorTest(ServerTestCase):
    def failure(self):
        """The VorlixError CreateObject raises, and how long it took."""
        start = time.monotonic()
        with self.assertRaises(vorlix.VorlixError) as caught:
            vorlix.CreateObject(PROGID)
        return caught.exception, time.monotonic() - start

    def registry(self, name, lines):
        """A registry file of the given lines, which the next activation reads."""
        path = self.folder.file(name)
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        return environment("VORLIX_REGISTRY", path)

    def test_registry_failures_name_the_file_and_the_missing_key(self):
        # A runtime directory of its own, where no earlier test's server may still listen.
        with environment("VORLIX_RUNTIME_DIR", self.folder.file("unstarted")), \
                self.assertRaises(vorlix.VorlixError) as caught:
            vorlix.CreateObject("Vorlix.Nothing")
        self.assertFalse(os.path.exists(self.folder.file("unstarted/server")))
        self.assertEqual(str(caught.exception),
                         "REGDB_E_CLASSNOTREG (0x80040154): Vorlix.Nothing: unknown ProgID: %s "
                         "has no key HKEY_CLASSES_ROOT\\Vorlix.Nothing\\CLSID"
                         % self.folder.registry)
        progid_only = ["[HKEY_CLASSES_ROOT\\%s\\CLSID]" % PROGID, '@="%s"' % CLSID]
        with self.registry("progid.reg", progid_only):
            error, _ = self.failure()
        self.assertEqual(error.hresult, vorlix.REGDB_E_CLASSNOTREG)
        self.assertTrue(str(error).endswith(
            "class %s has no registered server: %s has no value HKEY_CLASSES_ROOT\\%s"
            % (CLSID, self.folder.file("progid.reg"), SERVER_KEY)), error)
        with environment("VORLIX_REGISTRY", self.folder.file("none.reg")):
            error, _ = self.failure()
        self.assertIn("no registry file %s; register the server" % self.folder.file("none.reg"),
                      str(error))

    def test_a_server_that_cannot_run_or_ends_at_once_is_reported_at_once(self):
        script = self.folder.file("ends.sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\nexit 3\n")
        moved = self.folder.file("moved")
        registry = self.folder.file("moved.reg")
        where = " (HKEY_CLASSES_ROOT\\%s in %s): " % (SERVER_KEY, registry)
        for program, mode, expected in [
                (moved, None, "cannot start the server " + moved + where +
                 "No such file or directory"),
                (script, 0o644, "cannot start the server " + script + where + "Permission denied"),
                (script, 0o755, "the server %s (pid " % script)]:
            with self.subTest(program=program, mode=mode):
                if mode is not None:
                    os.chmod(program, mode)
                lines = ["[HKEY_CLASSES_ROOT\\%s\\CLSID]" % PROGID, '@="%s"' % CLSID,
                         "[HKEY_CLASSES_ROOT\\%s]" % SERVER_KEY, '@="%s"' % program]
                # A runtime directory of its own: the class's server may still run.
                with self.registry("moved.reg", lines), \
                        environment("VORLIX_RUNTIME_DIR", self.folder.file("unserved")):
                    error, took = self.failure()
                self.assertEqual(error.hresult, vorlix.E_FAIL)
                self.assertLess(took, 3, error)
                self.assertTrue(str(error).startswith("E_FAIL (0x80004005): " + expected), error)

    def test_a_server_that_cannot_listen_is_named_with_its_log(self):
        runtime = self.folder.file("occupied")
        os.mkdir(runtime, 0o700)
        with open(os.path.join(runtime, "server"), "w") as f:
            f.write("not a socket")
        with environment("VORLIX_RUNTIME_DIR", runtime):
            error, _ = self.failure()
        log = os.path.join(runtime, "server.log")
        self.assertTrue(str(error).endswith(") ended before it listened on %s; see %s"
                                            % (os.path.join(runtime, "server"), log)), error)

    def test_a_runtime_directory_of_the_wrong_mode_or_owner_is_named(self):
        shared = self.folder.file("shared")
        os.mkdir(shared)
        os.chmod(shared, 0o750)
        with environment("VORLIX_RUNTIME_DIR", shared):
            error, _ = self.failure()
            self.assertEqual(str(error), "E_FAIL (0x80004005): runtime directory %s: mode 0750 "
                             "lets other users in; it must be 0700" % shared)
            if os.geteuid() != 0:
                self.skipTest("only root can give a folder to another user")
            os.chmod(shared, 0o700)
            os.chown(shared, 65534, 65534)
            error, _ = self.failure()
            self.assertEqual(str(error), "E_FAIL (0x80004005): runtime directory %s: owned by "
                             "uid 65534, not by this user (uid 0)" % shared)

    def test_a_server_that_ends_as_it_is_reached_is_replaced(self):
        # An ending server can take a connection into its socket's queue and close without
        # answering it: activation connects again and starts a new server.
        runtime = self.folder.file("ending")
        os.mkdir(runtime, 0o700)
        path = os.path.join(runtime, "server")
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(4)

        def end():
            select.select([listener], [], [], 10)
            time.sleep(0.3)  # the client's call is sent by now
            os.unlink(path)
            listener.close()

        ending = threading.Thread(target=end)
        ending.start()
        with environment("VORLIX_RUNTIME_DIR", runtime):
            with vorlix.CreateObject(PROGID) as db:
                self.assertEqual(db.GetVorlixVersion(), 1)
        ending.join()
