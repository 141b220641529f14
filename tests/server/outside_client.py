# An outside client of the wire, written with the system's D-Bus module and nothing of this
# repository: activator, class object, one typed call, one Invoke, a refused payload, release.
# Then it takes a second object and a server lock and ends without giving either back, as a
# client that crashes does. Exits 0 when every answer is as the wire contract says; prints what
# differed otherwise.
import sys

import dbus

S_OK = 0
E_INVALIDARG = -2147024809
VT_I2 = 2
CLSID_DBCONNECTION = "{B1106722-DEA1-4B39-887C-E8E29D8A84C6}"
IID_IDBCONNECTION = "{21E29A29-971A-41E6-A6D5-8859DB03FC05}"
CLSID_DAOSTATUS = "{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}"
IID_IDAOSTATUS = "{62F71987-9EDD-49CB-ACFE-8B648D1EFDFD}"


def check(what, got, expected):
    if got != expected:
        print(f"{what}: got {got!r}, expected {expected!r}")
        sys.exit(1)


conn = dbus.connection.Connection("unix:path=" + sys.argv[1])
activator = conn.get_object(None, "/Vorlix", introspect=False)
hr, factory_path = activator.GetClassObject(CLSID_DBCONNECTION,
                                            dbus_interface="Vorlix.IActivator")
check("GetClassObject", (hr, factory_path), (S_OK, "/Vorlix/DBConnection"))
factory = conn.get_object(None, factory_path, introspect=False)
hr, path = factory.CreateInstance(IID_IDBCONNECTION, dbus_interface="Vorlix.IClassFactory")
check("CreateInstance", hr, S_OK)

# Introspected, so the typed call's signature comes from the server's own description.
db = conn.get_object(None, path)
hr, version = db.GetVorlixVersion(dbus_interface="Vorlix.IDBConnection")
check("typed GetVorlixVersion", (hr, version), (S_OK, 1))

hr, result, outs, arg_err = db.Invoke(
    dbus.Int32(58), dbus.Array([], signature="(qv)"), dbus_interface="Vorlix.IDispatch")
check("Invoke GetVorlixVersion", (hr, result[0], result[1], len(outs)), (S_OK, VT_I2, 1, 0))

# A VT_I4 whose payload is text: refused in the reply.
bad = dbus.Struct((dbus.UInt16(3), dbus.String("7", variant_level=1)), signature="qv")
hr, result, outs, arg_err = db.Invoke(
    dbus.Int32(5), dbus.Array([bad], signature="(qv)"), dbus_interface="Vorlix.IDispatch")
check("Invoke with a malformed VARIANT", hr, E_INVALIDARG)

count = db.Release(dbus_interface="Vorlix.IUnknown")
check("Release", count, 0)

hr, factory_path = activator.GetClassObject(CLSID_DAOSTATUS, dbus_interface="Vorlix.IActivator")
factory = conn.get_object(None, factory_path, introspect=False)
hr, path = factory.CreateInstance(IID_IDAOSTATUS, dbus_interface="Vorlix.IClassFactory")
status = conn.get_object(None, path, introspect=False)
check("DaoInit of the abandoned object", status.DaoInit(dbus_interface="Vorlix.IDaoStatus"), S_OK)
check("LockServer(True)", factory.LockServer(True, dbus_interface="Vorlix.IClassFactory"), S_OK)
sys.exit(0)
