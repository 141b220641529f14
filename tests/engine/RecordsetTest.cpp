// Table-type recordsets: positions, moves in rowid and index order, field information and
// values, seeks.
#include <random>

#include "RecordTestSupport.h"
#include "automation/SafeArray.h"
#include "engine/TableDef.h"

namespace vorlix {
namespace {

using test::B;
using test::DaoCode;
using test::Sql;
using test::Text;

class RecordsetTest : public test::RecordTest {};

TEST_F(RecordsetTest, EmptyTableIsAtBothEndsAndHasNoCurrentRecord) {
  MakePeople();
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"people");
  EXPECT_EQ(rs.GetName().Utf8(), "People");
  EXPECT_TRUE(rs.IsBOF());
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(rs.GetRecordCount(), 0);
  rs.MoveFirst();
  rs.MoveLast();
  EXPECT_TRUE(rs.IsBOF() && rs.IsEOF());
  EXPECT_EQ(DaoCode([&] { rs.MoveNext(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.MovePrev(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.GetFieldValue(0); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.Edit(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.Delete(); }), dao_error::kNoCurrentRecord);
  EXPECT_EQ(DaoCode([&] { rs.Open(dbOpenTable, u"People"); }), dao_error::kInvalidOperation);
  rs.Close();
  EXPECT_FALSE(rs.IsOpen());
  EXPECT_EQ(DaoCode([&] { rs.Open(dbOpenTable, u"Nobody"); }), dao_error::kItemNotFound);
  EXPECT_FALSE(rs.IsOpen());
}

TEST_F(RecordsetTest, MovesStopAtTheEndsWithoutFailing) {
  Sql(path_, "CREATE TABLE T (N LONG); INSERT INTO T VALUES (1), (2), (3), (4), (5)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"T");
  EXPECT_EQ(Text(rs.GetFieldValue(u"N")), "1");
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
  rs.Move(1000000);
  EXPECT_TRUE(rs.IsEOF());
  rs.MoveFirst();
  rs.Move(-1000000);
  EXPECT_TRUE(rs.IsBOF());
  rs.MoveNext();
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "1");
}

TEST_F(RecordsetTest, MoveZeroRereadsTheCurrentRecord) {
  Sql(path_, "CREATE TABLE T (N LONG); INSERT INTO T VALUES (1), (2)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"T");
  Sql(path_, "UPDATE T SET N = 10 WHERE N = 1");
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "1");  // read at the move
  rs.Move(0);
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "10");
  Sql(path_, "DELETE FROM T WHERE N = 10");
  EXPECT_EQ(DaoCode([&] { rs.Move(0); }), dao_error::kRecordDeleted);
  rs.MoveNext();
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "2");
}

// Every index order, walked both ways and by jumps, against SQLite's own ORDER BY over the
// same index: duplicates, Nulls, letter case, descending and two-field keys.
TEST_F(RecordsetTest, IndexOrderMatchesSqliteOrderingEveryWay) {
  Sql(path_,
      "CREATE TABLE T (A TEXT(10) COLLATE NOCASE, B LONG);"
      "CREATE INDEX ByA ON T (A); CREATE INDEX ByADescB ON T (A DESC, B);"
      "CREATE UNIQUE INDEX ByB ON T (B)");
  std::mt19937 random(7);
  const char* words[] = {"apple", "Apple", "pear", "PEAR", "fig"};
  std::string insert = "INSERT INTO T VALUES ";
  for (int i = 0; i < 60; ++i) {
    const int w = random() % 6;
    const int b = random() % 4 == 0 ? -1 : i;
    insert += std::string(i ? ", " : "") + "(" +
              (w == 5 ? std::string("NULL") : "'" + std::string(words[w]) + "'") + ", " +
              (b < 0 ? std::string("NULL") : std::to_string(b * 7 % 60)) + ")";
  }
  Sql(path_, insert);
  const std::pair<const char16_t*, const char*> orders[] = {{u"", "rowid"},
                                                            {u"ByA", "A, rowid"},
                                                            {u"ByADescB", "A DESC, B, rowid"},
                                                            {u"ByB", "B, rowid"}};
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"T");
  for (const auto& [index, orderBy] : orders) {
    SCOPED_TRACE(orderBy);
    const std::vector<std::string> expected =
        Sql(path_, std::string("SELECT rowid FROM T ORDER BY ") + orderBy);
    rs.SetCurrentIndex(index);
    EXPECT_EQ(rs.GetCurrentIndex().Utf8(), Bstr(index).Utf8());
    std::vector<std::string> forward;
    for (; !rs.IsEOF(); rs.MoveNext())
      forward.push_back(std::to_string(rs.GetBookmark().AsSigned()));
    EXPECT_EQ(forward, expected);
    std::vector<std::string> backward;
    for (rs.MoveLast(); !rs.IsBOF(); rs.MovePrev())
      backward.insert(backward.begin(), std::to_string(rs.GetBookmark().AsSigned()));
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
          EXPECT_EQ(std::to_string(rs.GetBookmark().AsSigned()), expected[to])
              << from << " + " << jump;
        }
      }
    }
  }
}

TEST_F(RecordsetTest, MovesSeeOtherUsersChanges) {
  MakePeople();
  Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 40), ('Cy', 50)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"People");
  rs.SetCurrentIndex(u"ByName");
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Ann");
  CDaoDatabase other;
  other.Open(B(path_));
  CDaoRecordset theirs(&other);
  theirs.Open(dbOpenTable, u"People");
  theirs.AddNew();
  theirs.SetFieldValue(u"Name", Variant::Str(u"Anna"));
  theirs.Update();
  theirs.MoveNext();  // Bob
  theirs.Delete();
  rs.MoveNext();  // Anna sorts after Ann; Bob is gone
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Anna");
  rs.MoveNext();
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Cy");
  // The current record deleted behind our back: moves go on from its key.
  Sql(path_, "DELETE FROM People WHERE Name = 'Cy'");
  rs.MovePrev();
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Anna");
  EXPECT_EQ(rs.GetRecordCount(), 2);
}

TEST_F(RecordsetTest, FieldInformationAndTypedValues) {
  Exec(
      "CREATE TABLE AllTypes (Flag BIT, Small BYTE, Mid SHORT, Big LONG, Money CURRENCY, "
      "Ratio SINGLE, Exact DOUBLE, Born DATETIME, Raw BINARY(4), Name TEXT(10), Notes MEMO, "
      "Blob LONGBINARY, Id GUID, Empty LONG)");
  Exec(
      "INSERT INTO AllTypes VALUES (1, 200, -3, 70000, 12.5, 0.5, 2.25, '2024-02-29 13:45:00', "
      "x'0102', 'Ann', 'long text', x'ff', '{01234567-89AB-CDEF-0123-456789ABCDEF}', NULL)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"AllTypes", dbReadOnly);
  ASSERT_EQ(rs.GetFieldCount(), 14);
  const VARTYPE expected[] = {VT_BOOL, VT_UI1,  VT_I2,
                              VT_I4,   VT_CY,   VT_R4,
                              VT_R8,   VT_DATE, VT_ARRAY | VT_UI1,
                              VT_BSTR, VT_BSTR, VT_ARRAY | VT_UI1,
                              VT_BSTR, VT_NULL};
  for (int i = 0; i < 14; ++i) {
    CDaoFieldInfo byPosition, byName;
    rs.GetFieldInfo(i, byPosition, AFX_DAO_PRIMARY_INFO);
    rs.GetFieldInfo(byPosition.m_strName, byName, AFX_DAO_ALL_INFO);
    EXPECT_EQ(byName.m_nOrdinalPosition, i);
    EXPECT_EQ(rs.GetFieldValue(i).vt(), expected[i]) << byPosition.m_strName.Utf8();
  }
  CDaoFieldInfo name;
  rs.GetFieldInfo(u"NAME", name, AFX_DAO_SECONDARY_INFO);
  EXPECT_EQ(name.m_nType, dbText);
  EXPECT_EQ(name.m_lSize, 10);
  EXPECT_EQ(rs.GetFieldValue(u"Flag").AsSigned(), VARIANT_TRUE);
  EXPECT_EQ(rs.GetFieldValue(u"Money").AsSigned(), 125000);
  EXPECT_NEAR(rs.GetFieldValue(u"Born").AsReal(), 45351 + 13.75 / 24, 1e-9);
  EXPECT_EQ(rs.GetFieldValue(u"Raw").AsArray().Count(), 2u);
  EXPECT_EQ(DaoCode([&] { rs.GetFieldValue(14); }), dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { rs.GetFieldValue(u"Nothing"); }), dao_error::kItemNotFound);
  CDaoFieldInfo info;
  EXPECT_EQ(DaoCode([&] { rs.GetFieldInfo(-1, info); }), dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { rs.GetFieldInfo(u"Nothing", info); }), dao_error::kItemNotFound);
}

// Values another program stored in a form the field's type does not keep are read as they
// are stored, never misread as the type.
TEST_F(RecordsetTest, ValuesStoredOutsideTheirTypeKeepTheirStorageClass) {
  Sql(path_,
      "CREATE TABLE Odd (N LONG, D DATETIME, M CURRENCY, B BYTE);"
      "INSERT INTO Odd VALUES ('abc', 'not a date', 12, 300), (5000000000, 45000.5, 'x', -1)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"Odd");
  EXPECT_EQ(rs.GetFieldValue(u"N").vt(), VT_BSTR);
  EXPECT_EQ(rs.GetFieldValue(u"D").vt(), VT_BSTR);
  EXPECT_EQ(rs.GetFieldValue(u"M").vt(), VT_CY);  // an integer amount is still an amount
  EXPECT_EQ(rs.GetFieldValue(u"M").AsSigned(), 120000);
  EXPECT_EQ(rs.GetFieldValue(u"B").vt(), VT_I4);  // 300 does not fit a Byte
  rs.MoveNext();
  EXPECT_EQ(rs.GetFieldValue(u"N").vt(), VT_I8);
  EXPECT_EQ(rs.GetFieldValue(u"D").vt(), VT_R8);
  EXPECT_EQ(rs.GetFieldValue(u"M").vt(), VT_BSTR);
  EXPECT_EQ(rs.GetFieldValue(u"B").vt(), VT_I4);
}

TEST_F(RecordsetTest, IndexesAreReportedAndSelectedByName) {
  MakePeople();
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"People");
  EXPECT_EQ(rs.GetCurrentIndex().Utf8(), "");
  ASSERT_EQ(rs.GetIndexCount(), 3);
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    CDaoIndexInfo info;
    rs.GetIndexInfo(i, info);
    names.push_back(info.m_strName.Utf8());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ByAge", "ByName", "PrimaryKey"}));
  CDaoIndexInfo primary;
  rs.GetIndexInfo(u"primarykey", primary, AFX_DAO_ALL_INFO);
  EXPECT_TRUE(primary.m_bPrimary);
  EXPECT_EQ(DaoCode([&] { rs.GetIndexInfo(3, primary); }), dao_error::kItemNotFound);
  rs.SetCurrentIndex(u"byname");
  EXPECT_EQ(rs.GetCurrentIndex().Utf8(), "ByName");
  EXPECT_EQ(DaoCode([&] { rs.SetCurrentIndex(u"Missing"); }), dao_error::kNotAnIndex);
  EXPECT_EQ(rs.GetCurrentIndex().Utf8(), "ByName");
}

TEST_F(RecordsetTest, FieldsAndIndexesAddedAfterOpeningShow) {
  MakePeople();
  Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 20)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"People");
  rs.MoveNext();
  CDaoTableDef def(&db_);
  def.Open(u"People");
  CDaoFieldInfo town;
  town.m_strName = u"Town";
  town.m_nType = dbText;
  town.m_lSize = 10;
  def.CreateField(town);
  CDaoIndexInfo byTown;
  byTown.m_strName = u"ByTown";
  byTown.m_fieldInfos = {{u"Town", false}};
  def.CreateIndex(byTown);
  EXPECT_EQ(rs.GetFieldCount(), 4);
  EXPECT_EQ(rs.GetIndexCount(), 4);
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");  // still on the same record
  EXPECT_EQ(rs.GetFieldValue(u"Town").vt(), VT_NULL);
  rs.Edit();
  rs.SetFieldValue(u"Town", Bstr(u"Oslo"));
  rs.Update();
  rs.SetCurrentIndex(u"ByTown");
  const Variant oslo = Variant::Str(u"OSLO");
  EXPECT_TRUE(rs.Seek("=", &oslo));
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");
}

TEST_F(RecordsetTest, SeekFindsByConvertedKeysAndLeavesThePositionOnAMiss) {
  MakePeople();
  Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 42), ('Cy', 42)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"People");
  const Variant bob = Variant::Str(u"BOB");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &bob); }), dao_error::kNeedsIndex);
  rs.SetCurrentIndex(u"ByName");
  EXPECT_TRUE(rs.Seek("=", &bob));  // Text matches without regard to case
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");
  const Variant nobody = Variant::Str(u"Zed");
  EXPECT_FALSE(rs.Seek("=", &nobody));
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &bob, &bob); }), dao_error::kInvalidArgument);
  EXPECT_EQ(DaoCode([&] { rs.Seek(">", &bob); }), dao_error::kInvalidArgument);

  rs.SetCurrentIndex(u"ByAge");
  const Variant age = Variant::Str(u"42");  // converted like a written value
  EXPECT_TRUE(rs.Seek("=", &age));
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Bob");  // the first of the two in index order
  const Variant notANumber = Variant::Str(u"old");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &notANumber); }), dao_error::kConversionError);
  const Variant keys[] = {Variant::I4(30)};
  EXPECT_TRUE(rs.Seek("=", keys, 1));
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Ann");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", keys, uint16_t{0}); }), dao_error::kInvalidArgument);
}

TEST_F(RecordsetTest, TheRowidPrimaryKeyIsAnIndexLikeAnother) {
  Exec("CREATE TABLE K (ID INTEGER PRIMARY KEY, V TEXT(5))");
  Exec("INSERT INTO K VALUES (5, 'five'), (2, 'two'), (9, 'nine')");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"K");
  rs.SetCurrentIndex(u"PrimaryKey");
  EXPECT_EQ(Walk(rs, u"V"), (std::vector<std::string>{"two", "five", "nine"}));
  const Variant nine = Variant::Str(u"9");
  EXPECT_TRUE(rs.Seek("=", &nine));
  rs.MovePrev();
  EXPECT_EQ(Text(rs.GetFieldValue(u"V")), "five");
}

TEST_F(RecordsetTest, SeekOnATwoFieldIndexMatchesAPrefix) {
  Sql(path_,
      "CREATE TABLE T (City TEXT(20) COLLATE NOCASE, Street TEXT(20) COLLATE NOCASE, N LONG);"
      "CREATE INDEX Address ON T (City, Street);"
      "INSERT INTO T VALUES ('Oslo', 'Main', 1), ('Bergen', 'Quay', 2), ('Oslo', 'Bay', 3)");
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"T");
  rs.SetCurrentIndex(u"Address");
  const Variant oslo = Variant::Str(u"oslo"), main = Variant::Str(u"MAIN");
  EXPECT_TRUE(rs.Seek("=", &oslo));
  EXPECT_EQ(Text(rs.GetFieldValue(u"N")), "3");  // Bay comes before Main
  EXPECT_TRUE(rs.Seek("=", &oslo, &main));
  EXPECT_EQ(Text(rs.GetFieldValue(u"N")), "1");
  const Variant keys[] = {Variant::Str(u"Bergen"), Variant::Str(u"Quay")};
  EXPECT_TRUE(rs.Seek("=", keys, 2));
  EXPECT_EQ(Text(rs.GetFieldValue(u"N")), "2");
  EXPECT_EQ(DaoCode([&] { rs.Seek("=", &oslo, &main, &main); }), dao_error::kInvalidArgument);
  rs.MoveNext();  // moves go on in index order from the record found
  EXPECT_EQ(Text(rs.GetFieldValue(u"N")), "3");
}

}  // namespace
}  // namespace vorlix
