"""Every value conversion, both ways: through the real server where a method carries the value
(typed fields, SQL results), through a real D-Bus message for the VARTYPEs no method returns."""

import datetime
import decimal
import unittest

import dbus
import dbus.lowlevel

import vorlix
from server_folder import ServerTestCase
from vorlix import variant as v

D, DT = decimal.Decimal, datetime.datetime


class ServerValuesTest(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.db = vorlix.CreateObject("Vorlix.DBConnection")
        path = cls.folder.file("values.vdb")
        cls.db.CreateDatabase(path)
        cls.db.Open(path, False, False)
        cls.db.Command("CREATE TABLE T (ID COUNTER, B BIT, Y BYTE, I SHORT, L LONG, C CURRENCY, "
                       "S SINGLE, D DOUBLE, T DATETIME, BIN LONGBINARY, TX TEXT(50), M MEMO)")
        cls.db.Table("T", "")

    @classmethod
    def tearDownClass(cls):
        cls.db.close()
        super().tearDownClass()

    def append(self, **values):
        """The record as the server stored it, appended with values as name/value pairs."""
        ok, record = self.db.Append([x for pair in values.items() for x in pair], False)
        self.assertTrue(ok, self.db.GetLastDAOError())
        return vorlix.record_dict(record)

    def test_python_values_through_typed_fields(self):
        sent = dict(B=True, Y=200, I=-1234, L=2_000_000_000, C=D("-12.3456"), S=0.5, D=0.1,
                    T=DT(2024, 2, 29, 13, 45, 6, 789000), BIN=b"\x00\xffab",
                    TX="h\xe9llo \U0001F600", M="x" * 3000)
        stored = self.append(**sent)
        self.assertEqual({k: (type(stored[k]), stored[k]) for k in sent},
                         {k: (type(x), x) for k, x in sent.items()})
        # Null, false, an int beyond 32 bits (VT_I8), a date, microseconds to milliseconds.
        stored = self.append(B=False, L=None, D=2**40, T=datetime.date(2000, 1, 1))
        self.assertEqual([stored[k] for k in "BLDT"], [False, None, 2.0**40, DT(2000, 1, 1)])
        self.assertEqual(self.append(T=DT(1815, 12, 10, 0, 0, 0, 1500))["T"],
                         DT(1815, 12, 10, 0, 0, 0, 2000))

    def test_values_of_sql_results(self):
        self.assertEqual(self.db.SQL("SELECT 9000000000000000001 AS big, 'a' || char(0) || 'b' "
                                     "AS nul, X'00ff' AS blob, NULL AS absent, 2.5 AS real, "
                                     "'Grüße ☃ 𝄞' AS [tëxt]"),
                         (True, ["*NewRecord*", "big", 9000000000000000001, "nul", "a\0b",
                                 "blob", b"\x00\xff", "absent", None, "real", 2.5,
                                 "tëxt", "Grüße ☃ 𝄞"]))

    def test_binary_values_keep_every_byte(self):
        # Every byte value, megabytes given as a bytearray, and no bytes at all (empty, not
        # None): as the append answers them and as SQL reads them from the file.
        for sent in (bytes(range(256)), bytearray(b"\x00\xff\x7f" * 1_000_000), b""):
            with self.subTest(size=len(sent)):
                stored = self.append(BIN=sent)
                self.assertEqual((type(stored["BIN"]), stored["BIN"]), (bytes, bytes(sent)))
                self.assertEqual(self.db.SQL("SELECT BIN FROM T WHERE ID = %d" % stored["ID"]),
                                 (True, [bytes(sent)]))

    def test_dates_count_days_from_1899_12_30_with_time_forward(self):
        # The text the server stores shows how it read the date; the field read back is the
        # server's own value decoded.
        for value, text in [(DT(1899, 12, 29, 6), "1899-12-29 06:00:00"),
                            (DT(100, 1, 1, 12), "0100-01-01 12:00:00"),
                            (DT(9999, 12, 31, 23, 59, 59, 999000), "9999-12-31 23:59:59.999")]:
            with self.subTest(text):
                stored = self.append(T=value)
                self.assertEqual(stored["T"], value)
                self.assertEqual(self.db.SQL("SELECT CAST(T AS TEXT) FROM T WHERE ID = %d"
                                             % stored["ID"]), (True, [text]))
        with self.assertRaises(OverflowError):
            self.db.Append(["T", datetime.date(99, 12, 31)], False)

    def test_currency_has_four_places_and_a_64_bit_range(self):
        self.assertEqual(self.append(C=D("1.00005"))["C"], D("1.0000"))  # half to even
        self.assertEqual(self.append(C=D("1.00015"))["C"], D("1.0002"))
        self.assertEqual(v.decimal_to_currency(D("922337203685477.5807")), 2**63 - 1)
        self.assertEqual(v.decimal_to_currency(D("-922337203685477.5808")), -2**63)
        for value in ("922337203685477.58075", "-922337203685477.5809", "1e300", "NaN"):
            with self.subTest(value), self.assertRaises(OverflowError):
                self.db.Append(["C", D(value)], False)


def through_dbus(wire):
    """from_variant of a (qv) marshalled into a real message and read back as replies are."""
    message = dbus.lowlevel.MethodCallMessage(None, "/t", "t.T", "T")
    message.append(wire, signature="(qv)")
    return v.from_variant(message.get_args_list(byte_arrays=True)[0])


def wire(vt, payload_type, *payload, **keywords):
    return dbus.Struct((dbus.UInt16(vt), payload_type(*payload, variant_level=1, **keywords)))


def array(vt, bounds, elements, element_signature):
    return wire(vt | v.VT_ARRAY, dbus.Struct, (dbus.Array(bounds, signature="(ii)"),
                dbus.Array(elements, signature=element_signature)),
                signature="a(ii)a" + element_signature)


class WireOnlyValuesTest(unittest.TestCase):
    def test_every_other_vartype_decodes(self):
        decimal_payload = (dbus.Byte(28), dbus.Byte(0x80), dbus.UInt32(2**32 - 1),
                           dbus.UInt64(2**64 - 1))
        cases = [
            (wire(v.VT_EMPTY, dbus.Byte, 0), vorlix.Empty),
            (wire(v.VT_I1, dbus.Int16, -128), -128),
            (wire(v.VT_UI2, dbus.UInt16, 65535), 65535),
            (wire(v.VT_UI4, dbus.UInt32, 2**32 - 1), 2**32 - 1),
            (wire(v.VT_UI8, dbus.UInt64, 2**64 - 1), 2**64 - 1),
            (wire(v.VT_INT, dbus.Int32, -5), -5),
            (wire(v.VT_UINT, dbus.UInt32, 5), 5),
            (wire(v.VT_ERROR, dbus.Int32, vorlix.DISP_E_OVERFLOW), vorlix.DISP_E_OVERFLOW),
            (wire(v.VT_R4, dbus.Double, 0.25), 0.25),
            (wire(v.VT_DECIMAL, dbus.Struct, decimal_payload),
             D("-7.9228162514264337593543950335")),
            (wire(v.VT_BSTR, dbus.Array, [0x61, 0xD800, 0x62], signature="q"), "a\ud800b"),
            (array(v.VT_BSTR, [(0, 2)], ["x", "y"], "s"), ["x", "y"]),
            # 2 x 3 from (0, 1): the first index varies fastest.
            (array(v.VT_I4, [(0, 2), (1, 3)], [1, 2, 3, 4, 5, 6], "i"), [[1, 3, 5], [2, 4, 6]]),
            (array(v.VT_UI1, [(0, 2), (0, 2)], dbus.ByteArray(b"\x01\x02\x03\x04"), "y"),
             [[1, 3], [2, 4]]),
        ]
        for wired, expected in cases:
            with self.subTest(expected=expected):
                decoded = through_dbus(wired)
                self.assertEqual((type(decoded), decoded), (type(expected), expected))

    def test_values_no_method_echoes(self):
        for value, expected in [("a\ud800b", "a\ud800b"), (bytearray(b"\x01"), b"\x01"),
                                ([1, [2.5, "x"], ()], [1, [2.5, "x"], []])]:
            self.assertEqual(through_dbus(v.to_variant(value)), expected)
        self.assertRaises(OverflowError, v.to_variant, 2**63)
        self.assertRaises(TypeError, v.to_variant, {"a": 1})
