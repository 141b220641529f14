#include "engine/database/Engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/store/Sqlite.h"

namespace vorlix {
namespace {

struct State {
  std::mutex mutex;
  bool running = false;
  bool stopPending = false;
  std::vector<engine::FileId> open;  // one entry per open database object
};

State& TheState() {
  static State state;
  return state;
}

void StartLocked(State& s) {
  if (s.running) return;
  StartSqlite();
  s.running = true;
}

}  // namespace

void AfxDaoInit() {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  s.stopPending = false;
  StartLocked(s);
}

void AfxDaoTerm() {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  if (!s.running) return;
  if (!s.open.empty()) {
    s.stopPending = true;
    return;
  }
  StopSqlite();
  s.running = false;
}

namespace engine {

void EnsureRunning() {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  StartLocked(s);
}

bool IsRunning() {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  return s.running;
}

std::optional<FileId> IdentifyFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

void NoteOpened(const FileId& file) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  StartLocked(s);
  s.open.push_back(file);
}

void NoteClosed(const FileId& file) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  auto it = std::find(s.open.begin(), s.open.end(), file);
  if (it != s.open.end()) s.open.erase(it);
  if (s.open.empty() && s.stopPending) {
    StopSqlite();
    s.running = false;
    s.stopPending = false;
  }
}

bool IsOpenHere(const FileId& file) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  return std::find(s.open.begin(), s.open.end(), file) != s.open.end();
}

}  // namespace engine
}  // namespace vorlix
