#include "base/channel.hpp"

#include <unistd.h>

#include <cerrno>

namespace vorquel {

Channel::Channel(int fd, std::string name, bool owned) : fd_(fd), name_(std::move(name)), owned_(owned) {
  buf_.resize(capacity);
}

Channel::Channel(std::string& sink) : fd_(-1), name_("<memory>"), owned_(false), sink_(&sink) {
  buf_.resize(capacity);
}

Channel::~Channel() { close(); }

void Channel::write_fd(std::string_view text) {
  if (sink_ != nullptr) {
    sink_->append(text);
    return;
  }
  while (!text.empty()) {
    ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error_ == 0) error_ = errno;
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void Channel::flush_buffer() {
  if (used_ > 0) write_fd(std::string_view(buf_.data(), used_));
  used_ = 0;
}

// A text that does not fit in the free room: the buffer goes out first, and
// a text larger than the buffer goes out directly.
void Channel::write_slow(std::string_view text) {
  if (closed_) return;
  flush_buffer();
  if (text.size() > capacity) {
    write_fd(text);
    return;
  }
  std::char_traits<char>::copy(buf_.data(), text.data(), text.size());
  used_ = text.size();
}

int Channel::flush() {
  if (!closed_) flush_buffer();
  return error_;
}

int Channel::close() {
  if (closed_) return 0;
  flush_buffer();
  closed_ = true;
  used_ = capacity;  // no room: every later write goes to write_slow, which drops it
  if (owned_ && ::close(fd_) != 0 && error_ == 0) error_ = errno;
  return error_;
}

Channel& std_out() {
  static Channel c(1, "<stdout>", false);
  return c;
}

Channel& std_err() {
  static Channel c(2, "<stderr>", false);
  return c;
}

}  // namespace vorquel
