// Bindings through the hierarchy that cannot be followed stop the run with a
// message that names the association and the path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.hpp"

namespace vorquel {
namespace {

using namespace vorquel::testing;

// One process of one periodic thread in a sub-system `sw`, a processor in
// `hw`; `top_subs` and `top_props` go into the top-level system Z.i.
std::string model(const std::string& top_subs, const std::string& top_props) {
  return "package H public\n"
         "thread T properties Dispatch_Protocol => Periodic; Period => 10 ms; Compute_Execution_Time => 1 ms; end T;\n"
         "process P end P; process implementation P.i subcomponents t : thread T; end P.i;\n"
         "virtual processor VP end VP; processor CPU end CPU;\n"
         "system HW end HW; system implementation HW.i subcomponents cpu : processor CPU; end HW.i;\n"
         "system SW end SW; system implementation SW.i subcomponents p : process P.i; end SW.i;\n"
         "system Z end Z; system implementation Z.i subcomponents hw : system HW.i; sw : system SW.i;\n" +
         top_subs + " properties " + top_props + " end Z.i;\nend H;\n";
}

TEST(HierarchyBindings, StopWithALocatedMessage) {
  const struct {
    std::string subs, props, message;
  } cases[] = {
      {"", "Actual_Processor_Binding => (reference (hw.cpu)) applies to sw.q;",
       "*** Error: the Actual_Processor_Binding of H::Z.i applies to sw.q, which names no sub-component of H::Z.i.\n"},
      {"", "Actual_Processor_Binding => (reference (hw.gpu)) applies to sw.p;",
       "*** Error: the Actual_Processor_Binding of H::Z.i refers to hw.gpu, which names no processor of H::Z.i.\n"},
      {"", "Actual_Processor_Binding => (reference (sw.p)) applies to sw.p;",
       "*** Error: the Actual_Processor_Binding of H::Z.i refers to sw.p, which is a Process, not a processor.\n"},
      {"v : virtual processor VP;", "Actual_Processor_Binding => (reference (v)) applies to sw.p;",
       "m.aadl:8:38: error: the virtual processor v is bound to no processor and is in none"},
      // A textual reference resolves as AADL resolves it, one part as well.
      {"", "Actual_Processor_Binding => (reference (cpu)) applies to sw.p;",
       "m.aadl:8:13: error: the Actual_Processor_Binding of H::Z.i refers to cpu, which names no processor of H::Z.i"},
      // The protocol of a processor named by its path, given by the top-level system.
      {"", "Actual_Processor_Binding => (reference (hw.cpu)) applies to sw.p; "
           "Scheduling_Protocol => (EDF) applies to hw.cpu;",
       "m.aadl:8:79: error: the processor hw.cpu (H::CPU) of H::Z.i has the Scheduling_Protocol EDF"},
      // Only processes run threads: binding a processor is said at the binding.
      {"x : processor CPU;", "Actual_Processor_Binding => (reference (hw.cpu)) applies to sw.p; "
                             "Actual_Processor_Binding => (reference (hw.cpu)) applies to x;",
       "m.aadl:8:97: error: cannot schedule x (H::CPU): only processes"},
  };
  for (const auto& c : cases) {
    const std::string dir = make_temp_dir("hierarchy");
    write_file(dir + "/m.aadl", model(c.subs, c.props));
    auto r = run_vorquel({"--one-file", "m.aadl"}, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    EXPECT_EQ(r.status, 2) << c.props;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << c.props << "\n" << r.out << r.err;
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
}  // namespace vorquel
