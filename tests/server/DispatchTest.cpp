#include <gtest/gtest.h>

#include "activation/RegistryFile.h"
#include "server/Dispatcher.h"
#include "server/Registration.h"
#include "tests/support/Environment.h"

namespace vorlix {
namespace {

HRESULT Ids(const std::vector<Bstr>& names, std::vector<DISPID>* dispids) {
  return GetIDsOfNames(kIDBConnection, names, dispids);
}

TEST(DispatchTest, NamesResolveExactlyOrWithoutRegardToCase) {
  std::vector<DISPID> dispids;
  EXPECT_EQ(Ids({u"getvorlixversion"}, &dispids), S_OK);
  EXPECT_EQ(dispids, std::vector<DISPID>{58});
  EXPECT_EQ(Ids({u"GETLASTDAOERROR"}, &dispids), S_OK);
  EXPECT_EQ(dispids, std::vector<DISPID>{22});
  EXPECT_EQ(Ids({u"GetVorlixVersio"}, &dispids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispids, std::vector<DISPID>{DISPID_UNKNOWN});
  EXPECT_EQ(GetIDsOfNames(kIDaoStatus, {u"daoterm"}, &dispids), S_OK);
  EXPECT_EQ(dispids, std::vector<DISPID>{2});
}

TEST(DispatchTest, FurtherNamesAreTheMethodsParametersByPosition) {
  std::vector<DISPID> dispids;
  EXPECT_EQ(Ids({u"append", u"BSETEMPTYSTRING", u"pvArray"}, &dispids), S_OK);
  EXPECT_EQ(dispids, (std::vector<DISPID>{14, 1, 0}));
  EXPECT_EQ(Ids({u"Append", u"bSuccessful"}, &dispids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispids, (std::vector<DISPID>{14, DISPID_UNKNOWN}));
}

TEST(DispatchTest, TheTypeDescriptionNeedsTheRegisteredTypeLibrary) {
  test::TempDir dir;
  test::ScopedEnv registry("VORLIX_REGISTRY", dir.Path("registry.reg").c_str());
  Bstr description;
  EXPECT_EQ(GetTypeInfo(kIDBConnection, 0, &description), TYPE_E_LIBNOTREGISTERED);
  std::string error;
  ASSERT_EQ(RegisterServer(dir.Path("registry.reg"), "/bin/vorlix-server", &error), S_OK);
  ASSERT_EQ(GetTypeInfo(kIDBConnection, 0, &description), S_OK);
  const std::string text = description.Utf8();
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "[uuid(21E29A29-971A-41E6-A6D5-8859DB03FC05), helpstring(\"IDBConnection "
            "Interface\"), dual, nonextensible, oleautomation]");
  for (const char* line : {
           "\n  [id(14), helpstring(\"method Append\")] HRESULT Append([in] VARIANT* pvArray, [in] "
           "VARIANT_BOOL bSetEmptyString, [out] VARIANT* pvReturnArray, [out, retval] "
           "VARIANT_BOOL* bSuccess);\n",
           "\n  [id(20), helpstring(\"method Delete\")] HRESULT Delete([out, retval] VARIANT_BOOL* "
           "bSuccess);\n  [id(22), helpstring(\"method GetLastDAOError\")] HRESULT "
           "GetLastDAOError([out] long* plErrorCode, [out] BSTR* pbsDescription);\n",
           "HRESULT GetVorlixVersion([out, retval] short* nVersion);\n};\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace vorlix
