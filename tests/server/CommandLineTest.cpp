#include <gtest/gtest.h>

#include "server/CommandLine.h"

namespace vorlix {
namespace {

TEST(CommandLineTest, RegisterAndUnregisterAfterSlashOrDashInAnyCase) {
  EXPECT_EQ(ParseCommandLine("/RegServer"), ServerAction::kRegister);
  EXPECT_EQ(ParseCommandLine("-regserver"), ServerAction::kRegister);
  EXPECT_EQ(ParseCommandLine("/REGSERVER more text"), ServerAction::kRegister);
  EXPECT_EQ(ParseCommandLine("-unregserver"), ServerAction::kUnregister);
  EXPECT_EQ(ParseCommandLine("/UnregServer\tx"), ServerAction::kUnregister);
}

TEST(CommandLineTest, OtherTokensAreSkipped) {
  EXPECT_EQ(ParseCommandLine("-Embedding /RegServer"), ServerAction::kRegister);
  EXPECT_EQ(ParseCommandLine("x-y -UnregServer"), ServerAction::kUnregister);
}

TEST(CommandLineTest, EverythingElseServes) {
  EXPECT_EQ(ParseCommandLine(""), ServerAction::kServe);
  EXPECT_EQ(ParseCommandLine("-Embedding"), ServerAction::kServe);
  EXPECT_EQ(ParseCommandLine("RegServer"), ServerAction::kServe);
  EXPECT_EQ(ParseCommandLine("/RegServerX"), ServerAction::kServe);
  EXPECT_EQ(ParseCommandLine("/Reg"), ServerAction::kServe);
  EXPECT_EQ(ParseCommandLine("- RegServer"), ServerAction::kServe);
}

TEST(CommandLineTest, ArgumentsJoinWithSpaces) {
  char program[] = "vorlix-server", a[] = "-x", b[] = "/RegServer";
  char* argv[] = {program, a, b};
  EXPECT_EQ(JoinArguments(3, argv), "-x /RegServer");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

}  // namespace
}  // namespace vorlix
