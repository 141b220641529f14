// PrivateServer: a registry and runtime folder of one program run's own, with a vorlix-server
// registered in them, so that CreateObject starts that server for the run and no registration
// of the user's is touched. The folder also takes the run's own files (its databases); all of it
// goes at the end.
#pragma once

#include <filesystem>
#include <string>

namespace vorlix {

class PrivateServer {
 public:
  // Points VORLIX_REGISTRY and VORLIX_RUNTIME_DIR of this process (and of the server it will
  // start) into a new temporary folder and registers the server program there. Throws
  // std::runtime_error when the registration fails.
  explicit PrivateServer(const std::string& serverProgram);
  ~PrivateServer();
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }
  // Creates the database file name in the folder, runs sql on it through the engine's own
  // connection (its tables need no field records of the catalog) and answers its path.
  std::string CreateDatabase(const std::string& name, const char* sql) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace vorlix
