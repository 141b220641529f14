# A client that keeps the server with LockServer(True) alone, no object, for longer than the
# idle time-out and pause together, then proves the server still answers and gives the lock
# back. Exits 0 when every answer came.
import sys
import time

import dbus

CLSID_DAOSTATUS = "{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}"

conn = dbus.connection.Connection("unix:path=" + sys.argv[1])
activator = conn.get_object(None, "/Vorlix", introspect=False)
hr, factory_path = activator.GetClassObject(CLSID_DAOSTATUS, dbus_interface="Vorlix.IActivator")
factory = conn.get_object(None, factory_path, introspect=False)
if factory.LockServer(True, dbus_interface="Vorlix.IClassFactory") != 0:
    sys.exit(1)
time.sleep(7)
hr, _ = activator.GetClassObject(CLSID_DAOSTATUS, dbus_interface="Vorlix.IActivator")
unlock_hr = factory.LockServer(False, dbus_interface="Vorlix.IClassFactory")
sys.exit(0 if (hr, unlock_hr) == (0, 0) else 1)
