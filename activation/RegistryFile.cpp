#include "activation/RegistryFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace vorlix {

namespace {

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

bool SystemError(const std::string& what, std::string* error) {
  *error = what + ": " + std::strerror(errno);
  return false;
}

// Closes the descriptor (and so drops its lock) on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes text to path + ".tmp", flushes it to disk and renames it over path, so that a reader
// or a crash sees either the old file or the new one, never a part.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".tmp";
  Descriptor fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (fd.get() < 0) return SystemError("cannot create " + temporary, error);
  if (!WriteAll(fd.get(), text) || fsync(fd.get()) != 0) {
    SystemError("cannot write " + temporary, error);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    SystemError("cannot replace " + path, error);
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself lasts only once the folder is on disk.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  Descriptor dir(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
  return true;
}

}  // namespace

std::string RegistryPath() {
  if (const char* path = Env("VORLIX_REGISTRY")) return path;
  if (const char* config = Env("XDG_CONFIG_HOME")) {
    return std::string(config) + "/vorlix/registry.reg";
  }
  const char* home = Env("HOME");
  if (!home) {
    const passwd* user = getpwuid(getuid());
    home = user && user->pw_dir ? user->pw_dir : "";
  }
  return std::string(home) + "/.config/vorlix/registry.reg";
}

std::optional<Registry> ReadRegistry(const std::string& path, std::string* error) {
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return Registry();
    SystemError("cannot open " + path, error);
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SystemError("cannot read " + path, error);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  auto registry = Registry::FromText(text, error);
  if (!registry) *error = path + ": " + *error;
  return registry;
}

bool UpdateRegistry(const std::string& path, const std::function<bool(Registry&)>& change,
                    std::string* error) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  const std::string lockPath = path + ".lock";
  Descriptor lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) return SystemError("cannot open " + lockPath, error);
  while (flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return SystemError("cannot lock " + lockPath, error);
  }
  auto registry = ReadRegistry(path, error);
  if (!registry) return false;
  const Registry before = *registry;
  if (!change(*registry)) return false;
  if (*registry == before) return true;
  return ReplaceFile(path, registry->ToText(), error);
}

}  // namespace vorlix
