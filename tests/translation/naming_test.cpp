// Clock names across the hierarchy, on whole runs of the models of
// tests/data/naming: repeated local names, nodes called under two parents,
// a process instantiated twice, long names in the SCADE dialect. Each
// generated program must be well formed, and the scheduler of a processor
// must produce exactly the clocks that the top-level system passes to the
// instances bound to that processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lustre_check.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

// The names in a text, comments ("--" to the end of the line) left out.
std::vector<std::string> identifiers(const std::string& text) {
  std::vector<std::string> ids;
  std::string cur;
  std::string code;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "--") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) break;
    }
    code += text[i];
  }
  for (char c : code + " ") {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      cur += c;
    } else {
      if (!cur.empty() && !std::isdigit(static_cast<unsigned char>(cur[0]))) ids.push_back(cur);
      cur.clear();
    }
  }
  return ids;
}

std::vector<std::string> clocks_in(const std::string& text) {
  std::vector<std::string> l;
  for (auto& id : identifiers(text))
    if (id.find("_clk") != std::string::npos) l.push_back(id);
  return l;
}

// The text from `start` up to and including the first `stop` after it.
std::string section(const std::string& text, const std::string& start, const std::string& stop) {
  auto from = text.find(start);
  if (from == std::string::npos) return "";
  auto to = text.find(stop, from + start.size());
  return text.substr(from, to == std::string::npos ? std::string::npos : to + stop.size() - from);
}

struct Model_run {
  std::string dir;
  Run_result result;
  std::string file(const std::string& name) const { return read_file(dir + "/" + name); }
};

// Runs the program on a model given by its path in the source tree, or by
// its name in tests/data/naming.
Model_run run_model(const std::string& model, const std::vector<std::string>& options) {
  Model_run r{make_temp_dir("naming"), {}};
  const std::string path = model.find('/') == std::string::npos ? "tests/data/naming/" + model + ".aaxl" : model;
  fs::copy_file(source_path(path), r.dir + "/model.aaxl");
  std::vector<std::string> args = options;
  args.push_back("model.aaxl");
  r.result = run_vorquel(args, r.dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  return r;
}

// ---- every model, in every option set of the end-to-end cases ------------------

struct Model {
  std::string label;
  std::string path;  // in the source tree
};

// The models of tests/data/naming, of the end-to-end cases and the examples.
std::vector<Model> all_models() {
  std::vector<Model> l;
  auto add_dir = [&](const std::string& dir, const std::string& prefix) {
    for (const auto& e : fs::directory_iterator(source_path(dir)))
      if (e.path().extension() == ".aaxl")
        l.push_back({prefix + e.path().stem().string(), dir + "/" + e.path().filename().string()});
  };
  add_dir("tests/data/naming", "");
  add_dir("examples", "example_");
  for (const auto& e : fs::directory_iterator(source_path("tests/data/golden")))
    if (e.is_directory() && fs::exists(e.path() / "model.aaxl"))
      l.push_back({"golden_" + e.path().filename().string(),
                   "tests/data/golden/" + e.path().filename().string() + "/model.aaxl"});
  std::sort(l.begin(), l.end(), [](const Model& a, const Model& b) { return a.label < b.label; });
  return l;
}

std::vector<std::string> golden_option_sets() {
  std::set<std::string> sets;
  for (const auto& e : fs::directory_iterator(source_path("tests/data/golden")))
    if (e.is_directory()) {
      std::string joined;
      for (const auto& w : words(read_file(e.path().string() + "/args"))) joined += (joined.empty() ? "" : " ") + w;
      sets.insert(joined);
    }
  return {sets.begin(), sets.end()};
}

struct Combination {
  Model model;
  std::string options;
};

std::vector<Combination> combinations() {
  std::vector<Combination> l;
  for (const auto& m : all_models())
    for (const auto& o : golden_option_sets()) l.push_back({m, o});
  return l;
}

// "golden_typical__one_file__scade": the model, then each option without
// its dashes.
std::string combination_name(const Combination& c) {
  std::string s = c.model.label;
  for (const std::string& w : words(c.options)) {
    s += "__";
    for (char ch : w.substr(w.find_first_not_of('-')))
      s += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  }
  return s;
}

class NamingWellFormed : public ::testing::TestWithParam<Combination> {};

TEST_P(NamingWellFormed, ProgramPassesTheStructuralCheck) {
  Model_run r = run_model(GetParam().model.path, words(GetParam().options));
  ASSERT_EQ(r.result.status, 0) << r.result.out << r.result.err;
  auto check = check_lustre_program(r.dir + "/out.lus");
  EXPECT_TRUE(check.ok()) << check.text();
  fs::remove_all(r.dir);
}

INSTANTIATE_TEST_SUITE_P(Models, NamingWellFormed, ::testing::ValuesIn(combinations()),
                         [](const auto& info) { return combination_name(info.param); });

// ---- each instance's clocks come from its own processor ---------------------------

struct Binding_case {
  const char* model;
  const char* top;  // the top-level system's node
  std::map<std::string, std::vector<std::string>> instances_of;  // processor -> bound instances
};

void PrintTo(const Binding_case& c, std::ostream* os) { *os << c.model; }

class InstanceClocks : public ::testing::TestWithParam<Binding_case> {};

TEST_P(InstanceClocks, EachProcessorProducesExactlyTheClocksOfItsInstances) {
  const auto& c = GetParam();
  Model_run r = run_model(c.model, {});
  ASSERT_EQ(r.result.status, 0) << r.result.out << r.result.err;
  const std::string nodes = r.file("out_nodes.lus"), schedule = r.file("schedule_out.lus");
  const std::string top = section(nodes, std::string("----- ") + c.top + "\n", "\ntel;");
  ASSERT_FALSE(top.empty());

  // Every clock the top node declares is passed to exactly one instance and
  // produced by exactly one thread scheduler.
  const auto declared = clocks_in(section(top, "node ", ") returns"));
  const std::set<std::string> declared_set(declared.begin(), declared.end());
  EXPECT_EQ(declared_set.size(), declared.size());
  std::multiset<std::string> passed, produced;
  for (const auto& [cpu, instances] : c.instances_of) {
    SCOPED_TRACE(cpu);
    std::multiset<std::string> expected;
    for (const auto& inst : instances) {
      auto call = section(top, "\n  " + inst + "_o = ", ");");
      ASSERT_FALSE(call.empty()) << inst;
      for (auto& clk : clocks_in(call)) expected.insert(clk);
    }
    auto outputs = section(schedule, "node schedule_" + cpu + "_threads(", "dispatched");
    auto got = clocks_in(outputs);
    EXPECT_EQ(std::multiset<std::string>(got.begin(), got.end()), expected);
    passed.insert(expected.begin(), expected.end());
    produced.insert(got.begin(), got.end());
  }
  EXPECT_EQ(passed, std::multiset<std::string>(declared.begin(), declared.end()));
  EXPECT_EQ(produced, passed);
  fs::remove_all(r.dir);
}

INSTANTIATE_TEST_SUITE_P(
    Models, InstanceClocks,
    ::testing::Values(Binding_case{"same_local_name", "K__S_i", {{"cpu1", {"pa"}}, {"cpu2", {"pb"}}}},
                      Binding_case{"two_parents", "K__S_i", {{"cpu1", {"pa"}}, {"cpu2", {"pb"}}}},
                      Binding_case{"twice", "K__S_i", {{"cpu1", {"p1"}}, {"cpu2", {"p2"}}}},
                      Binding_case{"twice_one_cpu", "K__S_i", {{"cpu", {"p1", "p2"}}}},
                      Binding_case{"long_names",
                                   "K__Flight_Control_System_Avionics_i",
                                   {{"flight_management_processor", {"navigation"}}}},
                      Binding_case{"combined", "K__S_i", {{"cpu1", {"pa1", "pb"}}, {"cpu2", {"pa2"}}}}),
    [](const auto& info) { return std::string(info.param.model); });

// ---- names chosen, and where they go ------------------------------------------------

TEST(Naming, RepeatedClocksTakeTheNextFreeSuffixInTheOrderOfTheCalls) {
  Model_run r = run_model("combined", {});
  ASSERT_EQ(r.result.status, 0) << r.result.out << r.result.err;
  const std::string top = section(r.file("out_nodes.lus"), "----- K__S_i\n", "\ntel;");
  // pa1, pb and pa2 in the order of the calls; PB's node, which A.i calls
  // too, declares the names its own calls pass.
  EXPECT_NE(top.find("  pa1_o = K__PA_i(si, _ctrl_activate_clk,\n"), std::string::npos) << top;
  EXPECT_NE(top.find("  pb_o = K__PB_i(pa1_o, _ctrl_activate_clk_2,\n"), std::string::npos) << top;
  EXPECT_NE(top.find("  pa2_o = K__PA_i(pb_o, _ctrl_activate_clk_3,\n"), std::string::npos) << top;
  fs::remove_all(r.dir);
}

TEST(Naming, InstancesKeepTheirPositionAndPriorityOnOneProcessor) {
  // p2 is bound first, so the items are p2.t1, p2.t2, p1.t1, p1.t2, all of
  // one period: the later item has the higher priority. p1, called first,
  // passes the unsuffixed names.
  Model_run r = run_model("twice_one_cpu", {});
  ASSERT_EQ(r.result.status, 0) << r.result.out << r.result.err;
  const std::string schedule = r.file("schedule_out.lus");
  for (const char* line : {"  _t1_activate_clk_2 = first_rising_edge(cpu4, not dispatched4);\n",
                           "  _t2_activate_clk_2 = first_rising_edge(cpu3, not dispatched3);\n",
                           "  _t1_activate_clk = first_rising_edge(cpu2, not dispatched2);\n",
                           "  _t2_activate_clk = first_rising_edge(cpu1, not dispatched1);\n",
                           "_t2_2_dispatched_on_cpu, _t1_dispatched_on_cpu"})
    EXPECT_NE((schedule + r.file("out.lus")).find(line), std::string::npos) << line;
  const std::string top = section(r.file("out_nodes.lus"), "----- K__S_i\n", "\ntel;");
  EXPECT_NE(top.find("  p1_o = K__P_i(si, _t1_activate_clk,\n"), std::string::npos) << top;
  EXPECT_NE(top.find("  p2_o = K__P_i(p1_o, _t1_activate_clk_2,\n"), std::string::npos) << top;
  fs::remove_all(r.dir);
}

TEST(Naming, ScadeSpellsEveryNameAlikeInEveryFile) {
  Model_run r = run_model("long_names", {"--scade"});
  ASSERT_EQ(r.result.status, 0) << r.result.out << r.result.err;
  const std::string program = r.file("out.lus"), scenario = r.file("out.zbl");
  // The scheduled node calls the system node under its short name.
  EXPECT_NE(program.find("node K__Flight_Control_System_Avio0("), std::string::npos);
  EXPECT_NE(program.find("\n     = K__Flight_Control_System_Avio0\n"), std::string::npos);
  // No name is longer than the dialect accepts, but the verification node's,
  // which nothing refers to.
  for (const auto& id : identifiers(program))
    if (id.size() > 30) {
      EXPECT_EQ(id, "schedule_out_oracles_properties");
    }
  // What the scenario reads and draws is what the program declares.
  const std::set<std::string> scenario_words = {"inputs", "outputs", "states", "loop", "stable", "start_state",
                                                "transitions", "cond", "and", "true", "int", "bool"};
  const auto declared = identifiers(program);
  const std::set<std::string> declared_set(declared.begin(), declared.end());
  for (const auto& id : identifiers(scenario))
    if (!scenario_words.count(id)) {
      EXPECT_TRUE(declared_set.count(id)) << id;
    }
  EXPECT_NE(scenario.find("  _navigation_filter_release_c"), std::string::npos) << scenario;
  fs::remove_all(r.dir);
}

}  // namespace
}  // namespace vorquel
