#include "server/Inbox.h"

#include <sys/socket.h>
#include <systemd/sd-id128.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vorlix {
namespace {

// Read at a time while no message longer than this is under way: a few hundred small calls.
constexpr size_t kReadSize = 64 << 10;

// The descriptors that came with the bytes: no method takes one, so none is kept.
void CloseReceived(msghdr* header) {
  for (cmsghdr* c = CMSG_FIRSTHDR(header); c; c = CMSG_NXTHDR(header, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < count; ++i) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      close(fd);
    }
  }
}

std::string NewGuid() {
  sd_id128_t id = SD_ID128_NULL;
  sd_id128_randomize(&id);
  char text[SD_ID128_STRING_MAX];
  return sd_id128_to_string(id, text);
}

}  // namespace

Inbox::Inbox(int fd, uid_t uid, sd_event* event, Outbox& outbox, OnMessage onMessage,
             OnClose onClose)
    : fd_(fd),
      event_(event),
      outbox_(outbox),
      onMessage_(std::move(onMessage)),
      onClose_(std::move(onClose)),
      authentication_(std::make_unique<Authentication>(uid, NewGuid())) {}

Inbox::~Inbox() {
  sd_event_source_disable_unref(source_);
  close(fd_);
}

int Inbox::Start() {
  return sd_event_add_io(event_, &source_, fd_, EPOLLIN, OnReadable, this);
}

int Inbox::OnReadable(sd_event_source*, int, uint32_t, void* self) {
  auto* inbox = static_cast<Inbox*>(self);
  if (inbox->Read()) inbox->Deliver();
  return 0;
}

bool Inbox::Read() {
  // Room for a read of the usual size, or for more of a long message: twice what has come of
  // it, up to its size. The room grows with the bytes that come, not with what a header
  // claims, so a client that announces 128 MiB and sends little holds little of the memory.
  std::string why;
  const size_t pending = end_ - start_;
  const long long size = pending >= 16 && !authentication_
                             ? MessageSize(std::string_view(buffer_).substr(start_, pending), &why)
                             : 0;
  const size_t wanted =
      size > 0 ? std::clamp(2 * pending, kReadSize, std::max(kReadSize, static_cast<size_t>(size)))
               : kReadSize;
  if (start_ > 0 && buffer_.size() - start_ < wanted) {
    // What was handed on makes room: the bytes left move to the front.
    buffer_.erase(0, start_);
    end_ -= start_;
    start_ = 0;
  }
  // Grown only (each growth fills the new room), and never to a read of nothing, which would
  // look like the end of the connection.
  const size_t room = std::max(start_ + wanted, end_ + 1);
  if (buffer_.size() < room) buffer_.resize(room);
  iovec part{buffer_.data() + end_, buffer_.size() - end_};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 16)];
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  ssize_t n;
  do {
    n = recvmsg(fd_, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  if (n > 0) CloseReceived(&header);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
  if (n <= 0) {
    Close(n == 0 || errno == ECONNRESET ? "" : strerror(errno));
    return false;
  }
  end_ += static_cast<size_t>(n);
  return true;
}

bool Inbox::Deliver() {
  if (authentication_) {
    std::string answer, rest;
    const auto state = authentication_->Feed(
        std::string_view(buffer_).substr(start_, end_ - start_), &answer, &rest);
    if (!answer.empty()) outbox_.Send({}, std::move(answer), {});
    if (state == Authentication::State::kFailed) {
      Close("it broke the protocol while authenticating");
      return false;
    }
    start_ = end_;
    if (state == Authentication::State::kTalking) return true;
    outbox_.SetPassesFds(authentication_->PassesFds());
    authentication_.reset();
    // What followed BEGIN is the first of the messages.
    buffer_.replace(0, end_, rest);
    start_ = 0;
    end_ = rest.size();
  }
  while (!closed_) {
    const std::string_view pending = std::string_view(buffer_).substr(start_, end_ - start_);
    std::string why;
    const long long size = MessageSize(pending, &why);
    if (size < 0) {
      Close("it sent " + why);
      return false;
    }
    if (size == 0 || pending.size() < static_cast<size_t>(size)) return true;
    std::string bytes;
    if (start_ == 0 && end_ == static_cast<size_t>(size) && end_ > kReadSize) {
      // A long message alone in the buffer becomes the message itself: no second copy of it,
      // and the buffer goes back to its usual size.
      buffer_.resize(end_);
      bytes = std::move(buffer_);
      buffer_ = std::string();
      start_ = end_ = 0;
    } else {
      bytes.assign(pending.substr(0, static_cast<size_t>(size)));
      start_ += static_cast<size_t>(size);
      if (start_ == end_) {
        start_ = end_ = 0;
        if (buffer_.size() > kReadSize) buffer_ = std::string();  // what a long message took
      }
    }
    std::unique_ptr<const WireMessage> message = ParseMessage(std::move(bytes), &why);
    if (!message) {
      Close("it sent " + why);
      return false;
    }
    onMessage_(std::move(message));
  }
  return false;
}

void Inbox::Close(const std::string& why) {
  if (closed_) return;
  closed_ = true;
  sd_event_source_set_enabled(source_, SD_EVENT_OFF);
  onClose_(why);
}

}  // namespace vorlix
