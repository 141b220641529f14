"""pandas on a DB-API connection to the real server: to_sql creates, appends to and replaces a
table (pandas speaks its sqlite3 dialect to any DB-API connection, which the engine's SQL
accepts), and read_sql with parameters reads the rows back as they went."""

import unittest
import warnings

import vorlix
from server_folder import ServerTestCase

try:
    import pandas
except ImportError:
    pandas = None


@unittest.skipIf(pandas is None, "pandas is not installed (Debian's python3-pandas)")
class PandasTest(ServerTestCase):
    def setUp(self):
        # pandas warns on every call with a DB-API connection other than sqlite3's.
        self.enterContext(warnings.catch_warnings())
        warnings.filterwarnings("ignore", "pandas only supports SQLAlchemy", UserWarning)
        self.db = vorlix.connect(self.folder.file("pandas.vdb"))
        self.addCleanup(self.db.close)

    def test_to_sql_writes_what_read_sql_reads_back(self):
        frame = pandas.DataFrame({
            "k": [1, 2, 3],
            "s": ["x", None, "z\u00e9"],
            "v": [0.5, float("nan"), -2.0],
            "d": pandas.to_datetime(["2024-01-01", None, "2024-03-01 10:00:00.250"]),
        })
        self.assertEqual(frame.to_sql("P", self.db, index=False), 3)
        with self.assertRaises(ValueError):  # it exists now
            frame.to_sql("P", self.db, index=False)
        frame.to_sql("P", self.db, index=False, if_exists="append")
        back = pandas.read_sql("SELECT * FROM P WHERE k >= ? ORDER BY k", self.db, params=(2,))
        expected = pandas.concat([frame.iloc[1:]] * 2).sort_values("k", kind="stable")
        pandas.testing.assert_frame_equal(back, expected.reset_index(drop=True))
        frame.iloc[:1].to_sql("P", self.db, if_exists="replace")
        self.assertEqual(pandas.read_sql("SELECT * FROM P", self.db).to_dict("records"),
                         [{"index": 0, "k": 1, "s": "x", "v": 0.5,
                           "d": pandas.Timestamp("2024-01-01")}])
