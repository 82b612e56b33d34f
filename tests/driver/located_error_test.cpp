// Mistakes in a model, as the user meets them: one located line on standard
// error, "file:line:col: error: text", naming the elements as written in the
// model, and status 2; never an internal error.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_util.hpp"

namespace vorquel {
namespace {

using testing::make_temp_dir;
using testing::read_file;
using testing::run_vorquel;
using testing::source_path;
using testing::write_file;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string without_line(const std::string& text, const std::string& start) {
  const std::size_t at = text.find(start);
  EXPECT_NE(at, std::string::npos) << start;
  if (at == std::string::npos) return text;
  return text.substr(0, at) + text.substr(text.find('\n', at) + 1);
}

struct Bad_model {
  const char* name;
  const char* file;  // "m.aaxl" or "m.aadl"
  std::string text;
  std::vector<std::string> inputs;  // default: the file alone
  std::string expected;             // the start of the first line on standard error
};

// The whole standard error must hold the located line; assertions and our
// source paths never appear.
TEST(Located_errors, BadModels) {
  const std::string xml = read_file(source_path("examples/typical.aaxl"));
  const std::string text = read_file(source_path("tests/data/text/typical.aadl"));
  const std::string calls = read_file(source_path("tests/data/golden/subprogram_impl/model.aadl"));
  const std::string x_port = "features/dataPort[@name=x]\" dstContext=\"/aadlSpec[@name=typical]/aadlPackage[@name="
                             "K]/aadlPublic/processImpl[@name=P.i]/subcomponents/threadSubcomponent[@name=t2]";
  const std::vector<Bad_model> cases = {
      {"period_not_integer", "m.aaxl", replaced(xml, "value=\"10\"", "value=\"ten\""), {},
       "m.aaxl:16:14: error: property Period: value \"ten\" is not an integer"},
      {"file_twice", "m.aaxl", xml, {"m.aaxl", "m.aaxl"},
       "m.aaxl:5:8: error: K::int is declared twice (first at m.aaxl:5:8); remove one of the declarations, or give "
       "each file once"},
      {"missing_feature", "m.aaxl", replaced(xml, x_port, replaced(x_port, "[@name=x]", "[@name=z]")), {},
       "m.aaxl:33:12: error: connection c1: t2.z is not an in port of K::T; connect to one of its in ports"},
      {"unknown_classifier", "m.aaxl", replaced(xml, "threadType[@name=T]\"/>", "threadType[@name=Tx]\"/>"), {},
       "m.aaxl:29:12: error: in K::P.i: sub-component t1: the classifier K::Tx is not declared"},
      {"port_group_as_classifier", "m.aaxl",
       replaced(replaced(xml, "<processType name=\"P\"/>", "<processType name=\"P\"/><portGroupType name=\"G\"/>"),
                "threadType[@name=T]\"/>", "portGroupType[@name=G]\"/>"),
       {}, "m.aaxl:29:12: error: sub-component t1: K::G is a port group type, not a component"},
      {"bad_timing", "m.aaxl", replaced(xml, "timing=\"Delayed\"", "timing=\"Soon\""), {},
       "m.aaxl:34:12: error: connection timing \"Soon\": write Immediate or Delayed"},
      {"schema", "m.aaxl", replaced(xml, "<processorType", "<processorTipe"), {},
       "m.aaxl:37:8: error: invalid AAXL document: in /core:AadlSpec[@name=typical]/aadlPackage[@name=K]/aadlPublic: "
       "unexpected element <processorTipe>; expected any sequence of "},
      {"not_connected", "m.aaxl", without_line(xml, "<dataConnection name=\"c2\""), {},
       "m.aaxl:27:8: error: in K::P.i: in port t1.x (of K::T) is not connected; connect it to an output"},
      {"text_real_period_without_unit", "m.aadl", replaced(text, "Period => 10 ms", "Period => 10.5"), {},
       "m.aadl:17:5: error: property Period: the value must be an integer time, such as 10 ms"},
      {"text_constant_of_a_tool_set", "m.aadl", replaced(text, "Period => 10 ms", "Period => Cheddar_Properties::P"), {},
       "m.aadl:17:5: error: property Period: property constant Cheddar_Properties::P is not declared in the inputs"},
      {"text_unknown_classifier", "m.aadl", replaced(text, "t1 : thread t;", "t1 : thread tx;"), {},
       "m.aadl:27:17: error: no declaration named tx"},
      {"text_missing_feature", "m.aadl", replaced(text, "T2.x;", "T2.z;"), {},
       "m.aadl:30:5: error: connection c1: t2.z is not an in port of K::T; connect to one of its in ports"},
      {"text_missing_source", "m.aadl", replaced(text, "t1.Y ->", "t1.z ->"), {},
       "m.aadl:30:5: error: connection c1: K::T has no feature z; connect from one of its out ports"},
      {"text_missing_sub", "m.aadl", replaced(text, "t1.Y ->", "t9.y ->"), {},
       "m.aadl:30:5: error: in K::P.i: connection end t9.y: K::P.i has no sub-component t9"},
      {"text_no_protocol", "m.aadl", replaced(text, "dispatch_protocol => periodic;", ""), {},
       "m.aadl:11:3: error: thread K::T has no Dispatch_Protocol property; add Dispatch_Protocol => Periodic"},
      {"text_thread_called", "m.aadl", replaced(calls, "subprogram Scale;", "subprogram Worker;"), {},
       "m.aadl:58:7: error: s is a Thread (Calls::Worker), which cannot stand in a thread implementation's call "
       "sequence"},
      {"text_nested_calls", "m.aadl", replaced(calls, "Check.impl\n", "Check.impl calls q : { g : subprogram Scale; };\n"),
       {}, "m.aadl:39:3: error: the subprogram implementation Calls::Check.impl has calls: subprogram implementations "
       "that call other subprograms are not supported"},
      {"binding_to_nothing", "m.aadl", replaced(text, "applies to P;", "applies to Q;"), {},
       "m.aadl:45:5: error: the Actual_Processor_Binding of K::S.i applies to Q, which names no sub-component of K::S.i"},
  };
  for (const auto& c : cases) {
    const std::string dir = make_temp_dir(std::string("located_") + c.name);
    write_file(dir + "/" + c.file, c.text);
    std::vector<std::string> args = c.inputs.empty() ? std::vector<std::string>{c.file} : c.inputs;
    const auto r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_EQ(r.err.substr(0, std::min(r.err.find('\n'), c.expected.size())), c.expected) << c.name << "\n" << r.err;
    EXPECT_EQ(r.out.find("Assertion failed"), std::string::npos) << c.name << "\n" << r.out;
    EXPECT_EQ(r.err.find("internal error"), std::string::npos) << c.name << "\n" << r.err;
  }
}

}  // namespace
}  // namespace vorquel
