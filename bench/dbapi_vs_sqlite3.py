"""The DB-API driver against Python's sqlite3 module, in the same run on the same database file:

  executemany  100,000 rows of 3 columns (integer, text, double) inserted and committed;
  fetchall     the same 100,000 rows x 3 columns read back.

Each figure is a median over rounds that alternate the two; the ratio is the median of
vorlix.dbapi's time over sqlite3's (goal: within 3x, a process boundary against none). Run
with the release build and the system interpreter, which has python3-dbus:

  cmake --preset release && cmake --build --preset release -j2 --target vorlix-server
  PYTHONPATH=clients/python /usr/bin/python3 bench/dbapi_vs_sqlite3.py \
      build/release/server/vorlix-server

Two runs on a shared 2-core machine (load 4): executemany 2.66x and 2.84x (0.29-0.31 s against
0.11-0.12 s; it was some 50x with a VARIANT per value), fetchall 2.54x and 2.57x (0.19-0.22 s
against 0.09 s). What is left of executemany is mostly the server's: decoding a Variant per
value, binding it, and SQLite's own insert.
"""

import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

ROWS = 100_000
ROUNDS = 5
COLUMNS = "(ID LONG, Name TEXT(40), Amount DOUBLE)"


def timed(prepare, work):
    """The time of work, after prepare (not timed)."""
    prepare()
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def compare(ours, theirs):
    """Medians of the two times and of their ratio, over ROUNDS rounds that alternate them, so
    that a machine whose load drifts weighs on both alike. ours and theirs: (prepare, work)."""
    rounds = [(timed(*ours), timed(*theirs)) for _ in range(ROUNDS)]
    return (statistics.median(a for a, _ in rounds), statistics.median(b for _, b in rounds),
            statistics.median(a / b for a, b in rounds))


def main(server):
    with tempfile.TemporaryDirectory() as folder:
        os.environ.update(VORLIX_REGISTRY=os.path.join(folder, "registry.reg"),
                          VORLIX_RUNTIME_DIR=os.path.join(folder, "run"))
        subprocess.run([server, "/RegServer"], check=True, stdout=subprocess.DEVNULL)
        import vorlix
        path = os.path.join(folder, "bench.vdb")
        rows = [(i, "name %d" % i, i * 0.25) for i in range(ROWS)]
        db = vorlix.connect(path)
        cur = db.cursor()
        # The same table twice, one for each writer: sqlite3 inserts into S as the driver does
        # into T, and both read T back.
        cur.execute("CREATE TABLE T " + COLUMNS)
        cur.execute("CREATE TABLE S " + COLUMNS)
        lite = sqlite3.connect(path)

        def empty(table):
            def run():
                cur.execute("DELETE FROM " + table)
                db.commit()
            return run

        def vorlix_insert():
            cur.executemany("INSERT INTO T VALUES (?, ?, ?)", rows)
            db.commit()

        def sqlite_insert():
            lite.executemany("INSERT INTO S VALUES (?, ?, ?)", rows)
            lite.commit()

        def vorlix_read():
            cur.execute("SELECT ID, Name, Amount FROM T")
            assert len(cur.fetchall()) == ROWS

        def sqlite_read():
            assert len(lite.execute("SELECT ID, Name, Amount FROM T").fetchall()) == ROWS

        def nothing():
            pass

        figures = [("executemany",
                    compare((empty("T"), vorlix_insert), (empty("S"), sqlite_insert))),
                   ("fetchall", compare((nothing, vorlix_read), (nothing, sqlite_read)))]
        lite.close()
        db.close()
        print("%d rows x 3 columns, medians    vorlix.dbapi    sqlite3    ratio" % ROWS)
        for name, (ours, theirs, ratio) in figures:
            print("%-31s %9.3f s  %7.3f s  %6.2fx" % (name, ours, theirs, ratio))


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.environ["VORLIX_SERVER"]))
