// The general sort order of Text and Memo fields: which texts are one value and how they sort,
// in the engine and in the sqlite3 shell with the extension; and files made with NOCASE.
#include <algorithm>
#include <memory>
#include <random>
#include <utility>

#include "engine/store/TextCollation.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

using namespace std::string_view_literals;

int Sign(int n) {
  return (n > 0) - (n < 0);
}

TEST(TextOrder, OnlyCaseIsIgnoredForAllOfUnicodeAndAccentsSortNextToTheirBaseLetter) {
  const std::unique_ptr<TextOrder> order(TextOrder::New());
  ASSERT_NE(order, nullptr);
  const std::pair<std::string_view, std::string_view> equal[] = {
      {"FRED", "Fred"},     {"ZOË", "zoë"},
      {"École", "école"},   {"ΣΊΣΥΦΟΣ", "σίσυφος"},  // final sigma too
      {"ПРИВЕТ", "привет"}, {"ǅemal", "ǆemal"},      // a title-case letter
      {"\u212A", "k"},                               // the Kelvin sign
      {"𐐀", "𐐨"},                                    // outside the first plane
      {"ẞ", "ß"},           {"A\0B"sv, "a\0b"sv},
  };
  for (const auto& [a, b] : equal) {
    EXPECT_EQ(order->Compare(a, b), 0) << a << " " << b;
    EXPECT_EQ(order->Compare(b, a), 0) << a << " " << b;
  }
  const std::pair<std::string_view, std::string_view> different[] = {
      {"e", "é"},
      {"Ecole", "école"},
      {"ss", "ß"},  // another word: Masse, Maße
      {"SS", "ẞ"},
      {"i", "ı"},
      {"İ", "i"},
      {"fi", "ﬁ"},  // a ligature
      {"a", "ａ"},  // full width
      {"a\0b"sv, "a\0c"sv},
      {"a\0b"sv, "ab"sv},  // characters that the root order ignores count
                           // here
      {"ab", "ab\x01"},
      {"\xff", "\xfe"},  // bytes that are no UTF-8
      {"\xc3", "\xc3\xa9"},
  };
  for (const auto& [a, b] : different) {
    const int sign = Sign(order->Compare(a, b));
    EXPECT_NE(sign, 0) << a << " " << b;
    EXPECT_EQ(Sign(order->Compare(b, a)), -sign) << a << " " << b;
  }
  // Accented letters sort next to their base letter.
  const std::vector<std::string_view> sorted = {"Ann", "e", "é",  "école", "Émile", "Eve",  "Fred",
                                                "ss",  "ß", "st", "zoë",   "Zoe!",  "zoë!", "Zoë1"};
  for (size_t i = 0; i + 1 < sorted.size(); ++i)
    EXPECT_LT(order->Compare(sorted[i], sorted[i + 1]), 0) << sorted[i] << " " << sorted[i + 1];
}

// Plain ASCII is ordered by a fast path of its own; it must agree with the whole order, or
// indexes would hold their records in an order that seeks cannot follow.
TEST(TextOrder, TheAsciiPathAgreesWithTheWholeOrder) {
  const std::unique_ptr<TextOrder> order(TextOrder::New());
  const std::vector<std::string> alphabet = {"a",      "A",    "b",   "B",  "l",
                                             "L",      "z",    "0",   "9",  " ",
                                             "-",      "_",    ".",   "\t", std::string(1, '\0'),
                                             "\x01",   "\x7f", "é",   "É",  "·",
                                             "\u0301", "ß",    "\xff"};
  std::mt19937 random(11);
  auto word = [&](size_t letters) {
    std::string w;
    for (size_t n = random() % 6; n > 0; --n)
      w += alphabet[random() % letters];
    return w;
  };
  // Prefixed with "é", ASCII text goes the whole way and must order as it does alone.
  const size_t ascii = 17;
  for (int i = 0; i < 5000; ++i) {
    const std::string a = word(ascii), b = word(ascii);
    ASSERT_EQ(Sign(order->Compare(a, b)), Sign(order->Compare("é" + a, "é" + b))) << a << " " << b;
  }
  // Every kind of text mixed: the order is total and consistent.
  std::vector<std::string> words;
  for (int i = 0; i < 400; ++i)
    words.push_back(word(alphabet.size()));
  std::sort(words.begin(), words.end(),
            [&](const std::string& a, const std::string& b) { return order->Compare(a, b) < 0; });
  for (size_t i = 0; i < words.size(); ++i) {
    for (size_t j = i; j < words.size(); ++j) {
      ASSERT_LE(order->Compare(words[i], words[j]), 0) << words[i] << " " << words[j];
      ASSERT_EQ(Sign(order->Compare(words[j], words[i])),
                -Sign(order->Compare(words[i], words[j])));
    }
  }
}

class TextCollationTest : public EngineTest {
 protected:
  // Names (Text 20, index ByName, unique when unique) and Notes (Memo), made by the engine.
  void MakeNames(bool unique) {
    CDaoTableDef def(&db_);
    def.Create(u"Names");
    def.CreateField(Field(u"Name", dbText, 20));
    def.CreateField(Field(u"Notes", dbMemo));
    def.CreateIndex(Index(u"ByName", {{u"Name", false}}, false, unique));
    def.Append();
  }
  // Adds the records; the code of the first refused one, else 0.
  int32_t Add(CDaoRecordset& rs, const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
      if (int32_t code = DaoCode([&] {
            rs.AddNew();
            rs.SetFieldValue(u"Name", Bstr(name));
            rs.SetFieldValue(u"Notes", Bstr(name));
            rs.Update();
          })) {
        return code;  // the next AddNew drops the refused record
      }
    }
    return 0;
  }
  // The Name the seek lands on, or "none".
  static std::string SeekName(CDaoRecordset& rs, const std::u16string& key) {
    const Variant k = Variant::Str(key);
    return rs.Seek("=", &k) ? Text(rs.GetFieldValue(u"Name")) : "none";
  }
};

TEST_F(TextCollationTest, SeeksIndexesAndSqlIgnoreCaseBeyondAsciiAndTheShellAgrees) {
  MakeNames(false);
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"Names");
  ASSERT_EQ(Add(rs, {u"Fred", u"zoë", u"Ann", u"école", u"Eve", u"Émile"}), 0);

  rs.SetCurrentIndex(u"ByName");
  Lines order;
  for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext())
    order.push_back(Text(rs.GetFieldValue(u"Name")));
  const Lines sorted = {"Ann", "école", "Émile", "Eve", "Fred", "zoë"};
  EXPECT_EQ(order, sorted);
  EXPECT_EQ(SeekName(rs, u"ZOË"), "zoë");
  EXPECT_EQ(SeekName(rs, u"ÉCOLE"), "école");
  EXPECT_EQ(SeekName(rs, u"FRED"), "Fred");
  EXPECT_EQ(SeekName(rs, u"Ecole"), "none");

  EXPECT_EQ(Rows("SELECT Name FROM Names WHERE Name = 'ZOË' AND Notes = 'ZOË'"), Lines{"zoë"});
  EXPECT_EQ(Rows("SELECT Name FROM Names ORDER BY Notes"), sorted);
  // Another program reads the file through the extension, in the same order.
  EXPECT_EQ(Shell(path_,
                  "SELECT Name FROM Names ORDER BY Name; "
                  "SELECT count(*) FROM Names WHERE Name = 'ÉCOLE' AND Notes = 'ÉCOLE';"),
            "Ann\nécole\nÉmile\nEve\nFred\nzoë\n1\n");
}

TEST_F(TextCollationTest, AUniqueIndexRefusesOnlyWhatDiffersInCase) {
  MakeNames(true);
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"Names");
  const std::u16string nul_b(u"a\0b", 3), nul_c(u"a\0c", 3);
  EXPECT_EQ(Add(rs, {u"zoë", u"zoe", u"Straße", u"STRASSE", nul_b, nul_c, u"ab"}), 0);
  const std::u16string twins[] = {u"ZOË", u"STRAẞE", u"strasse", std::u16string(u"A\0B", 3)};
  for (const std::u16string& twin : twins) {
    EXPECT_EQ(Add(rs, {twin}), dao_error::kDuplicateValue) << Bstr(twin).Utf8();
  }
  rs.SetCurrentIndex(u"ByName");
  EXPECT_EQ(SeekName(rs, nul_c), Bstr(nul_c).Utf8());
  EXPECT_EQ(SeekName(rs, u"ZOE"), "zoe");
}

// Files made before the general order declared Text and Memo with NOCASE. They keep it: the
// engine never rewrites a user's table, and its seeks go on using the table's indexes. A seek
// on text that another program indexed case by case still ignores case.
TEST_F(TextCollationTest, TablesMadeWithOtherCollationsKeepThemAndSeeksStillIgnoreCase) {
  Sql(path_,
      "CREATE TABLE Old (Name TEXT(20) COLLATE NOCASE, Notes LONGTEXT COLLATE NOCASE);"
      "CREATE UNIQUE INDEX ByName ON Old (Name);"
      "INSERT INTO Old VALUES ('Fred', 'x'), ('zoë', 'y'), ('ZOË', 'z');"
      "CREATE TABLE Plain (Name TEXT(20)); CREATE INDEX ByName2 ON Plain (Name);"
      "INSERT INTO Plain VALUES ('Fred'), ('zoë')");
  db_.Close();
  db_.Open(B(path_));
  CDaoTableDef def(&db_);
  def.Open(u"Old");
  def.CreateField(Field(u"Added", dbText, 10));
  def.Close();
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"Old");
  rs.SetCurrentIndex(u"ByName");
  EXPECT_EQ(SeekName(rs, u"FRED"), "Fred");
  EXPECT_EQ(SeekName(rs, u"ZOË"), "ZOË");  // NOCASE folds A to Z alone
  EXPECT_EQ(Add(rs, {u"fred"}), dao_error::kDuplicateValue);
  rs.Close();
  rs.Open(dbOpenTable, u"Plain");
  rs.SetCurrentIndex(u"ByName2");
  EXPECT_EQ(SeekName(rs, u"FRED"), "Fred");
  EXPECT_EQ(SeekName(rs, u"ZOË"), "zoë");
  EXPECT_EQ(Sql(path_, "SELECT sql FROM sqlite_schema WHERE name = 'Old'"),
            Lines{"CREATE TABLE Old (Name TEXT(20) COLLATE NOCASE, Notes LONGTEXT COLLATE NOCASE, "
                  "\"Added\" TEXT(10) COLLATE GENERAL)"});
}

}  // namespace
}  // namespace vorlix::test
