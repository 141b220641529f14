"""Big values through the Python client and the real server: the time of each call, the server's
peak memory during it (VmHWM, reset before the call) and its memory afterwards (VmRSS).

  (a) Append of a record holding a Long Binary value of 1 MB and 10 MB, which the reply
      carries back as the stored record;
  (b) a 53 MB byte array sent as an argument (Append's value array; the server refuses it as
      no name/value array after decoding it).

Run with the release build and the system interpreter, which has python3-dbus:

  cmake --preset release -B build/release && cmake --build build/release --target vorlix-server
  PYTHONPATH=clients/python /usr/bin/python3 bench/big_values.py build/release/server/vorlix-server

Runs on a shared 2-core virtual machine. With a Variant per byte: (a) 1 MB 1.8 s, peak 288 MiB;
10 MB 19.8 s, peak 2786 MiB, 244 MiB kept after; (b) beyond the client's 25 s time-out (decoding
alone took 61 s and 7.3 GiB). With bytes kept as bytes: (a) 10 MB 0.7-1.0 s, peak 83 MiB; most of
it first touches of fresh pages, and the counter's trigger writing the new record a second time.
With the counter's number given in the INSERT and the server's big buffers on huge pages: (a)
1 MB 0.05 s, peak 18 MiB; 10 MB 0.40-0.44 s with the machine busy (the server's own CPU time
0.38 s before, 0.10 s after; the rest is the Python client), peak 67 MiB, 27 MiB after (10 MB of
it the current record); (b) 0.55-0.74 s, peak 128 MiB, nothing kept.
"""

import os
import subprocess
import sys
import tempfile
import time

MB = 1_000_000


def status(pid, field):
    """A field of /proc/<pid>/status in MiB."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    raise KeyError(field)


def measure(pid, name, carried, call):
    """Runs call once and prints its time, the server's peak memory during it against the
    budget of 4 times the bytes carried plus 32 MiB, and the server's memory before and after."""
    before = status(pid, "VmRSS")
    with open("/proc/%d/clear_refs" % pid, "w") as f:
        f.write("5")  # resets VmHWM to the present RSS
    start = time.perf_counter()
    call()
    seconds = time.perf_counter() - start
    peak, after = status(pid, "VmHWM"), status(pid, "VmRSS")
    budget = 4 * carried / 2**20 + 32
    print("%-30s %7.3f s   peak %6.1f MiB (budget %6.1f)   RSS before %5.1f, after %5.1f MiB"
          % (name, seconds, peak, budget, before, after))


def main(server):
    with tempfile.TemporaryDirectory() as folder:
        os.environ.update(VORLIX_REGISTRY=os.path.join(folder, "registry.reg"),
                          VORLIX_RUNTIME_DIR=os.path.join(folder, "run"))
        subprocess.run([server, "/RegServer"], check=True)
        import vorlix
        with vorlix.CreateObject("Vorlix.DBConnection") as db:
            pid = server_pid(os.environ["VORLIX_RUNTIME_DIR"])
            path = os.path.join(folder, "big.vdb")
            db.CreateDatabase(path)
            db.Open(path, False, False)
            db.Command("CREATE TABLE T (ID COUNTER, BIN LONGBINARY)")
            db.Table("T", "")
            for size in (1 * MB, 10 * MB):
                value = bytes(range(256)) * (size // 256) + bytes(size % 256)

                def append():
                    ok, record = db.Append(["BIN", value], False)
                    if not ok or record[3] != value:
                        raise RuntimeError("the value was not stored: %s" % db.GetLastDAOError())

                # The value goes to the server and comes back in the stored record.
                measure(pid, "(a) Append %d MB Long Binary" % (size // MB), 2 * size, append)
            array = b"\x5a" * (53 * MB)
            measure(pid, "(b) 53 MB byte array argument", len(array),
                    lambda: db.Append(array, False))


def server_pid(runtime):
    """The server serving the runtime directory: the one process whose environment names it."""
    wanted = ("VORLIX_RUNTIME_DIR=" + runtime).encode()
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if wanted in f.read().split(b"\0") and int(entry) != os.getpid():
                    return int(entry)
        except (ValueError, OSError):
            continue
    raise RuntimeError("no server found for " + runtime)


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.environ["VORLIX_SERVER"]))
