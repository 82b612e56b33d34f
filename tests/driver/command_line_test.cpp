// The command line as a user meets it: the built binary's exit statuses,
// streams and texts, and the option values the parser leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/options.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

using testing::run_vorquel;

const std::string usage =
    "This is vorquel version O.31\n"
    "\n"
    " Usage: vorquel <options> {<file>.aaxl}+\n"
    "<options> are:\n"
    "  --output-file <str>\n"
    "  -o <str> \n"
    "     output file base name\n"
    "\n"
    "  --lustre \n"
    "     Generate academic lustre code for the Halvern compiler (the default).\n"
    "  --scade \n"
    "     Generate lustre code that is compatible with Scade. \n"
    "\n"
    "  --verbosity-level <int>\n"
    "  -v <int> \n"
    "     Set the verbosity level.\n"
    "\n"
    "  --gen-fake-body \n"
    "     Generate a fake body to bodyless nodes\n"
    "\n"
    "  --toplevel-system \n"
    "  -tc \n"
    "     Set the top-level system (one of the system is used if left unset).\n"
    "\n"
    "  --gen-random-func \n"
    "     Generates random functions instead of adding oracle \n"
    "     variables as node inputs.\n"
    "\n"
    "  --one-file \n"
    "     Generates only one file (instead of 6).\n"
    "\n"
    "  --v4-arrays \n"
    "     Use Lustre V4 arrays in the generated code.\n"
    "\n"
    "  --check-schedulability \n"
    "     Add an additional boolean output (schedul_ok) that is true as long as no dead-line is missed.\n"
    "\n"
    "  --show-scheduling-vars \n"
    "     Add the internal scheduling variable at node outputs \n"
    "     (for debugging or/and to understand what's going on).\n"
    "\n"
    "  --report \n"
    "     Also write a schedulability report (<base>_report.html, <base>.vcd, <base>.dot) \n"
    "     and print its tables.\n"
    "\n"
    "  --export-aadl \n"
    "     Write the model as read to <base>.aadl (textual AADL) and stop.\n"
    "\n"
    "  --overwrite \n"
    "     Replace the generated files of an earlier run; the fillme_* files are kept \n"
    "     (a version that differs goes to fillme_*.new).\n"
    "\n"
    "  --immediate-first \n"
    "     Among threads of equal period on a processor, run the sender of an immediate \n"
    "     connection before its receivers.\n"
    "\n"
    "  --no-warnings \n"
    "  -w \n"
    "     Do not print warnings.\n"
    "\n"
    "  --version \n"
    "  -version \n"
    "     Show the version.\n"
    " \n"
    "  --help \n"
    "  -help \n"
    "  -h \n"
    "     Display this help message\n";

TEST(Usage, TextIsExact) { EXPECT_EQ(usage_text(), usage); }

struct Stop_case {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

// Runs that end during option processing, before the schema copy: none of
// them may depend on AADL_SCHEMA_DIR.
TEST(CommandLine, RunsThatStopEarly) {
  const std::string prog = VORQUEL_BINARY;
  const std::vector<Stop_case> cases = {
      {{}, 2, "", usage},
      {{"-h"}, 0, "", usage},
      {{"a.aaxl", "-h", "b.aaxl"}, 0, "", usage},
      {{"--help"}, 0, "", usage},
      {{"-help", "-zz"}, 0, "", usage},  // nothing after help is looked at
      {{"--version"}, 0, "O.31\n", ""},
      {{"-version", "-h"}, 0, "O.31\n", ""},
      {{"-zz"}, 2, "", prog + ": unknown option '-zz'.\n" + usage},
      {{"a.aaxl", "-"}, 2, "", prog + ": unknown option '-'.\n" + usage},
      {{"-o"}, 2, "", prog + ": option '-o' needs an argument.\n" + usage},
      {{"a.aaxl", "-tc"}, 2, "", prog + ": option '-tc' needs an argument.\n" + usage},
      {{"-v"}, 2, "", prog + ": option '-v' needs an argument.\n" + usage},
      {{"-v", "x", "a.aaxl"}, 2, "", prog + ": wrong argument 'x'; option '-v' expects an integer.\n" + usage},
      {{"--verbosity-level", "1x"}, 2, "",
       prog + ": wrong argument '1x'; option '--verbosity-level' expects an integer.\n" + usage},
      {{"-v", "99999999999999999999"}, 2, "",
       prog + ": wrong argument '99999999999999999999'; option '-v' expects an integer.\n" + usage},
      {{"-v", ""}, 2, "", prog + ": wrong argument ''; option '-v' expects an integer.\n" + usage},
      {{"-v", "+-1"}, 2, "", prog + ": wrong argument '+-1'; option '-v' expects an integer.\n" + usage},
      {{"-v", "--1"}, 2, "", prog + ": wrong argument '--1'; option '-v' expects an integer.\n" + usage},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += "[" + a + "]";
    SCOPED_TRACE(shown);
    auto r = run_vorquel(c.args, ".", {"AADL_SCHEMA_DIR"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

// In-process parsing: the values filled in.
struct Parse_case {
  std::vector<std::string> words;
  std::vector<std::string> files;
  std::string base;
  bool one_file;
  Dialect dialect;
  int verbosity;
  std::optional<std::string> top;
};

TEST(CommandLine, OptionValues) {
  const std::vector<Parse_case> cases = {
      {{"a.aaxl"}, {"a.aaxl"}, "out", false, Dialect::Lustre, 0, {}},
      {{"a.aaxl", "b.aaxl", "c"}, {"c", "b.aaxl", "a.aaxl"}, "out", false, Dialect::Lustre, 0, {}},
      {{"--scade", "x"}, {"x"}, "out", true, Dialect::Scade, 0, {}},
      {{"--scade", "--lustre", "x"}, {"x"}, "out", true, Dialect::Lustre, 0, {}},
      {{"-o", "a", "--output-file", "b", "x"}, {"x"}, "b", false, Dialect::Lustre, 0, {}},
      {{"-o", "-v", "x"}, {"x"}, "-v", false, Dialect::Lustre, 0, {}},
      {{"-v", "2", "--verbosity-level", "-1"}, {}, "out", false, Dialect::Lustre, -1, {}},
      {{"-v", "+3"}, {}, "out", false, Dialect::Lustre, 3, {}},
      {{"-tc", "K::S.i", "--one-file"}, {}, "out", true, Dialect::Lustre, 0, "K::S.i"},
      {{"--toplevel-system", "a", "-tc", "b"}, {}, "out", false, Dialect::Lustre, 0, "b"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv{"vorquel"};
    argv.insert(argv.end(), c.words.begin(), c.words.end());
    std::string shown;
    for (const auto& a : c.words) shown += "[" + a + "]";
    SCOPED_TRACE(shown);
    Options o;
    EXPECT_EQ(parse_command_line(argv, o), std::nullopt);
    EXPECT_EQ(o.input_files, c.files);
    EXPECT_EQ(o.output_base_name, c.base);
    EXPECT_EQ(o.one_file, c.one_file);
    EXPECT_EQ(o.dialect, c.dialect);
    EXPECT_EQ(o.verbosity, c.verbosity);
    EXPECT_EQ(o.toplevel_system, c.top);
  }
}

TEST(CommandLine, BooleanFlags) {
  Options o;
  ASSERT_EQ(parse_command_line({"vorquel", "--v4-arrays", "--gen-random-func", "--show-scheduling-vars",
                                "--check-schedulability", "--gen-fake-body", "--report"},
                               o),
            std::nullopt);
  EXPECT_TRUE(o.v4_arrays);
  EXPECT_TRUE(o.gen_random_func);
  EXPECT_TRUE(o.show_scheduling_vars);
  EXPECT_TRUE(o.check_schedulability);
  EXPECT_TRUE(o.gen_fake_body);
  EXPECT_TRUE(o.report);
  EXPECT_FALSE(o.one_file);
}

}  // namespace
}  // namespace vorquel
