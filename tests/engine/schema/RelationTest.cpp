#include "engine/database/DatabaseInternal.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

class RelationTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Internal(db_).Db().Exec(
        "CREATE TABLE Customers (ID INTEGER PRIMARY KEY, Name TEXT(20));"
        "CREATE TABLE Products (Code TEXT(5) PRIMARY KEY);"
        "CREATE TABLE Orders (CustomerID LONG, Product TEXT(5) REFERENCES Products ON DELETE "
        "CASCADE, CONSTRAINT Placed FOREIGN KEY (CustomerID) REFERENCES Customers (ID));"
        "CREATE INDEX OrdersByProduct ON Orders (Product);"
        "INSERT INTO Customers VALUES (1, 'a'), (2, 'b');"
        "INSERT INTO Products VALUES ('p'), ('q');"
        "INSERT INTO Orders (rowid, CustomerID, Product) VALUES (5, 1, 'p'), (8, 2, 'q')");
  }

  // Each relation as "name:table->foreign-table field=foreign-field ... [attributes=n]".
  Lines Relations() {
    Lines out;
    for (int i = 0; i < db_.GetRelationCount(); ++i) {
      CDaoRelationInfo r;
      db_.GetRelationInfo(i, r);
      std::string text =
          r.m_strName.Utf8() + ":" + r.m_strTable.Utf8() + "->" + r.m_strForeignTable.Utf8();
      for (const CDaoRelationFieldInfo& f : r.m_fieldInfos)
        text += " " + f.m_strName.Utf8() + "=" + f.m_strForeignName.Utf8();
      if (r.m_lAttributes) text += " attributes=" + std::to_string(r.m_lAttributes);
      out.push_back(text);
    }
    return out;
  }
};

TEST_F(RelationTest, ForeignKeysAreReportedAndDeleteRelationRemovesExactlyOneKeepingEveryRow) {
  // 4096 is dbRelationDeleteCascade.
  EXPECT_EQ(Relations(), (Lines{"ProductsOrders:Products->Orders Code=Product attributes=4096",
                                "Placed:Customers->Orders ID=CustomerID"}));
  CDaoRelationInfo r;
  EXPECT_EQ(DaoCode([&] { db_.GetRelationInfo(2, r); }), dao_error::kItemNotFound);

  // Tables in a relation cannot be deleted until it is gone: RelationsTest, through the
  // connection. The rebuild that removes a key keeps the table's indexes (TableDefTest).
  db_.DeleteRelation(u"PLACED");
  EXPECT_EQ(Relations(), Lines{"ProductsOrders:Products->Orders Code=Product attributes=4096"});
  EXPECT_EQ(Sql(path_, "SELECT rowid, CustomerID, Product FROM Orders ORDER BY rowid"),
            (Lines{"5|1|p", "8|2|q"}));
  // The removed relation is no longer enforced; the other one still is.
  Internal(db_).Db().Exec("INSERT INTO Orders (CustomerID, Product) VALUES (99, 'p')");
  EXPECT_EQ(DaoCode([&] {
              Internal(db_).Db().Exec("INSERT INTO Orders (CustomerID, Product) VALUES (1, 'z')");
            }),
            dao_error::kRelatedRecordRequired);
  db_.DeleteRelation(u"ProductsOrders");
  EXPECT_EQ(db_.GetRelationCount(), 0);
  EXPECT_EQ(DaoCode([&] { db_.DeleteRelation(u"Placed"); }), dao_error::kItemNotFound);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM Orders"), Lines{"3"});
}

}  // namespace
}  // namespace vorlix::test
