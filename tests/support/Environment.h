// File contents and environment variables set for one test; TempDir comes from
// tests/support/TestFiles.h.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "tests/support/TestFiles.h"

namespace vorlix::test {

// The file's bytes; "" when it is missing.
inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Sets an environment variable (nullptr: unsets it) and restores it when the test ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  void Set(const char* value) {
    if (value) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace vorlix::test
