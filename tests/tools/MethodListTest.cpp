#include <gtest/gtest.h>

#include "tools/shell/MethodList.h"

namespace vorlix::shell {
namespace {

// The form the server's GetTypeInfo answers.
constexpr const char* kDescription =
    "[uuid(21E29A29-971A-41E6-A6D5-8859DB03FC05), helpstring(\"IDBConnection Interface\"), "
    "dual, nonextensible, oleautomation]\n"
    "interface IDBConnection : IDispatch {\n"
    "  [id(12), helpstring(\"method CloseTable\")] HRESULT CloseTable([in] BSTR bsTableName);\n"
    "  [id(22), helpstring(\"method GetLastDAOError\")] HRESULT GetLastDAOError([out] long* "
    "plErrorCode, [out] BSTR* pbsDescription);\n"
    "  [id(34), helpstring(\"method Seek2\")] HRESULT Seek2([in] VARIANT* pvSeek1, [in] VARIANT* "
    "pvSeek2, [out] VARIANT* pvReturnArray, [out, retval] VARIANT_BOOL* bSuccess);\n"
    "};\n";

TEST(MethodListTest, ReadsTheDescription) {
  const auto methods = ParseMethodList(kDescription);
  ASSERT_TRUE(methods);
  ASSERT_EQ(methods->size(), 3u);
  const MethodInfo* seek = FindMethod(*methods, "sEEK2");  // any letter case, as dispatch
  ASSERT_NE(seek, nullptr);
  EXPECT_EQ(seek->name, "Seek2");
  EXPECT_EQ(FindMethod(*methods, "Seek"), nullptr);
  EXPECT_EQ(Signature(*seek),
            "Seek2(VARIANT* pvSeek1, VARIANT* pvSeek2) -> VARIANT_BOOL bSuccess, out VARIANT "
            "pvReturnArray");
  EXPECT_EQ(Signature(methods->at(1)),
            "GetLastDAOError() -> out long plErrorCode, out BSTR pbsDescription");

  EXPECT_FALSE(ParseMethodList("  HRESULT Open([sideways] BSTR s);\n"));
  EXPECT_FALSE(ParseMethodList("  HRESULT Open([in] BSTR);\n"));
}

TEST(MethodListTest, OutPlacesAreFilledAndWrongCountsStayWrong) {
  const auto methods = ParseMethodList(kDescription);
  const MethodInfo& seek = methods->at(2);
  EXPECT_EQ(ArrangeArguments(seek, {Variant::I4(1), Variant::I4(2)}),
            (std::vector<Variant>{Variant::I4(1), Variant::I4(2), Variant()}));
  // One too few or too many: the server's count check must still see a wrong count.
  EXPECT_EQ(ArrangeArguments(seek, {Variant::I4(1)}).size(), 2u);
  EXPECT_EQ(ArrangeArguments(seek, {Variant::I4(1), Variant::I4(2), Variant::I4(3)}).size(), 4u);
}

}  // namespace
}  // namespace vorlix::shell
