// Wiring corner cases: several connections into one destination (a device
// input, a feature of the enclosing component), device inputs fed straight
// from the system, data accesses handed down from the enclosing component,
// and the messages for missing properties and undeclared port groups.
#include <gtest/gtest.h>

#include <filesystem>

#include "lustre_check.hpp"
#include "model_text.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

using namespace model_text;

Env translated(const std::string& decls, const std::string& top = "K::S.i") { return translate(Options{}, id(top), load(decls)); }

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Two thread sub-components s1 and s2 of Src; two process sub-components p1
// and p2 of PE.
const std::string kTwoSources = sub("thread", "s1", "threadType", "Src") + sub("thread", "s2", "threadType", "Src");
const std::string kTwoProcesses =
    sub("process", "p1", "processType", "PE") + sub("process", "p2", "processType", "PE");

// ---- devices ------------------------------------------------------------------------

TEST(DeviceInputs, FedByTheSystemOrAnotherDeviceAreDeclaredAfterTheProcessFedOnes) {
  Env env = translated(type("device", "Sensor", outp("v")) +
                       type("device", "Act", inp("cmd") + event("go", "in") + inp("lvl")) +
                       type("process", "PR", inp("v") + outp("o")) + type("system", "S", event("e", "in")) +
                       impl("system", "S.i",
                            sub("device", "sensor", "deviceType", "Sensor") + sub("process", "p", "processType", "PR") +
                                sub("device", "act", "deviceType", "Act"),
                            data_conn("sensor.v", "p.v") + data_conn("p.o", "act.lvl") +
                                data_conn("sensor.v", "act.cmd") + conn("event", "e", "act.go")));
  EXPECT_EQ(dump_node(env, "K::S.i"),
            "node K__S_i\n"
            "in: e:bool, sensor_v:K__int\n"
            "oracles:\n"
            "out: act_lvl:K__int, act_cmd:K__int, act_go:bool\n"
            "locals: p_o:K__int\n"
            "eq: act_go = e\n"
            "eq: act_cmd = sensor_v\n"
            "eq: act_lvl = p_o\n"
            "eq: (K__PR_o:p_o) = K__PR(v=sensor_v)\n"
            "sched:\ncalls: [K__PR]\n");
}

// Processes p1 and p2 and the system input e all signal the device input go.
const std::string kEventsToADevice =
    type("process", "PE", event("o", "out")) + type("device", "Act", event("go", "in") + inp("cmd")) +
    type("system", "S", event("e", "in") + inp("x"));

std::string events_to_a_device(const std::string& conns) {
  return kEventsToADevice + impl("system", "S.i",
                                 kTwoProcesses +
                                     sub("device", "act", "deviceType", "Act"),
                                 conns);
}

TEST(DeviceInputs, EventConnectionsIntoOneInputGiveOneEquationAndOneOutput) {
  Env env = translated(events_to_a_device(conn("event", "p1.o", "act.go") + conn("event", "p2.o", "act.go") +
                                          conn("event", "e", "act.go") + data_conn("x", "act.cmd")));
  const std::string d = dump_node(env, "K::S.i");
  EXPECT_TRUE(contains(d, "out: act_go:bool, act_cmd:K__int\n")) << d;
  EXPECT_TRUE(contains(d, "eq: act_go = ((e or p2_o) or p1_o)\n")) << d;
  EXPECT_EQ(count(d, "act_go ="), 1u) << d;
}

// ---- several connections into a feature of the enclosing component ------------------

TEST(OuterWires, EventConnectionsIntoOneOutputAreMergedOnce) {
  struct Case {
    const char* what;
    std::string decls, top, equation, unmerged;
  } cases[] = {
      {"process", thread("Src", event("o", "out")) + type("process", "P", event("e", "out")) +
                      impl("process", "P.i", kTwoSources,
                           conn("event", "s1.o", "e") + conn("event", "s2.o", "e")),
       "K::P.i", "eq: e = (s2_o or s1_o)\n", "e ="},
      {"thread implementation",
       type("subprogram", "G", event("o", "out")) + thread("TH", event("e", "out")) +
           impl("thread", "TH.i", "",
                conn("event", "c1.o", "e") + conn("event", "c2.o", "e") + conn("event", "c3.o", "e"), "",
                calls({"c1:G", "c2:G", "c3:G"})),
       "K::TH.i", "eq: e = ((c3_o or c2_o) or c1_o)\n", "e ="},
      {"system", type("process", "PE", event("o", "out")) + type("system", "S", event("so", "out")) +
                     impl("system", "S.i", kTwoProcesses,
                          conn("event", "p2.o", "so") + conn("event", "p1.o", "so")),
       "K::S.i", "eq: so = (p1_o or p2_o)\n", "so ="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string d = dump_node(translated(c.decls, c.top), c.top);
    EXPECT_TRUE(contains(d, c.equation)) << d;
    EXPECT_EQ(count(d, c.unmerged), 1u) << d;
  }
}

TEST(OuterWires, TheMergedEquationStandsWhereTheFirstDeclaredOneWas) {
  // s2's call comes first in the equations, s1's wire is declared first.
  Env env = translated(thread("Src", event("o", "out")) + type("process", "P", event("e", "out")) +
                           impl("process", "P.i", kTwoSources,
                                conn("event", "s1.o", "e") + conn("event", "s2.o", "e")),
                       "K::P.i");
  const std::string d = dump_node(env, "K::P.i");
  EXPECT_TRUE(contains(d, "eq: (K__Src_o:s1_o_condact) = K__Src@_s1_activate_clk()\neq: e = (s2_o or s1_o)\n")) << d;
}

// ---- data accesses handed down -------------------------------------------------------

TEST(DataAccess, ReadByTheEnclosingComponentIsPassedAsItsInput) {
  struct Case {
    const char* what;
    std::string decls, top, call;
  } cases[] = {
      {"to a call", type("subprogram", "F", access("acc", "read") + port("parameter", "r", "out")) +
                        thread("TH", access("acc", "read") + outp("y")) +
                        impl("thread", "TH.i", "", conn("dataAccess", "acc", "c1.acc") + conn("parameter", "c1.r", "y"),
                             "", calls({"c1:F"})),
       "K::TH.i", "K__F@_c1_activate_clk(acc_in=acc_in)"},
      {"to a thread", thread("T", access("acc", "read")) + type("process", "P", access("acc", "read_write")) +
                          impl("process", "P.i", sub("thread", "t", "threadType", "T"),
                               conn("dataAccess", "acc", "t.acc")),
       "K::P.i", "K__T@_t_activate_clk(acc_in=acc_in)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string d = dump_node(translated(c.decls, c.top), c.top);
    EXPECT_TRUE(contains(d, c.call)) << d;
  }
}

// ---- port group directions -----------------------------------------------------------

TEST(PortGroups, NestedPortGroupsAreClassifiedInLinearTime) {
  // G0 has two inputs; every G(k+1) has two features of type Gk: without
  // remembering directions, G40 would take 2^41 steps and never end.
  std::string decls = "<portGroupType name=\"G0\"><features>" + inp("a") + inp("b") + "</features></portGroupType>";
  const int depth = 40;
  for (int k = 1; k <= depth; ++k) {
    const std::string level = std::to_string(k), below_level = std::to_string(k - 1), below = "G" + below_level;
    decls += "<portGroupType name=\"G" + level + "\"><features>" + group("x", below) + group("y", below) +
             "</features></portGroupType>";
  }
  const std::string top_level = std::to_string(depth), top = "G" + top_level;
  decls += type("process", "P", group("g", top));
  Env env = translated(decls, "K::P");
  EXPECT_EQ(dump_node(env, "K::P"), "node K__P\nin: g:K__G40\noracles:\nout:\nlocals:\nsched:\ncalls: []\n");
}

// ---- stops ---------------------------------------------------------------------------

struct Stop_case {
  const char* name;
  std::string decls, top, out;
};

void PrintTo(const Stop_case& c, std::ostream* os) { *os << c.name; }

class WiringStops : public ::testing::TestWithParam<Stop_case> {};

TEST_P(WiringStops, WithItsMessage) {
  const auto& c = GetParam();
  Env env = load(c.decls);
  Options one_file;
  one_file.input_files = {"m.aaxl"};
  Outcome r = capture([&] { translate(one_file, id(c.top), env); });
  EXPECT_EQ(r.stop, "exit 2") << r.message;
  EXPECT_EQ(r.out, c.out);
}

const std::string kDataOut = thread("Src", outp("y")) + type("process", "P", outp("y"));

INSTANTIATE_TEST_SUITE_P(
    Translation, WiringStops,
    ::testing::Values(
        Stop_case{"TwoDataConnectionsIntoADeviceInput",
                  events_to_a_device(data_conn("x", "act.cmd") + conn("event", "e", "act.go") +
                                     data_conn("x", "act.cmd")),
                  "K::S.i",
                  "*** Error: in component K__Act, act_cmd is targetted by 2 different connections,  which is only "
                  "allowed for event ports.\n*** Aborting...\n"},
        Stop_case{"TwoDataConnectionsIntoAnOutputOfTheProcess",
                  kDataOut + impl("process", "P.i",
                                  kTwoSources,
                                  data_conn("s1.y", "y") + data_conn("s2.y", "y")),
                  "K::P.i",
                  "*** Error: in component K__P_i, y is targetted by 2 different connections,  which is only "
                  "allowed for event ports.\n*** Aborting...\n"},
        Stop_case{"EventAndDataConnectionIntoOneOutput",
                  thread("Src", outp("y") + event("o", "out")) + type("process", "P", event("e", "out")) +
                      impl("process", "P.i", sub("thread", "s", "threadType", "Src"),
                           conn("event", "s.o", "e") + data_conn("s.y", "e")),
                  "K::P.i",
                  "*** Error: in component K__P_i, e is targetted by 2 different connections,  which is only "
                  "allowed for event ports.\n*** Aborting...\n"},
        Stop_case{"DeviceInputThatIsNoFeature",
                  events_to_a_device(data_conn("x", "act.nope") + conn("event", "e", "act.go")), "K::S.i",
                  "*** Variable act_nope is not an input of component K__Act.\n*** Aborting...\n"},
        Stop_case{"UndeclaredPortGroupClassifier", type("process", "P", group("g", "Nope")), "K::P",
                  "*** Error: K__Nope is undefined in m.aaxl \n*** Aborting...\n"},
        Stop_case{"UndeclaredInverse",
                  "<portGroupType name=\"PGI\" inverseOf=\"" + ref("portGroupType", "Nope") + "\"/>" +
                      type("process", "P", group("g", "PGI")),
                  "K::P", "*** Error: K__Nope is undefined in m.aaxl \n*** Aborting...\n"},
        Stop_case{"DataAccessWithoutAccessMode",
                  thread("T", "<dataAccess name=\"acc\" direction=\"required\" dataClassifier=\"" +
                                  ref("dataType", "int") + "\"/>"),
                  "K::T", "*** Error: the data access acc of K__T has no Required_Access property.\n*** Aborting...\n"},
        Stop_case{"ProvidedDataAccessWithoutAccessMode",
                  type("process", "P", "<dataAccess name=\"acc\" direction=\"provided\" dataClassifier=\"" +
                                           ref("dataType", "int") + "\"/>"),
                  "K::P",
                  "*** Error: the data access acc of K__P has no Provided_Access property.\n*** Aborting...\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- whole programs --------------------------------------------------------------------

// The generated program of each model declares what it uses and defines
// every variable once.
TEST(WiringPrograms, AreWellFormed) {
  const std::string binding =
      "<propertyAssociation propertyDefinition=\"" + property_ref("Actual_Processor_Binding") + "\" appliesTo=\"" +
      ref("systemImpl", "S.i") +
      "/subcomponents/processSubcomponent[@name=p]\"><propertyValue xsi:type=\"property:ReferenceValue\" "
      "referenceElement=\"" +
      ref("systemImpl", "S.i") + "/subcomponents/processorSubcomponent[@name=cpu]\"/></propertyAssociation>";
  const std::string models[] = {
      // Events merged into a process output and into a device input fed by
      // the system and by a device.
      thread("Src", event("o", "out") + inp("x")) + type("process", "P", event("e", "out") + inp("x")) +
          impl("process", "P.i", kTwoSources,
               conn("event", "s1.o", "e") + conn("event", "s2.o", "e") + data_conn("x", "s1.x") +
                   data_conn("x", "s2.x")) +
          type("device", "Sensor", outp("v")) + type("device", "Act", event("go", "in") + inp("cmd")) +
          type("processor", "CPU") + type("system", "S", event("se", "in")) +
          impl("system", "S.i",
               sub("process", "p", "processImpl", "P.i") + sub("processor", "cpu", "processorType", "CPU") +
                   sub("device", "sensor", "deviceType", "Sensor") + sub("device", "act", "deviceType", "Act"),
               data_conn("sensor.v", "p.x") + conn("event", "p.e", "act.go") + conn("event", "se", "act.go") +
                   data_conn("sensor.v", "act.cmd"),
               binding),
      // A data access read by the thread implementation and handed to its call.
      type("subprogram", "F", access("acc", "read") + port("parameter", "r", "out")) +
          thread("TH", access("acc", "read") + outp("y")) +
          impl("thread", "TH.i", "", conn("dataAccess", "acc", "c1.acc") + conn("parameter", "c1.r", "y"), "",
               calls({"c1:F"})) +
          type("process", "P", outp("y")) +
          impl("process", "P.i", sub("data", "d", "dataType", "int") + sub("thread", "t", "threadImpl", "TH.i"),
               conn("dataAccess", "d", "t.acc") + data_conn("t.y", "y")) +
          type("processor", "CPU") + type("system", "S") +
          impl("system", "S.i",
               sub("process", "p", "processImpl", "P.i") + sub("processor", "cpu", "processorType", "CPU"), "",
               binding),
  };
  for (const auto& m : models) {
    std::string dir = testing::make_temp_dir("wiring");
    testing::write_file(dir + "/model.aaxl", document(m));
    auto r = testing::run_vorquel({"model.aaxl"}, dir, {"AADL_SCHEMA_DIR=" + testing::source_path("aadl-schema")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    auto check = testing::check_lustre_program(dir + "/out.lus");
    EXPECT_TRUE(check.ok()) << check.text();
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
}  // namespace vorquel
