#include "protocol/PackedTransfer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vorlix {
namespace {

constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

// A sealed memory file holding bytes, or a negative errno.
int SealedFile(std::span<const uint8_t> bytes) {
  const int fd = memfd_create("vorlix-packed", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -errno;
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      close(fd);
      return -error;
    }
    done += static_cast<size_t>(n);
  }
  if (fcntl(fd, F_ADD_SEALS, kSeals | F_SEAL_SEAL) < 0) {
    const int error = errno;
    close(fd);
    return -error;
  }
  return fd;
}

}  // namespace

int AppendPacked(WireWriter& out, std::span<const uint8_t> bytes) {
  const bool inlined = bytes.size() <= kPackedInlineBytes;
  int r = out.Open('r', "ayah");
  if (r >= 0) r = out.Array('y', bytes.data(), inlined ? bytes.size() : 0);
  if (r >= 0) r = out.Open('a', "h");
  if (r >= 0 && !inlined) {
    const int fd = SealedFile(bytes);
    // The message keeps a duplicate of the descriptor.
    r = fd < 0 ? fd : out.Basic('h', &fd);
    if (fd >= 0) close(fd);
  }
  if (r >= 0) r = out.Close();
  if (r >= 0) r = out.Close();
  return r < 0 ? r : 0;
}

PackedBytes::~PackedBytes() {
  Unmap();
}

void PackedBytes::Unmap() {
  if (map_) munmap(map_, mapped_);
  map_ = nullptr;
  mapped_ = 0;
}

std::span<const uint8_t> PackedBytes::Bytes() const {
  if (map_) return {static_cast<const uint8_t*>(map_), mapped_};
  return inline_;
}

HRESULT ReadPacked(sd_bus_message* m, PackedBytes* packed) {
  packed->Unmap();
  packed->inline_.clear();
  const void* data = nullptr;
  size_t size = 0;
  if (sd_bus_message_enter_container(m, 'r', "ayah") <= 0 ||
      sd_bus_message_read_array(m, 'y', &data, &size) < 0 ||
      sd_bus_message_enter_container(m, 'a', "h") < 0) {
    return E_INVALIDARG;
  }
  int fd = -1;
  const int fds = sd_bus_message_read_basic(m, 'h', &fd);
  if (fds < 0 || (fds > 0 && (size > 0 || sd_bus_message_at_end(m, false) == 0)) ||
      sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0) {
    return E_INVALIDARG;
  }
  if (fds == 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    packed->inline_.assign(bytes, bytes + size);
    return S_OK;
  }
  // Only a file whose size and contents can no longer change is safe to map: one that shrank
  // under the mapping would fault the reader.
  const int seals = fcntl(fd, F_GET_SEALS);
  struct stat st;
  if (seals < 0 || (seals & kSeals) != kSeals || fstat(fd, &st) < 0 || st.st_size <= 0) {
    return E_INVALIDARG;
  }
  void* map =
      mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (map == MAP_FAILED) return E_INVALIDARG;
  packed->map_ = map;
  packed->mapped_ = static_cast<size_t>(st.st_size);
  return S_OK;
}

}  // namespace vorlix
