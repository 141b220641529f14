"""HRESULT codes and the exception that carries a failed one."""


def _signed(code):
    """The 32-bit pattern code as the signed value the wire carries."""
    return code - (1 << 32) if code & 0x80000000 else code


S_OK = 0
S_FALSE = 1
E_POINTER = _signed(0x80004003)
E_NOINTERFACE = _signed(0x80004002)
E_OUTOFMEMORY = _signed(0x8007000E)
E_INVALIDARG = _signed(0x80070057)
E_FAIL = _signed(0x80004005)
CLASS_E_NOAGGREGATION = _signed(0x80040110)
CLASS_E_CLASSNOTAVAILABLE = _signed(0x80040111)
REGDB_E_CLASSNOTREG = _signed(0x80040154)
DISP_E_MEMBERNOTFOUND = _signed(0x80020003)
DISP_E_UNKNOWNNAME = _signed(0x80020006)
DISP_E_TYPEMISMATCH = _signed(0x80020005)
DISP_E_BADPARAMCOUNT = _signed(0x8002000E)
DISP_E_BADVARTYPE = _signed(0x80020008)
DISP_E_BADINDEX = _signed(0x8002000B)
DISP_E_OVERFLOW = _signed(0x8002000A)
TYPE_E_LIBNOTREGISTERED = _signed(0x8002801D)
RPC_E_CHANGED_MODE = _signed(0x80010106)

_NAMES = {value: name for name, value in globals().items() if name[:2] in ("S_", "E_")
          or "_E_" in name}


def hresult_name(hresult):
    """The constant's name ("DISP_E_OVERFLOW"), or "HRESULT 0x%08X" for a code without one."""
    return _NAMES.get(hresult, "HRESULT 0x%08X" % (hresult & 0xFFFFFFFF))


class VorlixError(Exception):
    """A failed HRESULT: from the server, or E_FAIL when the wire or activation failed.

    hresult is the signed 32-bit code (compare it with the constants of this module), name its
    name, arg_err the declared position of the argument the server could not convert (None
    when the failure is not about one argument).
    """

    def __init__(self, hresult, detail="", arg_err=None):
        self.hresult = hresult
        self.name = hresult_name(hresult)
        self.arg_err = arg_err
        text = "%s (0x%08X)" % (self.name, hresult & 0xFFFFFFFF)
        super().__init__(text + ": " + detail if detail else text)


def wire_error(exception, member, connected):
    """The VorlixError E_FAIL for a D-Bus exception of a call of member, saying why: the server
    went away (the connection is no longer connected), did not answer in time, or refused the
    call as a message."""
    name = exception.get_dbus_name()
    if not connected:
        why = "the server went away: %s got no answer" % member
    elif name == "org.freedesktop.DBus.Error.NoReply":
        why = "the server did not answer %s in time" % member
    else:
        why = "the server refused %s: %s: %s" % (member, name, exception.get_dbus_message())
    return VorlixError(E_FAIL, why)
