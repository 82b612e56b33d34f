#include "driver/options.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

#include "driver/version.hpp"

namespace vorquel {

namespace {

// The option table, in the order in which the usage text lists it. Aliases
// have an empty help text. Every option is one word; an option with an
// argument takes the next word whatever it looks like.
enum class Arg { None, String, Int };

enum class Action {
  Output_file, Lustre, Scade, Verbosity, Gen_fake_body, Toplevel_system, Gen_random_func,
  One_file, V4_arrays, Check_schedulability, Show_scheduling_vars, Report, Export_aadl, Overwrite,
  Immediate_first, No_warnings, Version, Help
};

struct Option_entry {
  std::string_view name;
  Arg arg;
  Action action;
  std::string_view help;
};

constexpr Option_entry option_table[] = {
    {"--output-file", Arg::String, Action::Output_file, "<str>"},
    {"-o", Arg::String, Action::Output_file, "<str> \n     output file base name\n"},
    {"--lustre", Arg::None, Action::Lustre,
     "\n     Generate academic lustre code for the Halvern compiler (the default)."},
    {"--scade", Arg::None, Action::Scade, "\n     Generate lustre code that is compatible with Scade. \n"},
    {"--verbosity-level", Arg::Int, Action::Verbosity, "<int>"},
    {"-v", Arg::Int, Action::Verbosity, "<int> \n     Set the verbosity level.\n"},
    {"--gen-fake-body", Arg::None, Action::Gen_fake_body, "\n     Generate a fake body to bodyless nodes\n"},
    {"--toplevel-system", Arg::String, Action::Toplevel_system, ""},
    {"-tc", Arg::String, Action::Toplevel_system,
     "\n     Set the top-level system (one of the system is used if left unset).\n"},
    {"--gen-random-func", Arg::None, Action::Gen_random_func,
     "\n     Generates random functions instead of adding oracle \n     variables as node inputs.\n"},
    {"--one-file", Arg::None, Action::One_file, "\n     Generates only one file (instead of 6).\n"},
    {"--v4-arrays", Arg::None, Action::V4_arrays, "\n     Use Lustre V4 arrays in the generated code.\n"},
    {"--check-schedulability", Arg::None, Action::Check_schedulability,
     "\n     Add an additional boolean output (schedul_ok) that is true as long as no dead-line is "
     "missed.\n"},
    {"--show-scheduling-vars", Arg::None, Action::Show_scheduling_vars,
     "\n     Add the internal scheduling variable at node outputs \n     (for debugging or/and to "
     "understand what's going on).\n"},
    {"--report", Arg::None, Action::Report,
     "\n     Also write a schedulability report (<base>_report.html, <base>.vcd, <base>.dot) \n     and print "
     "its tables.\n"},
    {"--export-aadl", Arg::None, Action::Export_aadl,
     "\n     Write the model as read to <base>.aadl (textual AADL) and stop.\n"},
    {"--overwrite", Arg::None, Action::Overwrite,
     "\n     Replace the generated files of an earlier run; the fillme_* files are kept \n     (a version that "
     "differs goes to fillme_*.new).\n"},
    {"--immediate-first", Arg::None, Action::Immediate_first,
     "\n     Among threads of equal period on a processor, run the sender of an immediate \n     connection "
     "before its receivers.\n"},
    {"--no-warnings", Arg::None, Action::No_warnings, ""},
    {"-w", Arg::None, Action::No_warnings, "\n     Do not print warnings.\n"},
    {"--version", Arg::None, Action::Version, ""},
    {"-version", Arg::None, Action::Version, "\n     Show the version.\n "},
    {"--help", Arg::None, Action::Help, ""},
    {"-help", Arg::None, Action::Help, ""},
    {"-h", Arg::None, Action::Help, "\n     Display this help message"},
};

const Option_entry* find_option(std::string_view word) {
  for (const auto& o : option_table)
    if (o.name == word) return &o;
  return nullptr;
}

// A decimal integer with an optional sign, nothing else; out of range fails.
std::optional<int> parse_int(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.front() < '0' || s.front() > '9') return std::nullopt;
  long long v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (negative) v = -v;
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(v);
}

// A command-line error: the one-line diagnostic, then the usage text, both
// on standard error.
int bad_usage(const std::string& diagnostic) {
  err(diagnostic);
  err(usage_text());
  return 2;
}

}  // namespace

std::string usage_text() {
  std::string u = "This is vorquel version ";
  u += version;
  u += "\n\n Usage: vorquel <options> {<file>.aaxl}+\n<options> are:\n";
  for (const auto& o : option_table) {
    u += "  ";
    u += o.name;
    u += ' ';
    u += o.help;
    u += '\n';
  }
  return u;
}

std::optional<int> parse_command_line(const std::vector<std::string>& argv, Options& o) {
  const std::string prog = argv.empty() ? std::string("vorquel") : argv.front();
  if (argv.size() <= 1) {
    err(usage_text());
    std_out().flush();
    return 2;
  }
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    const Option_entry* entry = find_option(word);
    if (entry == nullptr) {
      if (!word.empty() && word.front() == '-') return bad_usage(prog + ": unknown option '" + word + "'.\n");
      o.input_files.push_back(word);
      continue;
    }
    std::string arg;
    if (entry->arg != Arg::None) {
      if (i + 1 == argv.size())
        return bad_usage(prog + ": option '" + word + "' needs an argument.\n");
      arg = argv[++i];
    }
    switch (entry->action) {
      case Action::Output_file: o.output_base_name = arg; break;
      case Action::Lustre: o.dialect = Dialect::Lustre; break;
      case Action::Scade:
        o.dialect = Dialect::Scade;
        o.one_file = true;
        break;
      case Action::Verbosity: {
        auto v = parse_int(arg);
        if (!v)
          return bad_usage(prog + ": wrong argument '" + arg + "'; option '" + word +
                           "' expects an integer.\n");
        o.verbosity = *v;
        break;
      }
      case Action::Gen_fake_body: o.gen_fake_body = true; break;
      case Action::Toplevel_system: o.toplevel_system = arg; break;
      case Action::Gen_random_func: o.gen_random_func = true; break;
      case Action::One_file: o.one_file = true; break;
      case Action::V4_arrays: o.v4_arrays = true; break;
      case Action::Check_schedulability: o.check_schedulability = true; break;
      case Action::Show_scheduling_vars: o.show_scheduling_vars = true; break;
      case Action::Report: o.report = true; break;
      case Action::Export_aadl: o.export_aadl = true; break;
      case Action::Overwrite: o.overwrite = true; break;
      case Action::Immediate_first: o.immediate_first = true; break;
      case Action::No_warnings: o.warnings = false; break;
      case Action::Version:
        out(version);
        out("\n");
        return 0;
      case Action::Help:
        err(usage_text());
        return 0;
    }
  }
  // Each new name goes in front: the list holds the files in reverse order.
  std::reverse(o.input_files.begin(), o.input_files.end());
  return std::nullopt;
}

}  // namespace vorquel
