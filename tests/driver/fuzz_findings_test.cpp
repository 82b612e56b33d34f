// Inputs that once broke the program, found by the whole-pipeline fuzz
// target, replayed through the built binary under the options the target
// drew for them: each must end with status 0 or 2, without a crash or a
// sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fuzz/pipeline_options.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using testing::make_temp_dir;
using testing::read_file;
using testing::run_vorquel;
using testing::source_path;
using testing::write_file;

TEST(FuzzFindings, Replay) {
  const fs::path folder = source_path("tests/data/fuzz-findings");
  std::vector<fs::path> inputs;
  if (fs::is_directory(folder))
    for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".aaxl") inputs.push_back(e.path());
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty())
    GTEST_SKIP() << "nothing to replay: tests/data/fuzz-findings holds no .aaxl input (findings are kept there "
                    "once fixed)";
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const std::string bytes = read_file(input.string());
    const std::string dir = make_temp_dir("finding");
    write_file(dir + "/in.aaxl", bytes);
    std::vector<std::string> args = fuzzing::pipeline_options(bytes);
    args.push_back("in.aaxl");
    auto r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    EXPECT_TRUE(r.status == 0 || r.status == 2) << "status " << r.status << "\n" << r.err.substr(0, 2000);
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err.substr(0, 2000);
    EXPECT_EQ(r.err.find("runtime error:"), std::string::npos) << r.err.substr(0, 2000);
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace vorquel
