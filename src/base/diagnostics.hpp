// Diagnostics: the error kinds of the program.
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

#include <exception>
#include <string>
#include <string_view>

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

}  // namespace vorquel
