// Process, thread and system implementations: condact calls, clocks,
// scheduling records, wiring of connections and their diagnostics.
#include <gtest/gtest.h>

#include "model_text.hpp"

namespace vorquel {
namespace {

using namespace model_text;

const std::string kT = thread("T", inp("x") + outp("y"));

// t1.y -> t2.x immediate, t2.y -> t1.x delayed.
std::string typical(const std::string& conns = data_conn("t1.y", "t2.x") + data_conn("t2.y", "t1.x", "Delayed")) {
  return kT + type("process", "P") +
         impl("process", "P.i", sub("thread", "t1", "threadType", "T") + sub("thread", "t2", "threadType", "T"),
              conns) +
         type("processor", "CPU") + type("system", "S") +
         impl("system", "S.i", sub("process", "p", "processImpl", "P.i") + sub("processor", "cpu", "processorType", "CPU"));
}

Env translated(const std::string& decls, const std::string& top = "K::S.i") { return translate(Options{}, id(top), load(decls)); }

TEST(ProcessImpl, TwoThreadTypesGetCondactCallsClocksAndRecords) {
  Env env = translated(typical());
  EXPECT_EQ(dump_node(env, "K::P.i"),
            "node K__P_i\n"
            "in:\n"
            "oracles: _t1_activate_clk:bool, _t1_dispatch_clk:bool, _t1_release_clk:bool, _t2_activate_clk:bool, "
            "_t2_dispatch_clk:bool, _t2_release_clk:bool\n"
            "out:\n"
            "locals: _t2_activate_clk:bool, t2_y_condact:K__int, t2_y:K__int, _t1_activate_clk:bool, "
            "t1_y_condact:K__int, t1_y:K__int\n"
            "eq: (K__T_y:t2_y) = delayed(K__T, _t2_release_clk, _t2_dispatch_clk, (K__T_y:t2_y), "
            "(K__T_y:t2_y_condact), [t2_y])\n"
            "eq: (K__T_y:t2_y_condact) = K__T@_t2_activate_clk(x=t1_y)\n"
            "eq: (K__T_y:t1_y) = delayed(K__T, _t1_release_clk, _t1_dispatch_clk, (K__T_y:t1_y), "
            "(K__T_y:t1_y_condact), [])\n"
            "eq: (K__T_y:t1_y_condact) = K__T@_t1_activate_clk(x=t2_y)\n"
            "sched: K__T in [_t2_activate_clk with period 10,_t2_release_clk in [1,3]]; "
            "K__T in [_t1_activate_clk with period 10,_t1_release_clk in [1,3]];\n"
            "calls: [K__T,K__T]\n");
  EXPECT_EQ(dump_node(env, "K::T"),
            "node K__T\nin: x:K__int\noracles:\nout: y:K__int\nlocals:\nsched:\ncalls: []\n");
  // The system calls the process plainly and receives its six clocks.
  EXPECT_EQ(dump_node(env, "K::S.i"),
            "node K__S_i\n"
            "in:\n"
            "oracles: _t1_activate_clk:bool, _t1_dispatch_clk:bool, _t1_release_clk:bool, _t2_activate_clk:bool, "
            "_t2_dispatch_clk:bool, _t2_release_clk:bool\n"
            "out:\nlocals:\n"
            "eq: () = K__P_i()\n"
            "sched:\ncalls: [K__P_i]\n");
}

TEST(ProcessImpl, ProcessFeaturesAreWiredAndDelayedSourcesListed) {
  // x -> t.x, t.y -> y (delayed), t.z -> y2: the wires define the outputs.
  Env env = translated(thread("U", inp("x") + outp("y") + outp("z")) +
                           type("process", "Q", inp("x") + outp("y") + outp("y2")) +
                           impl("process", "Q.i", sub("thread", "t", "threadType", "U"),
                                data_conn("x", "t.x") + data_conn("t.y", "y", "Delayed") + data_conn("t.z", "y2")),
                       "K::Q.i");
  std::string d = dump_node(env, "K::Q.i");
  EXPECT_TRUE(contains(d, "in: x:K__int\n")) << d;
  EXPECT_TRUE(contains(d, "out: y:K__int, y2:K__int\n")) << d;
  EXPECT_TRUE(contains(d,
                       "eq: (K__U_y:t_y,K__U_z:t_z) = delayed(K__U, _t_release_clk, _t_dispatch_clk, "
                       "(K__U_y:t_y,K__U_z:t_z), (K__U_y:t_y_condact,K__U_z:t_z_condact), [t_y])\n"
                       "eq: (K__U_y:t_y_condact,K__U_z:t_z_condact) = K__U@_t_activate_clk(x=x)\n"
                       "eq: y = t_y\n"
                       "eq: y2 = t_z\n"))
      << d;
}

TEST(ProcessImpl, MissingPeriodAndExecutionTimeGiveNamedValues) {
  Env env = translated(thread("T", inp("x") + outp("y"), timing("", "")) + type("process", "P", inp("x")) +
                           impl("process", "P.i", sub("thread", "t", "threadType", "T"), data_conn("x", "t.x")),
                       "K::P.i");
  EXPECT_TRUE(contains(dump_node(env, "K::P.i"),
                       "sched: K__T in [_t_activate_clk with period _K__T_period,"
                       "_t_release_clk in [_K__T_min_exec_time,_K__T_max_exec_time]];\n"));
}

TEST(ProcessImpl, EventConnectionsIntoOneInputAreMerged) {
  // Incoming connections are visited last declared first: the source of the
  // first declared connection ends up on the right.
  Env env = translated(thread("Src", event("o", "out")) + thread("Dst", event("e", "in")) + type("process", "P") +
                           impl("process", "P.i",
                                sub("thread", "s1", "threadType", "Src") + sub("thread", "s2", "threadType", "Src") +
                                    sub("thread", "d", "threadType", "Dst"),
                                conn("event", "s1.o", "d.e") + conn("event", "s2.o", "d.e")),
                       "K::P.i");
  EXPECT_TRUE(contains(dump_node(env, "K::P.i"), "K__Dst@_d_activate_clk(e=(s2_o or s1_o))"));
}

TEST(ProcessImpl, InputsAreMatchedByExactName) {
  // An input a next to an input ab (and a label that merely contains a
  // name) gets the argument meant for it, whatever the declaration order.
  const std::string decls = thread("Src", outp("o1") + outp("o2")) + thread("AB", inp("a") + inp("ab") + inp("s")) +
                            type("process", "P");
  const std::string subs = sub("thread", "src", "threadType", "Src") + sub("thread", "t", "threadType", "AB");
  for (const auto& conns : {data_conn("src.o1", "t.a") + data_conn("src.o2", "t.ab") + data_conn("src.o1", "t.s"),
                            data_conn("src.o2", "t.ab") + data_conn("src.o1", "t.s") + data_conn("src.o1", "t.a")}) {
    SCOPED_TRACE(conns);
    Env env = translated(decls + impl("process", "P.i", subs, conns + data_conn("src.o1", "src.o2")), "K::P.i");
    EXPECT_TRUE(contains(dump_node(env, "K::P.i"), "K__AB@_t_activate_clk(a=src_o1, ab=src_o2, s=src_o1)"));
  }
}

TEST(ProcessImpl, DataSubcomponentSamplesItsWriters) {
  // w1 writes, r reads, w2 reads and writes, n only reads through a
  // write-less access: the writers are w1 and w2, the last declared tested
  // first; the readers get the data as their "_in" input.
  Env env = translated(thread("W", access("acc", "write")) + thread("R", access("acc", "read")) +
                           thread("RW", access("acc", "read_write")) + type("process", "P") +
                           impl("process", "P.i",
                                sub("data", "d", "dataType", "int") + sub("thread", "w1", "threadType", "W") +
                                    sub("thread", "r", "threadType", "R") + sub("thread", "w2", "threadType", "RW"),
                                conn("dataAccess", "d", "w1.acc") + conn("dataAccess", "d", "r.acc") +
                                    conn("dataAccess", "d", "w2.acc")),
                       "K::P.i");
  std::string d = dump_node(env, "K::P.i");
  EXPECT_TRUE(contains(d,
                       "eq: d = (K__int_init -> (if pre(_w2_release_clk) then w2_acc else "
                       "(if pre(_w1_release_clk) then w1_acc else pre(d))))\n"))
      << d;
  EXPECT_TRUE(contains(d, "= K__W@_w1_activate_clk()\n")) << d;
  EXPECT_TRUE(contains(d, "= K__R@_r_activate_clk(acc_in=d)\n")) << d;
  EXPECT_TRUE(contains(d, "= K__RW@_w2_activate_clk(acc_in=d)\n")) << d;
  EXPECT_TRUE(contains(d, "locals: _w2_activate_clk:bool, w2_acc_condact:K__int, w2_acc:K__int, ")) << d;
  EXPECT_TRUE(contains(d, ", d:K__int\n")) << d;
  EXPECT_EQ(dump_node(env, "K::RW"),
            "node K__RW\nin: acc_in:K__int\noracles:\nout: acc:K__int\nlocals:\nsched:\ncalls: []\n");
}

TEST(ProcessImpl, DataWithoutWritersKeepsItsValue) {
  Env env = translated(type("process", "P") + impl("process", "P.i", sub("data", "d", "dataType", "int")), "K::P.i");
  EXPECT_TRUE(contains(dump_node(env, "K::P.i"), "locals: d:K__int\neq: d = (K__int_init -> pre(d))\n"));
}

// A thread implementation TH.i whose calls c1, c2, c3 of F are chained.
std::string three_calls(const std::string& thread_props = timing("20")) {
  return type("subprogram", "F", port("parameter", "a", "in") + port("parameter", "r", "out"),
              range_prop("Compute_Execution_Time", "2", "4")) +
         thread("TH", inp("x") + outp("y"), thread_props) +
         impl("thread", "TH.i", "",
              conn("parameter", "x", "c1.a") + conn("parameter", "c1.r", "c2.a") + conn("parameter", "c2.r", "c3.a") +
                  conn("parameter", "c3.r", "y"),
              "", calls({"c1:F", "c2:F", "c3:F"}));
}

TEST(ThreadImpl, CallsAreChainedByTheirReleaseClocks) {
  Env env = translated(three_calls(), "K::TH.i");
  EXPECT_EQ(dump_node(env, "K::TH.i"),
            "node K__TH_i\n"
            "in: x:K__int\n"
            "oracles: _c1_activate_clk:bool, _c1_dispatch_clk:bool, _c1_release_clk:bool, _c2_activate_clk:bool, "
            "_c2_dispatch_clk:bool, _c2_release_clk:bool, _c3_activate_clk:bool, _c3_dispatch_clk:bool, "
            "_c3_release_clk:bool\n"
            "out: y:K__int\n"
            "locals: _c3_release_clk:bool, c3_r_condact:K__int, c3_r:K__int, _c3_dispatch_clk:bool, "
            "_c3_activate_clk:bool, _c2_release_clk:bool, c2_r_condact:K__int, c2_r:K__int, _c2_dispatch_clk:bool, "
            "_c2_activate_clk:bool, _c1_release_clk:bool, c1_r_condact:K__int, c1_r:K__int, _c1_dispatch_clk:bool, "
            "_c1_activate_clk:bool\n"
            "eq: (K__F_r:c3_r) = delayed(K__F, _c3_release_clk, _c3_dispatch_clk, (K__F_r:c3_r), "
            "(K__F_r:c3_r_condact), [])\n"
            "eq: (K__F_r:c3_r_condact) = K__F@_c3_activate_clk(a=c2_r)\n"
            "eq: y = c3_r\n"
            "eq: (K__F_r:c2_r) = delayed(K__F, _c2_release_clk, _c2_dispatch_clk, (K__F_r:c2_r), "
            "(K__F_r:c2_r_condact), [])\n"
            "eq: (K__F_r:c2_r_condact) = K__F@_c2_activate_clk(a=c1_r)\n"
            "eq: (K__F_r:c1_r) = delayed(K__F, _c1_release_clk, _c1_dispatch_clk, (K__F_r:c1_r), "
            "(K__F_r:c1_r_condact), [])\n"
            "eq: (K__F_r:c1_r_condact) = K__F@_c1_activate_clk(a=x)\n"
            "sched: K__F in [_c3_activate_clk (already defined by  _c2_release_clk),_c3_release_clk in [2,4]]; "
            "K__F in [_c2_activate_clk (already defined by  _c1_release_clk),_c2_release_clk in [2,4]]; "
            "K__F in [_c1_activate_clk with period 20,_c1_release_clk in [2,4]];\n"
            "calls: [K__F,K__F,K__F]\n");
  EXPECT_TRUE(undefined_locals(*node(env, "K::TH.i")).empty());
}

TEST(ThreadImpl, PeriodComesFromTheImplementationThenTheTypeThenAName) {
  struct Case {
    std::string type_period, impl_period, expected;
  } cases[] = {
      {"20", "", "with period 20"},
      {"20", "30", "with period 30"},
      {"", "", "with period _K__TH_i_period"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    Env env = translated(
        type("subprogram", "F") + thread("TH", "", timing(c.type_period)) +
            impl("thread", "TH.i", "", "", c.impl_period.empty() ? "" : int_prop("Period", c.impl_period),
                 calls({"c1:F"})),
        "K::TH.i");
    EXPECT_TRUE(contains(dump_node(env, "K::TH.i"), "_c1_activate_clk " + c.expected + ",")) << dump_node(env, "K::TH.i");
  }
}

TEST(ThreadImpl, EmptyCallSequenceGivesABodilessNode) {
  for (const auto& seq : {std::string("<callSequences><callSequence/></callSequences>"), std::string()}) {
    Env env = translated(thread("TH", inp("x") + outp("y")) + impl("thread", "TH.i", "", "", "", seq), "K::TH.i");
    EXPECT_EQ(dump_node(env, "K::TH.i"),
              "node K__TH_i\nin: x:K__int\noracles:\nout: y:K__int\nlocals:\nsched:\ncalls: []\n");
  }
}

TEST(ProcessImpl, ThreadImplementationIsCalledPlainly) {
  Env env = translated(three_calls() + type("process", "P", inp("x") + outp("y")) +
                           impl("process", "P.i",
                                sub("thread", "a", "threadImpl", "TH.i") + sub("thread", "b", "threadImpl", "TH.i"),
                                data_conn("x", "a.x") + data_conn("a.y", "b.x") + data_conn("b.y", "y")),
                       "K::P.i");
  std::string d = dump_node(env, "K::P.i");
  EXPECT_TRUE(contains(d,
                       "locals: b_y:K__int, a_y:K__int\n"
                       "eq: (K__TH_i_y:b_y) = K__TH_i(x=a_y)\n"
                       "eq: y = b_y\n"
                       "eq: (K__TH_i_y:a_y) = K__TH_i(x=x)\n"
                       "sched: K__TH_i; K__TH_i;\n"
                       "calls: [K__TH_i,K__TH_i]\n"))
      << d;
  EXPECT_TRUE(undefined_locals(*node(env, "K::P.i")).empty());
}

// A thread implementation without calls runs under its own clocks, with its
// type's timing.
TEST(ProcessImpl, ThreadImplementationWithoutCallsIsClocked) {
  Env env = translated(thread("T", "", timing("20", "1", "3")) + impl("thread", "T.i", "") + type("process", "P") +
                           impl("process", "P.i", sub("thread", "t", "threadImpl", "T.i")),
                       "K::P.i");
  std::string d = dump_node(env, "K::P.i");
  EXPECT_TRUE(contains(d, "= K__T_i@_t_activate_clk()\n")) << d;
  EXPECT_TRUE(contains(d, "sched: K__T_i in [_t_activate_clk with period 20,_t_release_clk in [1,3]];")) << d;
}

// A system with a sensor device type, a process type and an actuator
// device implementation.
const std::string kDevices =
    type("device", "Sensor", outp("v")) + type("device", "Act", inp("cmd")) + impl("device", "Act.i", "") +
    type("process", "PR", inp("v") + outp("cmd")) + type("system", "S") +
    impl("system", "S.i",
         sub("device", "sensor", "deviceType", "Sensor") + sub("process", "p", "processType", "PR") +
             sub("device", "act", "deviceImpl", "Act.i"),
         data_conn("sensor.v", "p.v") + data_conn("p.cmd", "act.cmd"));

TEST(SystemImpl, DevicesBecomeInputsAndOutputs) {
  Env env = translated(kDevices);
  EXPECT_EQ(dump_node(env, "K::S.i"),
            "node K__S_i\n"
            "in: sensor_v:K__int\n"
            "oracles:\n"
            "out: act_cmd:K__int\n"
            "locals: p_cmd:K__int\n"
            "eq: act_cmd = p_cmd\n"
            "eq: (K__PR_cmd:p_cmd) = K__PR(v=sensor_v)\n"
            "sched:\ncalls: [K__PR]\n");
  const Entry& dev = env.get(id("K::Act.i"));
  ASSERT_TRUE(dev.def);
  EXPECT_TRUE(std::holds_alternative<Skipped>(*dev.def));
}

TEST(SystemImpl, ProcessToProcessConnectionsDeclareNoExtraLocal) {
  Env env = translated(type("process", "A", outp("o")) + type("process", "B", inp("i") + outp("o")) +
                       type("system", "S", "", "") +
                       impl("system", "S.i", sub("process", "a", "processType", "A") + sub("process", "b", "processType", "B"),
                            data_conn("a.o", "b.i")));
  EXPECT_EQ(dump_node(env, "K::S.i"),
            "node K__S_i\nin:\noracles:\nout:\nlocals: a_o:K__int, b_o:K__int\n"
            "eq: (K__A_o:a_o) = K__A()\n"
            "eq: (K__B_o:b_o) = K__B(i=a_o)\n"
            "sched:\ncalls: [K__B,K__A]\n");
}

// ---- diagnostics --------------------------------------------------------------------

struct Stop_case {
  const char* name;
  std::string decls;
  std::string top;
  std::string stop;  // how the run ends
  std::string out;   // what it wrote on standard output
  std::string err = "";
};

void PrintTo(const Stop_case& c, std::ostream* os) { *os << c.name; }

class Stops : public ::testing::TestWithParam<Stop_case> {};

TEST_P(Stops, WithItsMessage) {
  const auto& c = GetParam();
  Env env = load(c.decls);
  Outcome r = capture([&] { translate(Options{}, id(c.top), env); });
  EXPECT_EQ(r.stop, c.stop);
  EXPECT_EQ(r.out, c.out);
  expect_located(r.err, c.err);
}

const std::string kF = type("subprogram", "F", port("parameter", "a", "in") + port("parameter", "r", "out"));

INSTANTIATE_TEST_SUITE_P(
    Translation, Stops,
    ::testing::Values(
        Stop_case{"UnconnectedInput", typical(data_conn("t1.y", "t2.x")), "K::S.i", "exit 2",
                  "*** Error: The input variable x is not connected.\n*** Aborting...\n"},
        Stop_case{"TwoDataConnectionsIntoOneInput",
                  typical(data_conn("t1.y", "t2.x") + data_conn("t1.y", "t2.x") + data_conn("t2.y", "t1.x")),
                  "K::S.i", "exit 2",
                  "*** Error: in component K__T, t2_x is targetted by 2 different connections,  which is only "
                  "allowed for event ports.\n*** Aborting...\n"},
        Stop_case{"ConnectionToAnOutput", typical(data_conn("t1.y", "t2.y") + data_conn("t2.y", "t1.x")),
                  "K::S.i", "exit 2",
                  "*** Variable t2_y is not an input of component K__T.\n*** Aborting...\n"},
        Stop_case{"TwoCallSequences",
                  kF + thread("TH", "") +
                      impl("thread", "TH.i", "", "", "",
                           "<callSequences><callSequence/><callSequence/></callSequences>"),
                  "K::TH.i", "not yet implemented", "Misc.Error\n*** Aborting...\n",
                  ">> Not yet implemented: Vorquel.get_calls_information\n"},
        Stop_case{"SubprogramImplementationCalled",
                  // Z.i sorts after TH.i, which meets it first.
                  type("subprogram", "Z") + impl("subprogram", "Z.i", "") + thread("TH", "") +
                      "<threadImpl name=\"TH.i\" compType=\"" + ref("threadType", "TH") +
                      "\"><callSequences><callSequence><call name=\"c\" classifier=\"" +
                      ref("subprogramImpl", "Z.i") + "\"/></callSequence></callSequences></threadImpl>",
                  "K::TH.i", "exit 2", "*** Subprogram implementations are not implemented.*** Aborting...\n"},
        Stop_case{"DataCalled",
                  thread("TH", "") + "<threadImpl name=\"TH.i\" compType=\"" + ref("threadType", "TH") +
                      "\"><callSequences><callSequence><call name=\"c\" classifier=\"" + ref("dataType", "int") +
                      "\"/></callSequence></callSequences></threadImpl>",
                  "K::TH.i", "exit 2", "*** Data subcomponents are not yet supported for threads!\n*** Aborting...\n"},
        Stop_case{"ThreadCalled",
                  thread("TH", "") + "<threadImpl name=\"TH.i\" compType=\"" + ref("threadType", "TH") +
                      "\"><callSequences><callSequence><call name=\"c\" classifier=\"" + ref("threadType", "TH") +
                      "\"/></callSequence></callSequences></threadImpl>",
                  "K::TH.i", "exit 2",
                  "Thread is not supported as a sub-component of a thread implementation.\n*** Aborting...\n"},
        Stop_case{"DataWrittenByAThreadImplementation",
                  thread("W", access("acc", "write")) + impl("thread", "W.i", "") + type("process", "P") +
                      impl("process", "P.i", sub("data", "d", "dataType", "int") + sub("thread", "w", "threadImpl", "W.i"),
                           conn("dataAccess", "d", "w.acc")),
                  "K::P.i", "not yet implemented", "Misc.Error\n*** Aborting...\n",
                  ">> Not yet implemented: data written by a thread implementation\n"},
        Stop_case{"SourceFeatureOfAProcessTypeNotFound",
                  kDevices.substr(0, kDevices.find("<systemImpl")) +
                      impl("system", "S.i",
                           sub("device", "sensor", "deviceType", "Sensor") + sub("process", "p", "processType", "PR") +
                               sub("device", "act", "deviceType", "Act"),
                           data_conn("sensor.v", "p.v") + data_conn("p.zz", "act.cmd")),
                  "K::S.i", "exit 2", "Vorquel.local_of_out_connection K__PR.zz*** Aborting...\n"},
        Stop_case{"SourceFeatureOfAThreadImplementationNotFound",
                  three_calls() + type("process", "P", inp("x")) +
                      impl("process", "P.i",
                           sub("thread", "a", "threadImpl", "TH.i") + sub("thread", "b", "threadImpl", "TH.i"),
                           data_conn("x", "a.x") + data_conn("a.nope", "b.x")),
                  "K::P.i", "exit 2", "Vorquel.local_of_out_connection K__TH_i.nope*** Aborting...\n"},
        Stop_case{"AperiodicThread", thread("T", "", timing("10", "1", "3", "Aperiodic")), "K::T", "exit 2",
                  "*** Aperiodic dispatch protocol is not a supported yet.\n*** Aborting...\n"},
        Stop_case{"SporadicThread", thread("T", "", timing("10", "1", "3", "Sporadic")), "K::T", "exit 2",
                  "*** Sporadic dispatch protocol is not a supported yet.\n*** Aborting...\n"},
        Stop_case{"BackgroundThread", thread("T", "", timing("10", "1", "3", "Background")), "K::T", "exit 2",
                  "*** Backgroud dispatch protocol is not a supported yet.\n*** Aborting...\n"},
        Stop_case{"EventDataPort", thread("T", port("eventDataPort", "e", "in", "")), "K::T", "not yet implemented",
                  "Misc.Error\n*** Aborting...\n", ">> Not yet implemented: type of \"event data port\"\n"},
        Stop_case{"InOutPort", thread("T", port("dataPort", "e", "in out")), "K::T", "not yet implemented", "Misc.Error\n*** Aborting...\n",
                  ">> Not yet implemented: in/out features are not considered\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessImpl, ThreadGroupIsNotSupported) {
  // The reader builds no thread group: the model is made by hand.
  auto comp = [](const std::string& name, Category cat, Component_kind kind, std::vector<Subcomponent> subs = {}) {
    return Component{id(name), kind, cat, std::nullopt, {}, std::nullopt, std::move(subs), {}, {}, {}, true};
  };
  Env env = Env()
                .add_decl(comp("K::G", Category::Thread_group, Component_kind::Type))
                .add_decl(comp("K::P", Category::Process, Component_kind::Type))
                .add_decl(comp("K::P.i", Category::Process, Component_kind::Implementation,
                               {Subcomponent{Ident("g"), Category::Thread, id("K::G"), {}}}));
  Outcome r = capture([&] { translate(Options{}, id("K::P.i"), env); });
  EXPECT_EQ(r.stop, "exit 2");
  EXPECT_EQ(r.out, "Thread_group is not supported as a sub-component of a process implementation.\n*** Aborting...\n");
}

}  // namespace
}  // namespace vorquel
