// IDBConnection and IDaoStatus: the server's two dual interfaces as C++ classes, and the
// bindings through which Invoke calls the members that implement their methods. The
// static_asserts below prove the bindings agree with the interface table (names, order,
// parameter count and C++ types).
#pragma once

#include <cstdint>

#include "automation/Bstr.h"
#include "automation/Dispatch.h"
#include "automation/Variant.h"
#include "connection/Connection.h"
#include "protocol/InterfaceTable.h"
#include "server/Binding.h"
#include "server/PackedFetch.h"

namespace vorlix {

// Late-bound only: the members of CDBConnection (connection/Connection.h) serve its methods
// directly, through the bindings below, and nothing in the process calls them through a vtable.
class IDBConnection : public IDispatch {};

// A ConnectionObject (server/ConnectionObject.h) holds the connection its calls act on.
template <>
CDBConnection& BoundObject<CDBConnection>(IDispatch& self);
template <>
PackedFetch& BoundObject<PackedFetch>(IDispatch& self);

class IDaoStatus : public IDispatch {
 public:
  // Starts the database engine.
  virtual HRESULT DaoInit() = 0;
  // Stops the database engine.
  virtual HRESULT DaoTerm() = 0;
};

inline constexpr Binding kConnectionBindings[] = {
    VORLIX_BIND(CDBConnection, Open),
    VORLIX_BIND(CDBConnection, Table),
    VORLIX_BIND(CDBConnection, Top),
    VORLIX_BIND(CDBConnection, GetFieldCount),
    VORLIX_BIND(CDBConnection, GetFieldName),
    VORLIX_BIND(CDBConnection, GetFieldValue),
    VORLIX_BIND(CDBConnection, Skip),
    VORLIX_BIND(CDBConnection, GetRecord),
    VORLIX_BIND(CDBConnection, StatusIsOk),
    VORLIX_BIND(CDBConnection, IsOpen),
    VORLIX_BIND(CDBConnection, GetName),
    VORLIX_BIND(CDBConnection, CloseTable),
    VORLIX_BIND(CDBConnection, TableIsReady),
    VORLIX_BIND(CDBConnection, Append),
    VORLIX_BIND(CDBConnection, Bottom),
    VORLIX_BIND(CDBConnection, CloseCurrentTable),
    VORLIX_BIND(CDBConnection, CloseAllTables),
    VORLIX_BIND(CDBConnection, Close),
    VORLIX_BIND(CDBConnection, Count),
    VORLIX_BIND(CDBConnection, Delete),
    VORLIX_BIND(CDBConnection, GetLastDAOError),
    VORLIX_BIND(CDBConnection, CanUpdate),
    VORLIX_BIND(CDBConnection, IsDAOError),
    VORLIX_BIND(CDBConnection, Exist),
    VORLIX_BIND(CDBConnection, Structure),
    VORLIX_BIND(CDBConnection, ListIndexes),
    VORLIX_BIND(CDBConnection, ModifyTable),
    VORLIX_BIND(CDBConnection, RenameTable),
    VORLIX_BIND(CDBConnection, GetCurrentIndex),
    VORLIX_BIND(CDBConnection, GetCurrentTable),
    VORLIX_BIND(CDBConnection, Replace),
    VORLIX_BIND(CDBConnection, Seek),
    VORLIX_BIND(CDBConnection, Seek2),
    VORLIX_BIND(CDBConnection, Seek3),
    VORLIX_BIND(CDBConnection, Seek10),
    VORLIX_BIND(CDBConnection, CreateDatabase),
    VORLIX_BIND(CDBConnection, CreateTable),
    VORLIX_BIND(CDBConnection, ReadOnly),
    VORLIX_BIND(CDBConnection, DeleteTable),
    VORLIX_BIND(CDBConnection, ListTables),
    VORLIX_BIND(CDBConnection, SQL),
    VORLIX_BIND(CDBConnection, Command),
    VORLIX_BIND(CDBConnection, RelationExists),
    VORLIX_BIND(CDBConnection, RelationDelete),
    VORLIX_BIND(CDBConnection, Compact),
    VORLIX_BIND(CDBConnection, LinkTable),
    VORLIX_BIND(CDBConnection, Query),
    VORLIX_BIND(CDBConnection, CreateIndex),
    VORLIX_BIND(CDBConnection, CreateQuery),
    VORLIX_BIND(CDBConnection, OpenForWrite),
    VORLIX_BIND(CDBConnection, IsEOF),
    VORLIX_BIND(CDBConnection, IsBOF),
    VORLIX_BIND(CDBConnection, Required),
    VORLIX_BIND(CDBConnection, GetAttributes),
    VORLIX_BIND(CDBConnection, GetFieldValueFromName),
    VORLIX_BIND(CDBConnection, CommandWithRecords),
    VORLIX_BIND(CDBConnection, GetVorlixVersion),
};
static_assert(Agree(kIDBConnection, kConnectionBindings));

inline constexpr Binding kExtensionBindings[] = {
    VORLIX_BIND(CDBConnection, Execute),    VORLIX_BIND(CDBConnection, OpenCursor),
    VORLIX_BIND(CDBConnection, Fetch),      VORLIX_BIND(CDBConnection, CloseCursor),
    VORLIX_BIND(CDBConnection, BeginTrans), VORLIX_BIND(CDBConnection, CommitTrans),
    VORLIX_BIND(CDBConnection, Rollback),   VORLIX_BIND(CDBConnection, ExecuteMany),
    VORLIX_BIND(CDBConnection, Cancel),     VORLIX_BIND(PackedFetch, FetchPacked),
};
static_assert(Agree(kIDBConnection2, kExtensionBindings));

inline constexpr Binding kStatusBindings[] = {
    VORLIX_BIND(IDaoStatus, DaoInit),
    VORLIX_BIND(IDaoStatus, DaoTerm),
};
static_assert(Agree(kIDaoStatus, kStatusBindings));

// The table and bindings of each interface, and of the extension the same object answers (none
// for IDaoStatus), for DispatchObject.
template <typename I>
struct InterfaceOf;
template <>
struct InterfaceOf<IDBConnection> {
  static constexpr const Interface& kInterface = kIDBConnection;
  static constexpr std::span<const Binding> kBindings = kConnectionBindings;
  static constexpr bool kHasExtension = true;
  static constexpr const Interface* kExtension = &kIDBConnection2;
  static constexpr std::span<const Binding> kExtensionBindings = vorlix::kExtensionBindings;
};
template <>
struct InterfaceOf<IDaoStatus> {
  static constexpr const Interface& kInterface = kIDaoStatus;
  static constexpr std::span<const Binding> kBindings = kStatusBindings;
  static constexpr bool kHasExtension = false;
};

}  // namespace vorlix
