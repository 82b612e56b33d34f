// Helpers shared by the test programs.
#pragma once

#include <string>
#include <vector>

namespace vorquel::testing {

// Result of running the built vorquel binary.
struct Run_result {
  int status;
  std::string out;
  std::string err;
};

// Runs the vorquel binary with the arguments, in the directory, with the
// extra environment assignments ("NAME=value"; "NAME" alone unsets).
Run_result run_vorquel(const std::vector<std::string>& args, const std::string& dir = ".",
                       const std::vector<std::string>& env = {});

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
// A fresh empty directory under the build tree.
std::string make_temp_dir(const std::string& tag);
// Source tree path of a file, e.g. source_path("tests/data/x.aaxl").
std::string source_path(const std::string& rel);

}  // namespace vorquel::testing
