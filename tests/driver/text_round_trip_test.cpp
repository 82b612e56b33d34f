// Every AAXL model of the suite, exported as textual AADL and read back,
// gives the same model and the same output files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "aadl/aadl_loader.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

std::vector<std::string> models() {
  std::vector<std::string> files;
  for (const char* dir : {"tests/data/golden", "tests/data/naming", "tests/data/loader", "examples"})
    for (const auto& e : fs::recursive_directory_iterator(source_path(dir)))
      if (e.path().extension() == ".aaxl") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string without_header(const std::string& text) {
  auto pos = text.find("\n\n");
  return pos == std::string::npos ? text : text.substr(pos + 2);
}

std::vector<std::string> golden_args(const std::string& model) {
  std::vector<std::string> args;
  const fs::path a = fs::path(model).parent_path() / "args";
  if (fs::exists(a)) {
    std::istringstream in(read_file(a.string()));
    for (std::string w; in >> w;) args.push_back(w);
  }
  return args;
}

TEST(TextRoundTrip, ExportedModelsReadBackTheSame) {
  const std::vector<std::string> env = {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")};
  for (const auto& model : models()) {
    SCOPED_TRACE(model);
    const std::string dir = make_temp_dir("round_trip");
    fs::copy_file(model, dir + "/model.aaxl");
    Run_result exported = run_vorquel({"--export-aadl", "-o", "model", "model.aaxl"}, dir, env);
    ASSERT_EQ(exported.status, 0) << exported.out;
    EXPECT_TRUE(parse_aadl(0, dir + "/model.aaxl") == parse_aadl_source(0, dir + "/model.aadl"));

    // The full translation of either file writes the same bytes.
    std::vector<std::string> args = golden_args(model);
    fs::create_directory(dir + "/xml");
    fs::create_directory(dir + "/text");
    auto run = [&](const std::string& sub, const std::string& input) {
      std::vector<std::string> a = args;
      a.push_back("../" + input);
      return run_vorquel(a, dir + "/" + sub, env);
    };
    Run_result x = run("xml", "model.aaxl"), t = run("text", "model.aadl");
    EXPECT_EQ(x.status, t.status);
    EXPECT_EQ(x.out, t.out);
    for (const auto& e : fs::directory_iterator(dir + "/xml")) {
      const std::string name = e.path().filename().string();
      ASSERT_TRUE(fs::exists(dir + "/text/" + name)) << name;
      EXPECT_EQ(without_header(read_file(e.path().string())), without_header(read_file(dir + "/text/" + name)))
          << name;
    }
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace vorquel
