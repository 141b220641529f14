#include <gtest/gtest.h>

#include "activation/RegistryFile.h"
#include "server/Dispatcher.h"
#include "server/Registration.h"
#include "tests/support/Environment.h"

namespace vorlix {
namespace {

// The first name is the member's, the further names its parameters' by position; an unknown
// name gets DISPID_UNKNOWN in its place.
TEST(DispatchTest, NamesResolveWithoutRegardToCaseAndFurtherNamesAreParameters) {
  const struct {
    const Interface& interface;
    std::vector<Bstr> names;
    HRESULT hr;
    std::vector<DISPID> dispids;
  } cases[] = {
      {kIDBConnection, {u"GETLASTDAOERROR"}, S_OK, {22}},
      {kIDBConnection, {u"GetVorlixVersio"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {kIDBConnection, {u"append", u"BSETEMPTYSTRING", u"pvArray"}, S_OK, {14, 1, 0}},
      {kIDBConnection, {u"Append", u"bSuccessful"}, DISP_E_UNKNOWNNAME, {14, DISPID_UNKNOWN}},
      {kIDaoStatus, {u"daoterm"}, S_OK, {2}},
  };
  for (const auto& c : cases) {
    std::vector<DISPID> dispids;
    EXPECT_EQ(GetIDsOfNames(c.interface, c.names, &dispids), c.hr) << c.names[0].Utf8();
    EXPECT_EQ(dispids, c.dispids) << c.names[0].Utf8();
  }
}

TEST(DispatchTest, TheTypeDescriptionNeedsTheRegisteredTypeLibrary) {
  test::TempDir dir;
  test::ScopedEnv registry("VORLIX_REGISTRY", dir.Path("registry.reg").c_str());
  Bstr description;
  EXPECT_EQ(GetTypeInfo(kIDBConnection, 0, &description), TYPE_E_LIBNOTREGISTERED);
  std::string error;
  ASSERT_EQ(RegisterServer(dir.Path("registry.reg"), "/bin/vorlix-server", &error), S_OK);
  // Its text is read end to end: the Python client takes the [out] parameters from it.
  ASSERT_EQ(GetTypeInfo(kIDBConnection, 0, &description), S_OK);
  EXPECT_EQ(description.Utf8().rfind("[uuid(21E29A29-971A-41E6-A6D5-8859DB03FC05)", 0), 0u);
}

}  // namespace
}  // namespace vorlix
