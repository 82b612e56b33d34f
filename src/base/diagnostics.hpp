// Diagnostics, the error kinds of the program, and small process helpers.
//
// Error model (every kind reaches the single handler in main):
//   Not_found       a name is absent; ordinary and catchable.
//   Internal_error  an impossible situation (a failed assertion).
//   Misc_error      a recognised AADL feature that is not supported;
//                   raised by not_yet_implemented, printed "Misc.Error".
//   Failure         an error whose message is printed as is.
//   Exit_request    the messages (with "*** Aborting...\n") are already
//                   written: stop with the given status.
#pragma once

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vorquel {

struct Not_found : std::exception {
  const char* what() const noexcept override { return "Not_found"; }
};

struct Internal_error : std::exception {
  explicit Internal_error(std::string d) : description(std::move(d)) {}
  std::string description;
  const char* what() const noexcept override { return description.c_str(); }
};

struct Misc_error : std::exception {
  const char* what() const noexcept override { return "Misc.Error"; }
};

struct Failure : std::exception {
  explicit Failure(std::string m) : message(std::move(m)) {}
  std::string message;
  const char* what() const noexcept override { return message.c_str(); }
};

struct Exit_request : std::exception {
  explicit Exit_request(int s) : status(s) {}
  int status;
  const char* what() const noexcept override { return "exit"; }
};

[[noreturn]] void internal_error(std::string description);
#define VQ_ASSERT(cond, what)                                                     \
  do {                                                                            \
    if (!(cond)) ::vorquel::internal_error(std::string("Assertion failed: ") + (what) + \
                                           " (" __FILE__ ":" + std::to_string(__LINE__) + ")"); \
  } while (0)

// Writes ">> Not yet implemented: " + text + "\n" on standard error and
// raises Misc_error.
[[noreturn]] void not_yet_implemented(std::string_view text);

// Writes "*** Aborting...\n" on standard output and raises Exit_request(2).
// For the user errors that write their own message first.
[[noreturn]] void abort_run();

// Runs a program and waits for it (see main for the schema copy).
bool my_create_process(const std::string& program, const std::vector<std::string>& args,
                       bool verbose, int out_fd = 1, bool wait = true);

// Keeps the first occurrence of every element, in list order. Linear for
// hashable elements (identifiers), quadratic otherwise.
template <class T>
std::vector<T> remove_duplicates(const std::vector<T>& l) {
  std::vector<T> out;
  if constexpr (requires(const T& x) { std::hash<T>{}(x); }) {
    std::unordered_set<T> seen;
    for (const auto& x : l)
      if (seen.insert(x).second) out.push_back(x);
  } else {
    for (const auto& x : l)
      if (std::find(out.begin(), out.end(), x) == out.end()) out.push_back(x);
  }
  return out;
}

inline bool is_substring(std::string_view pattern, std::string_view text) {
  return text.find(pattern) != std::string_view::npos;
}

template <class F, class T>
auto opt_map(F f, const std::optional<T>& v) -> std::optional<decltype(f(*v))> {
  if (v) return f(*v);
  return std::nullopt;
}

}  // namespace vorquel
