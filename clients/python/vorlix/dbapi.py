"""vorlix.dbapi: a Python DB-API 2.0 driver over the connection object's extension interface.

    import vorlix
    with vorlix.connect("shop.vdb") as db:  # a missing file is created, as sqlite3 does
        cur = db.cursor()
        cur.execute("CREATE TABLE Items (Name TEXT(40), Price CURRENCY)")
        cur.executemany("INSERT INTO Items VALUES (?, ?)", [("tea", Decimal("2.5"))])
        cur.execute("SELECT Name, Price FROM Items WHERE Price < :most", {"most": 3})
        print(cur.fetchall())

Parameters are bound by the server, never written into the text: a sequence for "?" places, a
mapping for ":name" or "@name" ones. INSERT, UPDATE, DELETE and REPLACE start a transaction
that lasts until commit() or rollback(); other statements run on their own. Rows are read in
batches as they are fetched, column by column, and executemany sends its rows column by column
too: a typed array for each column whose values share a type.
"""

import collections
import datetime
import itertools
import os
import time as _time

import dbus

from .dispatch import DispatchObject
from .activation import activate, connect_running
from .errors import VorlixError, wire_error
from .variant import Empty, RowsByColumn

apilevel = "2.0"
threadsafety = 1  # threads may share the module, not connections
paramstyle = "qmark"

# VARTYPEs of the column description.
_VT_I2, _VT_I4, _VT_R4, _VT_R8, _VT_CY, _VT_DATE, _VT_BSTR = 2, 3, 4, 5, 6, 7, 8
_VT_BOOL, _VT_VARIANT, _VT_UI1, _VT_I8, _VT_BYTES = 11, 12, 17, 20, 0x2000 | 17

# Rows asked of the server at a time while iterating or fetching all.
_BATCH = 2048


class Warning(Exception):  # noqa: A001 (the name PEP 249 gives it)
    pass


class Error(Exception):
    """A failure; .code is the engine's error code when the server gave one."""

    def __init__(self, message, code=None):
        super().__init__(message)
        self.code = code


class InterfaceError(Error):
    pass


class DatabaseError(Error):
    pass


class DataError(DatabaseError):
    pass


class OperationalError(DatabaseError):
    pass


class IntegrityError(DatabaseError):
    pass


class InternalError(DatabaseError):
    pass


class ProgrammingError(DatabaseError):
    pass


class NotSupportedError(DatabaseError):
    pass


# The engine's error codes by the kind of failure they are; a code not listed is a
# DatabaseError.
_ERRORS = {
    # a duplicate key, a required value missing or empty, a relation's rule broken
    IntegrityError: (3022, 3200, 3201, 3303, 3314, 3315),
    # a value that does not convert to its field's type, or does not fit its size
    DataError: (3163, 3421),
    # the statement or its parameters are wrong: syntax, unknown table, field, index or
    # parameter, a name in use, a statement of the wrong kind or refused
    ProgrammingError: (3001, 3010, 3012, 3019, 3020, 3021, 3061, 3065, 3075, 3078, 3125, 3159,
                       3191, 3219, 3264, 3265, 3283, 3284, 3800),
    # the database, its file or other users: engine and file failures, read-only, locks held
    # by others (the codes that writers retry on among them), a record deleted meanwhile, a
    # statement cancelled, a database server out of reach
    OperationalError: (3000, 3009, 3024, 3027, 3044, 3046, 3051, 3059, 3151, 3158, 3164, 3167,
                       3186, 3187, 3188, 3189, 3202, 3204, 3211, 3212, 3218, 3225, 3260, 3261,
                       3262, 3343, 3356, 3624),
}
_ERROR_BY_CODE = {code: kind for kind, codes in _ERRORS.items() for code in codes}


class _TypeObject:
    """Compares equal to each VARTYPE of its kind (PEP 249's type objects)."""

    def __init__(self, *vartypes):
        self._vartypes = frozenset(vartypes)

    def __eq__(self, other):
        return other in self._vartypes

    def __hash__(self):
        return hash(self._vartypes)


STRING = _TypeObject(_VT_BSTR)
BINARY = _TypeObject(_VT_BYTES)
NUMBER = _TypeObject(_VT_I2, _VT_I4, _VT_I8, _VT_R4, _VT_R8, _VT_CY, _VT_BOOL, _VT_UI1)
DATETIME = _TypeObject(_VT_DATE)
ROWID = _TypeObject(_VT_I4, _VT_I8)

Date = datetime.date
Time = datetime.time
Timestamp = datetime.datetime
Binary = bytes


def DateFromTicks(ticks):
    return Date(*_time.localtime(ticks)[:3])


def TimeFromTicks(ticks):
    return Time(*_time.localtime(ticks)[3:6])


def TimestampFromTicks(ticks):
    return Timestamp(*_time.localtime(ticks)[:6])


# A time of day alone is stored on the date the engine counts days from.
_DAY_ZERO = datetime.date(1899, 12, 30)


def _value(value):
    """A parameter as the server binds it. A timezone-aware datetime or time is refused: the
    engine keeps no zone, and shifting it silently would store another moment."""
    if isinstance(value, (datetime.datetime, datetime.time)) and value.tzinfo is not None:
        raise NotSupportedError("a timezone-aware %s has no stored form; give a naive one"
                                % type(value).__name__)
    if isinstance(value, datetime.time):
        return datetime.datetime.combine(_DAY_ZERO, value)
    return value


def _parameters(params):
    """The server's parameter array: values in order, or name/value pairs for a mapping."""
    if params is None:
        return Empty
    if isinstance(params, dict):
        return [x for name, value in params.items() for x in (name, _value(value))]
    if isinstance(params, (str, bytes)):
        raise ProgrammingError("parameters are a sequence or a mapping, not %s"
                               % type(params).__name__)
    return [_value(value) for value in params]


def _parameter_rows(seq_of_parameters):
    """ExecuteMany's rows: sequences of one length go column by column, which the wire carries
    as a typed array per column; mappings (named places) go row by row."""
    rows = list(seq_of_parameters)
    by_column = all(issubclass(kind, (list, tuple)) for kind in set(map(type, rows)))
    if not rows or not by_column or len(set(map(len, rows))) != 1:
        return [_parameters(p) for p in rows]
    # _value refuses or converts only these; other values go as they are.
    kinds = set(map(type, itertools.chain.from_iterable(rows)))
    if any(issubclass(kind, (datetime.datetime, datetime.time)) for kind in kinds):
        rows = [[_value(v) for v in row] for row in rows]
    return RowsByColumn(rows)


def _column(values, nulls):
    """A fetched column as a list: a VT_UI1 array arrives as bytes, Nulls by their mask."""
    values = list(values)
    if nulls is not Empty:
        for row, null in enumerate(nulls):
            if null:
                values[row] = None
    return values


def _starts_transaction(sql):
    words = sql.lstrip().split(None, 1)
    return bool(words) and words[0].upper() in ("INSERT", "UPDATE", "DELETE", "REPLACE")


class Connection:
    def __init__(self, server_object):
        self._object = server_object
        self._in_transaction = False

    def _call(self, method, *args):
        """Calls a method whose result is a Boolean, returning its out-values; a false result
        raises the error the connection's error record holds."""
        if self._object is None:
            raise InterfaceError("the connection is closed")
        try:
            answer = self._object.invoke(method, *args)
        except OverflowError as e:  # an int, Decimal or date beyond its stored range
            raise DataError(str(e)) from None
        except TypeError as e:  # a parameter of a type with no stored form
            raise ProgrammingError(str(e)) from None
        ok, outs = (answer[0], answer[1:]) if isinstance(answer, tuple) else (answer, ())
        if not ok:
            code, description = self._object.GetLastDAOError()
            raise _ERROR_BY_CODE.get(code, DatabaseError)(description, code)
        return outs

    def _begin_for(self, sql):
        if not self._in_transaction and _starts_transaction(sql):
            self._call("BeginTrans")
            self._in_transaction = True

    def cursor(self):
        return Cursor(self)

    def commit(self):
        if self._in_transaction:
            self._in_transaction = False
            self._call("CommitTrans")

    def rollback(self):
        if self._in_transaction:
            self._in_transaction = False
            self._call("Rollback")

    def cancel(self):
        """Stops the statement that another thread runs on this connection: there it raises
        OperationalError with code 3059. True when a statement was running. Callable from any
        thread: it goes over a connection of its own, which the server accepts from this
        process."""
        server_object = self._object
        if server_object is None:
            raise InterfaceError("the connection is closed")
        connection = connect_running()
        if connection is None:
            return False  # no server, so nothing runs
        try:
            hr, cancelled = connection.call_blocking(
                None, server_object.path, "Vorlix.IDBConnection2", "Cancel", "", ())
        except dbus.exceptions.DBusException as e:
            raise wire_error(e, "Cancel", connection.get_is_connected()) from None
        finally:
            connection.close()
        if hr < 0:
            raise VorlixError(int(hr), "Cancel")
        return bool(cancelled)

    def close(self):
        """Closes the connection; what was not committed is rolled back (the server does so
        when the object goes). Nothing when already closed."""
        server_object, self._object = self._object, None
        if server_object is not None:
            server_object.close()

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        """Commits when the block ends normally, rolls back when it raises; stays open."""
        if kind is None:
            self.commit()
        else:
            self.rollback()


class Cursor:
    def __init__(self, connection):
        self.connection = connection
        self.arraysize = 1
        self.description = None
        self.rowcount = -1
        self.lastrowid = None
        self._cursor = 0  # the server's cursor, 0 when none is open
        self._rows = collections.deque()  # fetched, not yet handed out
        self._closed = False

    def _require_open(self):
        if self._closed:
            raise InterfaceError("the cursor is closed")

    def _close_server_cursor(self):
        cursor, self._cursor = self._cursor, 0
        if cursor and self.connection._object is not None:
            self.connection._call("CloseCursor", cursor)

    def execute(self, operation, parameters=None):
        self._require_open()
        self._close_server_cursor()
        self._rows.clear()
        self.description, self.rowcount = None, -1
        self.connection._begin_for(operation)
        affected, last_id, cursor, columns = self.connection._call(
            "Execute", operation, _parameters(parameters))
        if cursor:
            self._cursor = cursor
            self.description = [(name, vt, None, size or None, None, None, nullable)
                                for name, vt, _declared, size, nullable in columns]
        else:
            self.rowcount, self.lastrowid = affected, last_id
        return self

    def executemany(self, operation, seq_of_parameters):
        self._require_open()
        self._close_server_cursor()
        self._rows.clear()
        self.description = None
        self.connection._begin_for(operation)
        (self.rowcount,) = self.connection._call("ExecuteMany", operation,
                                                 _parameter_rows(seq_of_parameters))
        return self

    def _fill(self, wanted):
        """Asks the server for rows until at least wanted are held or the rows end."""
        while self._cursor and len(self._rows) < wanted:
            asked = max(wanted - len(self._rows), _BATCH)
            columns, nulls, count = self.connection._call("Fetch", self._cursor, asked)
            if count:
                self._rows.extend(zip(*[_column(v, n) for v, n in zip(columns, nulls)]))
            if count < asked:
                self._close_server_cursor()

    def fetchone(self):
        rows = self.fetchmany(1)
        return rows[0] if rows else None

    def fetchmany(self, size=None):
        self._require_open()
        if self.description is None:
            raise ProgrammingError("the last statement returned no rows")
        size = self.arraysize if size is None else size
        self._fill(size)
        return [self._rows.popleft() for _ in range(min(size, len(self._rows)))]

    def fetchall(self):
        self._require_open()
        if self.description is None:
            raise ProgrammingError("the last statement returned no rows")
        while self._cursor:
            self._fill(len(self._rows) + _BATCH)
        rows = list(self._rows)
        self._rows.clear()
        return rows

    def __iter__(self):
        return self

    def __next__(self):
        row = self.fetchone()
        if row is None:
            raise StopIteration
        return row

    def setinputsizes(self, sizes):
        pass

    def setoutputsize(self, size, column=None):
        pass

    def close(self):
        if not self._closed:
            self._closed = True
            self._rows.clear()
            self._close_server_cursor()


def connect(database):
    """A connection to the database file database, which is created when it does not exist
    yet, or to a database on a PostgreSQL server named by a postgresql:// URI, which must
    exist. OperationalError when it cannot be created or opened. A file that may only be read
    opens read-only, and writes then fail with OperationalError."""
    server_object = DispatchObject(*activate("Vorlix.DBConnection"))
    try:
        on_server = database.startswith(("postgresql://", "postgres://"))
        path = database if on_server else os.path.abspath(database)
        if not on_server and not os.path.exists(path) and not server_object.CreateDatabase(path):
            code, description = server_object.GetLastDAOError()
            raise OperationalError(description or "cannot create " + path, code)
        if server_object.Open(path, False, False) in ("", "*REPAIR*"):
            code, description = server_object.GetLastDAOError()
            raise OperationalError(description or "cannot open " + path, code)
    except BaseException:
        server_object.close()
        raise
    return Connection(server_object)
