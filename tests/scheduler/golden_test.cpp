// Whole scheduler output (scheduler file, top file, scenario file and
// standard output) of small translated models, against tests/data/scheduler.
// UPDATE_GOLDEN=1 rewrites the expected files, for review.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "base/diagnostics.hpp"
#include "lustre_check.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "scheduler/sched_model.hpp"
#include "scheduler/scheduler.hpp"

namespace vorquel {
namespace {

using namespace vorquel::testing;

// The model of a package with a thread type T (period 10, execution time
// 1..3), a process P.i running t1 and t2, and a system S.i binding it to cpu.
Sched_model typical(std::vector<Typed_ident> inputs = vars({{"x", "int"}}),
                    std::vector<Typed_ident> outputs = vars({{"y", "int"}})) {
  Sched_model m;
  m.add("K::P.i", Category::Process,
        {timed("K::T", "t1", lit(10), lit(1), lit(3)), timed("K::T", "t2", lit(10), lit(1), lit(3))})
      .system("K::S.i", {{"p", "K::P.i"}, {"cpu", "K::CPU"}}, {{"cpu", "p"}},
              make_node(std::move(inputs), std::move(outputs), clocks_of({"t1", "t2"})));
  return m;
}

// Two processors: t1 (period 10) and t2 (period 5) on cpu1; on cpu2 a thread
// u without Period nor Compute_Execution_Time (named bounds).
Sched_model two_cpus() {
  Sched_model m;
  m.add("K::P1.i", Category::Process,
        {timed("K::T", "t1", lit(10), lit(1), lit(3)), timed("K::T", "t2", lit(5), lit(2), lit(2))})
      .add("K::P2.i", Category::Process,
           {timed("K::U", "u", named("_K__U_period"), named("_K__U_min_exec_time"), named("_K__U_max_exec_time"))})
      .system("K::S.i", {{"p1", "K::P1.i"}, {"p2", "K::P2.i"}}, {{"cpu1", "p1"}, {"cpu2", "p2"}},
              make_node(vars({{"a", "int"}, {"b", "bool"}}), vars({{"o1", "int"}, {"o2", "real"}}),
                        clocks_of({"t1", "t2", "u"})));
  return m;
}

// Three processors with 2, 3 and 2 threads, in that tree order.
Sched_model three_cpus() {
  Sched_model m;
  m.add("K::A.i", Category::Process,
        {timed("K::T", "a1", lit(4), lit(1), lit(1)), timed("K::T", "a2", lit(8), lit(1), lit(2))})
      .add("K::B.i", Category::Process,
           {timed("K::T", "b1", lit(6), lit(1), lit(1)), timed("K::T", "b2", lit(3), lit(1), lit(1)),
            timed("K::T", "b3", lit(12), lit(2), lit(4))})
      .add("K::C.i", Category::Process,
           {timed("K::T", "c1", lit(5), lit(1), lit(1)), timed("K::T", "c2", lit(5), lit(1), lit(1))})
      .system("K::S.i", {{"pa", "K::A.i"}, {"pb", "K::B.i"}, {"pc", "K::C.i"}},
              {{"cpuC", "pc"}, {"cpuB", "pb"}, {"cpuA", "pa"}},
              make_node({}, vars({{"z", "int"}}), clocks_of({"a1", "a2", "b1", "b2", "b3", "c1", "c2"})));
  return m;
}

// A thread t (period 10) and a thread implementation whose three calls run
// one after the other, the first every 5.
Sched_model call_sequence() {
  Sched_model m;
  m.add("K::Th.i", Category::Thread,
        {timed("K::F", "c1", lit(5), lit(1), lit(1)), timed_after("K::G", "c2", "c1", lit(1), lit(2)),
         timed_after("K::F", "c3", "c2", lit(0), lit(1))})
      .add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3)), plain("K::Th.i")})
      .system("K::S.i", {{"p", "K::P.i"}}, {{"cpu", "p"}},
              make_node(vars({{"x", "int"}}), vars({{"y", "int"}}), clocks_of({"t", "c1", "c2", "c3"})));
  return m;
}

// The same process bound twice on one processor.
Sched_model twice() {
  Sched_model m;
  m.add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3))})
      .system("K::S.i", {{"p1", "K::P.i"}, {"p2", "K::P.i"}}, {{"cpu", "p2"}, {"cpu", "p1"}},
              make_node(vars({{"x", "int"}}), vars({{"y", "int"}}),
                        {{Ident("_t_activate_clk"), tbool()}, {Ident("_t_dispatch_clk"), tbool()},
                         {Ident("_t_release_clk"), tbool()}, {Ident("_t_activate_clk_2"), tbool()},
                         {Ident("_t_dispatch_clk_2"), tbool()}, {Ident("_t_release_clk_2"), tbool()}}));
  return m;
}

struct Golden_case {
  const char* name;  // directory under tests/data/scheduler
  std::function<Sched_model()> model;
  std::function<void(Options&)> set = [](Options&) {};
  std::string base = "out";
  int verbosity = 0;
};

void PrintTo(const Golden_case& c, std::ostream* os) { *os << c.name; }

const Golden_case cases[] = {
    {"one_cpu", [] { return typical(); }},
    {"one_cpu_random", [] { return typical(); }, [](Options& o) { o.gen_random_func = true; }},
    {"one_cpu_check", [] { return typical(); }, [](Options& o) { o.check_schedulability = true; }},
    {"one_cpu_show", [] { return typical(); }, [](Options& o) { o.show_scheduling_vars = true; }},
    {"one_cpu_check_show", [] { return typical(); },
     [](Options& o) { o.check_schedulability = o.show_scheduling_vars = true; }},
    {"one_cpu_base_verbose", [] { return typical(); }, [](Options&) {}, "demo", 3},
    {"no_outputs", [] { return typical(vars({{"x", "int"}}), {}); }},
    {"no_outputs_check", [] { return typical(vars({{"x", "int"}}), {}); },
     [](Options& o) { o.check_schedulability = true; }},
    {"no_outputs_show", [] { return typical(vars({{"x", "int"}}), {}); },
     [](Options& o) { o.show_scheduling_vars = true; }},
    {"no_outputs_check_show", [] { return typical(vars({{"x", "int"}}), {}); },
     [](Options& o) { o.check_schedulability = o.show_scheduling_vars = true; }},
    {"no_inputs_random", [] { return typical({}, vars({{"y", "int"}})); },
     [](Options& o) { o.gen_random_func = true; }},
    {"two_cpus", two_cpus},
    {"two_cpus_v4", two_cpus, [](Options& o) { o.v4_arrays = true; }},
    {"two_cpus_random", two_cpus, [](Options& o) { o.gen_random_func = true; }},
    {"two_cpus_check_show", two_cpus, [](Options& o) { o.check_schedulability = o.show_scheduling_vars = true; }},
    {"three_cpus", three_cpus},
    {"call_sequence", call_sequence},
    {"call_sequence_random", call_sequence, [](Options& o) { o.gen_random_func = true; }},
    {"twice", twice, [](Options& o) { o.check_schedulability = true; }},
};

class SchedulerGolden : public ::testing::TestWithParam<Golden_case> {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("sched");
    cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(cwd_);
    std::filesystem::remove_all(dir_);
  }
  std::string dir_;
  std::filesystem::path cwd_;
};

std::unique_ptr<Channel> open_channel(const std::string& name) {
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + name);
  return std::make_unique<Channel>(fd, name, true);
}

void expect_file(const std::string& expected_path, const std::string& actual) {
  SCOPED_TRACE(expected_path);
  if (std::getenv("UPDATE_GOLDEN")) {
    write_file(expected_path, actual);
    return;
  }
  EXPECT_EQ(actual, read_file(expected_path));
}

TEST_P(SchedulerGolden, WritesTheExpectedFiles) {
  const Golden_case& c = GetParam();
  Options o;
  c.set(o);
  o.output_base_name = c.base;
  o.verbosity = c.verbosity;
  Sched_model m = c.model();
  auto sched = open_channel("schedule.lus");
  auto top = open_channel("top.lus");
  Output_channels files;
  files.scheduler = sched.get();
  files.top = top.get();
  Captured run = capture_stdout([&] { run_scheduler(o, m, "K::S.i", files); });
  sched->close();
  top->close();
  ASSERT_FALSE(run.error) << "the scheduler generation failed";

  const std::string data = source_path("tests/data/scheduler/") + c.name + "/";
  if (std::getenv("UPDATE_GOLDEN")) std::filesystem::create_directories(data);
  expect_file(data + "schedule.lus", read_file("schedule.lus"));
  expect_file(data + "top.lus", read_file("top.lus"));
  expect_file(data + "scenario.zbl", read_file(c.base + ".zbl"));
  expect_file(data + "stdout.txt", run.out);

  // The scheduler file stands on its own: every node it calls is in it.
  for (const auto& problem : check_lustre_text(read_file("schedule.lus")).problems) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(Cases, SchedulerGolden, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SchedulerGolden, ExistingScenarioIsLeftAlone) {
  Sched_model m = typical();
  write_file("out.zbl", "old\n");
  Options o;
  o.verbosity = 2;
  Captured run = capture_stdout([&] { run_scheduler(o, m, "K::S.i"); });
  ASSERT_FALSE(run.error);
  EXPECT_EQ(read_file("out.zbl"), "old\n");
  EXPECT_EQ(read_file("out.zbl.new"), read_file(source_path("tests/data/scheduler/one_cpu/scenario.zbl")));
  EXPECT_NE(run.out.find("# ==> File out.zbl.new has been generated.\n"), std::string::npos);
}

TEST_F(SchedulerGolden, ScenarioThatCannotBeCreatedStopsTheRun) {
  Sched_model m = typical();
  Options o;
  o.output_base_name = "missing/out";
  Captured run = capture_stdout([&] { run_scheduler(o, m, "K::S.i"); });
  ASSERT_TRUE(run.threw<Fatal>());
  try {
    std::rethrow_exception(run.error);
  } catch (const Fatal& f) {
    EXPECT_EQ(f.diagnostic.text, "*** No such file or directory (missing/out.zbl)\n");
  }
}

}  // namespace
}  // namespace vorquel
