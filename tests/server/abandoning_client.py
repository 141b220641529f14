# A client that takes an object and a server lock and then ends without giving either back,
# as a client that crashes does. Exits 0 once both are held.
import sys

import dbus

CLSID_DAOSTATUS = "{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}"
IID_IDAOSTATUS = "{62F71987-9EDD-49CB-ACFE-8B648D1EFDFD}"

conn = dbus.connection.Connection("unix:path=" + sys.argv[1])
activator = conn.get_object(None, "/Vorlix", introspect=False)
hr, factory_path = activator.GetClassObject(CLSID_DAOSTATUS, dbus_interface="Vorlix.IActivator")
factory = conn.get_object(None, factory_path, introspect=False)
hr, path = factory.CreateInstance(IID_IDAOSTATUS, dbus_interface="Vorlix.IClassFactory")
status = conn.get_object(None, path, introspect=False)
init_hr = status.DaoInit(dbus_interface="Vorlix.IDaoStatus")
lock_hr = factory.LockServer(True, dbus_interface="Vorlix.IClassFactory")
sys.exit(0 if (hr, init_hr, lock_hr) == (0, 0, 0) else 1)
