// Diagnostics: every error of the program is fatal. The stage that finds it
// builds a Diagnostic with the exact text to show and throws it in a Fatal;
// the driver's single handler prints it (report) and ends the run with
// status 2. Nothing else prints an error.
//
// Kinds:
//   User         a fault of the input or of the environment: the text, then
//                "*** Aborting...\n" unless the text ends the report itself.
//   Unsupported  a recognised AADL feature that is not supported: the text
//                goes to standard error after ">> Not yet implemented: ",
//                and standard output reads "Misc.Error".
//   Internal     an impossible situation (a failed assertion): the
//                description, then "*** Aborting...\n".
//   Warning      a legal model that is surely not what was meant, or an
//                output put elsewhere than asked: never thrown; the run
//                collects them and prints them together, one line each on
//                standard error, "file:line:col: warning: text" when the
//                location is known, else "vorquel: warning: text".
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace vorquel {

// Where in an input the fault lies. Not filled yet by every stage.
struct Source_location {
  std::string file;
  int line = 0;
  int column = 0;
};

enum class Diagnostic_kind { User, Unsupported, Internal, Warning };

struct Diagnostic {
  Diagnostic_kind kind = Diagnostic_kind::User;
  std::string text;  // exactly as written, line ends included
  // User errors: where the text goes, and whether "*** Aborting...\n"
  // follows it on standard output.
  bool on_standard_error = false;
  bool aborting = true;
  std::optional<Source_location> location;
};

inline Diagnostic make_diagnostic(Diagnostic_kind kind, std::string text) {
  Diagnostic d;
  d.kind = kind;
  d.text = std::move(text);
  return d;
}

// A warning: the text is one line, without its line end.
inline Diagnostic make_warning(std::string text, std::optional<Source_location> location = std::nullopt) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::Warning, std::move(text));
  d.location = std::move(location);
  return d;
}

// The one exception of the program's own errors.
struct Fatal : std::exception {
  explicit Fatal(Diagnostic d) : diagnostic(std::move(d)) {}
  Diagnostic diagnostic;
  const char* what() const noexcept override { return diagnostic.text.c_str(); }
};

// A user error: the message lines, then "*** Aborting...\n".
[[noreturn]] void fail(std::string text);
// A user error whose text ends the report (no "*** Aborting...\n" line).
[[noreturn]] void fail_without_abort_line(std::string text, bool on_standard_error = false);
[[noreturn]] void internal_error(std::string description);
#define VQ_ASSERT(cond, what)                                                     \
  do {                                                                            \
    if (!(cond)) ::vorquel::internal_error(std::string("Assertion failed: ") + (what) + \
                                           " (" __FILE__ ":" + std::to_string(__LINE__) + ")"); \
  } while (0)

// A lookup that had to succeed found nothing: the internal error
// "Not_found" (the stage may name what it was doing; see is_not_found).
[[noreturn]] void not_found();
bool is_not_found(const Diagnostic& d);

// A recognised but unsupported feature.
[[noreturn]] void not_yet_implemented(std::string_view text);

// "*** " and the system's message for an error number, naming the file.
std::string file_error(int error, const std::string& name);

// Writes the diagnostic as the program reports a fatal error (a warning:
// its line on standard error). Messages already written on standard error
// come first.
void report(const Diagnostic& d);

}  // namespace vorquel
