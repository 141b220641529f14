"""Late-bound calls, failures and release of vorlix objects, against the real server that
activation starts in a temporary folder."""

import gc
import subprocess
import sys

import vorlix
from server_folder import ServerTestCase

PROGID = "Vorlix.DBConnection"
EXTENSION_IID = "{5E3C1A77-2B94-4D0F-9A61-3C7E15D28B40}"


class CallTest(ServerTestCase):
    def test_results_and_out_parameters(self):
        with vorlix.CreateObject(PROGID) as db:
            self.assertEqual(db.getvorlixversion(), 1)  # any letter case
            self.assertEqual(db.GetLastDAOError(), (0, ""))  # [out] values only
            self.assertIsNone(db.CloseTable("nothing"))  # neither result nor [out]
            self.assertEqual(db.Top(), (False, vorlix.Empty))  # an [out] not written
            # The same object answers the extension interface, which its description lists.
            self.assertEqual(db._call("Vorlix.IUnknown", "QueryInterface", "s",
                                      (EXTENSION_IID,)), 0)
            xml = db._call("org.freedesktop.DBus.Introspectable", "Introspect", "", ())
            self.assertIn('<interface name="Vorlix.IDBConnection2">', xml)

    def test_failures_raise_with_code_and_name(self):
        with vorlix.CreateObject(PROGID) as db:
            for args, name, arg_err in [(("NoSuchMethod",), "DISP_E_UNKNOWNNAME", None),
                                        (("GetFieldName", "x"), "DISP_E_TYPEMISMATCH", 0),
                                        (("GetFieldName", 70000), "DISP_E_OVERFLOW", 0),
                                        (("GetFieldName",), "DISP_E_BADPARAMCOUNT", None)]:
                with self.subTest(name):
                    with self.assertRaises(vorlix.VorlixError) as caught:
                        db.invoke(*args)
                    error = caught.exception
                    self.assertEqual((error.hresult, error.name, error.arg_err),
                                     (getattr(vorlix, name), name, arg_err))
            self.assertRaises(TypeError, db.GetFieldName, object())

    def test_release_on_close_with_and_collection(self):
        path = self.folder.file("held.vdb")

        def free():
            """Whether an exclusive open succeeds: no other object holds the file."""
            with vorlix.CreateObject(PROGID) as probe:
                probe.Open(path, True, False)
                return probe.IsOpen()

        holder = vorlix.CreateObject(PROGID)
        holder.CreateDatabase(path)
        holder.Open(path, True, False)
        self.assertFalse(free())
        holder.close()
        self.assertTrue(free())
        holder.close()  # a second close does nothing
        self.assertRaises(ValueError, holder.IsOpen)
        with vorlix.CreateObject(PROGID) as holder:
            holder.Open(path, True, False)
        self.assertTrue(free())
        holder = vorlix.CreateObject(PROGID)
        holder.Open(path, True, False)
        del holder
        gc.collect()
        self.assertTrue(free())
        # Still referenced at interpreter exit: no noise, nothing left behind.
        script = "import vorlix\ndb = vorlix.CreateObject(%r)\nprint(db.GetVorlixVersion())"
        run = subprocess.run([sys.executable, "-c", script % PROGID], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual((run.returncode, run.stdout, run.stderr), (0, "1\n", ""))
