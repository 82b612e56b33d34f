// Systems the scheduler cannot close (nothing bound, a process left unbound,
// a processor bound to a processor), many processors, and the scenario file
// beside a dangling link.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "lustre_check.hpp"
#include "scheduler/sched_model.hpp"
#include "scheduler/scheduler.hpp"
#include "translation/model_text.hpp"

namespace vorquel {
namespace {

using namespace vorquel::testing;
namespace fs = std::filesystem;

class SchedulerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("unsched");
    cwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(cwd_);
    fs::remove_all(dir_);
  }

  // Runs print_scheduler with the scheduler and top channels in
  // schedule.lus and top.lus.
  Captured run(const Sched_model& m, const std::string& top = "K::S.i") {
    auto open = [](const std::string& name) {
      int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      EXPECT_GE(fd, 0);
      return std::make_unique<Channel>(fd, name, true);
    };
    auto sched = open("schedule.lus");
    auto top_channel = open("top.lus");
    Output_channels files;
    files.scheduler = sched.get();
    files.top = top_channel.get();
    Captured c = capture_stdout([&] { run_scheduler(Options{}, m, top, files); });
    sched->close();
    top_channel->close();
    return c;
  }

  std::string dir_;
  fs::path cwd_;
};

// n processors cpu1..cpun, each running a process pk of eleven threads.
Sched_model eleven_threads_per_processor(int n) {
  Sched_model m;
  std::vector<std::pair<std::string, std::string>> subs, bindings;
  std::vector<std::string> instances;
  for (int k = 1; k <= n; ++k) {
    const std::string nk = std::to_string(k), p = "p" + nk, cls = "K::P" + nk + ".i";
    std::vector<Si> threads;
    for (int i = 1; i <= 11; ++i) {
      const std::string ni = std::to_string(i), t = "t" + nk + "_" + ni;
      threads.push_back(timed("K::T", t, lit(100), lit(1), lit(1)));
      instances.push_back(t);
    }
    m.add(cls, Category::Process, threads);
    subs.push_back({p, cls});
    bindings.push_back({"cpu" + std::to_string(k), p});
  }
  m.system("K::S.i", subs, bindings, make_node({}, {}, clocks_of(instances)));
  return m;
}

TEST_F(SchedulerRun, ProcessorAndThreadNumbersStayApartFromElevenProcessors) {
  struct Case {
    int processors;
    std::string present, absent;
  } cases[] = {
      // Up to ten processors the numbers stand side by side, as always.
      {10, "  dispatched11, dispatched12, dispatched13, dispatched14, dispatched15, dispatched16, dispatched17, "
           "dispatched18, dispatched19, dispatched110, dispatched111 : bool;\n",
       "dispatched1_"},
      {11, "  dispatched1_1, dispatched1_2, dispatched1_3, dispatched1_4, dispatched1_5, dispatched1_6, "
           "dispatched1_7, dispatched1_8, dispatched1_9, dispatched1_10, dispatched1_11 : bool;\n",
       "dispatched111"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.processors);
    Captured r = run(eleven_threads_per_processor(c.processors));
    ASSERT_FALSE(r.error);
    const std::string sched = read_file("schedule.lus");
    EXPECT_NE(sched.find(c.present), std::string::npos);
    EXPECT_EQ(sched.find(c.absent), std::string::npos);
    for (const auto& problem : check_lustre_text(sched).problems) ADD_FAILURE() << problem;
  }
}

TEST_F(SchedulerRun, SystemsThatCannotBeScheduledStopBeforeAnySchedulerText) {
  const Ident cpu = of_string("K::CPU");
  struct Case {
    const char* what;
    std::function<Sched_model()> model;
    std::string top, out;
  } cases[] = {
      {"no binding",
       [] {
         Sched_model m;
         m.add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3))})
             .system("K::S.i", {{"p", "K::P.i"}}, {}, make_node({}, {}, clocks_of({"t"})));
         return m;
       },
       "K::S.i",
       "*** Cannot schedule this system, sorry.\n"
       "*** No sub-component of K__S_i is bound to a processor (Actual_Processor_Binding).\n"},
      {"top-level component that is no system",
       [] {
         Sched_model m;
         m.add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3))});
         return m;
       },
       "K::P.i",
       "*** Cannot schedule this system, sorry.\n"
       "*** No sub-component of K__P_i is bound to a processor (Actual_Processor_Binding).\n"},
      {"unbound process",
       [] {
         Sched_model m;
         m.add("K::P.i", Category::Process, {timed("K::T", "t1", lit(10), lit(1), lit(3))})
             .add("K::Q.i", Category::Process, {timed("K::T", "t2", lit(10), lit(1), lit(3))})
             .system("K::S.i", {{"p", "K::P.i"}, {"q", "K::Q.i"}}, {{"cpu", "p"}},
                     make_node({}, {}, clocks_of({"t1", "t2"})));
         return m;
       },
       "K::S.i",
       "*** Cannot schedule this system, sorry.\n"
       "*** The clock _t2_activate_clk is driven by no processor: is every process bound with "
       "Actual_Processor_Binding?\n"},
      {"processor bound",
       [cpu] {
         Sched_model m;
         m.add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3))});
         Component c{cpu, Component_kind::Type, Category::Processor, {}, {}, {}, {}, {}, {}, {}, true};
         auto decl = std::make_shared<const Declaration>(c);
         m.env = m.env.add_decl(decl).update(cpu, Entry{decl, Skipped{cpu}});
         m.system("K::S.i", {{"p", "K::P.i"}, {"cpu", "K::CPU"}}, {{"cpu", "cpu"}, {"cpu", "p"}},
                  make_node({}, {}, clocks_of({"t"})));
         return m;
       },
       "K::S.i",
       "*** Cannot schedule this system, sorry.\n*** Are you sure that K__CPU is a process implementation?\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Captured r = run(c.model(), c.top);
    EXPECT_TRUE(r.threw<Fatal>());
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(read_file("schedule.lus"), "");
    EXPECT_EQ(read_file("top.lus"), "");
  }
}

TEST_F(SchedulerRun, ADanglingLinkCountsAsAnExistingScenario) {
  fs::create_symlink("nowhere/out.zbl", "out.zbl");
  Sched_model m;
  m.add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3))})
      .system("K::S.i", {{"p", "K::P.i"}}, {{"cpu", "p"}}, make_node({}, {}, clocks_of({"t"})));
  Captured r = run(m);
  ASSERT_FALSE(r.error);
  EXPECT_TRUE(fs::is_symlink("out.zbl"));
  EXPECT_FALSE(fs::exists("nowhere"));
  EXPECT_NE(read_file("out.zbl.new").find("-- to be used for simulation"), std::string::npos);
}

// Whole runs on models read from AAXL: the translated nodes lead to the same
// stops.
TEST(UnschedulableModels, StopWithStatusTwo) {
  using namespace model_text;
  auto binding = [](const std::string& sub, const std::string& kind, const std::string& processor) {
    return "<propertyAssociation propertyDefinition=\"" + property_ref("Actual_Processor_Binding") +
           "\" appliesTo=\"" + ref("systemImpl", "S.i") + "/subcomponents/" + kind + "Subcomponent[@name=" + sub +
           "]\"><propertyValue xsi:type=\"property:ReferenceValue\" referenceElement=\"" + ref("systemImpl", "S.i") +
           "/subcomponents/processorSubcomponent[@name=" + processor + "]\"/></propertyAssociation>";
  };
  const std::string base = thread("T", "") + type("process", "P") +
                           impl("process", "P.i", sub("thread", "t", "threadType", "T")) + type("process", "Q") +
                           impl("process", "Q.i", sub("thread", "u", "threadType", "T")) + type("processor", "CPU") +
                           type("system", "S");
  const std::string subs = sub("process", "p", "processImpl", "P.i") + sub("process", "q", "processImpl", "Q.i") +
                           sub("processor", "cpu", "processorType", "CPU");
  struct Case {
    const char* what;
    std::string props, out;
  } cases[] = {
      {"q unbound", binding("p", "process", "cpu"),
       "*** The clock _u_activate_clk is driven by no processor: is every process bound with "
       "Actual_Processor_Binding?\n"},
      {"nothing bound", "", "*** No sub-component of K__S_i is bound to a processor (Actual_Processor_Binding).\n"},
      {"processor bound", binding("p", "process", "cpu") + binding("q", "process", "cpu") +
                              binding("cpu", "processor", "cpu"),
       "*** Are you sure that K__CPU is a process implementation?\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = make_temp_dir("unsched_e2e");
    write_file(dir + "/model.aaxl", document(base + impl("system", "S.i", subs, "", c.props)));
    auto r = run_vorquel({"model.aaxl"}, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("*** Cannot schedule this system, sorry.\n" + c.out), std::string::npos) << r.out << r.err;
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace vorquel
