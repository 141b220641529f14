#include <gtest/gtest.h>

#include "server/CommandLine.h"

namespace vorlix {
namespace {

// The action for arguments; the argument it did not understand after a colon.
std::string Parse(const std::vector<std::string>& arguments) {
  std::string unknown;
  switch (ParseArguments(arguments, &unknown)) {
    case ServerAction::kServe:
      return "serve";
    case ServerAction::kRegister:
      return "register";
    case ServerAction::kUnregister:
      return "unregister";
    case ServerAction::kHelp:
      return "help";
    case ServerAction::kVersion:
      return "version";
    case ServerAction::kStatus:
      return "status";
    case ServerAction::kUsageError:
      return "usage:" + unknown;
  }
  return "";
}

TEST(CommandLineTest, RegisterAndUnregisterAfterSlashOrDashInAnyCase) {
  EXPECT_EQ(Parse({"-regserver"}), "register");
  EXPECT_EQ(Parse({"/REGSERVER", "more", "text"}), "register");
  EXPECT_EQ(Parse({"/UnregServer\tx"}), "unregister");
  // Other text around the switch is skipped, as on a one-string command line.
  EXPECT_EQ(Parse({"-Embedding", "/RegServer"}), "register");
  EXPECT_EQ(Parse({"x-y", "-UnregServer"}), "unregister");
  EXPECT_EQ(Parse({"--RegServer"}), "register");
}

TEST(CommandLineTest, HelpVersionAndStatusWinOverEverythingElse) {
  EXPECT_EQ(Parse({"-h"}), "help");
  EXPECT_EQ(Parse({"/RegServer", "--help"}), "help");
  EXPECT_EQ(Parse({"--version", "-h"}), "help");
  EXPECT_EQ(Parse({"-UnregServer", "--version"}), "version");
  EXPECT_EQ(Parse({"--bogus", "--version"}), "version");
  EXPECT_EQ(Parse({"--status", "--version"}), "version");
  EXPECT_EQ(Parse({"/RegServer", "--status"}), "status");
}

TEST(CommandLineTest, OnlyNothingOrEmbeddingServes) {
  EXPECT_EQ(Parse({}), "serve");
  EXPECT_EQ(Parse({"/embedding", "-EMBEDDING"}), "serve");
  EXPECT_EQ(Parse({"-Embedding", "--verbose"}), "usage:--verbose");
  EXPECT_EQ(Parse({"RegServer"}), "usage:RegServer");
  EXPECT_EQ(Parse({"-", "RegServer"}), "usage:-");
  EXPECT_EQ(Parse({"-Embeddings"}), "usage:-Embeddings");
  EXPECT_EQ(Parse({"--Embedding"}), "usage:--Embedding");
  EXPECT_EQ(Parse({""}), "usage:");
}

}  // namespace
}  // namespace vorlix
