"""DispatchObject: a reference to one server object, called late-bound by attribute."""

import re
import sys

import dbus

from .errors import (DISP_E_BADPARAMCOUNT, DISP_E_OVERFLOW, DISP_E_TYPEMISMATCH, E_FAIL,
                     VorlixError, wire_error)
from .variant import Empty, from_variant, to_variant

_DISPATCH = "Vorlix.IDispatch"
# An object's method takes as long as its work does; giving up early would report a failure for
# work that goes on and may succeed. libdbus reads this longest timeout (in seconds) as none.
_UNTIL_ANSWERED = 0x7FFFFFFF / 1000
# One method of the interface description GetTypeInfo answers:
#   [id(5), helpstring("method GetFieldName")] HRESULT GetFieldName([in] short iIndex, ...);
_METHOD = re.compile(r"\s*\[id\((-?\d+)\).*\] HRESULT \w+\((.*)\);")
_DIRECTION = re.compile(r"\[(in|out|out, retval)\]")


def _directions(description):
    """{dispid: directions of its parameters in declared order} from an interface
    description."""
    methods = {}
    for line in description.splitlines():
        match = _METHOD.fullmatch(line)
        if match:
            methods[int(match.group(1))] = _DIRECTION.findall(match.group(2))
    return methods


class DispatchObject:
    """A server object. Attribute access gives its methods: obj.Name(in-arguments) returns the
    [out, retval] value, a tuple of it followed by the [out] values when there are any, or
    None when the method has neither. A failed HRESULT raises VorlixError.

    close() (or leaving a with block, or garbage collection) releases the object and closes
    its connection; each object has a connection of its own.
    """

    def __init__(self, connection, path):
        self._connection = connection
        self._path = path
        self._dispids = {}
        self._methods = None  # from the type description, on the first call

    @property
    def path(self):
        """The object's path on the server's bus."""
        return self._path

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        # At interpreter shutdown the D-Bus module may already be torn down; the server
        # releases the object anyway when the process's connection goes.
        if not sys.is_finalizing():
            self.close()

    def close(self):
        """Releases the object and closes its connection; nothing when already closed."""
        connection, self._connection = getattr(self, "_connection", None), None
        if connection is None:
            return
        try:
            connection.call_blocking(None, self._path, "Vorlix.IUnknown", "Release", "", ())
        except dbus.exceptions.DBusException:
            pass  # a server that went away holds no reference either
        finally:
            connection.close()

    def __getattr__(self, name):
        # Underscore names are Python's protocols (copy, pickle ...), never server methods.
        if name.startswith("_"):
            raise AttributeError(name)
        return lambda *args: self.invoke(name, *args)

    def invoke(self, name, *args):
        """Calls the member name (any letter case) with its [in] arguments in declared order."""
        if self._connection is None:
            raise ValueError("the object is closed")
        try:
            dispid = self._dispid(name)
            directions = self._signature(dispid, name)
            if directions.count("in") != len(args):
                raise VorlixError(DISP_E_BADPARAMCOUNT, "%s takes %d arguments, %d given"
                                  % (name, directions.count("in"), len(args)))
            supplied = iter(args)
            # [out] parameters travel too, as placeholders the server ignores.
            wire = [to_variant(next(supplied)) if d == "in" else to_variant(Empty)
                    for d in directions if d != "out, retval"]
            hr, result, outs, arg_err = self._call(
                _DISPATCH, "Invoke", "ia(qv)", (dispid, dbus.Array(wire, signature="(qv)")))
        except dbus.exceptions.DBusException as e:
            raise wire_error(e, name, self._connection.get_is_connected()) from None
        if hr < 0:
            # Only a failed coercion names an argument; otherwise argErr is just 0.
            coercion = hr in (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW)
            raise VorlixError(int(hr), name, int(arg_err) if coercion else None)
        values = [from_variant(out) for out in outs]
        if "out, retval" in directions:
            values.insert(0, from_variant(result))
        return values[0] if len(values) == 1 else tuple(values) if values else None

    def _call(self, interface, member, signature, args):
        return self._connection.call_blocking(None, self._path, interface, member, signature,
                                              args, timeout=_UNTIL_ANSWERED, byte_arrays=True)

    def _dispid(self, name):
        """The member's DISPID through GetIDsOfNames, asked once per name."""
        if name not in self._dispids:
            hr, ids = self._call(_DISPATCH, "GetIDsOfNames", "asu", ([name], 0))
            if hr < 0:
                raise VorlixError(int(hr), name)
            self._dispids[name] = int(ids[0])
        return self._dispids[name]

    def _signature(self, dispid, name):
        """The directions of the member's parameters, from the type description read once."""
        if self._methods is None:
            hr, description = self._call(_DISPATCH, "GetTypeInfo", "uu", (0, 0))
            if hr < 0:
                raise VorlixError(int(hr), "GetTypeInfo")
            self._methods = _directions(str(description))
        if dispid not in self._methods:
            raise VorlixError(E_FAIL, "%s (DISPID %d) is not in the type description"
                              % (name, dispid))
        return self._methods[dispid]
