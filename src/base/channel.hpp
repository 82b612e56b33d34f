// Buffered output channels: the standard streams and the output files.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace vorquel {

// A buffered output channel on a file descriptor. Write errors are remembered
// and reported by close() (or flush()) with the system's message.
class Channel {
 public:
  Channel(int fd, std::string name, bool owned);
  // A channel that appends what it writes out to a string (for text built
  // in memory).
  explicit Channel(std::string& sink);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  [[gnu::always_inline]] void write(std::string_view text) {
    // The buffer is sized once; the free room is written in place. A closed
    // channel has no room.
    if (text.size() <= capacity - used_) {
      copy(buf_.data() + used_, text.data(), text.size());
      used_ += text.size();
      return;
    }
    write_slow(text);
  }
  void write(char c) {
    if (used_ < capacity) {
      buf_[used_++] = c;
      return;
    }
    write_slow(std::string_view(&c, 1));
  }
  // Writes the buffer out; returns the error number of the first failed
  // write so far (0 when none).
  int flush();
  // Flushes and closes (descriptor closed only when owned); a second close
  // does nothing. Returns the error number of the first failure, 0 if none.
  int close();
  // Forgets an earlier write error (a new run on the standard streams).
  void clear_error() { error_ = 0; }
  const std::string& name() const { return name_; }

 private:
  static constexpr std::size_t capacity = 1 << 16;
  // Most texts written are a few bytes long: those are moved with two
  // overlapping fixed-size copies rather than a call.
  [[gnu::always_inline]] static void copy(char* to, const char* from, std::size_t n) {
    if (n >= 8 && n <= 16) {
      std::memcpy(to, from, 8);
      std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(to, from, 4);
      std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n >= 2 && n < 4) {
      std::memcpy(to, from, 2);
      std::memcpy(to + n - 2, from + n - 2, 2);
    } else if (n == 1) {
      *to = *from;
    } else if (n > 16) {
      std::memcpy(to, from, n);
    }
  }
  void flush_buffer();
  void write_fd(std::string_view text);
  void write_slow(std::string_view text);
  int fd_;
  std::string name_;
  bool owned_;
  bool closed_ = false;
  int error_ = 0;
  std::string* sink_ = nullptr;
  std::string buf_;        // capacity bytes, the first used_ of them written
  std::size_t used_ = 0;   // capacity once closed: nothing more fits
};

// Standard output and standard error as channels: every message of the
// program goes through these so that its order is the order of the writes.
Channel& std_out();
Channel& std_err();
inline void out(std::string_view s) { std_out().write(s); }
inline void err(std::string_view s) { std_err().write(s); }

// The six output channels of a run; all start on standard output and may
// all designate one file (--one-file).
struct Output_channels {
  Channel* nodes = &std_out();
  Channel* fillme_nodes = &std_out();
  Channel* fillme_types = &std_out();
  Channel* fillme_const = &std_out();
  Channel* scheduler = &std_out();
  Channel* top = &std_out();
  // The simulation scenario; none: print_scheduler opens <base>.zbl itself
  // (<base>.zbl.new when that name is taken).
  Channel* scenario = nullptr;
};

}  // namespace vorquel
