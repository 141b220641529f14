"""The DB-API driver against the real server: values of each kind both ways, transactions as
a second connection sees them, the error classes of the engine's failures, and rows read in
batches."""

import datetime
import decimal
import os

import dbus
import vorlix
from server_folder import ServerTestCase
from vorlix import dbapi, variant

D, DT = decimal.Decimal, datetime.datetime


class DbApiTest(ServerTestCase):
    def setUp(self):
        self.path = self.folder.file(self.id().rsplit(".", 1)[1] + ".vdb")
        self.db = vorlix.connect(self.path)
        self.addCleanup(self.db.close)
        self.cur = self.db.cursor()
        self.cur.execute("CREATE TABLE T (ID COUNTER PRIMARY KEY, Name TEXT(10) NOT NULL, "
                         "Price CURRENCY, At DATETIME, Data LONGBINARY, Flag BIT, N DOUBLE)")

    def second(self):
        other = vorlix.connect(self.path)
        self.addCleanup(other.close)
        return other.cursor()

    def test_values_go_and_come_back_as_they_were_by_row_and_by_column(self):
        self.assertTrue(os.path.exists(self.path))
        self.assertEqual((dbapi.apilevel, dbapi.paramstyle), ("2.0", "qmark"))
        insert = "INSERT INTO T (Name, Price, At, Data, Flag, N) VALUES (?, ?, ?, ?, ?, ?)"
        first = ("a", D("123456789012.3456"), DT(2024, 2, 29, 13, 45, 6, 7000), b"\x00\xff", True,
                 0.1)
        self.cur.execute(insert, first)
        self.assertEqual((self.cur.rowcount, self.cur.lastrowid), (1, 1))
        # executemany sends its rows column by column; U+0000 too.
        many = [("b\0c", D("-0.0001"), datetime.date(1815, 12, 10), b"", False, None),
                ("\u00e9", None, None, None, None, 2 ** 53)]
        self.cur.executemany(insert, many)
        self.assertEqual(self.cur.rowcount, 2)
        self.db.commit()
        self.cur.execute("SELECT Name, Price, At, Data, Flag, N FROM T WHERE ID <= :last "
                         "ORDER BY ID", {"last": 3})
        self.assertEqual(self.cur.rowcount, -1)
        got = self.cur.fetchall()
        self.assertEqual(got, [first, ("b\0c", D("-0.0001"), DT(1815, 12, 10), b"", False, None),
                               many[1]])
        self.assertEqual([type(x) for x in got[0]], [str, D, DT, bytes, bool, float])
        kinds = [d[1] for d in self.cur.description]
        self.assertEqual(kinds, [dbapi.STRING, dbapi.NUMBER, dbapi.DATETIME, dbapi.BINARY,
                                 dbapi.NUMBER, dbapi.NUMBER])
        self.assertEqual([(d[0], d[3], d[6]) for d in self.cur.description[:2]],
                         [("Name", 10, False), ("Price", 8, True)])
        # A moment with a zone is refused rather than shifted, and nothing is stored.
        aware = DT(2024, 1, 1, tzinfo=datetime.timezone.utc)
        with self.assertRaises(dbapi.NotSupportedError):
            self.cur.execute("INSERT INTO T (Name, At) VALUES (?, ?)", ("z", aware))
        # The server refuses columns of different lengths, and stores nothing of them.
        bounds, elements = variant.RowsByColumn([("x", 1), ("y", 2)]).payload()
        elements = [variant.to_variant(["z"]), *elements[1:]]
        form = dbus.Struct((dbus.UInt16(variant.VT_ARRAY | variant.VT_VARIANT),
                            dbus.Struct((bounds, dbus.Array(elements, signature="(qv)")),
                                        signature="a(ii)a(qv)", variant_level=1)),
                           signature="qv")
        answer = self.db._object._call("Vorlix.IDBConnection2", "ExecuteMany", "s(qv)",
                                       ("INSERT INTO T (Name, N) VALUES (?, ?)", form))
        self.assertEqual(answer[2], 0)  # bSuccess
        self.assertEqual(self.db._object.GetLastDAOError()[0], 3001)
        self.cur.execute("SELECT count(*) FROM T")
        self.assertEqual(self.cur.fetchone(), (3,))

    def test_a_transaction_is_unseen_until_commit_and_rollback_undoes_it(self):
        other = self.second()
        self.cur.execute("INSERT INTO T (Name) VALUES (?)", ("a",))
        other.execute("SELECT count(*) FROM T")
        self.assertEqual(other.fetchall(), [(0,)])
        self.db.commit()
        other.execute("SELECT count(*) FROM T")
        self.assertEqual(other.fetchall(), [(1,)])
        self.cur.execute("DELETE FROM T")
        self.db.rollback()
        # The context manager commits a block that ends normally, rolls back one that raises.
        with self.db:
            self.cur.execute("INSERT INTO T (Name) VALUES ('b')")
        with self.assertRaises(ZeroDivisionError), self.db:
            self.cur.execute("INSERT INTO T (Name) VALUES ('c')")
            1 / 0
        # Closing without commit rolls back.
        self.cur.execute("INSERT INTO T (Name) VALUES ('d')")
        self.db.close()
        other.execute("SELECT Name FROM T ORDER BY ID")
        self.assertEqual(other.fetchall(), [("a",), ("b",)])
        with self.assertRaises(dbapi.InterfaceError):
            self.db.cursor().execute("SELECT 1")

    def test_engine_failures_raise_their_pep_249_classes(self):
        self.cur.execute("CREATE TABLE R (ID LONG PRIMARY KEY, TID LONG REFERENCES T (ID))")
        self.cur.execute("INSERT INTO T (ID, Name) VALUES (1, 'a')")
        cases = [
            ("INSERT INTO T (ID, Name) VALUES (1, 'b')", (), dbapi.IntegrityError),
            ("INSERT INTO T (Price) VALUES (1)", (), dbapi.IntegrityError),
            ("INSERT INTO R VALUES (1, 99)", (), dbapi.IntegrityError),
            ("SELECT ?", ([1, 2],), dbapi.DataError),
            ("SELEC 1", (), dbapi.ProgrammingError),
            ("SELECT * FROM Missing", (), dbapi.ProgrammingError),
            ("CREATE TABLE T (X LONG)", (), dbapi.ProgrammingError),
            ("INSERT INTO T (Name) VALUES (?)", (), dbapi.ProgrammingError),
            ("BEGIN", (), dbapi.ProgrammingError),
        ]
        for sql, params, kind in cases:
            with self.subTest(sql):
                with self.assertRaises(kind) as raised:
                    self.cur.execute(sql, params)
                self.assertIsInstance(raised.exception, dbapi.DatabaseError)
                self.assertIsNotNone(raised.exception.code)
        # Values without a stored form fail before they leave, as sqlite3's do.
        with self.assertRaises(dbapi.DataError):
            self.cur.execute("SELECT ?", (2 ** 64,))
        with self.assertRaises(dbapi.ProgrammingError):
            self.cur.execute("SELECT ?", (object(),))
        # A failure leaves the connection's transaction usable: the first row still commits.
        self.db.commit()
        other = self.second()
        other.execute("SELECT Name FROM T")
        self.assertEqual(other.fetchall(), [("a",)])
        # A write that meets another connection's transaction.
        other.execute("INSERT INTO T (Name) VALUES ('x')")
        with self.assertRaises(dbapi.OperationalError):
            self.cur.execute("INSERT INTO T (Name) VALUES ('y')")
        other.connection.rollback()
        self.cur.execute("DELETE FROM T WHERE ID = 1")
        with self.assertRaises(dbapi.ProgrammingError):
            self.cur.fetchone()

    def test_a_server_uri_is_opened_not_made_into_a_file(self):
        # Nothing listens on port 1: the server is out of reach, and no file by that name
        # appears in the working folder.
        before = set(os.listdir("."))
        with self.assertRaises(dbapi.OperationalError) as raised:
            vorlix.connect("postgresql://nobody@127.0.0.1:1/none?connect_timeout=2")
        self.assertEqual(raised.exception.code, 3151)
        self.assertEqual(set(os.listdir(".")), before)

    def test_rows_are_read_in_batches_however_they_are_fetched(self):
        count = 5000  # more than one batch of the driver
        self.cur.executemany("INSERT INTO T (Name, N) VALUES (?, ?)",
                             [("n%d" % i, i) for i in range(count)])
        self.assertEqual(self.cur.rowcount, count)
        self.db.commit()
        self.cur.arraysize = 3
        self.cur.execute("SELECT N FROM T ORDER BY ID")
        head = [self.cur.fetchone(), *self.cur.fetchmany(), *self.cur.fetchmany(2)]
        middle = [next(self.cur) for _ in range(3000)]
        rest = self.cur.fetchall()
        numbers = [row[0] for row in head + middle + rest]
        self.assertEqual(numbers, [float(i) for i in range(count)])
        self.assertEqual((self.cur.fetchone(), self.cur.fetchall()), (None, []))
