"""The SDK as a user gets it: the build installed into a temporary prefix, the C++ example built
against that prefix alone with find_package(Vorlix) and with pkg-config, and each build run
against the installed server, which the example starts through the registry as any client
does. The systemd units installed beside them name the server of that prefix."""

import glob
import os
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ["VORLIX_BUILD_DIR"]
EXAMPLES = os.environ["VORLIX_EXAMPLES_DIR"]
CXX = os.environ["VORLIX_CXX"]


def run(args, **kwargs):
    """Runs args to its end (2 minutes at most); its completed process, output kept."""
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


class SdkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.prefix = cls.path("prefix")
        cls.work = cls.path("work")
        os.mkdir(cls.work)
        os.environ.update(VORLIX_REGISTRY=cls.path("registry.reg"),
                          VORLIX_RUNTIME_DIR=cls.path("run"))
        cls.check(run(["cmake", "--install", BUILD, "--prefix", cls.prefix]))
        cls.check(run([os.path.join(cls.prefix, "bin", "vorlix-server"), "/RegServer"]))
        # The tour makes quickstart.vdb, whose Customers the example reads.
        cls.check(run([os.path.join(cls.prefix, "bin", "vorlix"),
                       os.path.join(EXAMPLES, "quickstart.vsh")], cwd=cls.work))

    @classmethod
    def tearDownClass(cls):
        socket = cls.path("run/server")
        deadline = time.monotonic() + 15  # idle time-out, pause and slack
        while os.path.exists(socket) and time.monotonic() < deadline:
            time.sleep(0.05)
        cls.temp.cleanup()
        if os.path.exists(socket):
            raise AssertionError("the server still runs: the example did not release its object")

    @classmethod
    def path(cls, name):
        return os.path.join(cls.temp.name, name)

    @staticmethod
    def check(done):
        if done.returncode != 0:
            raise AssertionError(f"{done.args} exited with {done.returncode}:\n"
                                 f"{done.stdout}{done.stderr}")
        return done

    def check_example(self, program):
        found = run([program, "quickstart.vdb", "Customers", "ID", "2"], cwd=self.work)
        self.assertEqual(found.returncode, 0, found.stderr)
        self.assertIn("Name: Grace\n", found.stdout)
        self.assertIn("City: Arlington\n", found.stdout)
        # Failures say what failed and end with a non-zero status, not in silence.
        for args, reason in [(["missing.vdb", "Customers", "ID", "2"], "seek: Open: error "),
                             (["quickstart.vdb", "Nobody", "ID", "2"], "seek: Table: error "),
                             (["quickstart.vdb", "Customers", "ID", "99"], "seek: Seek: ")]:
            failed = run([program] + args, cwd=self.work)
            self.assertEqual(failed.returncode, 1, args)
            self.assertEqual(failed.stdout, "", args)
            self.assertTrue(failed.stderr.startswith(reason), failed.stderr)

    def test_service_starts_the_installed_server(self):
        # The prefix given at install time, not the one the build was configured with.
        with open(os.path.join(self.prefix, "share", "systemd", "user", "vorlix.service")) as f:
            service = f.read().splitlines()
        server = os.path.join(self.prefix, "bin", "vorlix-server")
        self.assertIn(f"ExecStart={server} -Embedding", service)
        self.assertTrue(os.access(server, os.X_OK))
        self.assertTrue(os.path.exists(
            os.path.join(self.prefix, "share", "systemd", "user", "vorlix.socket")))

    def test_built_with_find_package(self):
        build = self.path("find_package")
        self.check(run(["cmake", "-S", EXAMPLES, "-B", build, "-G", "Ninja",
                        "-DCMAKE_CXX_COMPILER=" + CXX, "-DCMAKE_PREFIX_PATH=" + self.prefix]))
        self.check(run(["cmake", "--build", build]))
        self.check_example(os.path.join(build, "seek"))

    def test_built_with_pkg_config(self):
        [pc] = glob.glob(os.path.join(self.prefix, "**", "vorlix.pc"), recursive=True)
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.dirname(pc))
        flags = self.check(run(["pkg-config", "--cflags", "--libs", "vorlix"], env=env))
        program = self.path("seek")
        self.check(run([CXX, "-std=c++20", os.path.join(EXAMPLES, "seek.cpp"), "-o", program]
                       + flags.stdout.split()))
        self.check_example(program)


if __name__ == "__main__":
    unittest.main()
