// Table-type recordsets: positions, moves in rowid and index order, field information and
// values, seeks; and a snapshot's values against a table-type recordset's.
#include "automation/SafeArray.h"
#include "engine/recordsets/Transaction.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

using RecordsetTest = EngineTest;

TEST_F(RecordsetTest, MovesStopAtTheEndsWithoutFailingAndMoveZeroRereads) {
  Sql(path_, "CREATE TABLE T (N LONG)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"t");
  EXPECT_EQ(rs.GetName().Utf8(), "T");
  EXPECT_TRUE(rs.IsBOF() && rs.IsEOF());
  EXPECT_EQ(rs.GetRecordCount(), 0);
  rs.MoveFirst();
  rs.MoveLast();
  EXPECT_TRUE(rs.IsBOF() && rs.IsEOF());
  EXPECT_EQ(DaoCode([&] { rs.MovePrev(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.Edit(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.Open(dbOpenTable, u"T"); }), dao_error::kInvalidOperation);

  Sql(path_, "INSERT INTO T VALUES (1), (2), (3), (4), (5)");
  EXPECT_EQ(rs.GetRecordCount(), 5);
  rs.MoveLast();
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_FALSE(rs.IsBOF());
  EXPECT_EQ(DaoCode([&] { rs.MoveNext(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.Move(1); }), dao_error::kNoCurrentRecord);
  rs.Move(-2);  // from EOF the last record counts as one
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "4");
  rs.Move(-3);
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "1");
  rs.MovePrev();
  EXPECT_TRUE(rs.IsBOF());
  EXPECT_FALSE(rs.IsEOF());
  EXPECT_EQ(DaoCode([&] { rs.MovePrev(); }), dao_error::kNoCurrentRecord);
  rs.Move(2);  // from BOF the first record counts as one
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "2");

  rs.MovePrev();
  Sql(path_, "UPDATE T SET N = 10 WHERE N = 1");
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "1");  // read at the move
  rs.Move(0);
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "10");
  Sql(path_, "DELETE FROM T WHERE N = 10");
  EXPECT_EQ(DaoCode([&] { rs.Move(0); }), dao_error::kRecordDeleted);
  rs.MoveNext();
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "2");
}

// A walk reads records ahead of it; whatever anyone writes between two of its moves, another
// connection or this one, in a transaction or not, shows at the next move.
TEST_F(RecordsetTest, AWalkSeesEveryChangeMadeBetweenItsMoves) {
  std::string rows;
  for (int n = 1; n <= 300; ++n)
    rows += (n > 1 ? "), (" : "(") + std::to_string(n);
  Sql(path_,
      "CREATE TABLE T (N LONG); CREATE INDEX ByN ON T (N); INSERT INTO T VALUES " + rows + ")");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"T");
  rs.SetCurrentIndex(u"ByN");
  const auto next = [&](int by = 1) {
    by > 0 ? rs.MoveNext() : rs.MovePrev();
    return rs.IsEOF() || rs.IsBOF() ? "end" : Text(rs.GetFieldValue(0));
  };
  for (int n = 2; n <= 30; ++n)
    ASSERT_EQ(next(), std::to_string(n));
  Sql(path_, "DELETE FROM T WHERE N = 31");
  EXPECT_EQ(next(), "32");
  Sql(path_, "INSERT INTO T VALUES (32)");  // after the current one: equal keys go by rowid
  EXPECT_EQ(next(), "32");
  EXPECT_EQ(next(), "33");
  Exec("UPDATE T SET N = 1000 WHERE N = 34");
  EXPECT_EQ(next(), "35");
  {
    CDaoTransaction transaction(&db_);
    transaction.Begin();
    Exec("DELETE FROM T WHERE N = 36");
    EXPECT_EQ(next(), "37");
    transaction.Rollback();
  }
  EXPECT_EQ(next(-1), "36");  // back again after the rollback
  EXPECT_EQ(next(-1), "35");
  Sql(path_, "UPDATE T SET N = 33 WHERE N = 1000");
  EXPECT_EQ(next(-1), "33");
  int walked = 0;
  while (next() != "end")
    ++walked;
  EXPECT_EQ(walked, 300 - 35 + 1);  // 35 to 300: 34 is the 33 the walk is at
}

// Every index order, walked both ways and by jumps, against SQLite's own ORDER BY over the
// same index: duplicates, Nulls, letter case, descending and two-field keys.
TEST_F(RecordsetTest, IndexOrderMatchesSqliteOrderingEveryWay) {
  Sql(path_,
      "CREATE TABLE T (A TEXT(10) COLLATE NOCASE, B LONG);"
      "CREATE INDEX ByA ON T (A); CREATE INDEX ByADescB ON T (A DESC, B);"
      "CREATE UNIQUE INDEX ByB ON T (B)");
  // Words in either case and Nulls; B a Null in every fourth row, else all different.
  Sql(path_,
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 59)"
      " INSERT INTO T SELECT json_extract('[\"apple\", \"Apple\", \"pear\", \"PEAR\", \"fig\"]',"
      " '$[' || ((i * i + i / 5) % 6) || ']'), CASE i % 4 WHEN 3 THEN NULL ELSE i * 7 % 60 END "
      "FROM n");
  const std::pair<const char16_t*, const char*> orders[] = {{u"", "rowid"},
                                                            {u"ByA", "A, rowid"},
                                                            {u"ByADescB", "A DESC, B, rowid"},
                                                            {u"ByB", "B, rowid"}};
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"T");
  for (const auto& [index, orderBy] : orders) {
    SCOPED_TRACE(orderBy);
    const Lines expected = Sql(path_, std::string("SELECT rowid FROM T ORDER BY ") + orderBy);
    rs.SetCurrentIndex(index);
    Lines forward;
    for (; !rs.IsEOF(); rs.MoveNext())
      forward.push_back(Text(rs.GetBookmark()));
    EXPECT_EQ(forward, expected);
    Lines backward;
    for (rs.MoveLast(); !rs.IsBOF(); rs.MovePrev())
      backward.insert(backward.begin(), Text(rs.GetBookmark()));
    EXPECT_EQ(backward, expected);
    // Jumps of every size from a few places, forward and back.
    for (int from : {0, 5, 31, 59}) {
      for (int jump : {2, 9, 25, -3, -17, -40}) {
        rs.MoveFirst();
        if (from) rs.Move(from);
        rs.Move(jump);
        const int to = from + jump;
        if (to < 0) {
          EXPECT_TRUE(rs.IsBOF());
        } else if (to >= 60) {
          EXPECT_TRUE(rs.IsEOF());
        } else {
          EXPECT_EQ(Text(rs.GetBookmark()), expected[to]) << from << " + " << jump;
        }
      }
    }
  }
}

// Each type written by a table definition reads back as the same type and size, and its values
// as the type's Variant.
TEST_F(RecordsetTest, EveryTypeRoundTripsThroughItsDeclaredType) {
  const struct {
    int16_t type;
    int32_t size;
    const char* literal;
    VARTYPE vt;
  } fields[] = {{dbBoolean, 1, "1", VT_BOOL},
                {dbByte, 1, "200", VT_UI1},
                {dbInteger, 2, "-3", VT_I2},
                {dbLong, 4, "70000", VT_I4},
                {dbCurrency, 8, "12.5", VT_CY},
                {dbSingle, 4, "0.5", VT_R4},
                {dbDouble, 8, "2.25", VT_R8},
                {dbDate, 8, "'2024-02-29 13:45:00'", VT_DATE},
                {dbBinary, 16, "x'0102'", VT_ARRAY | VT_UI1},
                {dbText, 20, "'Ann'", VT_BSTR},
                {dbLongBinary, 0, "x'ff'", VT_ARRAY | VT_UI1},
                {dbMemo, 0, "'long text'", VT_BSTR},
                {dbGUID, 16, "'{01234567-89AB-CDEF-0123-456789ABCDEF}'", VT_BSTR},
                {dbLong, 4, "NULL", VT_NULL}};
  CDaoTableDef def(&db_);
  def.Create(u"AllTypes");
  std::string values;
  for (size_t i = 0; i < std::size(fields); ++i) {
    const std::u16string name = u"F" + std::u16string(1, char16_t(u'a' + i));
    const bool sized = fields[i].type == dbText || fields[i].type == dbBinary;
    def.CreateField(Field(name.c_str(), fields[i].type, sized ? fields[i].size : 0));
    values += std::string(i ? ", " : "") + fields[i].literal;
  }
  def.Append();
  Sql(path_, "INSERT INTO AllTypes VALUES (" + values + ")");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"AllTypes", dbReadOnly);
  ASSERT_EQ(rs.GetFieldCount(), static_cast<int>(std::size(fields)));
  for (int i = 0; i < rs.GetFieldCount(); ++i) {
    SCOPED_TRACE(fields[i].literal);
    CDaoFieldInfo byPosition, byName;
    rs.GetFieldInfo(i, byPosition, AFX_DAO_PRIMARY_INFO);
    rs.GetFieldInfo(byPosition.m_strName, byName, AFX_DAO_ALL_INFO);
    EXPECT_EQ(byName.m_nOrdinalPosition, i);
    EXPECT_EQ(byName.m_nType, fields[i].type);
    EXPECT_EQ(byName.m_lSize, fields[i].size);
    EXPECT_EQ(rs.GetFieldValue(i).vt(), fields[i].vt);
  }
  EXPECT_EQ(rs.GetFieldValue(u"fA").AsSigned(), VARIANT_TRUE);  // names ignore letter case
  EXPECT_EQ(DaoCode([&] { rs.GetFieldValue(14); }), dao_error::kItemNotFound);
}

// Values another program stored in a form the field's type does not keep are read as they
// are stored, never misread as the type.
TEST_F(RecordsetTest, ValuesStoredOutsideTheirTypeKeepTheirStorageClass) {
  Sql(path_,
      "CREATE TABLE Odd (N LONG, D DATETIME, M CURRENCY, B BYTE);"
      "INSERT INTO Odd VALUES ('abc', 'not a date', 12, 300), (5000000000, 45000.5, 'x', -1)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"Odd");
  // An integer amount is still an amount; 300 and -1 do not fit a Byte.
  const VARTYPE expected[2][4] = {{VT_BSTR, VT_BSTR, VT_CY, VT_I4}, {VT_I8, VT_R8, VT_BSTR, VT_I4}};
  for (const auto& row : expected) {
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(rs.GetFieldValue(i).vt(), row[i]) << rs.GetRecordCount() << " " << i;
    rs.MoveNext();
  }
  rs.MoveFirst();
  EXPECT_EQ(rs.GetFieldValue(u"M").AsSigned(), 120000);
}

TEST_F(RecordsetTest, FieldsAndIndexesAddedAfterOpeningShowAndIndexesAreSelectedByName) {
  MakePeople();
  Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 20)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"People");
  rs.MoveNext();
  CDaoTableDef def(&db_);
  def.Open(u"People");
  def.CreateField(Field(u"Town", dbText, 10));
  def.CreateIndex(Index(u"ByTown", {{u"Town", false}}));
  EXPECT_EQ(rs.GetFieldCount(), 4);
  EXPECT_EQ(rs.GetIndexCount(), 4);
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");  // still on the same record
  EXPECT_EQ(rs.GetFieldValue(u"Town").vt(), VT_NULL);
  rs.Edit();
  rs.SetFieldValue(u"Town", Bstr(u"Oslo"));
  rs.Update();
  rs.SetCurrentIndex(u"bytown");
  EXPECT_EQ(rs.GetCurrentIndex().Utf8(), "ByTown");
  EXPECT_EQ(DaoCode([&] { rs.SetCurrentIndex(u"Missing"); }), dao_error::kNotAnIndex);
  EXPECT_EQ(rs.GetCurrentIndex().Utf8(), "ByTown");
  const Variant oslo = Variant::Str(u"OSLO");
  EXPECT_TRUE(rs.Seek("=", &oslo));
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");
}

// Keys are converted to the index fields' types, Text made by SQL matches without regard to
// case, and a miss leaves the position where it was. Fewer keys than the index has match a
// prefix: SeekTest, through the connection.
TEST_F(RecordsetTest, SeekFindsTheFirstRecordWithTheKeysInIndexOrder) {
  Exec("CREATE TABLE S (ID INTEGER PRIMARY KEY, City TEXT(20), Street TEXT(20), N SHORT)");
  Exec("CREATE INDEX Address ON S (City, Street)");
  Exec("CREATE INDEX ByN ON S (N)");
  Exec(
      "INSERT INTO S VALUES (5, 'Oslo', 'Main', 42), (2, 'Bergen', 'Quay', 7), "
      "(9, 'Oslo', 'Bay', 42)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"S");
  const Variant oslo = Variant::Str(u"oslo"), main = Variant::Str(u"MAIN");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &oslo); }), dao_error::kNeedsIndex);
  const struct {
    const char16_t* index;
    std::vector<Variant> keys;
    bool found;
    const char* id;  // the record current afterwards
  } seeks[] = {{u"PrimaryKey", {Variant::Str(u"9")}, true, "9"},
               {u"Address", {Variant::Str(u"BERGEN"), Variant::Str(u"quay")}, true, "2"},
               {u"ByN", {Variant::Str(u"42")}, true, "5"},
               {u"ByN", {Variant::I4(7)}, true, "2"},
               {u"ByN", {Variant::I4(8)}, false, "2"}};
  for (const auto& s : seeks) {
    SCOPED_TRACE(Bstr(s.index).Utf8() + " " + s.id);
    if (rs.GetCurrentIndex() != Bstr(s.index)) rs.SetCurrentIndex(s.index);
    const bool found = rs.Seek("=", s.keys.data(), static_cast<uint16_t>(s.keys.size()));
    EXPECT_EQ(found, s.found);
    EXPECT_EQ(Text(rs.GetFieldValue(u"ID")), s.id);
  }
  const Variant old = Variant::Str(u"old");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &old); }), dao_error::kConversionError);
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &old, uint16_t{0}); }), dao_error::kInvalidArgument);
  EXPECT_EQ(DaoCode([&] { rs.Seek(">", &old); }), dao_error::kInvalidArgument);
  rs.SetCurrentIndex(u"Address");
  EXPECT_TRUE(rs.Seek("=", &oslo, &main));
  EXPECT_EQ(Text(rs.GetFieldValue(u"ID")), "5");
  rs.MovePrev();  // moves go on in index order from the record found
  EXPECT_EQ(Text(rs.GetFieldValue(u"ID")), "9");
}

// A snapshot keeps its rows in a form of its own; every storage class, empty and multi-byte
// text, empty and long blobs, and enough rows to outgrow its first buffers read back exactly
// as the table-type recordset reads them.
TEST_F(RecordsetTest, ASnapshotReadsEveryValueAsATableTypeRecordsetDoes) {
  Sql(path_,
      "CREATE TABLE Mixed (N LONG, R DOUBLE, T TEXT(50), B LONGBINARY, D DATETIME);"
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 2999)"
      " INSERT INTO Mixed SELECT"
      "  CASE i % 4 WHEN 0 THEN NULL WHEN 1 THEN 5000000000 + i ELSE i END,"
      "  CASE i % 3 WHEN 0 THEN NULL ELSE i * 0.25 END,"
      "  CASE i % 5 WHEN 0 THEN NULL WHEN 1 THEN '' WHEN 2 THEN 'Zoë ' || i ELSE printf('%040d', i)"
      "  END,"
      "  CASE i % 3 WHEN 0 THEN NULL WHEN 1 THEN x'' ELSE randomblob(i % 300) END,"
      "  CASE i % 2 WHEN 0 THEN '2024-02-29 13:45:00' ELSE 'not a date' END FROM n");
  CDaoRecordset table(&db_);
  table.Open(dbOpenTable, u"Mixed", dbReadOnly);
  CDaoQueryDef q(&db_);
  q.Create(u"", u"SELECT N, R, T, B, D, N + 1 AS Computed FROM Mixed ORDER BY rowid");
  CDaoRecordset snapshot(&db_);
  snapshot.Open(&q, dbOpenSnapshot, 0);
  EXPECT_EQ(snapshot.GetRecordCount(), 3000);
  int rows = 0;
  for (; !snapshot.IsEOF(); snapshot.MoveNext(), table.MoveNext(), ++rows) {
    ASSERT_FALSE(table.IsEOF());
    for (int i = 0; i < 5; ++i)
      ASSERT_EQ(snapshot.GetFieldValue(i), table.GetFieldValue(i)) << rows << " " << i;
    // A computed column keeps the storage class: I4, I8 beyond it, or Null, as N has.
    ASSERT_EQ(snapshot.GetFieldValue(5).vt(), table.GetFieldValue(0).vt()) << rows;
  }
  EXPECT_EQ(rows, 3000);
  // Backward and by bookmark the same values come back.
  snapshot.MoveLast();
  table.MoveLast();
  EXPECT_EQ(snapshot.GetFieldValue(u"T"), table.GetFieldValue(u"T"));
  snapshot.SetBookmark(Variant::Signed(VT_I8, 7));
  table.SetBookmark(Variant::Signed(VT_I8, 8));  // rowids count from 1
  EXPECT_EQ(snapshot.GetFieldValue(u"B"), table.GetFieldValue(u"B"));
}

}  // namespace
}  // namespace vorlix::test
