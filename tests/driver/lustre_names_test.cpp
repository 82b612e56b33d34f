// Names that Lustre would not accept: keywords, two AADL names written alike,
// an output base name that cannot name the top-level node; and the named
// periods and execution-time bounds that the program declares for the user.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "printer/lustre_names.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

// The example model with each (from, to) replacement applied everywhere.
std::string typical_with(const std::vector<std::pair<std::string, std::string>>& edits) {
  std::string text = read_file(source_path("examples/typical.aaxl"));
  for (const auto& [from, to] : edits) {
    for (std::size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size())
      text.replace(pos, from.size(), to);
  }
  return text;
}

const std::string port_x = R"(<dataPort name="x" )";
const std::string int_port = R"(direction="out" dataClassifier="/aadlSpec[@name=typical]/aadlPackage[@name=K]/aadlPublic/dataType[@name=int]"/>)";

// The thread type without its Period and Compute_Execution_Time.
std::string untimed(std::string text) {
  const auto from = text.rfind("<propertyAssociation", text.find("propertyDefinition[@name=Period]"));
  const std::string last = "</propertyAssociation>";
  const auto to = text.find(last, text.find("propertyDefinition[@name=Compute_Execution_Time]")) + last.size();
  return text.erase(from, to - from);
}

struct Case {
  std::string name;
  std::vector<std::pair<std::string, std::string>> edits;
  bool untimed;
  std::vector<std::string> options;
  int status;
  std::string out_has;  // standard output
  std::string err;      // standard error, whole
  std::string lus_has;  // out.lus, when the run succeeds
};

// The warning that the typical model's t1 -> t2 connection gets.
// The warning, located at the connection (line 25 of the model, 33 when
// the keyword case lengthens its ports).
std::string receiver_first(const std::string& ports, const std::string& period, int line = 25) {
  return "model.aaxl:" + std::to_string(line) + ":12: warning: the immediate connection " + ports + " joins two threads of period " + period +
         " on cpu, but the receiver has the higher priority: p.t2 reads the value p.t1 produced in the previous "
         "period (--immediate-first runs the sender first)\n";
}

TEST(LustreNames, Keywords) {
  for (const char* word : {"when", "pre", "mode", "floor", "guarantee", "of"}) EXPECT_TRUE(is_lustre_keyword(word)) << word;
  for (const char* word : {"pre_", "Mode", "x", "guarantees"}) EXPECT_FALSE(is_lustre_keyword(word)) << word;
}

TEST(LustreNames, KeywordsCollisionsAndBaseNames) {
  const std::vector<Case> cases = {
      {"keyword ports", {{"name=x]", "name=pre]"}, {R"(name="x")", R"(name="pre")"},
                         {"name=y]", "name=mode]"}, {R"(name="y")", R"(name="mode")"}},
       false, {"--one-file"}, 0, "",
       "vorquel: warning: the name pre is a Lustre keyword; it is written pre_\n"
       "vorquel: warning: the name mode is a Lustre keyword; it is written mode_\n" +
           receiver_first("p.t1.mode -> p.t2.pre", "10", 33),
       "node K__T(pre_ : K__int) returns (mode_ : K__int);"},
      {"type and implementation written alike", {{R"(<systemType name="S"/>)", R"(<systemType name="S"/><processType name="S_i"/>)"}},
       false, {}, 2, "*** Error: the declarations K::S_i and K::S.i are both written K__S_i in Lustre.\n",
       "model.aaxl:39:8: error: the declarations K::S_i and K::S.i are both written K__S_i in Lustre; rename one of "
       "them\n",
       ""},
      {"keyword renamed onto another port",
       {{port_x, R"(<dataPort name="pre" )" + int_port + R"(<dataPort name="pre_" )" + int_port + port_x}},
       false, {}, 2, "*** Error: in K::T, the names pre and pre_ are both written pre_ in Lustre.\n",
       "vorquel: warning: the name pre is a Lustre keyword; it is written pre_\n"
       "model.aaxl:6:8: error: in K::T, the names pre and pre_ are both written pre_ in Lustre; rename one of them\n",
       ""},
      {"base starting with a digit", {}, false, {"-o", "3d"}, 2, "the output base name '3d' cannot name",
       "vorquel: error: the output base name '3d' cannot name the top-level node: a Lustre name starts with a letter and has only letters, digits and \"_\".\n", ""},
      {"base with an extension", {}, false, {"-o", "typical.lus"}, 2, "the output base name 'typical.lus' cannot name",
       "vorquel: error: the output base name 'typical.lus' cannot name the top-level node: a Lustre name starts with a letter and has only letters, digits and \"_\".\n", ""},
      {"base with a blank", {}, false, {"-o", "my model"}, 2, "the output base name 'my model' cannot name",
       "vorquel: error: the output base name 'my model' cannot name the top-level node: a Lustre name starts with a letter and has only letters, digits and \"_\".\n", ""},
      {"base that is a keyword", {}, false, {"-o", "node"}, 2, "it is a Lustre keyword",
       "vorquel: error: the output base name 'node' cannot name the top-level node: it is a Lustre keyword.\n", ""},
      {"base named like a library node", {}, false, {"-o", "timer"}, 2, "the scheduler writes a node of that name",
       "vorquel: error: the output base name 'timer' cannot name the top-level node: the scheduler writes a node of that name.\n", ""},
      {"base named like an arbiter", {}, false, {"-o", "cpu_from_dispatched_2"}, 2, "the scheduler writes a node",
       "vorquel: error: the output base name 'cpu_from_dispatched_2' cannot name the top-level node: the scheduler writes a node of that name.\n", ""},
      {"base named like a declaration", {}, false, {"-o", "K__P_i"}, 2, "is also the name of the declaration K::P.i",
       "model.aaxl:27:8: error: the output base name 'K__P_i' is also the name of K::P.i; choose another one with -o\n",
       ""},
      {"named bounds, imported", {}, true, {"--one-file"}, 0, "", receiver_first("p.t1.y -> p.t2.x", "_K__T_period"),
       "const _K__T_max_exec_time : int ;-- XXX fixme!\n"
       "const _K__T_min_exec_time : int ;-- XXX fixme!\n"
       "const _K__T_period : int ;-- XXX fixme!\n"},
      {"named bounds, fake values", {}, true,
       {"--one-file", "--gen-fake-body"}, 0, "", receiver_first("p.t1.y -> p.t2.x", "_K__T_period"),
       "const _K__T_max_exec_time = 1 ;-- XXX fixme!\n"
       "const _K__T_min_exec_time = 1 ;-- XXX fixme!\n"
       "const _K__T_period = 10 ;-- XXX fixme!\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = make_temp_dir("names");
    const std::string model = typical_with(c.edits);
    write_file(dir + "/model.aaxl", c.untimed ? untimed(model) : model);
    std::vector<std::string> args = c.options;
    args.push_back("model.aaxl");
    auto r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.out.find(c.out_has), std::string::npos) << r.out;
    EXPECT_EQ(r.err, c.err);
    if (c.status != 0) {
      EXPECT_NE(r.out.find("*** Aborting...\n"), std::string::npos);
      for (const auto& e : fs::directory_iterator(dir))
        EXPECT_NE(e.path().extension(), ".lus") << "written: " << e.path();
      continue;
    }
    const std::string lus = read_file(dir + "/out.lus");
    const auto at = lus.find(c.lus_has);
    ASSERT_NE(at, std::string::npos) << lus;
    // The named bounds come last, after everything else.
    if (c.untimed) {
      EXPECT_EQ(at + c.lus_has.size(), lus.size());
    }
  }
}

TEST(LustreNames, OnlyWholeKeywordsAreRenamed) {
  for (const char* k : {"pre", "current", "when", "node", "tel", "fby", "unsafe", "extern", "xor", "operator", "merge"})
    EXPECT_EQ(lustre_name(k), std::string(k) + "_");
  for (const char* n : {"pre_", "_pre_activate_clk", "K__pre", "Pre", "preX", "x", ""})
    EXPECT_EQ(lustre_name(n), n);
  EXPECT_TRUE(is_valid_node_name("typical_2"));
  for (const char* n : {"3d", "typical.lus", "my model", "_x", "", "let"}) EXPECT_FALSE(is_valid_node_name(n)) << n;
}

}  // namespace
}  // namespace vorquel
