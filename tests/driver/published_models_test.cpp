// The published models of ../shared/models/aadlib: each translates into a
// program that the independent Lustre front end accepts, or stops with a
// message that names its first unsupported construct and where it is. The
// expectations come from reading the models.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

const std::string shared = VORQUEL_SOURCE_DIR "/../shared/";

int check_status(const std::string& file) {
  const std::string command = shared + "tools/lustre-check/check.sh '" + file + "' >/dev/null 2>&1";
  const int w = std::system(command.c_str());
  return WIFEXITED(w) ? WEXITSTATUS(w) : -1;
}

struct Expectation {
  std::string model;
  // Empty: the model translates and the front end accepts it. Otherwise
  // pieces that the message of the stop holds, in order, and the
  // "file:line:" of the association that says the construct.
  std::vector<std::string> stop;
  std::string where = {};
  std::string top = {};  // -tc, when not the default choice
};

TEST(PublishedModels, TranslateOrStopNamingTheConstruct) {
  if (!fs::exists(shared + "models/aadlib") || !fs::exists(shared + "tools/lustre-check/check.sh"))
    GTEST_SKIP() << "the published models or the Lustre front end are absent";
  const std::vector<Expectation> table = {
      // Periodic threads given by their implementations, no scheduling protocol.
      {"air-hello", {}},
      // CPU.B, which the car binds, schedules with EDF.
      {"car", {"processor CPU_B", "Car::CPU.B", "EDF"}, "car.aadl:121:"},
      // Feature groups of the I2C bus print as tuple types, beyond the front end: see below.
      {"fcs", {}},
      // Pstep1.aperiodic holds an aperiodic thread.
      {"flow_analysis-sampled-periodic", {"thread Tstep1", "Pstep1.aperiodic", "Aperiodic"},
       "flowlatencysampleddata.aadl:84:"},
      // Its all-periodic top-level system translates: the aperiodic
      // declarations beside it are not used.
      {"flow_analysis-sampled-periodic", {}, "", "Flowlatencysampleddata::topsystem.allperiodicsampled"},
      // PumpCtrl and WaterAlarm are sporadic threads (their types say so).
      {"minepump", {"thread PumpCtrl_Thread", "MinePump::PumpCtrl", "Sporadic"}, "minepump.aadl:53:"},
      // Two periodic threads write the mailbox, a required data access that
      // has AADL's default access right, read_write.
      {"mosart", {}},
      // Thread implementations without calls, periodic, on a processor of fixed priorities.
      {"radar", {}},
      {"rma", {}},
      // Shared buffers read and written through data accesses of the default access right.
      {"satellite", {}},
  };
  // Front-end gaps, not faults of the program: record types written as tuples.
  const std::vector<std::string> tuple_types = {"fcs"};
  const std::string dir = make_temp_dir("published");
  for (const auto& e : table) {
    SCOPED_TRACE(e.model);
    std::vector<std::string> args = {"--one-file", "--gen-fake-body", "-o", "m"};
    if (!e.top.empty()) args.insert(args.end(), {"-tc", e.top});
    std::vector<std::string> files;
    for (const auto& f : fs::directory_iterator(shared + "models/aadlib/" + e.model))
      if (f.path().extension() == ".aadl") files.push_back(f.path().string());
    std::sort(files.begin(), files.end());
    args.insert(args.end(), files.begin(), files.end());
    fs::remove(fs::path(dir) / "m.lus");
    const Run_result r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    if (e.stop.empty()) {
      EXPECT_EQ(r.status, 0) << r.out.substr(0, 1000) << r.err.substr(0, 1000);
      if (std::find(tuple_types.begin(), tuple_types.end(), e.model) == tuple_types.end()) {
        EXPECT_EQ(check_status(dir + "/m.lus"), 0);
      }
      continue;
    }
    EXPECT_EQ(r.status, 2);
    std::size_t at = 0;
    for (const auto& piece : e.stop) {
      at = r.out.find(piece, at);
      ASSERT_NE(at, std::string::npos) << piece << " not in " << r.out;
    }
    EXPECT_NE(r.err.find(e.where), std::string::npos) << r.err;
  }
}

// Small models of one construct each: the stop names the element and the
// construct, or the model translates.
TEST(PublishedModels, OwnModelsOfEachConstruct) {
  auto model = [](const std::string& thread_props, const std::string& sub_props, const std::string& cpu_props) {
    return "package A::B public\n"
           "thread T properties Period => 10 ms; Compute_Execution_Time => 1 ms .. 2 ms; " + thread_props + " end T;\n"
           "thread implementation T.i end T.i;\n"
           "process P end P;\nprocess implementation P.i subcomponents t : thread T.i" + sub_props + "; end P.i;\n"
           "processor C properties " + cpu_props + " end C;\n"
           "system S end S;\nsystem implementation S.i subcomponents p : process P.i; c : processor C;\n"
           "properties Actual_Processor_Binding => (reference (c)) applies to p; end S.i;\nend A::B;\n";
  };
  const std::string periodic = "Dispatch_Protocol => Periodic;";
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  struct Case {
    std::string name;
    std::string text;
    std::string stop;  // empty: translates
    std::string program = {};  // what the translation holds
  };
  const std::vector<Case> cases = {
      {"periodic", model(periodic, "", "Scheduling_Protocol => (Rate_Monotonic_Protocol);"), ""},
      {"on the sub-component", model("", " {Dispatch_Protocol => Periodic;}", ""), ""},
      // The timing of the instance: the sub-component's own, else the process's.
      {"timing on the sub-component",
       model(periodic, " {Period => 40 ms; Compute_Execution_Time => 3 ms .. 4 ms;}", ""), "",
       "_t_dispatch_clk = timer(40);"},
      {"period inherited from the process",
       replaced(replaced(model(periodic, "", ""), "Period => 10 ms; ", ""), "; end P.i;",
                "; properties Period => 40 ms; end P.i;"),
       "", "_t_dispatch_clk = timer(40);"},
      // A thread implementation with calls is one node for all its instances.
      {"period of an instance of a thread with calls",
       replaced(model(periodic, " {Period => 40 ms;}", ""), "thread implementation T.i end T.i;",
                "subprogram F end F; thread implementation T.i calls s : { f : subprogram F; }; end T.i;"),
       "error: the Period of t in A::B::P.i is not the one of its classifier A::B::T.i"},
      {"subprogram access", replaced(model(periodic, "", ""), "thread T properties",
                                     "subprogram F end F; thread T features s : requires subprogram access F; "
                                     "properties"),
       ""},
      {"a period the system gives its processor", replaced(model(periodic, "", ""), "applies to p;",
                                                            "applies to p; Period => 40 ms applies to c;"),
       ""},
      {"timing from the system",
       replaced(model(periodic, "", ""), "applies to p;", "applies to p; Period => 40 ms applies to p.t;"),
       "m.aadl:9:70: error: Period applies to p.t from A::B::S.i: thread timing given by a system is not supported"},

      {"none", model("", "", ""), "*** Error: the thread A__B__T_i has no Dispatch_Protocol property."},
      {"sporadic sub-component", model("", " {Dispatch_Protocol => Sporadic;}", ""),
       "*** Error: the thread t (A::B::T.i) of A::B::P.i has the dispatch protocol Sporadic: only periodic threads "
       "are supported."},
      {"offset", model(periodic + " Dispatch_Offset => 2 ms;", "", ""),
       "*** Error: the thread t (A::B::T.i) of A::B::P.i has a Dispatch_Offset, which is not supported."},
      {"round robin", model(periodic, "", "Scheduling_Protocol => (ROUND_ROBIN_PROTOCOL);"),
       "*** Error: the processor c (A::B::C) of A::B::S.i has the Scheduling_Protocol Round_Robin_Protocol"},
      {"deadline monotonic", model(periodic + " Deadline => 10 ms;", "", "Scheduling_Protocol => (Deadline_Monotonic_Protocol);"), ""},
      // The deadline on the implementation, the period on its type, in other
      // units than the ticks: equal.
      {"deadline monotonic, deadline of the implementation",
       replaced(replaced(model(periodic, "", "Scheduling_Protocol => (Deadline_Monotonic_Protocol);"),
                         "1 ms .. 2 ms", "1000 us .. 2000 us"),
                "end T.i;", "properties Deadline => 10 ms; end T.i;"),
       ""},
      {"deadline monotonic, short deadline", model(periodic + " Deadline => 5 ms;", "", "Scheduling_Protocol => (Deadline_Monotonic_Protocol);"),
       "*** Error: the processor c (A::B::C) of A::B::S.i has the Scheduling_Protocol Deadline_Monotonic_Protocol with "
       "deadlines other than the periods"},
      {"modes", model(periodic, "", "") + "package M public process Q modes a : initial mode; end Q; end M;\n",
       "modes are not supported"},
      {"unused sporadic thread", model(periodic, "", "") + "package U public thread Sp properties "
       "Dispatch_Protocol => Sporadic; end Sp; process Q end Q; process implementation Q.i subcomponents "
       "s : thread Sp; end Q.i; end U;\n", ""},
      // The top-level system is the one that no other contains, though the
      // contained one sorts last.
      {"top-level system by containment",
       replaced(model(periodic, "", ""), "end A::B;",
                "system Z end Z; system implementation Z.i subcomponents s : system S.i; end Z.i;\n"
                "system Top end Top; system implementation Top.i subcomponents z : system Z.i; end Top.i;\nend A::B;"),
       "", "-- scheduled version of node A__B__Top_i"},
      // Of two, the one that binds its processes, though the other sorts last.
      {"top-level system that binds",
       replaced(model(periodic, "", ""), "end A::B;", "system X end X; system implementation X.i end X.i;\nend A::B;"),
       "", "-- scheduled version of node A__B__S_i"},
      {"thread group", model(periodic, "; g : thread group G::TG.i", "") + "package G public thread group TG end TG;\n"
       "thread group implementation TG.i subcomponents t : thread A::B::T.i; end TG.i; end G;\n",
       "m.aadl:5:58: error: in A::B::P.i: g is a thread group (G::TG.i): thread groups are not supported"},
      // Declarations that the top-level system does not use do not stop it.
      {"unused thread group and untyped port", model(periodic, "", "") + "package G public thread group TG end TG;\n"
       "thread group implementation TG.i subcomponents t : thread A::B::T.i; end TG.i;\n"
       "thread U features o : out data port; end U; end G;\n",
       "", "-- scheduled version of node A__B__S_i"},
  };
  const std::string dir = make_temp_dir("constructs");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir + "/m.aadl", c.text);
    for (const char* f : {"/m.lus", "/m.zbl"}) fs::remove(dir + f);
    const Run_result r = run_vorquel({"--one-file", "--gen-fake-body", "-o", "m", "m.aadl"}, dir,
                                     {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    if (c.stop.empty()) {
      EXPECT_EQ(r.status, 0) << r.out << r.err;
      if (!c.program.empty()) {
        EXPECT_NE(read_file(dir + "/m.lus").find(c.program), std::string::npos) << c.program;
      }
    } else {
      EXPECT_EQ(r.status, 2);
      EXPECT_NE((r.out + r.err).find(c.stop), std::string::npos) << r.out << r.err;
    }
  }
}

// Values as published models write them: real times, constants of a
// property set of their own, Base_Types names without a Lustre base type.
TEST(PublishedModels, TimesConstantsAndBaseTypes) {
  if (!fs::exists(shared + "tools/lustre-check/check.sh")) GTEST_SKIP() << "the Lustre front end is absent";
  const std::string dir = make_temp_dir("values");
  write_file(dir + "/props.aadl", "property set Props is\n  Fast : constant Time => 0.04 sec;\nend Props;\n");
  auto model = [](const std::string& period, const std::string& times) {
    return "package M public with Base_Types, Props;\n"
           "thread T features o : out data port Base_Types::Character; s : out data port Base_Types::String;\n"
           "properties Dispatch_Protocol => Periodic; Period => " + period + "; Compute_Execution_Time => " + times +
           "; end T;\nprocess P end P;\nprocess implementation P.i subcomponents w : thread T; end P.i;\n"
           "processor C end C;\nsystem S end S;\nsystem implementation S.i subcomponents p : process P.i; "
           "c : processor C;\nproperties Actual_Processor_Binding => (reference (c)) applies to p; end S.i;\nend M;\n";
  };
  write_file(dir + "/m.aadl", model("Props::Fast", "0.5 ms .. 1.5 ms"));
  const std::vector<std::string> env = {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")};
  Run_result r = run_vorquel({"-v", "1", "--one-file", "--gen-fake-body", "-o", "m", "m.aadl", "props.aadl"}, dir, env);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("# One tick is 1 us."), std::string::npos) << r.out;
  const std::string program = read_file(dir + "/m.lus");
  EXPECT_NE(program.find("timer(40000)"), std::string::npos);
  EXPECT_NE(program.find("500 <= _w_release_clk_min_max and _w_release_clk_min_max <= 1500"), std::string::npos);
  EXPECT_EQ(check_status(dir + "/m.lus"), 0);

  write_file(dir + "/big.aadl", model("3 sec", "500 ns .. 900 ns"));
  r = run_vorquel({"-o", "big", "big.aadl", "props.aadl"}, dir, env);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("big.aadl:3:43: warning: M::T: Period 3 sec is 3000000000 ticks of 1 ns"), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace vorquel
