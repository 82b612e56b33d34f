// Component types held back until after the scheduler: a type whose
// implementation was printed is still printed when a printed node uses it.
#include <gtest/gtest.h>

#include <string>

#include "test_util.hpp"

namespace vorquel {
namespace {

using testing::make_temp_dir;
using testing::read_file;
using testing::run_vorquel;
using testing::source_path;
using testing::write_file;

// The typical model plus an implementation of the thread type T, while the
// process still instantiates T itself.
std::string model_with_thread_implementation() {
  std::string text = read_file(source_path("examples/typical.aaxl"));
  const std::string anchor = "      <processType name=\"P\"";
  auto at = text.find(anchor);
  EXPECT_NE(at, std::string::npos);
  text.insert(at,
              "      <threadImpl name=\"T.i\" compType=\"/aadlSpec[@name=typical]/aadlPackage[@name=K]/"
              "aadlPublic/threadType[@name=T]\"/>\n");
  return text;
}

TEST(DeferredTypes, TypeCalledNextToItsImplementationIsPrinted) {
  std::string dir = make_temp_dir("deferred");
  write_file(dir + "/m.aaxl", model_with_thread_implementation());
  auto r = run_vorquel({"-v", "1", "m.aaxl"}, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  ASSERT_EQ(r.status, 0) << r.out;
  // The process calls condact_K__T: the type's node and its wrapper exist.
  EXPECT_NE(read_file(dir + "/out_nodes.lus").find("node condact_K__T"), std::string::npos);
  EXPECT_NE(read_file(dir + "/fillme_out_nodes.lus").find("node K__T("), std::string::npos);
  // Only the types that are really left out are announced.
  EXPECT_EQ(r.out.find("no node is generated for that component.\n# An implementation exists for component K__T,"),
            std::string::npos);
  EXPECT_EQ(r.out.find("component K__T,"), std::string::npos);
  EXPECT_NE(r.out.find("# An implementation exists for component K__P, therefore no node is generated"),
            std::string::npos);
}

}  // namespace
}  // namespace vorquel
