"""Activation: from a ProgID to a new object in the per-user server, starting the server when
none listens. The same steps as the C++ client, so both kinds of client share one server."""

import fcntl
import os
import re
import stat
import struct
import time

import dbus

from .errors import (CLASS_E_CLASSNOTAVAILABLE, E_FAIL, REGDB_E_CLASSNOTREG, VorlixError,
                     wire_error)

IID_IDISPATCH = "{00020400-0000-0000-C000-000000000046}"
_START_WAIT = 10.0  # seconds a started server has to listen
_POLL = 0.02
_ATTEMPTS = 3  # activations tried when the server reached went away unanswered
_INT = struct.Struct("i")  # what the starting process reports through its pipe


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
    """(clsid, server path, registry file, LocalServer32 key) of a ProgID: ProgID\\CLSID, then
    CLSID\\{clsid}\\LocalServer32. VorlixError REGDB_E_CLASSNOTREG naming the file and the key
    that are missing, which tells an unknown ProgID from a class without a server."""
    registry = registry_path()

    def fail(text):
        return VorlixError(REGDB_E_CLASSNOTREG, "%s: %s" % (progid, text))

    try:
        keys = read_registry(registry)
    except (OSError, ValueError) as e:
        raise fail(e) from None
    progid_key = progid + "\\CLSID"
    clsid = keys.get(progid_key.lower(), {}).get("")
    if clsid is None and not os.path.exists(registry):
        raise fail("no registry file %s; register the server with vorlix-server /RegServer"
                   % registry)
    if clsid is None:
        raise fail("unknown ProgID: %s has no key HKEY_CLASSES_ROOT\\%s" % (registry, progid_key))
    server_key = "CLSID\\" + clsid + "\\LocalServer32"
    path = keys.get(server_key.lower(), {}).get("")
    if path is None:
        raise fail("class %s has no registered server: %s has no value HKEY_CLASSES_ROOT\\%s"
                   % (clsid, registry, server_key))
    return clsid, path, registry, server_key


def runtime_directory():
    """$VORLIX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/vorlix, else /tmp/vorlix-<uid>, made with mode
    0700 when missing. VorlixError E_FAIL when it is not a directory of this user closed to
    everyone else: another user could then replace the socket or read the traffic."""
    runtime = _env("XDG_RUNTIME_DIR")
    path = _env("VORLIX_RUNTIME_DIR") or (
        os.path.join(runtime, "vorlix") if runtime else "/tmp/vorlix-%d" % os.getuid())
    what = "runtime directory %s: " % path
    try:
        os.mkdir(path, 0o700)
    except FileExistsError:
        pass
    except OSError as e:
        raise VorlixError(E_FAIL, what + e.strerror) from None
    # lstat: a symbolic link planted by someone else must not lead us elsewhere.
    st = os.lstat(path)
    if not stat.S_ISDIR(st.st_mode):
        raise VorlixError(E_FAIL, what + "not a directory")
    if st.st_uid != os.geteuid():
        raise VorlixError(E_FAIL, what + "owned by uid %d, not by this user (uid %d)"
                          % (st.st_uid, os.geteuid()))
    if st.st_mode & 0o077:
        raise VorlixError(E_FAIL, what + "mode %04o lets other users in; it must be 0700"
                          % stat.S_IMODE(st.st_mode))
    return path


def _connect(socket_path):
    """A private connection to the server at socket_path, or None when none listens."""
    try:
        return dbus.connection.Connection("unix:path=" + socket_path)
    except dbus.exceptions.DBusException:
        return None


def connect_running():
    """A new connection to the server that runs for this user, or None when none listens: for
    a second way in while the first waits on a call."""
    return _connect(os.path.join(runtime_directory(), "server"))


def _read_int(fd):
    """An int the starting process wrote into the pipe, or None at its end."""
    data = b""
    while len(data) < _INT.size:
        chunk = os.read(fd, _INT.size - len(data))
        if not chunk:
            return None
        data += chunk
    return _INT.unpack(data)[0]


def _start_server(path):
    """Starts the server with -Embedding in its own session, standard streams on /dev/null, as
    a grandchild, so no zombie of it stays behind in this process; its pid. OSError when it
    cannot run (missing, not executable, not a program), known at once: the grandchild writes
    its pid into a pipe and, only when the exec fails, its errno; the exec closes the pipe."""
    report, write_end = os.pipe()  # both close-on-exec
    child = os.fork()
    if child == 0:
        try:
            os.close(report)
            if os.fork() == 0:
                os.setsid()
                null = os.open(os.devnull, os.O_RDWR)
                for fd in range(3):
                    os.dup2(null, fd)
                os.write(write_end, _INT.pack(os.getpid()))
                try:
                    os.execv(path, [path, "-Embedding"])
                except OSError as e:
                    os.write(write_end, _INT.pack(e.errno))
        finally:
            os._exit(127)  # only the intermediate child, or a grandchild whose exec failed
    os.close(write_end)
    try:
        os.waitpid(child, 0)
        pid, failure = _read_int(report), _read_int(report)
    finally:
        os.close(report)
    if pid is None:
        raise OSError("the starting process failed")
    if failure is not None:
        raise OSError(failure, os.strerror(failure))
    return pid


def _still_runs(pid):
    """Whether pid still runs: false once it has ended, also while it waits to be reaped."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            line = f.read()
    except OSError:
        return False
    # The state follows the name in parentheses, which may hold spaces and parentheses itself.
    return line[line.rfind(")") + 2:][:1] not in ("Z", "X", "")


def _start(server, directory):
    """Starts the server and waits for it to listen in directory (10 s at most); its
    connection. VorlixError E_FAIL when it cannot run, ends first, or does not listen in
    time."""
    _, path, registry, key = server
    socket_path = os.path.join(directory, "server")
    try:
        pid = _start_server(path)
    except OSError as e:
        raise VorlixError(E_FAIL, "cannot start the server %s (HKEY_CLASSES_ROOT\\%s in %s): %s"
                          % (path, key, registry, e.strerror or e)) from None
    which = "the server %s (pid %d)" % (path, pid)
    deadline = time.monotonic() + _START_WAIT
    while time.monotonic() < deadline:
        time.sleep(_POLL)
        connection = _connect(socket_path)
        if connection is not None:
            return connection
        if not _still_runs(pid):
            # Its reason is in its log when it came as far as opening it.
            log = os.path.join(directory, "server.log")
            raise VorlixError(E_FAIL, "%s ended before it listened on %s%s" % (
                which, socket_path, "; see " + log if os.path.exists(log) else ""))
    raise VorlixError(E_FAIL, "%s did not listen on %s within 10 s" % (which, socket_path))


def _connect_or_start(directory, server):
    """A connection to the directory's server, started when none listens; clients starting at
    once serialise on the activation lock, so they get one server."""
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
        return _connect(socket_path) or _start(server, directory)
    finally:
        os.close(lock)


def _call_for_path(connection, path, interface, member, guid):
    """Calls a member answering (i hr, o path); the path, or VorlixError with the hr (E_FAIL
    saying why when the wire failed)."""
    try:
        hr, result = connection.call_blocking(None, path, interface, member, "s", (guid,))
    except dbus.exceptions.DBusException as e:
        raise wire_error(e, member, connection.get_is_connected()) from None
    if hr < 0:
        raise VorlixError(int(hr), "%s %s" % (member, guid))
    return str(result)


def activate(progid):
    """(connection, object path) of a new instance of the ProgID's class, asked for as
    IDispatch; the caller owns the connection and one reference to the object. VorlixError
    naming the cause when activation fails."""
    server = find_server(progid)
    directory = runtime_directory()
    for attempt in range(_ATTEMPTS):
        connection = _connect_or_start(directory, server)
        try:
            try:
                factory = _call_for_path(connection, "/Vorlix", "Vorlix.IActivator",
                                         "GetClassObject", server[0])
            except VorlixError as e:
                # A server ending after its idle time-out may take a connection into its
                # socket's queue and close without answering it; the next attempt finds that
                # server gone and starts one.
                if (e.hresult == E_FAIL and not connection.get_is_connected()
                        and attempt + 1 < _ATTEMPTS):
                    connection.close()
                    time.sleep(0.05)
                    continue
                if e.hresult != CLASS_E_CLASSNOTAVAILABLE:
                    raise
                raise VorlixError(e.hresult, "the server on %s does not serve %s (%s)"
                                  % (os.path.join(directory, "server"), progid,
                                     server[0])) from None
            return connection, _call_for_path(connection, factory, "Vorlix.IClassFactory",
                                              "CreateInstance", IID_IDISPATCH)
        except VorlixError:
            connection.close()
            raise
