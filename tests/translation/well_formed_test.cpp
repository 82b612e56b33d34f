// Whole runs on models that use calls, shared data and devices: the generated
// program must declare what it uses and define what it declares.
#include <gtest/gtest.h>

#include <filesystem>

#include "lustre_check.hpp"
#include "model_text.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

using namespace model_text;

// A top-level system S.i running process P.i on processor cpu, with extra
// sub-components and connections.
std::string bound_system(const std::string& subs = "", const std::string& conns = "",
                         const std::string& features = "") {
  return type("processor", "CPU") + type("system", "S", features) +
         impl("system", "S.i",
              sub("process", "p", "processImpl", "P.i") + sub("processor", "cpu", "processorType", "CPU") + subs,
              conns,
              "<propertyAssociation propertyDefinition=\"" + property_ref("Actual_Processor_Binding") +
                  "\" appliesTo=\"" + ref("systemImpl", "S.i") +
                  "/subcomponents/processSubcomponent[@name=p]\"><propertyValue xsi:type=\"property:ReferenceValue\" "
                  "referenceElement=\"" +
                  ref("systemImpl", "S.i") + "/subcomponents/processorSubcomponent[@name=cpu]\"/></propertyAssociation>");
}

const std::string kCalls =
    type("subprogram", "F", port("parameter", "a", "in") + port("parameter", "r", "out"),
         range_prop("Compute_Execution_Time", "1", "2")) +
    thread("TH", inp("x") + outp("y")) +
    impl("thread", "TH.i", "",
         conn("parameter", "x", "c1.a") + conn("parameter", "c1.r", "c2.a") + conn("parameter", "c2.r", "c3.a") +
             conn("parameter", "c3.r", "y"),
         "", calls({"c1:F", "c2:F", "c3:F"}));

struct Case {
  const char* name;
  std::string decls;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class WellFormed : public ::testing::TestWithParam<Case> {};

TEST_P(WellFormed, Program) {
  std::string dir = testing::make_temp_dir("translation");
  testing::write_file(dir + "/model.aaxl", document(GetParam().decls));
  auto r = testing::run_vorquel({"model.aaxl"}, dir, {"AADL_SCHEMA_DIR=" + testing::source_path("aadl-schema")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto check = testing::check_lustre_program(dir + "/out.lus");
  EXPECT_TRUE(check.ok()) << check.text();
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Translation, WellFormed,
    ::testing::Values(
        Case{"ThreadImplementationWithChainedCalls",
             kCalls + type("process", "P", inp("x") + outp("y")) +
                 impl("process", "P.i", sub("thread", "a", "threadImpl", "TH.i") + sub("thread", "b", "threadImpl", "TH.i"),
                      data_conn("x", "a.x") + data_conn("a.y", "b.x") + data_conn("b.y", "y")) +
                 bound_system("", data_conn("sx", "p.x") + data_conn("p.y", "sy"), inp("sx") + outp("sy"))},
        Case{"SharedDataWithWritersAndReaders",
             thread("W", access("acc", "write")) + thread("R", access("acc", "read") + outp("o")) +
                 thread("RW", access("acc", "read_write")) + type("process", "P", outp("o")) +
                 impl("process", "P.i",
                      sub("data", "d", "dataType", "int") + sub("thread", "w", "threadType", "W") +
                          sub("thread", "r", "threadType", "R") + sub("thread", "rw", "threadType", "RW"),
                      conn("dataAccess", "d", "w.acc") + conn("dataAccess", "d", "r.acc") +
                          conn("dataAccess", "d", "rw.acc") + data_conn("r.o", "o")) +
                 bound_system()},
        Case{"DevicesAroundAProcess",
             thread("T", inp("x") + outp("y")) + type("process", "P", inp("x") + outp("y")) +
                 impl("process", "P.i", sub("thread", "t", "threadType", "T"), data_conn("x", "t.x") + data_conn("t.y", "y")) +
                 type("device", "Sensor", outp("v")) + type("device", "Act", inp("cmd")) + impl("device", "Act.i", "") +
                 bound_system(sub("device", "sensor", "deviceType", "Sensor") + sub("device", "act", "deviceImpl", "Act.i"),
                              data_conn("sensor.v", "p.x") + data_conn("p.y", "act.cmd"))},
        // A.i, which is not the top, calls P.i twice after S.i called it:
        // its declared oracles must be the names its calls pass.
        Case{"ProcessSharedByTwoSystems",
             thread("T", "") + type("process", "P") + impl("process", "P.i", sub("thread", "t", "threadType", "T")) +
                 bound_system() + type("system", "A") +
                 impl("system", "A.i",
                      sub("process", "q1", "processImpl", "P.i") + sub("process", "q2", "processImpl", "P.i"))}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorquel
