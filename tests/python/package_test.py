"""The module as users install it: pip installs clients/python into a venv that sees the system's
dbus-python, and the installed copy, imported away from the source tree, talks to a real server."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "clients", "python")

# Run by the venv's interpreter: where the module came from, and a query through the driver.
PROGRAM = """
import os, sys, vorlix
print(vorlix.__file__)
with vorlix.connect(os.path.join(sys.argv[1], "p.vdb")) as db:
    cursor = db.cursor()
    cursor.execute("SELECT ? + 1 AS n", (41,))
    print(cursor.description[0][0], cursor.fetchone()[0])
"""


class PackageTest(unittest.TestCase):
    def test_pip_installs_a_module_that_works_outside_the_source_tree(self):
        with tempfile.TemporaryDirectory() as folder:
            # A copy: setuptools writes its build files beside the sources it builds.
            source = shutil.copytree(SOURCE, os.path.join(folder, "source"),
                                     ignore=shutil.ignore_patterns("__pycache__"))
            venv = os.path.join(folder, "venv")
            subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", venv],
                           check=True)
            python = os.path.join(venv, "bin", "python")
            subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-index",
                            "--no-build-isolation", source], check=True)
            shutil.rmtree(source)
            env = dict(os.environ, VORLIX_REGISTRY=os.path.join(folder, "registry.reg"),
                       VORLIX_RUNTIME_DIR=os.path.join(folder, "run"))
            env.pop("PYTHONPATH", None)
            subprocess.run([os.environ["VORLIX_SERVER"], "/RegServer"], env=env, check=True,
                           stdout=subprocess.DEVNULL)
            run = subprocess.run([python, "-c", PROGRAM, folder], env=env, cwd=folder,
                                 capture_output=True, text=True, timeout=60)
            self.assertEqual(run.returncode, 0, run.stderr)
            where, answer = run.stdout.splitlines()
            self.assertTrue(where.startswith(venv + "/lib/"), where)
            self.assertEqual(answer, "n 42")
            # The server the module started ends by itself once released, before its folder goes.
            socket = os.path.join(folder, "run", "server")
            deadline = time.monotonic() + 15
            while os.path.exists(socket) and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertFalse(os.path.exists(socket), "the server still runs")


if __name__ == "__main__":
    unittest.main()
