#include "base/diagnostics.hpp"

#include <cstring>

#include "base/channel.hpp"

namespace vorquel {

void fail(std::string text) { throw Fatal(make_diagnostic(Diagnostic_kind::User, std::move(text))); }

void fail_without_abort_line(std::string text, bool on_standard_error, std::optional<Source_location> at,
                             std::string message) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::User, std::move(text));
  d.on_standard_error = on_standard_error;
  d.aborting = false;
  d.location = std::move(at);
  d.message = std::move(message);
  throw Fatal(std::move(d));
}

void fail_at(const std::optional<Source_location>& at, std::string message) {
  std::string text = at ? "*** " + located_line(at, "error", message) + "\n" : "*** Error: " + message + "\n";
  fail_located(std::move(text), at, std::move(message));
}

void fail_located(std::string text, const std::optional<Source_location>& at, std::string message) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::User, std::move(text));
  d.location = at;
  d.message = std::move(message);
  throw Fatal(std::move(d));
}

std::string location_text(const Source_location& at) {
  std::string text = at.file;
  if (at.line > 0) {
    text += ':' + std::to_string(at.line);
    if (at.column > 0) text += ':' + std::to_string(at.column);
  }
  return text;
}

std::string located_line(const std::optional<Source_location>& at, std::string_view severity, std::string_view text) {
  std::string line;
  if (at && !at->file.empty()) {
    line = location_text(*at);
  } else {
    line = "vorquel";
  }
  line += ": ";
  line += severity;
  line += ": ";
  line += text;
  return line;
}

void warn_at(const std::optional<Source_location>& at, std::string_view text) {
  err(located_line(at, "warning", text) + "\n");
}

void internal_error(std::string description) {
  throw Fatal(make_diagnostic(Diagnostic_kind::Internal, std::move(description)));
}

namespace {
constexpr std::string_view not_found_text = "Not_found";
}  // namespace

void not_found() { internal_error(std::string(not_found_text)); }

bool is_not_found(const Diagnostic& d) { return d.kind == Diagnostic_kind::Internal && d.text == not_found_text; }

void not_yet_implemented(std::string_view text, std::string message, std::optional<Source_location> at) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::Unsupported, std::string(text));
  d.message = std::move(message);
  d.location = std::move(at);
  throw Fatal(std::move(d));
}

std::string first_line_of(std::string_view text) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    for (std::string_view marker : {"*** ", "Error: ", "Error : "})
      if (line.substr(0, marker.size()) == marker) line.remove_prefix(marker.size());
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == ':')) line.remove_suffix(1);
    if (!line.empty()) return std::string(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return "the run stopped";
}

namespace {

void write_located_line(const Diagnostic& d) {
  std::string message = d.message.empty() ? first_line_of(d.text) : d.message;
  if (d.kind == Diagnostic_kind::Internal) message = "internal error: " + message;
  else if (d.kind == Diagnostic_kind::Unsupported && d.message.empty()) message = "not supported: " + message;
  err(located_line(d.location, "error", message) + "\n");
}

}  // namespace

void report(const Diagnostic& d) {
  switch (d.kind) {
    case Diagnostic_kind::Warning:
      err(located_line(d.location, "warning", d.text) + "\n");
      return;
    case Diagnostic_kind::User:
      if (!d.aborting) {
        (d.on_standard_error ? std_err() : std_out()).write(d.text);
        write_located_line(d);
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
  write_located_line(d);
  std_err().flush();
  out("*** Aborting...\n");
}

std::string file_error(int error, const std::string& name) {
  return "*** " + std::string(std::strerror(error)) + " (" + name + ")\n";
}

}  // namespace vorquel
