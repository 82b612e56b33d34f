// The generated programs through an independent Lustre front end
// (../shared/tools/lustre-check): every complete program of every test model
// and example is accepted, and simulations of the example models keep the
// timing that the scheduler promises.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

const std::string tools = VORQUEL_SOURCE_DIR "/../shared/tools/lustre-check/";

bool tools_present() { return fs::exists(tools + "check.sh") && fs::exists(tools + "bin/lustre"); }

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Shell_result {
  int status;
  std::string out;  // standard output and standard error
};

Shell_result shell(const std::string& command) {
  Shell_result r{-1, ""};
  FILE* f = ::popen((command + " 2>&1").c_str(), "r");
  if (f == nullptr) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) r.out.append(buf, n);
  const int w = ::pclose(f);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

// The translatable models of the test data and the examples, each text once.
// (tests/data/loader/tool_style.aaxl has no system; port group types are
// beyond this front end, and no model here has one.)
std::vector<std::string> models() {
  std::vector<std::string> paths;
  for (const auto& e : fs::directory_iterator(source_path("tests/data/golden")))
    if (fs::exists(e.path() / "model.aaxl")) paths.push_back((e.path() / "model.aaxl").string());
  for (const char* dir : {"tests/data/naming", "examples"})
    for (const auto& e : fs::directory_iterator(source_path(dir)))
      if (e.path().extension() == ".aaxl") paths.push_back(e.path().string());
  paths.push_back(source_path("tests/data/loader/typical.aaxl"));
  std::sort(paths.begin(), paths.end());
  std::set<std::string> texts;
  std::vector<std::string> unique;
  for (const auto& p : paths)
    if (texts.insert(read_file(p)).second) unique.push_back(p);
  return unique;
}

std::string case_name(const std::string& path) {
  fs::path p(path);
  std::string name = p.parent_path().filename().string();
  if (p.stem() != "model") name += "_" + p.stem().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// --v4-arrays, port group types and --scade are outside the front end's
// dialect.
const std::vector<std::vector<std::string>> option_sets = {
    {},
    {"--check-schedulability"},
    {"--show-scheduling-vars"},
    {"--check-schedulability", "--show-scheduling-vars"},
    {"--gen-random-func"},
};

// Translates the model in a fresh folder; returns the folder.
std::string translate(const std::string& model, std::vector<std::string> options, const std::string& base = "out") {
  const std::string dir = make_temp_dir("front-end");
  fs::copy_file(model, dir + "/model.aaxl");
  options.insert(options.end(), {"-o", base, "model.aaxl"});
  auto r = run_vorquel(options, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  return dir;
}

std::string joined(const std::vector<std::string>& words) {
  std::string s;
  for (const auto& w : words) s += w + " ";
  return s;
}

class FrontEnd : public ::testing::TestWithParam<std::string> {};

TEST_P(FrontEnd, AcceptsEveryProgram) {
  if (!tools_present()) GTEST_SKIP() << "no Lustre front end at " << tools << " (a clone without ../shared)";
  for (const auto& options : option_sets) {
    SCOPED_TRACE(joined(options));
    // The complete program.
    std::vector<std::string> complete = options;
    complete.insert(complete.begin(), {"--one-file", "--gen-fake-body"});
    const std::string dir = translate(GetParam(), complete);
    auto r = shell(tools + "check.sh " + quoted(dir + "/out.lus"));
    EXPECT_EQ(r.status, 0) << r.out;

    // The program to fill in: the nodes without body stand as declarations,
    // the types and constants are given as the user would (here those of the
    // complete program); nothing else may be wrong. The scheduling options
    // change nothing there: the two libraries of the scheduler are enough.
    if (!options.empty() && options[0] != "--gen-random-func") continue;
    const std::string to_fill = translate(GetParam(), options);
    std::vector<std::string> with_fake_body = options;
    with_fake_body.push_back("--gen-fake-body");
    const std::string fake = translate(GetParam(), with_fake_body);
    for (const char* f : {"fillme_out_types.lus", "fillme_out_const.lus"})
      fs::copy_file(fake + "/" + f, to_fill + "/" + f, fs::copy_options::overwrite_existing);
    r = shell(tools + "check.sh --stub-empty " + quoted(to_fill + "/out.lus"));
    EXPECT_EQ(r.status, 0) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, FrontEnd, ::testing::ValuesIn(models()),
                         [](const auto& info) { return case_name(info.param); });

// ---- simulation --------------------------------------------------------------------

// The run of a node, step by step: its inputs and outputs by name.
struct Trace {
  std::map<std::string, std::size_t> inputs, outputs;  // name -> column
  std::vector<std::vector<std::string>> in, out;        // per step

  bool holds(const std::string& output, std::size_t step) const { return out[step].at(outputs.at(output)) == "T"; }
  int number(const std::string& input, std::size_t step) const { return std::stoi(in[step].at(inputs.at(input))); }
  std::size_t steps() const { return out.size(); }
};

// "a$1:int, b:bool" -> {a: 0, b: 1}: the front end marks some names with "$".
std::map<std::string, std::size_t> columns(const std::string& list) {
  std::map<std::string, std::size_t> c;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    item.erase(0, item.find_first_not_of(' '));
    const auto end = item.find_first_of("$:");
    c.emplace(item.substr(0, end), c.size());
  }
  return c;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

Trace simulate(const std::string& lus, const std::string& node, int steps, int seed, const std::string& ints) {
  auto r = shell(tools + "simulate.sh --steps " + std::to_string(steps) + " --seed " + std::to_string(seed) +
                 " --int " + ints + " " + quoted(lus) + " " + node);
  Trace t;
  EXPECT_EQ(r.status, 0) << r.out;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (auto at = line.find(" input(s): "); at != std::string::npos) {
      t.inputs = columns(line.substr(at + 11));
    } else if (auto at = line.find(" output(s): "); at != std::string::npos) {
      t.outputs = columns(line.substr(at + 12));
    } else if (auto bar = line.find(" | "); bar != std::string::npos && line.find("step") == std::string::npos) {
      const auto bar2 = line.find(" | ", bar + 3);
      t.in.push_back(words(line.substr(bar + 3, bar2 - bar - 3)));
      t.out.push_back(words(line.substr(bar2 + 3)));
    }
  }
  EXPECT_EQ(t.steps(), static_cast<std::size_t>(steps)) << r.out;
  return t;
}

struct Thread {
  std::string name;
  int period, min, max;
};

TEST(Simulation, ThreadsKeepTheirPeriodsAndExecutionTimes) {
  if (!tools_present()) GTEST_SKIP() << "no Lustre front end at " << tools << " (a clone without ../shared)";
  const std::string dir =
      translate(source_path("examples/typical.aaxl"), {"--one-file", "--gen-fake-body", "--show-scheduling-vars"});
  for (int seed : {1, 2}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Trace t = simulate(dir + "/out.lus", "out", 40, seed, "1:3");
    if (t.steps() != 40) return;
    for (const Thread& th : {Thread{"t1", 10, 1, 3}, Thread{"t2", 10, 1, 3}}) {
      SCOPED_TRACE(th.name);
      const std::string clk = "_" + th.name + "_";
      int dispatches = 0, drawn = 0;
      for (std::size_t s = 0; s < t.steps(); ++s) {
        if (t.holds(clk + "dispatch_clk", s)) {
          ++dispatches;
          drawn = t.number(clk + "release_clk_min_max", s);
        }
        if ((s + 1) % th.period == 0) {
          EXPECT_EQ(dispatches, 1) << "period ending at step " << s + 1;
          dispatches = 0;
        }
        if (!t.holds(clk + "activate_clk", s)) continue;
        // Processor time from the activation to the release, both included.
        int ticks = 0;
        std::size_t r = s;
        for (; r < t.steps(); ++r) {
          if (t.holds(clk + "has_cpu_on_cpu", r)) ++ticks;
          if (t.holds(clk + "release_clk", r)) break;
        }
        if (r == t.steps()) continue;  // released after the run
        EXPECT_GE(ticks, th.min) << "activated at step " << s + 1;
        EXPECT_LE(ticks, th.max) << "activated at step " << s + 1;
        EXPECT_EQ(ticks, drawn) << "activated at step " << s + 1;
      }
    }
  }
}

// t1.y -> t2.x is immediate and both threads have period 10. Usually t2
// has the higher priority and reads, at its activation, what t1 released
// in the period before; with --immediate-first t1 is released first, so t2
// reads the value of the same period.
TEST(Simulation, ImmediateFirstDeliversInTheSamePeriod) {
  if (!tools_present()) GTEST_SKIP() << "no Lustre front end at " << tools << " (a clone without ../shared)";
  for (bool first : {false, true}) {
    SCOPED_TRACE(first ? "--immediate-first" : "usual order");
    std::vector<std::string> args{"--one-file", "--gen-fake-body", "--show-scheduling-vars"};
    if (first) args.push_back("--immediate-first");
    const std::string dir = translate(source_path("examples/typical.aaxl"), args);
    const Trace t = simulate(dir + "/out.lus", "out", 40, 1, "1:3");
    for (std::size_t period = 0; period + 10 <= t.steps(); period += 10) {
      std::optional<std::size_t> released, activated;
      for (std::size_t s = period; s < period + 10; ++s) {
        if (!released && t.holds("_t1_release_clk", s)) released = s;
        if (!activated && t.holds("_t2_activate_clk", s)) activated = s;
      }
      ASSERT_TRUE(released && activated) << "period from step " << period + 1;
      EXPECT_EQ(*released < *activated, first) << "period from step " << period + 1;
    }
  }
}

TEST(Simulation, SchedulabilityObserver) {
  if (!tools_present()) GTEST_SKIP() << "no Lustre front end at " << tools << " (a clone without ../shared)";
  const std::string model = read_file(source_path("examples/typical.aaxl"));
  const std::string period = R"(value="10")";
  ASSERT_NE(model.find(period), std::string::npos);
  std::string overloaded = model;  // two threads of 3 ticks every 3 ticks
  overloaded.replace(overloaded.find(period), period.size(), R"(value="3")");
  const std::string overloaded_path = make_temp_dir("overloaded") + "/model.aaxl";
  write_file(overloaded_path, overloaded);

  struct Case {
    std::string model, ints;
    bool schedulable;
  };
  for (const Case& c : {Case{source_path("examples/typical.aaxl"), "1:3", true}, Case{overloaded_path, "3:3", false}}) {
    SCOPED_TRACE(c.schedulable ? "schedulable" : "overloaded");
    const std::string dir = translate(c.model, {"--one-file", "--gen-fake-body", "--check-schedulability"});
    const Trace t = simulate(dir + "/out.lus", "out", 30, 1, c.ints);
    bool always_ok = true;
    for (std::size_t s = 0; s < t.steps(); ++s) always_ok = always_ok && t.holds("schedul_ok", s);
    EXPECT_EQ(always_ok, c.schedulable);
  }
}

TEST(Simulation, ProcessorClocksStayWithinTwoTicks) {
  if (!tools_present()) GTEST_SKIP() << "no Lustre front end at " << tools << " (a clone without ../shared)";
  const std::string dir =
      translate(source_path("examples/two_cpus.aaxl"), {"--one-file", "--gen-fake-body", "--show-scheduling-vars"});
  for (int seed : {1, 2, 3}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Trace t = simulate(dir + "/out.lus", "out", 60, seed, "1:3");
    // Ticks of each clock since the other one last ticked.
    int ahead1 = 0, ahead2 = 0, ticks1 = 0, ticks2 = 0;
    for (std::size_t s = 0; s < t.steps(); ++s) {
      const bool q1 = t.holds("qs_tick1", s), q2 = t.holds("qs_tick2", s);
      ahead1 = q2 ? 0 : ahead1 + q1;
      ahead2 = q1 ? 0 : ahead2 + q2;
      ticks1 += q1;
      ticks2 += q2;
      EXPECT_LE(ahead1, 2) << "at step " << s + 1;
      EXPECT_LE(ahead2, 2) << "at step " << s + 1;
    }
    EXPECT_GT(ticks1, 0);
    EXPECT_GT(ticks2, 0);
  }
}

}  // namespace
}  // namespace vorquel
