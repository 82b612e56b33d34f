#include "base/diagnostics.hpp"

#include <cstring>

#include "base/channel.hpp"

namespace vorquel {

void fail(std::string text) { throw Fatal(make_diagnostic(Diagnostic_kind::User, std::move(text))); }

void fail_without_abort_line(std::string text, bool on_standard_error) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::User, std::move(text));
  d.on_standard_error = on_standard_error;
  d.aborting = false;
  throw Fatal(std::move(d));
}

void internal_error(std::string description) {
  throw Fatal(make_diagnostic(Diagnostic_kind::Internal, std::move(description)));
}

namespace {
constexpr std::string_view not_found_text = "Not_found";
}  // namespace

void not_found() { internal_error(std::string(not_found_text)); }

bool is_not_found(const Diagnostic& d) { return d.kind == Diagnostic_kind::Internal && d.text == not_found_text; }

void not_yet_implemented(std::string_view text) {
  throw Fatal(make_diagnostic(Diagnostic_kind::Unsupported, std::string(text)));
}

namespace {
// "file:line:col: " where the diagnostic is located, else "vorquel: ".
std::string line_prefix(const Diagnostic& d) {
  if (!d.location || d.location->file.empty()) return "vorquel: ";
  std::string s = d.location->file + ":";
  if (d.location->line > 0) {
    s += std::to_string(d.location->line) + ":";
    if (d.location->column > 0) s += std::to_string(d.location->column) + ":";
  }
  return s + " ";
}
}  // namespace

void report(const Diagnostic& d) {
  switch (d.kind) {
    case Diagnostic_kind::Warning:
      err(line_prefix(d) + "warning: " + d.text + "\n");
      return;
    case Diagnostic_kind::User:
      if (!d.aborting) {
        (d.on_standard_error ? std_err() : std_out()).write(d.text);
        return;
      }
      std_err().flush();
      out(d.text);
      break;
    case Diagnostic_kind::Unsupported:
      err(">> Not yet implemented: ");
      err(d.text);
      err("\n");
      std_err().flush();
      out("Misc.Error\n");
      break;
    case Diagnostic_kind::Internal:
      std_err().flush();
      out(d.text);
      out("\n");
      break;
  }
  std_out().flush();
  std_err().flush();
  out("*** Aborting...\n");
}

std::string file_error(int error, const std::string& name) {
  return "*** " + std::string(std::strerror(error)) + " (" + name + ")\n";
}

}  // namespace vorquel
