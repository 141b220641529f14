#include <gtest/gtest.h>

#include "activation/Registrar.h"

namespace vorlix {
namespace {

constexpr const char* kScript = R"(
HKCR
{
  Demo.Thing = s 'Thing Class'
  {
    CLSID = s '{C}'
  }
  NoRemove CLSID
  {
    ForceRemove {C} = s 'Thing Class'
    {
      LocalServer32 = s '%MODULE%'
      val AppID = s '%APPID%'
      ForceRemove Programmable
    }
  }
}
)";

const ScriptReplacements kReplacements = {{"MODULE", "/opt/it's here/server"}, {"APPID", "{A}"}};

Registry Apply(const char* script, RegistrarMode mode, Registry registry = {}) {
  std::string error;
  auto keys = ParseRegistryScript(script, kReplacements, &error);
  EXPECT_TRUE(keys) << error;
  if (keys) ApplyRegistryScript(*keys, mode, &registry);
  return registry;
}

std::string ParseError(const char* script) {
  std::string error;
  EXPECT_FALSE(ParseRegistryScript(script, kReplacements, &error)) << script;
  return error;
}

// ForceRemove empties a stale key first; keys without it keep what they hold, and so do others.
// Removal takes the listed trees, with what was added below them, but keeps NoRemove keys and
// others. Either, done twice, changes nothing.
TEST(RegistrarTest, RegistrationWritesTheTreeWithReplacementsAndRemovalTakesItBack) {
  Registry stale;
  stale.SetValue("CLSID\\{C}\\InprocServer32", "", "old.so");
  stale.SetValue("Demo.Thing", "Extra", "kept");
  stale.SetValue("CLSID\\{Other}", "", "other");
  const Registry registry = Apply(kScript, RegistrarMode::kRegister, stale);
  EXPECT_EQ(registry.ToText(),
            "[HKEY_CLASSES_ROOT\\CLSID]\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{C}]\n"
            "@=\"Thing Class\"\n"
            "\"AppID\"=\"{A}\"\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{C}\\LocalServer32]\n"
            "@=\"/opt/it's here/server\"\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{C}\\Programmable]\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{Other}]\n"
            "@=\"other\"\n"
            "[HKEY_CLASSES_ROOT\\Demo.Thing]\n"
            "@=\"Thing Class\"\n"
            "\"Extra\"=\"kept\"\n"
            "[HKEY_CLASSES_ROOT\\Demo.Thing\\CLSID]\n"
            "@=\"{C}\"\n");
  EXPECT_EQ(Apply(kScript, RegistrarMode::kRegister, registry), registry);

  Registry removed = Apply(kScript, RegistrarMode::kRegister);
  removed.SetValue("CLSID\\{C}\\Added", "", "by hand");
  removed.CreateKey("CLSID\\{Other}");
  removed = Apply(kScript, RegistrarMode::kUnregister, removed);
  EXPECT_EQ(removed.ToText(), "[HKEY_CLASSES_ROOT\\CLSID]\n[HKEY_CLASSES_ROOT\\CLSID\\{Other}]\n");
  EXPECT_EQ(Apply(kScript, RegistrarMode::kUnregister, removed), removed);
}

TEST(RegistrarTest, ScriptSyntaxDetails) {
  Registry registry = Apply(
      "hkey_classes_root { 'val' = s 'it''s' { 'NoRemove' } pct = s '100%%' }"
      " HKCR { noremove K { VAL n = s '' } }",
      RegistrarMode::kRegister);
  EXPECT_EQ(registry.Value("val", ""), "it's");
  EXPECT_TRUE(registry.HasKey("val\\NoRemove"));
  EXPECT_EQ(registry.Value("pct", ""), "100%");
  EXPECT_EQ(registry.Value("K", "n"), "");
  EXPECT_EQ(registry.Value("val", "val"), std::nullopt);
}

TEST(RegistrarTest, MalformedScriptsAreRefusedWithTheLineAndTheReason) {
  EXPECT_EQ(ParseError("HKCR\n{\n  A = s 'x'\n  {\n"), "line 4: expected '}'");
  EXPECT_EQ(ParseError("HKLM { A }"), "line 1: expected the root HKCR, found 'HKLM'");
  EXPECT_EQ(ParseError("HKCR { A = d '1' }"), "line 1: only string values (s) are supported");
  EXPECT_EQ(ParseError("HKCR {\n A = s '%NOPE%' }"), "line 2: unknown replacement %NOPE%");
  EXPECT_EQ(ParseError("HKCR { 'a\\b' }"), "line 1: a name must not be empty or hold '\\'");
  EXPECT_EQ(ParseError("HKCR { val x = s 'y' }"), "line 1: HKEY_CLASSES_ROOT cannot hold values");
  EXPECT_EQ(ParseError("HKCR { A = s 'open }"), "line 1: a quoted text is not closed");
  EXPECT_EQ(ParseError("HKCR { A { val = s 'x' } }"), "line 1: expected a name");
  EXPECT_EQ(ParseError("HKCR { A = s }"), "line 1: expected the value's text");
}

}  // namespace
}  // namespace vorlix
