"""Vorlix for Python: objects of the per-user Vorlix server, called late-bound.

    import datetime, os, vorlix
    path = os.path.abspath("demo.vdb")  # the server resolves relative paths from its own folder
    with vorlix.CreateObject("Vorlix.DBConnection") as db:
        db.CreateDatabase(path)
        db.Open(path, False, False)
        db.Command("CREATE TABLE People (Name TEXT(40), Born DATETIME)")
        db.Table("People", "")
        ok, record = db.Append(["Name", "Ada", "Born", datetime.date(1815, 12, 10)], False)
        print(vorlix.record_dict(record))

Values convert as variant.py describes; vorlix.Empty stands for VT_EMPTY. A method returns its
[out, retval] value, a tuple of it and the [out] values when there are any, or None. A failed
HRESULT raises VorlixError with .hresult and .name.
"""

from .activation import activate
from .dbapi import connect  # noqa: F401 (the DB-API driver's entry)
from .dispatch import DispatchObject
from .errors import *  # noqa: F401,F403 (the HRESULT constants)
from .errors import VorlixError, hresult_name
from .variant import Empty


def CreateObject(progid):
    """A new object of the registered class progid ("Vorlix.DBConnection"), from the user's
    server, which is started when none runs. VorlixError REGDB_E_CLASSNOTREG when the class is
    not registered, E_FAIL when the server cannot be reached."""
    return DispatchObject(*activate(progid))


def record_dict(array):
    """{name: value} of a record array: the names at even positions, each value after its
    name. ValueError for a list of odd length."""
    if len(array) % 2:
        raise ValueError("a record array holds name/value pairs")
    return dict(zip(array[0::2], array[1::2]))
