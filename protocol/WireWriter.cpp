#include "protocol/WireWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol/WireTypes.h"

namespace vorlix {

int WireWriter::Open(char type, const char* contents) {
  // A body with containers is seldom tiny: room for a small one and a few levels at once, where
  // growing to it a step at a time was most of the allocations of a call like Seek. A body of
  // numbers alone stays in the string's own few bytes.
  if (open_.empty()) {
    bytes_.reserve(256);
    arrays_.reserve(8);
  }
  switch (type) {
    case 'a': {
      Align(4);
      const size_t length = bytes_.size();
      bytes_.append(4, '\0');
      Align(WireAlignment(contents[0]));
      arrays_.push_back({length, bytes_.size()});
      break;
    }
    case 'r':
      Align(8);
      break;
    default:  // 'v': the value's signature, then the value
      Basic('g', contents);
      break;
  }
  open_.push_back(type);
  return 0;
}

int WireWriter::Close() {
  if (open_.back() == 'a') {
    const OpenArray array = arrays_.back();
    arrays_.pop_back();
    const uint32_t length = static_cast<uint32_t>(bytes_.size() - array.start);
    std::memcpy(&bytes_[array.length], &length, 4);
  }
  open_.pop_back();
  return Room();
}

WireWriter::~WireWriter() {
  for (int fd : fds_)
    close(fd);
}

int WireWriter::Other(char type, const void* value) {
  if (type == 'h') {
    const int fd = fcntl(*static_cast<const int*>(value), F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return -errno;
    const uint32_t index = static_cast<uint32_t>(fds_.size());
    fds_.push_back(fd);
    Align(4);
    Put(&index, 4);
    return Room();
  }
  if (type == 'b') {
    const uint32_t truth = *static_cast<const int*>(value) != 0;
    Align(4);
    Put(&truth, 4);
    return Room();
  }
  const char* text = static_cast<const char*>(value);
  const size_t length = std::strlen(text);
  if (type == 'g') {
    const uint8_t size = static_cast<uint8_t>(length);
    Put(&size, 1);
    Put(text, length + 1);
    return Room();
  }
  char* space = nullptr;
  const int r = StringSpace(length, &space);
  if (r >= 0) std::memcpy(space, text, length);
  return r;
}

int WireWriter::Array(char type, const void* data, size_t size) {
  if (bytes_.size() + size > limit_) return -ENOBUFS;
  const char contents[2] = {type, '\0'};
  Open('a', contents);
  Put(data, size);
  return Close();
}

namespace {

// Writes at p the start of a "(qv)", p 8-aligned: the VARTYPE and a one-letter signature.
void PutVariantStart(char* p, uint16_t vt, char type) {
  std::memcpy(p, &vt, 2);
  p[2] = 1;
  p[3] = type;
  p[4] = '\0';
}

}  // namespace

int WireWriter::ScalarVariant(uint16_t vt, char type, const void* value) {
  const size_t size = WireFixedSize(type);
  const size_t start = Aligned(bytes_.size(), 8);
  const size_t at = Aligned(start + 5, size);
  bytes_.resize(at + size);  // the padding comes zeroed with it
  PutVariantStart(&bytes_[start], vt, type);
  std::memcpy(&bytes_[at], value, size);
  return Room();
}

int WireWriter::TextVariant(uint16_t vt, size_t length, char** space) {
  if (bytes_.size() + length > limit_) return -ENOBUFS;
  const size_t start = Aligned(bytes_.size(), 8);
  const size_t at = start + 8;  // the length, 4-aligned past the signature
  const uint32_t size = static_cast<uint32_t>(length);
  bytes_.resize(at + 4 + length + 1);  // the NUL comes with it
  PutVariantStart(&bytes_[start], vt, 's');
  std::memcpy(&bytes_[at], &size, 4);
  *space = &bytes_[at + 4];
  return 0;
}

void WireWriter::ReserveLimit() {
  if (limit_ != SIZE_MAX) bytes_.reserve(limit_);
}

int WireWriter::Embedded(const std::function<int()>& fill) {
  Open('a', "y");
  const size_t outer = base_;
  base_ = bytes_.size();
  int r = fill();
  base_ = outer;
  if (r >= 0) r = Close();
  return r;
}

int WireWriter::StringSpace(size_t length, char** space) {
  if (bytes_.size() + length > limit_) return -ENOBUFS;
  const uint32_t size = static_cast<uint32_t>(length);
  Align(4);
  Put(&size, 4);
  const size_t at = bytes_.size();
  bytes_.resize(at + length + 1);  // the NUL comes with the resize
  *space = &bytes_[at];
  return 0;
}

std::string ReplyHeader(uint32_t serial, uint32_t replySerial, const char* destination,
                        std::string_view signature, size_t bodySize, size_t fds,
                        const char* errorName) {
  // Replies expect none; the version is D-Bus's only one.
  const uint8_t type = errorName ? 3 /* error */ : 2 /* method return */;
  const uint8_t start[4] = {'l', type, 1 /* no reply expected */, 1};
  const uint32_t length = static_cast<uint32_t>(bodySize);
  WireWriter header;
  for (const uint8_t& byte : start)
    header.Basic('y', &byte);
  header.Basic('u', &length);
  header.Basic('u', &serial);
  header.Open('a', "(yv)");
  const auto field = [&](uint8_t code, char type, const void* value) {
    const char contents[2] = {type, '\0'};
    header.Open('r', "yv");
    header.Basic('y', &code);
    header.Open('v', contents);
    header.Basic(type, value);
    header.Close();
    header.Close();
  };
  if (errorName) field(4, 's', errorName);
  field(5, 'u', &replySerial);
  if (destination) field(6, 's', destination);
  const std::string signatureText(signature);
  if (!signature.empty()) field(8, 'g', signatureText.c_str());
  const uint32_t count = static_cast<uint32_t>(fds);
  if (count > 0) field(9, 'u', &count);
  header.Close();
  std::string bytes = header.Take();
  bytes.resize((bytes.size() + 7) & ~size_t{7});
  return bytes;
}

}  // namespace vorlix
