// The benchmark's model generator: the same arguments give the same model,
// and every model it writes translates into a well-formed program with one
// scheduled clock triple per thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lustre_check.hpp"
#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

bool have_python() { return std::system("python3 -c '' >/dev/null 2>&1") == 0; }

// Writes the model into dir/name and says whether the generator succeeded.
bool generate(const std::string& dir, const std::string& name, const std::string& args) {
  const std::string command =
      "python3 '" + source_path("bench/gen_model") + "' " + args + " -o '" + dir + "/" + name + "'";
  return std::system(command.c_str()) == 0;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

TEST(BenchModel, SameArgumentsSameModel) {
  if (!have_python()) GTEST_SKIP() << "python3 is not installed";
  const std::string dir = make_temp_dir("bench-model");
  ASSERT_TRUE(generate(dir, "a.aaxl", "-P 3 -T 4 -K 2 -C 2 --seed 7"));
  ASSERT_TRUE(generate(dir, "b.aaxl", "-P 3 -T 4 -K 2 -C 2 --seed 7"));
  EXPECT_EQ(read_file(dir + "/a.aaxl"), read_file(dir + "/b.aaxl"));
  // A lone thread could not have its input connected: refused.
  EXPECT_FALSE(generate(dir, "c.aaxl", "-P 1 -T 1 -C 1 2>/dev/null"));
}

TEST(BenchModel, ModelsTranslateIntoWellFormedPrograms) {
  if (!have_python()) GTEST_SKIP() << "python3 is not installed";
  struct Case {
    std::string args;
    std::vector<std::string> options;
    int scheduled;  // one per thread of a thread type, one per call of a thread implementation
  };
  const std::vector<Case> cases = {
      {"-P 1 -T 2 -C 1", {}, 2},
      {"-P 4 -T 5 -C 3", {}, 20},
      // Every other thread makes 3 calls.
      {"-P 3 -T 4 -K 3 -C 2", {}, 6 + 6 * 3},
      {"-P 6 -T 3 -C 2", {"--v4-arrays"}, 18},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string dir = make_temp_dir("bench-model");
    ASSERT_TRUE(generate(dir, "model.aaxl", c.args));
    std::vector<std::string> args = c.options;
    args.push_back("model.aaxl");
    auto r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    auto check = check_lustre_program(dir + "/out.lus");
    EXPECT_TRUE(check.ok()) << check.text();
    // Every scheduled thread or call gets its release bounds from the
    // scheduled top node.
    const std::string top = read_file(dir + "/out.lus");
    EXPECT_EQ(count(top, "_min_max:int"), static_cast<std::size_t>(c.scheduled));
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace vorquel
