// Helpers shared by the test suites: a temporary folder per test, plain SQLite access to a
// file (as another program would have), new database files and a child process run as another
// user.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "automation/Bstr.h"

namespace vorlix::test {

// A fresh folder, removed with everything in it when the test ends. Before that, every
// database file (*.vdb) in it must pass the sqlite3 shell's integrity check: whatever the
// engine writes stays an ordinary SQLite file that other programs can read, and the collation
// extension orders its indexes as the engine does.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// The Automation text of UTF-8 s.
inline Bstr B(const std::string& s) {
  return Bstr::FromUtf8(s).value();
}

// Runs sql on the file (made when missing) through a connection of its own, not the engine's,
// with the collation extension loaded; returns every row, its columns joined by '|', NULL as
// "NULL".
std::vector<std::string> Sql(const std::string& path, const std::string& sql);

// What the stock sqlite3 shell prints for sql on the file, opened read-only with the collation
// extension loaded (its errors included).
std::string Shell(const std::string& path, const std::string& sql);

// A new database file at path with the engine's catalog, closed again.
void CreateDatabase(const std::string& path);

// Runs f in a child process, as an unprivileged user when the tests run as root (so that file
// permissions apply), and returns what f returned.
int32_t InChildProcess(const std::function<int32_t()>& f);

}  // namespace vorlix::test
