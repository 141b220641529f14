"""Activation: from a ProgID to a new object in the per-user server, starting the server when
none listens. The same steps as the C++ client, so both kinds of client share one server."""

import fcntl
import os
import re
import stat
import time

import dbus

from .errors import E_FAIL, REGDB_E_CLASSNOTREG, VorlixError

IID_IDISPATCH = "{00020400-0000-0000-C000-000000000046}"
_START_WAIT = 10.0  # seconds a started server has to listen
_POLL = 0.02


def _env(name):
    """The variable's value; None when unset or empty, as the C++ side counts them."""
    return os.environ.get(name) or None


def registry_path():
    """$VORLIX_REGISTRY, else $XDG_CONFIG_HOME/vorlix/registry.reg, else
    ~/.config/vorlix/registry.reg."""
    config = _env("XDG_CONFIG_HOME") or os.path.join(os.path.expanduser("~"), ".config")
    return _env("VORLIX_REGISTRY") or os.path.join(config, "vorlix", "registry.reg")


_KEY_LINE = re.compile(r"\[HKEY_CLASSES_ROOT\\(.+)\]")
_QUOTED = r'"((?:[^"\\]|\\.)*)"'  # '\' escapes the next character
_VALUE_LINE = re.compile("(?:@|%s)=%s" % (_QUOTED, _QUOTED))


def _unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def read_registry(path):
    """{lower-case key path: {lower-case value name: value}} from the registry's text form; the
    default value has the name "". Registry names compare without regard to case. An absent
    file is an empty registry; ValueError for a line of any other form."""
    keys, values = {}, None
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
    except FileNotFoundError:
        return keys
    for number, line in enumerate(lines, 1):
        key, value = _KEY_LINE.fullmatch(line), _VALUE_LINE.fullmatch(line)
        if key:
            values = keys.setdefault(key.group(1).lower(), {})
        elif value and values is not None:
            values[_unescape(value.group(1) or "").lower()] = _unescape(value.group(2))
        elif line:
            raise ValueError("%s: line %d is not a key or a value" % (path, number))
    return keys


def find_server(progid):
    """(clsid, server path) of a ProgID: ProgID\\CLSID, then CLSID\\{clsid}\\LocalServer32.
    VorlixError REGDB_E_CLASSNOTREG when either is missing."""
    try:
        keys = read_registry(registry_path())
    except (OSError, ValueError) as e:
        raise VorlixError(REGDB_E_CLASSNOTREG, "%s: %s" % (progid, e)) from None
    clsid = keys.get((progid + "\\CLSID").lower(), {}).get("")
    path = clsid and keys.get(("CLSID\\" + clsid + "\\LocalServer32").lower(), {}).get("")
    if not path:
        raise VorlixError(REGDB_E_CLASSNOTREG, progid)
    return clsid, path


def runtime_directory():
    """$VORLIX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/vorlix, else /tmp/vorlix-<uid>, made with mode
    0700 when missing. VorlixError E_FAIL when it is not a directory of this user closed to
    everyone else: another user could then replace the socket or read the traffic."""
    runtime = _env("XDG_RUNTIME_DIR")
    path = _env("VORLIX_RUNTIME_DIR") or (
        os.path.join(runtime, "vorlix") if runtime else "/tmp/vorlix-%d" % os.getuid())
    try:
        os.mkdir(path, 0o700)
    except FileExistsError:
        pass
    except OSError as e:
        raise VorlixError(E_FAIL, "%s: %s" % (path, e.strerror)) from None
    # lstat: a symbolic link planted by someone else must not lead us elsewhere.
    st = os.lstat(path)
    if not stat.S_ISDIR(st.st_mode):
        raise VorlixError(E_FAIL, path + ": not a directory")
    if st.st_uid != os.geteuid():
        raise VorlixError(E_FAIL, path + ": owned by another user")
    if st.st_mode & 0o077:
        raise VorlixError(E_FAIL, path + ": open to other users (mode must be 0700)")
    return path


def _connect(socket_path):
    """A private connection to the server at socket_path, or None when none listens."""
    try:
        return dbus.connection.Connection("unix:path=" + socket_path)
    except dbus.exceptions.DBusException:
        return None


def _start_server(path):
    """Starts the server with -Embedding in its own session, standard streams on /dev/null, as
    a grandchild, so no zombie of it stays behind in this process."""
    child = os.fork()
    if child == 0:
        try:
            if os.fork() == 0:
                os.setsid()
                null = os.open(os.devnull, os.O_RDWR)
                for fd in range(3):
                    os.dup2(null, fd)
                os.execv(path, [path, "-Embedding"])
        finally:
            os._exit(127)  # only the intermediate child, or a grandchild whose exec failed
    os.waitpid(child, 0)


def _connect_or_start(directory, server_path):
    """A connection to the directory's server, started when none listens; clients starting at
    once serialise on the activation lock, so they get one server. VorlixError E_FAIL when the
    server does not listen within 10 s."""
    socket_path = os.path.join(directory, "server")
    connection = _connect(socket_path)
    if connection is not None:
        return connection
    lock_path = os.path.join(directory, "activation.lock")
    try:
        lock = os.open(lock_path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o600)
    except OSError as e:
        raise VorlixError(E_FAIL, "%s: %s" % (lock_path, e.strerror)) from None
    try:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # Another client may have started the server while this one waited for the lock.
        connection = _connect(socket_path)
        if connection is None:
            _start_server(server_path)
            deadline = time.monotonic() + _START_WAIT
            while connection is None and time.monotonic() < deadline:
                time.sleep(_POLL)
                connection = _connect(socket_path)
    finally:
        os.close(lock)
    if connection is None:
        raise VorlixError(E_FAIL, "%s did not listen on %s" % (server_path, socket_path))
    return connection


def _call_for_path(connection, path, interface, member, guid):
    """Calls a member answering (i hr, o path); the path, or VorlixError with the hr."""
    hr, result = connection.call_blocking(None, path, interface, member, "s", (guid,))
    if hr < 0:
        raise VorlixError(int(hr), "%s %s" % (member, guid))
    return str(result)


def activate(progid):
    """(connection, object path) of a new instance of the ProgID's class, asked for as
    IDispatch; the caller owns the connection and one reference to the object."""
    clsid, server_path = find_server(progid)
    connection = _connect_or_start(runtime_directory(), server_path)
    try:
        factory = _call_for_path(connection, "/Vorlix", "Vorlix.IActivator", "GetClassObject",
                                 clsid)
        return connection, _call_for_path(connection, factory, "Vorlix.IClassFactory",
                                          "CreateInstance", IID_IDISPATCH)
    except dbus.exceptions.DBusException as e:
        connection.close()
        raise VorlixError(E_FAIL, str(e)) from None
    except VorlixError:
        connection.close()
        raise
