// The interface table: the type library, its two creatable classes and their dispatch
// interfaces with every method, DISPID and parameter. Dispatch, the type description, the
// registration scripts and the type library's registration are all derived from this one table.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "automation/Dispatch.h"
#include "automation/Guid.h"
#include "automation/VarType.h"

namespace vorlix {

// The Automation types of parameters. An [in] VARIANT is passed by pointer (VARIANT*). A packed
// batch is an [out] VARIANT that late-bound callers get as a VT_UI1 array of its bytes, while
// the typed wire carries the same bytes inline or, past a size, in a sealed memory file
// (protocol/PackedTransfer.h), so that no reply bound limits it.
enum class ParamType : uint8_t { kBstr, kBool, kShort, kLong, kVariant, kPacked };
enum class ParamKind : uint8_t { kIn, kOut, kRetval };

// What a parameter type means everywhere it is spelled: in the type description, in late-bound
// coercion, on the wire's typed methods and in the generated C++ proxies.
struct ParamTypeInfo {
  const char* automationIn;   // the declared type of an [in] parameter: "BSTR", "VARIANT*"
  const char* automationOut;  // of an [out] or [out, retval] one: "BSTR*"
  VARTYPE varType;            // what a late-bound argument is coerced to
  const char* wireType;       // its D-Bus type in the typed methods
  const char* cppIn;          // the typed proxies' C++ types
  const char* cppOut;
};

// In ParamType order.
inline constexpr ParamTypeInfo kParamTypes[] = {
    {"BSTR", "BSTR*", VT_BSTR, "s", "const Bstr&", "Bstr*"},
    {"VARIANT_BOOL", "VARIANT_BOOL*", VT_BOOL, "n", "VARIANT_BOOL", "VARIANT_BOOL*"},
    {"short", "short*", VT_I2, "n", "int16_t", "int16_t*"},
    {"long", "long*", VT_I4, "i", "int32_t", "int32_t*"},
    {"VARIANT*", "VARIANT*", VT_VARIANT, "(qv)", "const Variant&", "Variant*"},
    {"VARIANT*", "VARIANT*", VT_ARRAY | VT_UI1, "(ayah)", "", "PackedBytes*"},
};

constexpr const ParamTypeInfo& InfoOf(ParamType type) {
  return kParamTypes[static_cast<size_t>(type)];
}

struct Param {
  std::string_view name;  // empty: no parameter (the rest of Method::params)
  ParamType type = ParamType::kBstr;
  ParamKind kind = ParamKind::kIn;
};

constexpr Param In(ParamType type, std::string_view name) {
  return {name, type, ParamKind::kIn};
}
constexpr Param Out(ParamType type, std::string_view name) {
  return {name, type, ParamKind::kOut};
}
constexpr Param Retval(ParamType type, std::string_view name) {
  return {name, type, ParamKind::kRetval};
}

// The most parameters of any method (Seek10: ten keys, a count, two results).
inline constexpr size_t kMaxParams = 13;

// A method: a function member returning HRESULT, help string "method <name>". The summary
// says in one line what it does, for people: docs/reference.md is generated from it.
struct Method {
  DISPID dispid = 0;
  std::string_view name;
  std::string_view summary;
  Param params[kMaxParams] = {};
  // Whether a call may open a file by a name relative to the caller's working folder: a file
  // name among its parameters, or SQL that may reach a linked table, whose file is named as the
  // client spelt it when linking.
  bool opensFiles = false;

  constexpr std::span<const Param> Params() const {
    size_t n = 0;
    while (n < kMaxParams && !params[n].name.empty())
      ++n;
    return {params, n};
  }
};

// A dual interface deriving from IDispatch, its methods in vtable (and DISPID) order.
struct Interface {
  std::string_view name;
  std::string_view help;
  IID iid;
  std::span<const Method> methods;

  // The method with that DISPID, or nullptr: a binary search, every call of the interface
  // makes one (the methods are in DISPID order, InDispidOrder checks it).
  constexpr const Method* Find(DISPID dispid) const {
    auto found = std::lower_bound(methods.begin(), methods.end(), dispid,
                                  [](const Method& m, DISPID d) { return m.dispid < d; });
    return found != methods.end() && found->dispid == dispid ? &*found : nullptr;
  }
};

// A creatable class with one interface, its default, and perhaps an extension that the same
// object answers as well (its DISPIDs apart from the default's). Its ProgID is
// "Vorlix.<name>", its version-dependent ProgID "Vorlix.<name>.1".
struct CoClass {
  std::string_view name;
  std::string_view help;
  CLSID clsid;
  const Interface* interface;
  const Interface* extension = nullptr;
};

// Calls f with each interface an instance of c answers: its default one, then its extension.
template <typename F>
void ForEachInterface(const CoClass& c, F f) {
  f(*c.interface);
  if (c.extension) f(*c.extension);
}

// The type library's type descriptions are, in order, each class followed by its interface.
struct TypeLibrary {
  std::string_view name;
  std::string_view help;
  Guid libid;
  uint16_t major;
  uint16_t minor;
  LCID lcid;
  std::span<const CoClass> classes;
};

// The server's AppID.
inline constexpr Guid kAppId = {
    0x0C990919, 0x73E0, 0x4399, {0x85, 0x34, 0xB3, 0x55, 0x60, 0x0B, 0x9A, 0xD2}};

// Cancel is answered apart from every other method: never queued behind the call it stops, and
// from any connection of the client's process, not only the one that created the object.
inline constexpr DISPID kCancelDispid = 1008;

namespace interface_table {

using enum ParamType;
inline constexpr bool kOpensFiles = true;
// Seek10's ten keys, in number order.
#define VORLIX_SEEK_KEY(n) In(kVariant, "pvSeek" #n)

inline constexpr Method kConnectionMethods[] = {
    {1,
     "Open",
     "Opens a database file as asked, or read-only when it is held elsewhere; answers its name, or "
     "`*REPAIR*` or an empty string on failure.",
     {In(kBstr, "sFileName"), In(kBool, "bExclusive"), In(kBool, "bReadOnly"),
      Retval(kBstr, "psSuccess")},
     kOpensFiles},
    {2,
     "Table",
     "Opens a table, or makes an already open one current, and selects an index on it.",
     {In(kBstr, "sTableName"), In(kBstr, "sIndex"), Retval(kBool, "bSuccess")}},
    {3,
     "Top",
     "Moves to the first record of the current table and returns it.",
     {Out(kVariant, "pvReturnArray"), Retval(kBool, "bSuccess")}},
    {4,
     "GetFieldCount",
     "Counts the fields of the current table.",
     {Out(kShort, "piFieldCount"), Retval(kBool, "bSuccess")}},
    {5,
     "GetFieldName",
     "Names the field at a position of the current table.",
     {In(kShort, "iIndex"), Out(kBstr, "psFieldName"), Retval(kBool, "bSuccess")}},
    {6,
     "GetFieldValue",
     "Reads the field at a position of the current record.",
     {In(kShort, "iIndex"), Out(kVariant, "pvFieldValue"), Retval(kBool, "bSuccess")}},
    {7,
     "Skip",
     "Moves forward (or backward, when negative) by a number of records and returns the record "
     "reached.",
     {In(kLong, "iSkip"), Out(kVariant, "pvReturnArray"), Retval(kBool, "bSuccess")}},
    {8,
     "GetRecord",
     "Returns the current record.",
     {Out(kVariant, "pvRecordArray"), Retval(kBool, "bSuccess")}},
    {9,
     "StatusIsOk",
     "Tells whether the connection's database is usable.",
     {Retval(kBool, "bStatusIsOk")}},
    {10, "IsOpen", "Tells whether a database is open.", {Retval(kBool, "bIsOpen")}},
    {11, "GetName", "Names the open database; empty when none is open.", {Retval(kBstr, "psName")}},
    {12,
     "CloseTable",
     "Closes the open table of that name, if there is one; answers nothing.",
     {In(kBstr, "bsTableName")}},
    {13, "TableIsReady", "Tells whether no table is open.", {Retval(kBool, "bTableIsReady")}},
    {14,
     "Append",
     "Adds a record from a name/value array and returns it as stored; retries while it is locked.",
     {In(kVariant, "pvArray"), In(kBool, "bSetEmptyString"), Out(kVariant, "pvReturnArray"),
      Retval(kBool, "bSuccess")}},
    {15,
     "Bottom",
     "Moves to the last record of the current table and returns it.",
     {Out(kVariant, "pvReturnArray"), Retval(kBool, "bSuccess")}},
    {16,
     "CloseCurrentTable",
     "Closes the current table; the next open table, if any, becomes current.",
     {Retval(kBool, "bSuccess")}},
    {17, "CloseAllTables", "Closes every open table.", {Retval(kBool, "bSuccess")}},
    {18, "Close", "Closes every open table, then the database.", {Retval(kBool, "bSuccess")}},
    {19,
     "Count",
     "Counts the records of the current table.",
     {Out(kLong, "piCount"), Retval(kBool, "bSuccess")}},
    {20,
     "Delete",
     "Deletes the current record; retries while it is locked.",
     {Retval(kBool, "bSuccess")}},
    // DISPID 21 is not assigned.
    {22,
     "GetLastDAOError",
     "Reads the code and description of the last engine failure recorded.",
     {Out(kLong, "plErrorCode"), Out(kBstr, "pbsDescription")}},
    {23,
     "CanUpdate",
     "Tells whether the open database accepts changes.",
     {Retval(kBool, "bCanUpdate")}},
    {24,
     "IsDAOError",
     "Tells whether an engine failure has been recorded since the flag was last cleared.",
     {Retval(kBool, "bError")}},
    {25,
     "Exist",
     "Tells whether a table of exactly that name, letter case included, exists.",
     {In(kBstr, "sTableName"), Out(kBool, "bExists"), Retval(kBool, "bSuccess")}},
    {26,
     "Structure",
     "Describes the fields of the current table as a blank record: each name with a blank value of "
     "its type.",
     {Out(kVariant, "pvStructure"), Retval(kBool, "bSuccess")}},
    {27,
     "ListIndexes",
     "Lists the index names of the current table.",
     {Out(kVariant, "pvIndexes"), Retval(kBool, "bSuccess")}},
    {28,
     "ModifyTable",
     "Adds the fields and indexes of a field specification array to an existing table.",
     {In(kBstr, "sTableName"), In(kVariant, "pvFieldInfo"), Retval(kBool, "bSuccess")}},
    {29,
     "RenameTable",
     "Gives a table a new name.",
     {In(kBstr, "sOldName"), In(kBstr, "sNewName"), Retval(kBool, "bSuccess")}},
    {30,
     "GetCurrentIndex",
     "Names the index of the current table; empty when none is selected.",
     {Retval(kBstr, "psName")}},
    {31,
     "GetCurrentTable",
     "Names the current table; empty when no table is open.",
     {Retval(kBstr, "psName")}},
    {32,
     "Replace",
     "Changes fields of the current record from a name/value array and returns it; retries while "
     "it is locked.",
     {In(kVariant, "pvArray"), Out(kVariant, "pvReturnArray"), Retval(kBool, "bSuccess")}},
    {33,
     "Seek",
     "Finds the first record matching a key on the current index and returns it.",
     {In(kVariant, "pvSeek"), Out(kVariant, "pvReturnArray"), Retval(kBool, "bSuccess")}},
    {34,
     "Seek2",
     "Seek with two keys, one per index field.",
     {VORLIX_SEEK_KEY(1), VORLIX_SEEK_KEY(2), Out(kVariant, "pvReturnArray"),
      Retval(kBool, "bSuccess")}},
    {35,
     "Seek3",
     "Seek with three keys, one per index field.",
     {VORLIX_SEEK_KEY(1), VORLIX_SEEK_KEY(2), VORLIX_SEEK_KEY(3), Out(kVariant, "pvReturnArray"),
      Retval(kBool, "bSuccess")}},
    {36,
     "Seek10",
     "Seek with the first `iNum` of ten keys.",
     {VORLIX_SEEK_KEY(1), VORLIX_SEEK_KEY(2), VORLIX_SEEK_KEY(3), VORLIX_SEEK_KEY(4),
      VORLIX_SEEK_KEY(5), VORLIX_SEEK_KEY(6), VORLIX_SEEK_KEY(7), VORLIX_SEEK_KEY(8),
      VORLIX_SEEK_KEY(9), VORLIX_SEEK_KEY(10), In(kLong, "iNum"), Out(kVariant, "pvReturnArray"),
      Retval(kBool, "bSuccess")}},
    {37,
     "CreateDatabase",
     "Creates a new, empty database file.",
     {In(kBstr, "sDatabaseName"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {38,
     "CreateTable",
     "Creates a table from a field specification array.",
     {In(kBstr, "sTableName"), In(kVariant, "pvFieldInfo"), Retval(kBool, "bSuccess")}},
    {39,
     "ReadOnly",
     "Tells whether the database refuses changes; true also when none is open.",
     {Retval(kBool, "bIsReadOnly")}},
    {40,
     "DeleteTable",
     "Deletes a table, and its relations first when asked to.",
     {In(kBstr, "sTableName"), In(kBool, "bDeleteRelations"), Retval(kBool, "bSuccess")}},
    {41,
     "ListTables",
     "Lists the names of the user tables.",
     {Out(kVariant, "pvTables"), Retval(kBool, "bSuccess")}},
    {42,
     "SQL",
     "Runs a query and returns all its rows in one result-set array.",
     {In(kBstr, "sSql"), Out(kVariant, "pvRecordArray"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {43,
     "Command",
     "Runs an action statement, one that returns no rows.",
     {In(kBstr, "sCommand"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {44,
     "RelationExists",
     "Tells whether a relation of that name exists.",
     {In(kBstr, "sRelationName"), Out(kBool, "bExists"), Retval(kBool, "bSuccess")}},
    {45,
     "RelationDelete",
     "Deletes every relation between a primary table and a foreign table.",
     {In(kBstr, "sTableName"), In(kBstr, "sForeignTableName"), Retval(kBool, "bSuccess")}},
    {46,
     "Compact",
     "Writes a compacted copy of a database file under a new name.",
     {In(kBstr, "sOldName"), In(kBstr, "sNewName"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {47,
     "LinkTable",
     "Adds a table that links to a table of another database file.",
     {In(kBstr, "sTableName"), In(kBstr, "sDatabaseName"), In(kBstr, "sSourceTable"),
      Out(kBool, "bCreated"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {48,
     "Query",
     "Runs a saved query with name/value parameters and returns its rows in one result-set array.",
     {In(kBstr, "sQueryName"), In(kVariant, "pvParameterArray"), Out(kVariant, "pvRecordArray"),
      Retval(kBool, "bSuccess")},
     kOpensFiles},
    {49,
     "CreateIndex",
     "Creates an index on one field of a table, unique or primary when asked.",
     {In(kBstr, "sTableName"), In(kBstr, "sFieldName"), In(kBool, "bUnique"), In(kBool, "bPrimary"),
      Retval(kBool, "bSuccess")}},
    {50,
     "CreateQuery",
     "Saves a statement as a named query, replacing the statement of one that exists.",
     {In(kBstr, "sQueryName"), In(kBstr, "sSql"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {51,
     "OpenForWrite",
     "Opens a database file shared for reading and writing; `bReadOnly` tells when it can only be "
     "read.",
     {In(kBstr, "sFileName"), Out(kBool, "bReadOnly"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {52,
     "IsEOF",
     "Tells whether the current table is past its last record.",
     {Retval(kBool, "bIsEOF")}},
    {53,
     "IsBOF",
     "Tells whether the current table is before its first record.",
     {Retval(kBool, "bIsBOF")}},
    {54,
     "Required",
     "Makes a table current and tells whether one of its fields must have a value.",
     {In(kBstr, "sTableName"), In(kBstr, "sFieldName"), Out(kBool, "bRequired"),
      Retval(kBool, "bSuccess")}},
    {55,
     "GetAttributes",
     "Describes a field of the current table as name/value pairs of its attributes.",
     {In(kBstr, "sFieldName"), Out(kVariant, "pvReturnArray"), Retval(kBool, "bSuccess")}},
    {56,
     "GetFieldValueFromName",
     "Reads the named field of the current record.",
     {In(kBstr, "sFieldName"), Out(kVariant, "pvFieldValue"), Retval(kBool, "bSuccess")}},
    {57,
     "CommandWithRecords",
     "Runs an action statement and counts the records it changed.",
     {In(kBstr, "sCommand"), Out(kLong, "iRecordsUpdated"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {58, "GetVorlixVersion", "Answers the interface version, 1.", {Retval(kShort, "nVersion")}},
};
#undef VORLIX_SEEK_KEY

// The extension's DISPIDs start at 1000, clear of the default interface's. A statement's
// parameters (pvParams) are VT_EMPTY for none, else a one-dimensional VARIANT array: the values
// in order for "?" places, or name/value pairs when every place is named (":name", "@name").
// Values are bound, never written into the text. A column description is one array per column:
// name, VARTYPE (VT_VARIANT when computed), declared type, size, nullable. ExecuteMany's rows
// are an array of such parameter arrays, or for "?" places the rows column by column as Fetch
// answers them: a two-dimensional VARIANT array, columns x 2, of each column's typed array and
// its Null mask (VT_EMPTY or the VT_UI1 array).
inline constexpr Method kExtensionMethods[] = {
    {1000,
     "Execute",
     "Runs one statement with bound parameters: answers the records it changed and the last "
     "inserted row id, or, for a statement that returns rows, a cursor and its columns.",
     {In(kBstr, "sSql"), In(kVariant, "pvParams"), Out(kLong, "plRowsAffected"),
      Out(kVariant, "pvLastRowId"), Out(kLong, "plCursor"), Out(kVariant, "pvColumns"),
      Retval(kBool, "bSuccess")},
     kOpensFiles},
    {1001,
     "OpenCursor",
     "Opens a cursor on a statement that reads rows, with bound parameters; answers its id and "
     "its columns.",
     {In(kBstr, "sSql"), In(kVariant, "pvParams"), Out(kLong, "plCursor"),
      Out(kVariant, "pvColumns"), Retval(kBool, "bSuccess")},
     kOpensFiles},
    {1002,
     "Fetch",
     "Reads up to `iRows` more rows of a cursor, column by column: one typed array per column, "
     "and a byte array per column with Nulls (1 marks a Null); fewer rows at the end.",
     {In(kLong, "iCursor"), In(kLong, "iRows"), Out(kVariant, "pvColumns"),
      Out(kVariant, "pvNulls"), Out(kLong, "plRows"), Retval(kBool, "bSuccess")}},
    {1003, "CloseCursor", "Closes a cursor.", {In(kLong, "iCursor"), Retval(kBool, "bSuccess")}},
    {1004,
     "BeginTrans",
     "Starts the connection's transaction: other clients see none of its changes before commit, "
     "and it rolls back if the object goes away.",
     {Retval(kBool, "bSuccess")}},
    {1005, "CommitTrans", "Commits the connection's transaction.", {Retval(kBool, "bSuccess")}},
    {1006, "Rollback", "Rolls the connection's transaction back.", {Retval(kBool, "bSuccess")}},
    {1007,
     "ExecuteMany",
     "Runs one statement once per parameter array of `pvRows`, or per row when it gives the "
     "rows column by column as Fetch answers them; all or none; answers the records changed.",
     {In(kBstr, "sSql"), In(kVariant, "pvRows"), Out(kLong, "plRowsAffected"),
      Retval(kBool, "bSuccess")},
     kOpensFiles},
    {kCancelDispid,
     "Cancel",
     "Asks the call running on this object to stop: its statement fails with 3059. Answers at "
     "once, from any connection of the same client process; 0 when no call was running.",
     {Retval(kBool, "bCancelled")}},
    {1009,
     "FetchPacked",
     "Reads the rows Fetch would as one packed batch (protocol/PackedColumns.h): its bytes "
     "inline when small, else in a sealed memory file passed as a descriptor, which no reply "
     "bound limits.",
     {In(kLong, "iCursor"), In(kLong, "iRows"), Out(kPacked, "pvPacked"), Out(kLong, "plRows"),
      Retval(kBool, "bSuccess")}},
};

inline constexpr Method kStatusMethods[] = {
    {1, "DaoInit", "Starts the database engine.", {}},
    {2, "DaoTerm", "Stops the database engine.", {}},
};

// Each interface's DISPIDs rise strictly from one method to the next.
constexpr bool InDispidOrder(std::span<const Method> methods) {
  return std::adjacent_find(methods.begin(), methods.end(), [](const Method& a, const Method& b) {
           return a.dispid >= b.dispid;
         }) == methods.end();
}
static_assert(InDispidOrder(kConnectionMethods) && InDispidOrder(kExtensionMethods) &&
              InDispidOrder(kStatusMethods));

// A packed batch is only ever answered, by a method that answers one at most.
constexpr bool PackedOnlyOut(std::span<const Method> methods) {
  return std::all_of(methods.begin(), methods.end(), [](const Method& m) {
    const auto params = m.Params();
    const auto packed = [](const Param& p) { return p.type == ParamType::kPacked; };
    return std::count_if(params.begin(), params.end(), packed) <= 1 &&
           std::none_of(params.begin(), params.end(),
                        [&](const Param& p) { return packed(p) && p.kind != ParamKind::kOut; });
  });
}
static_assert(PackedOnlyOut(kConnectionMethods) && PackedOnlyOut(kExtensionMethods) &&
              PackedOnlyOut(kStatusMethods));

}  // namespace interface_table

inline constexpr Interface kIDBConnection = {
    "IDBConnection",
    "IDBConnection Interface",
    {0x21E29A29, 0x971A, 0x41E6, {0xA6, 0xD5, 0x88, 0x59, 0xDB, 0x03, 0xFC, 0x05}},
    interface_table::kConnectionMethods};

inline constexpr Interface kIDBConnection2 = {
    "IDBConnection2",
    "IDBConnection2 Interface",
    {0x5E3C1A77, 0x2B94, 0x4D0F, {0x9A, 0x61, 0x3C, 0x7E, 0x15, 0xD2, 0x8B, 0x40}},
    interface_table::kExtensionMethods};

inline constexpr Interface kIDaoStatus = {
    "IDaoStatus",
    "IDaoStatus Interface",
    {0x62F71987, 0x9EDD, 0x49CB, {0xAC, 0xFE, 0x8B, 0x64, 0x8D, 0x1E, 0xFD, 0xFD}},
    interface_table::kStatusMethods};

inline constexpr CoClass kClasses[] = {
    {"DBConnection",
     "DBConnection Class",
     {0xB1106722, 0xDEA1, 0x4B39, {0x88, 0x7C, 0xE8, 0xE2, 0x9D, 0x8A, 0x84, 0xC6}},
     &kIDBConnection,
     &kIDBConnection2},
    {"DaoStatus",
     "DaoStatus Class",
     {0x85FE6B84, 0x7E2F, 0x4F6F, {0x8C, 0xEB, 0x85, 0x92, 0xA9, 0x14, 0x91, 0x10}},
     &kIDaoStatus},
};

inline constexpr TypeLibrary kVorlixLib = {
    "VorlixLib",
    "Vorlix 1.0 Type Library",
    {0x8DE725BB, 0xD4D3, 0x4FF9, {0x87, 0x5E, 0x2F, 0xDE, 0x6F, 0x72, 0xAC, 0xEE}},
    1,
    0,
    1033,
    kClasses};

}  // namespace vorlix
