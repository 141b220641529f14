#include <gtest/gtest.h>

#include "activation/Registry.h"

namespace vorlix {
namespace {

TEST(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpellingAlsoWhenDeleting) {
  Registry registry;
  registry.SetValue("Vorlix.EXE", "AppID", "{1}");
  registry.SetValue("vorlix.exe", "appid", "{2}");
  EXPECT_EQ(registry.Value("VORLIX.exe", "APPID"), "{2}");
  EXPECT_EQ(registry.ToText(), "[HKEY_CLASSES_ROOT\\Vorlix.EXE]\n\"AppID\"=\"{2}\"\n");
  // DeleteTree takes keys below, but not keys that only share the prefix.
  registry.SetValue("CLSID\\{A}\\ProgID", "", "x");
  registry.CreateKey("CLSID\\{A}x");
  registry.CreateKey("CLSID\\{A}.1\\Sub");
  registry.DeleteTree("clsid\\{a}");
  EXPECT_FALSE(registry.HasKey("CLSID\\{A}"));
  EXPECT_FALSE(registry.HasKey("CLSID\\{A}\\ProgID"));
  EXPECT_TRUE(registry.HasKey("CLSID\\{A}x"));
  EXPECT_TRUE(registry.HasKey("CLSID\\{A}.1\\Sub"));
  EXPECT_TRUE(registry.HasKey("CLSID"));
}

TEST(RegistryTest, TextFormReadsBackWithEscapesAndBareKeys) {
  Registry registry;
  registry.CreateKey("CLSID\\{A}\\Programmable");
  registry.SetValue("CLSID\\{A}\\LocalServer32", "", "/opt/a \"b\"\\c");
  registry.SetValue("CLSID\\{A}", "AppID", "{B}");
  std::string error;
  auto back = Registry::FromText(registry.ToText(), &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(*back, registry);
  EXPECT_EQ(back->Value("CLSID\\{A}\\LocalServer32", ""), "/opt/a \"b\"\\c");
}

TEST(RegistryTest, TextThatIsNotTheFormIsRefusedWithItsLine) {
  const char* bad[] = {
      "[HKEY_CLASSES_ROOT\\A]\n@=\"x\"\n\"n\"=unquoted\n",
      "@=\"no key yet\"\n",
      "[HKEY_CURRENT_USER\\A]\n",
      "[HKEY_CLASSES_ROOT\\A\\\\B]\n",
      "[HKEY_CLASSES_ROOT\\A]\n\"open=\"x\"\n",
  };
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(Registry::FromText(text, &error)) << text;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
  }
  std::string error;
  Registry::FromText("[HKEY_CLASSES_ROOT\\A]\n\n\"n\"=x\n", &error);
  EXPECT_EQ(error.substr(0, 7), "line 3:");
}

}  // namespace
}  // namespace vorlix
