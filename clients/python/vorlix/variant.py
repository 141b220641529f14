"""Python values to and from the VARIANT on the wire: a D-Bus "(qv)", the VARTYPE and a payload
whose signature the VARTYPE fixes, as the table in protocol/WireNames.h gives it.

To the wire: Empty -> VT_EMPTY, None -> VT_NULL, bool -> VT_BOOL, int -> VT_I4 (VT_I8 when it
does not fit), float -> VT_R8, str -> VT_BSTR, datetime.datetime/date -> VT_DATE,
decimal.Decimal -> VT_CY, bytes/bytearray -> VT_ARRAY|VT_UI1, list/tuple ->
VT_ARRAY|VT_VARIANT from 0. From the wire every VARTYPE comes back as the nearest Python
type: integers as int, VT_R4/VT_R8 as float, VT_CY and VT_DECIMAL as Decimal, VT_DATE as
datetime, VT_ERROR as its int code, a one-dimensional byte array as bytes, other arrays as
lists (nested, first index outermost, for more dimensions; lower bounds are not kept).
"""

import datetime
import decimal
import math
import operator
import struct

import dbus

VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR = 0, 1, 2, 3, 4, 5, 6, 7, 8
VT_ERROR, VT_BOOL, VT_VARIANT, VT_DECIMAL = 10, 11, 12, 14
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = 16, 17, 18, 19, 20, 21, 22, 23
VT_ARRAY = 0x2000

# The VARTYPEs whose payload is an integer that Python keeps as int.
_INTEGERS = {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT, VT_ERROR}

_INT32 = range(-2**31, 2**31)
_INT64 = range(-2**63, 2**63)


class _EmptyType:
    """VT_EMPTY: no value at all, as an [out] parameter the method did not write. False in a
    Boolean context; vorlix.Empty is its only instance."""

    _instance = None

    # One instance even through copy and pickle, which call the class: values are told by
    # identity ("is Empty").
    def __new__(cls):
        if cls._instance is None:
            cls._instance = super().__new__(cls)
        return cls._instance

    def __bool__(self):
        return False

    def __repr__(self):
        return "vorlix.Empty"


Empty = _EmptyType()

# Dates: days since 1899-12-30; the fraction of a day counts forward from the day even when
# the day is negative (-1.25 is 1899-12-29 06:00). Valid from 0100-01-01 to 9999-12-31.
_EPOCH = datetime.datetime(1899, 12, 30)
_MS_PER_DAY = 86_400_000
_MIN_DAY = -657434
_MAX_DAY = 2958466  # exclusive


def encode_date(value):
    """The Automation date of a datetime or date, to the millisecond (wall-clock fields; a
    tzinfo is not consulted). OverflowError outside 0100-01-01 .. 9999-12-31."""
    if not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    day = value.toordinal() - _EPOCH.toordinal()
    ms = ((value.hour * 60 + value.minute) * 60 + value.second) * 1000
    ms += (value.microsecond + 500) // 1000
    if ms == _MS_PER_DAY:
        day, ms = day + 1, 0
    if not _MIN_DAY <= day < _MAX_DAY:
        raise OverflowError("date outside 0100-01-01 .. 9999-12-31: %r" % (value,))
    fraction = ms / _MS_PER_DAY
    return day + fraction if day >= 0 else day - fraction


def decode_date(value):
    """The datetime of an Automation date, rounded to the millisecond (a time rounding up to
    midnight moves to the next day). ValueError for NaN, infinities and dates outside the
    range."""
    if not _MIN_DAY - 1 < value < _MAX_DAY:
        raise ValueError("VT_DATE outside the valid range: %r" % value)
    whole = math.trunc(value)
    scaled = abs(value - whole) * _MS_PER_DAY
    ms = math.floor(scaled)
    if scaled - ms >= 0.5:  # half away from zero, as the server rounds
        ms += 1
    day = whole
    if ms == _MS_PER_DAY:
        day, ms = day + 1, 0
    if day >= _MAX_DAY:
        raise ValueError("VT_DATE outside the valid range: %r" % value)
    return _EPOCH + datetime.timedelta(days=day, milliseconds=ms)


# Enough digits for any currency amount, so quantizing rounds exactly once.
_CURRENCY_CONTEXT = decimal.Context(prec=40, rounding=decimal.ROUND_HALF_EVEN)


def decimal_to_currency(value):
    """A Decimal as currency: a 64-bit count of ten-thousandths, rounded half to even.
    OverflowError when not finite or out of the 64-bit range."""
    # adjusted() bounds the digits before quantizing; the exact range check follows.
    if not value.is_finite() or value.adjusted() > 15:
        raise OverflowError("Decimal out of the currency range: %s" % value)
    scaled = int(value.quantize(decimal.Decimal("0.0001"), context=_CURRENCY_CONTEXT)
                 .scaleb(4, context=_CURRENCY_CONTEXT))
    if scaled not in _INT64:
        raise OverflowError("Decimal out of the currency range: %s" % value)
    return scaled


def _scaled_decimal(magnitude, negative, places):
    """magnitude * 10**-places with its sign, built exactly (no context rounding)."""
    return decimal.Decimal((1 if negative else 0, tuple(map(int, str(magnitude))), -places))


def _text(value):
    """VT_BSTR as UTF-8 "s", or UTF-16 code units "aq" when D-Bus cannot carry the text: it
    holds U+0000 or an unpaired surrogate."""
    if "\0" not in value:
        try:
            value.encode("utf-8")
            return dbus.String(value, variant_level=1)
        except UnicodeEncodeError:
            pass
    data = value.encode("utf-16-le", "surrogatepass")
    units = struct.unpack("<%dH" % (len(data) // 2), data)
    return dbus.Array(units, signature="q", variant_level=1)


def _array(bounds_count, elements, element_signature):
    """The "(a(ii)a<element>)" payload of a one-dimensional array from 0."""
    return dbus.Struct((dbus.Array([dbus.Struct((0, bounds_count), signature="ii")],
                                   signature="(ii)"),
                        elements),
                       signature="a(ii)a" + element_signature, variant_level=1)


def to_variant(value):
    """The "(qv)" D-Bus value of a Python value; TypeError for a type with no VARIANT form,
    OverflowError for an int beyond 64 bits, a Decimal beyond currency or a date out of range."""
    if value is Empty:
        vt, payload = VT_EMPTY, dbus.Byte(0, variant_level=1)
    elif value is None:
        vt, payload = VT_NULL, dbus.Byte(0, variant_level=1)
    elif isinstance(value, bool):  # before int: bool is an int
        vt, payload = VT_BOOL, dbus.Int16(-1 if value else 0, variant_level=1)
    elif isinstance(value, int):
        if value in _INT32:
            vt, payload = VT_I4, dbus.Int32(value, variant_level=1)
        elif value in _INT64:
            vt, payload = VT_I8, dbus.Int64(value, variant_level=1)
        else:
            raise OverflowError("int beyond 64 bits: %d" % value)
    elif isinstance(value, float):
        vt, payload = VT_R8, dbus.Double(value, variant_level=1)
    elif isinstance(value, str):
        vt, payload = VT_BSTR, _text(value)
    elif isinstance(value, datetime.date):
        vt, payload = VT_DATE, dbus.Double(encode_date(value), variant_level=1)
    elif isinstance(value, decimal.Decimal):
        vt, payload = VT_CY, dbus.Int64(decimal_to_currency(value), variant_level=1)
    elif isinstance(value, (bytes, bytearray)):
        vt, payload = VT_ARRAY | VT_UI1, _array(len(value), dbus.ByteArray(value), "y")
    elif isinstance(value, (list, tuple)):
        elements = dbus.Array([to_variant(e) for e in value], signature="(qv)")
        vt, payload = VT_ARRAY | VT_VARIANT, _array(len(value), elements, "(qv)")
    elif isinstance(value, RowsByColumn):
        vt, payload = VT_ARRAY | VT_VARIANT, value.payload()
    else:
        raise TypeError("no VARIANT form for %s" % type(value).__name__)
    return dbus.Struct((dbus.UInt16(vt), payload), signature="qv")


def _utf8_texts(values):
    """Whether strings can be elements of a D-Bus string array: UTF-8 without U+0000. One pass
    over them all joined, which is far cheaper than a call per string."""
    text = "".join(values)
    if "\0" in text:
        return False
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:  # an unpaired surrogate
        return False
    return True


# How a column whose values (Nulls aside) all have one Python type travels as a typed array:
# its VARTYPE, the D-Bus element signature, the value standing in for a Null, and the
# conversion of each value (None: as it is).
_TYPED_COLUMNS = {
    bool: (VT_BOOL, "n", False, lambda v: -1 if v else 0),
    float: (VT_R8, "d", 0.0, None),
    str: (VT_BSTR, "s", "", None),
    datetime.datetime: (VT_DATE, "d", _EPOCH, encode_date),
    datetime.date: (VT_DATE, "d", _EPOCH, encode_date),
    decimal.Decimal: (VT_CY, "x", decimal.Decimal(0), decimal_to_currency),
}


def _typed_column(values):
    """A column's values as one typed array, or None when they cannot share one: values of
    several types, binary values, text that is not plain UTF-8, ints beyond 64 bits."""
    types = set(map(type, values))
    types.discard(type(None))
    if types == {datetime.datetime, datetime.date}:
        types = {datetime.date}
    if len(types) != 1:
        return None
    kind = types.pop()
    if kind is int:
        present = [v for v in values if v is not None] if None in values else values
        least, most = min(present), max(present)
        if least not in _INT64 or most not in _INT64:
            return None
        wide = least not in _INT32 or most not in _INT32
        vt, signature, zero, convert = (VT_I8, "x", 0, None) if wide else (VT_I4, "i", 0, None)
    elif kind in _TYPED_COLUMNS:
        vt, signature, zero, convert = _TYPED_COLUMNS[kind]
        if kind is str and not _utf8_texts(filter(None, values)):
            return None
    else:
        return None
    if None in values:
        values = [zero if v is None else v for v in values]
    if convert is not None:
        values = list(map(convert, values))
    return dbus.Struct((dbus.UInt16(VT_ARRAY | vt),
                        _array(len(values), dbus.Array(values, signature=signature), signature)),
                       signature="qv")


class RowsByColumn:
    """Rows of parameter values (sequences of equal length) that travel column by column, the
    shape Fetch answers: a two-dimensional VARIANT array, columns x 2, of each column's values
    and its Null mask. A column whose values share a type is one typed array with a VT_UI1 mask
    (1 for a Null), so the wire carries a few arrays rather than a VARIANT per value; any other
    column is an array of VARIANTs, its Nulls among them."""

    def __init__(self, rows):
        self.rows = rows

    def payload(self):
        # itemgetter per column: zip(*rows) takes several times as long for many rows.
        width = len(self.rows[0]) if self.rows else 0
        columns = [list(map(operator.itemgetter(c), self.rows)) for c in range(width)]
        values, masks = [], []
        for column in columns:
            typed = _typed_column(column)
            if typed is None:
                values.append(to_variant(list(column)))
                masks.append(to_variant(Empty))
            else:
                values.append(typed)
                nulls = bytes([v is None for v in column]) if None in column else None
                masks.append(to_variant(Empty if nulls is None else nulls))
        bounds = dbus.Array([dbus.Struct((0, len(columns)), signature="ii"),
                             dbus.Struct((0, 2), signature="ii")], signature="(ii)")
        return dbus.Struct((bounds, dbus.Array(values + masks, signature="(qv)")),
                           signature="a(ii)a(qv)", variant_level=1)


def _scalar(vt, payload):
    """The Python value of a scalar payload of type vt."""
    if vt == VT_EMPTY:
        return Empty
    if vt == VT_NULL:
        return None
    if vt == VT_BOOL:
        return payload != 0
    if vt in (VT_R4, VT_R8):
        return float(payload)
    if vt == VT_DATE:
        return decode_date(float(payload))
    if vt == VT_CY:
        return _scaled_decimal(abs(int(payload)), payload < 0, 4)
    if vt == VT_DECIMAL:
        scale, sign, hi, lo = payload
        return _scaled_decimal(int(hi) << 64 | int(lo), sign & 0x80, int(scale))
    if vt == VT_BSTR:
        if isinstance(payload, dbus.Array):  # "aq": UTF-16 code units
            data = struct.pack("<%dH" % len(payload), *payload)
            return data.decode("utf-16-le", "surrogatepass")
        return str(payload)
    if vt == VT_VARIANT:
        return from_variant(payload)
    if vt in _INTEGERS:
        return int(payload)
    raise ValueError("VARTYPE %d is not carried on the wire" % vt)


# The element types whose values one builtin converts, for whole arrays at once: a fetched
# column holds thousands of them. (A VT_BSTR element is always a D-Bus string.)
_ELEMENTS = dict.fromkeys(_INTEGERS, int)
_ELEMENTS.update({VT_R4: float, VT_R8: float, VT_BSTR: str, VT_BOOL: bool})


def _shape(flat, counts):
    """Nested lists from elements in array order (first index varies fastest)."""
    if len(counts) == 1:
        return list(flat)
    return [_shape(flat[i::counts[0]], counts[1:]) for i in range(counts[0])]


def from_variant(wire):
    """The Python value of a "(qv)" D-Bus value (as read with byte_arrays=True)."""
    vt, payload = int(wire[0]), wire[1]
    if not vt & VT_ARRAY:
        return _scalar(vt, payload)
    element_vt = vt & ~VT_ARRAY
    bounds, elements = payload
    counts = [int(count) for _, count in bounds]
    if element_vt == VT_UI1 and len(counts) == 1:
        return bytes(elements)
    convert = _ELEMENTS.get(element_vt)
    if convert is None:
        return _shape([_scalar(element_vt, e) for e in elements], counts)
    return _shape(list(map(convert, elements)), counts)
