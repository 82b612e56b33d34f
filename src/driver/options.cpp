#include "driver/options.hpp"

#include <unistd.h>

#include <cerrno>

namespace vorquel {

Channel::Channel(int fd, std::string name, bool owned) : fd_(fd), name_(std::move(name)), owned_(owned) {
  buf_.reserve(capacity);
}

Channel::~Channel() { close(); }

void Channel::write_fd(std::string_view text) {
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
  if (!buf_.empty()) write_fd(buf_);
  buf_.clear();
}

int Channel::flush() {
  if (!closed_) flush_buffer();
  return error_;
}

int Channel::close() {
  if (closed_) return 0;
  flush_buffer();
  closed_ = true;
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

Options& options() {
  static Options o;
  return o;
}

Channels& channels() {
  static Channels c{&std_out(), &std_out(), &std_out(), &std_out(), &std_out(), &std_out()};
  return c;
}

void reset_options() {
  options() = Options{};
  channels() = Channels{&std_out(), &std_out(), &std_out(), &std_out(), &std_out(), &std_out()};
}

}  // namespace vorquel
