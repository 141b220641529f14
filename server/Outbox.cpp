#include "server/Outbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vorlix {

Outbox::Outbox(int fd, sd_event* event) : event_(event), fd_(fcntl(fd, F_DUPFD_CLOEXEC, 3)) {}

namespace {

void CloseAll(std::vector<int>* fds) {
  for (int fd : *fds)
    close(fd);
  fds->clear();
}

}  // namespace

Outbox::~Outbox() {
  for (Item& item : queue_)
    CloseAll(&item.fds);
  sd_event_source_disable_unref(watch_);
  if (fd_ >= 0) close(fd_);
}

void Outbox::Send(std::string header, std::string body, std::vector<int> fds) {
  queue_.push_back({std::move(header), std::move(body), std::move(fds)});
  if (queue_.size() == 1) Pump();
}

void Outbox::Pump() {
  while (!queue_.empty() && WriteFront())
    queue_.pop_front();
  Watch(!queue_.empty());
}

bool Outbox::WriteFront() {
  Item& item = queue_.front();
  while (item.sent < item.header.size() + item.body.size()) {
    iovec parts[2];
    int count = 0;
    if (item.sent < item.header.size()) {
      parts[count++] = {item.header.data() + item.sent, item.header.size() - item.sent};
      parts[count++] = {item.body.data(), item.body.size()};
    } else {
      const size_t at = item.sent - item.header.size();
      parts[count++] = {item.body.data() + at, item.body.size() - at};
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = count;
    // The descriptors ride with the message's first bytes.
    std::vector<char> control;
    if (!item.fds.empty()) {
      const size_t size = item.fds.size() * sizeof(int);
      control.assign(CMSG_SPACE(size), '\0');
      message.msg_control = control.data();
      message.msg_controllen = control.size();
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(size);
      std::memcpy(CMSG_DATA(header), item.fds.data(), size);
    }
    const ssize_t n = sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    // The connection is gone: the inbox sees it on its next read and the peer is dropped.
    if (n < 0) return true;
    CloseAll(&item.fds);  // the peer has its own now
    item.sent += static_cast<size_t>(n);
  }
  return true;
}

void Outbox::Watch(bool on) {
  if (!on) {
    if (watch_) sd_event_source_set_enabled(watch_, SD_EVENT_OFF);
    return;
  }
  if (!watch_) {
    if (sd_event_add_io(event_, &watch_, fd_, EPOLLOUT, OnWritable, this) < 0) watch_ = nullptr;
    return;
  }
  sd_event_source_set_enabled(watch_, SD_EVENT_ON);
}

int Outbox::OnWritable(sd_event_source*, int, uint32_t, void* self) {
  static_cast<Outbox*>(self)->Pump();
  return 0;
}

void Outbox::Flush(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!queue_.empty()) {
    Pump();
    if (queue_.empty()) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd writable{fd_, POLLOUT, 0};
    if (poll(&writable, 1, static_cast<int>(left.count())) <= 0) break;
  }
}

}  // namespace vorlix
