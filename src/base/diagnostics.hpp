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
//
// Whatever the kind, the handler also writes one line on standard error in
// the usual compiler form: "file:line:col: error: message" when the
// diagnostic has a location, "vorquel: error: message" otherwise (the
// message is the first line of the text when none is given). The texts
// above are what scripts read and stay as they are.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace vorquel {

// Where in an input the fault lies: a whole file when line is 0.
struct Source_location {
  std::string file;
  int line = 0;
  int column = 0;
};

// "file:line:col", "file:line" or "file".
std::string location_text(const Source_location& at);
// "file:line:col: severity: text", "file: severity: text" (no line) or
// "vorquel: severity: text" (no location), without a line end.
std::string located_line(const std::optional<Source_location>& at, std::string_view severity, std::string_view text);
// A warning: its located line on standard error.
void warn_at(const std::optional<Source_location>& at, std::string_view text);

enum class Diagnostic_kind { User, Unsupported, Internal, Warning };

struct Diagnostic {
  Diagnostic_kind kind = Diagnostic_kind::User;
  std::string text;  // exactly as written, line ends included
  // User errors: where the text goes, and whether "*** Aborting...\n"
  // follows it on standard output.
  bool on_standard_error = false;
  bool aborting = true;
  std::optional<Source_location> location;
  // The text of the line on standard error, naming the elements as the user
  // wrote them; empty: the first line of the text.
  std::string message;
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
// Given a location, its line on standard error says `message`.
[[noreturn]] void fail_without_abort_line(std::string text, bool on_standard_error = false,
                                          std::optional<Source_location> at = std::nullopt, std::string message = {});
// A located mistake of the model: "*** <located line>\n" ("*** Error:
// <message>\n" without a location) on standard output, then "***
// Aborting...\n"; the located line on standard error.
[[noreturn]] void fail_at(const std::optional<Source_location>& at, std::string message);
// A user error with its documented text, located on standard error.
[[noreturn]] void fail_located(std::string text, const std::optional<Source_location>& at, std::string message);
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

// A recognised but unsupported feature; `message`, when given, says it to
// the user on standard error.
[[noreturn]] void not_yet_implemented(std::string_view text, std::string message = {},
                                      std::optional<Source_location> at = std::nullopt);

// "*** " and the system's message for an error number, naming the file.
std::string file_error(int error, const std::string& name);

// The first line of a standard-output text that says something, without
// its markers ("*** ", "Error: ").
std::string first_line_of(std::string_view text);

// Writes the diagnostic as the program reports a fatal error (a warning:
// its line on standard error). Messages already written on standard error
// come first.
void report(const Diagnostic& d);

}  // namespace vorquel
