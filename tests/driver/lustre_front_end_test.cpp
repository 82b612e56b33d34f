// The generated programs through an independent Lustre front end
// (../shared/tools/lustre-check): every complete program of every test model
// and example is accepted, and simulations of the example models keep the
// timing that the scheduler promises.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

const std::string tools = VORQUEL_SOURCE_DIR "/../shared/tools/lustre-check/";

bool tools_present() { return fs::exists(tools + "check.sh") && fs::exists(tools + "bin/lustre"); }

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Shell_result {
  int status;
  std::string out;  // standard output and standard error
};

Shell_result shell(const std::string& command) {
  Shell_result r{-1, ""};
  FILE* f = ::popen((command + " 2>&1").c_str(), "r");
  if (f == nullptr) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) r.out.append(buf, n);
  const int w = ::pclose(f);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

// The translatable models of the test data and the examples, each text once.
// (tests/data/loader/tool_style.aaxl has no system; port group types are
// beyond this front end, and no model here has one.)
std::vector<std::string> models() {
  std::vector<std::string> paths;
  for (const auto& e : fs::directory_iterator(source_path("tests/data/golden")))
    if (fs::exists(e.path() / "model.aaxl")) paths.push_back((e.path() / "model.aaxl").string());
  for (const char* dir : {"tests/data/naming", "examples"})
    for (const auto& e : fs::directory_iterator(source_path(dir)))
      if (e.path().extension() == ".aaxl") paths.push_back(e.path().string());
  paths.push_back(source_path("tests/data/loader/typical.aaxl"));
  std::sort(paths.begin(), paths.end());
  std::set<std::string> texts;
  std::vector<std::string> unique;
  for (const auto& p : paths)
    if (texts.insert(read_file(p)).second) unique.push_back(p);
  return unique;
}

std::string case_name(const std::string& path) {
  fs::path p(path);
  std::string name = p.parent_path().filename().string();
  if (p.stem() != "model") name += "_" + p.stem().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// --v4-arrays, port group types and --scade are outside the front end's
// dialect.
const std::vector<std::vector<std::string>> option_sets = {
    {},
    {"--check-schedulability"},
    {"--show-scheduling-vars"},
    {"--check-schedulability", "--show-scheduling-vars"},
    {"--gen-random-func"},
};

// Translates the model in a fresh folder; returns the folder.
std::string translate(const std::string& model, std::vector<std::string> options, const std::string& base = "out") {
  const std::string dir = make_temp_dir("front-end");
  fs::copy_file(model, dir + "/model.aaxl");
  options.insert(options.end(), {"-o", base, "model.aaxl"});
  auto r = run_vorquel(options, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  return dir;
}

std::string joined(const std::vector<std::string>& words) {
  std::string s;
  for (const auto& w : words) s += w + " ";
  return s;
}

class FrontEnd : public ::testing::TestWithParam<std::string> {};

TEST_P(FrontEnd, AcceptsEveryProgram) {
  if (!tools_present()) GTEST_SKIP() << "no Lustre front end at " << tools << " (a clone without ../shared)";
  for (const auto& options : option_sets) {
    SCOPED_TRACE(joined(options));
    // The complete program.
    std::vector<std::string> complete = options;
    complete.insert(complete.begin(), {"--one-file", "--gen-fake-body"});
    const std::string dir = translate(GetParam(), complete);
    auto r = shell(tools + "check.sh " + quoted(dir + "/out.lus"));
    EXPECT_EQ(r.status, 0) << r.out;

    // The program to fill in: the nodes without body stand as declarations,
    // the types and constants are given as the user would (here those of the
    // complete program); nothing else may be wrong.
    const std::string to_fill = translate(GetParam(), options);
    std::vector<std::string> with_fake_body = options;
    with_fake_body.push_back("--gen-fake-body");
    const std::string fake = translate(GetParam(), with_fake_body);
    for (const char* f : {"fillme_out_types.lus", "fillme_out_const.lus"})
      fs::copy_file(fake + "/" + f, to_fill + "/" + f, fs::copy_options::overwrite_existing);
    r = shell(tools + "check.sh --stub-empty " + quoted(to_fill + "/out.lus"));
    EXPECT_EQ(r.status, 0) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, FrontEnd, ::testing::ValuesIn(models()),
                         [](const auto& info) { return case_name(info.param); });

}  // namespace
}  // namespace vorquel
