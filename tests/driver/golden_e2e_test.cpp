// Whole runs of the program on the cases of tests/data/golden: every file it
// writes, its standard output and its exit status, byte for byte, and the
// structural check of the program it generates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lustre_check.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(source_path("tests/data/golden")))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

// The header comment names the host, the date and the command line: the
// lines down to and including the first empty one.
std::string without_header(const std::string& text) {
  auto pos = text.find("\n\n");
  if (pos == std::string::npos) return "<no header>" + text;
  return text.substr(pos + 2);
}

std::set<std::string> lustre_files(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".lus") names.insert(e.path().filename().string());
  return names;
}

class GoldenRun : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenRun, WritesExactlyTheExpectedBytes) {
  const std::string expected = source_path("tests/data/golden/" + GetParam());
  const std::string dir = make_temp_dir("golden");
  // The model is in the XML form or in the textual one.
  const std::string model = fs::exists(expected + "/model.aadl") ? "model.aadl" : "model.aaxl";
  fs::copy_file(expected + "/" + model, dir + "/" + model);
  std::vector<std::string> args = words(read_file(expected + "/args"));
  args.push_back(model);

  auto r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  if (std::getenv("UPDATE_GOLDEN")) {
    // Rewrites the expected files, for review: status, output and the files
    // the case already lists.
    write_file(expected + "/status", std::to_string(r.status) + "\n");
    write_file(expected + "/stdout", r.out);
    write_file(expected + "/out.zbl", read_file(dir + "/out.zbl"));
    for (const auto& name : lustre_files(expected))
      if (fs::exists(dir + "/" + name)) write_file(expected + "/" + name, without_header(read_file(dir + "/" + name)));
  }
  EXPECT_EQ(std::to_string(r.status), words(read_file(expected + "/status")).at(0)) << r.out << r.err;
  EXPECT_EQ(r.out, read_file(expected + "/stdout"));
  EXPECT_EQ(read_file(dir + "/out.zbl"), read_file(expected + "/out.zbl"));

  const auto wanted = lustre_files(expected);
  EXPECT_EQ(lustre_files(dir), wanted);
  for (const auto& name : wanted) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(dir + "/" + name));
    EXPECT_EQ(without_header(read_file(dir + "/" + name)), read_file(expected + "/" + name));
  }

  auto check = check_lustre_program(dir + "/out.lus");
  EXPECT_TRUE(check.ok()) << check.text();
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenRun, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vorquel
