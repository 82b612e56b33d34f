// Fuzz target for the whole program: one input document goes through the
// complete run (command line, reading, normalisation, translation, printing,
// scheduler generation, output files), in process. Every input must end with
// status 0 or 2, never with a crash, a sanitizer report, a leak or a hang.
//
// The input is written to in.aaxl in a scratch directory (made once), the
// translator runs on it there under options drawn from the input bytes
// (pipeline_options.hpp), and the outputs are removed before the next input.
// The working directory is the scratch one only during the run, so the
// corpus and artifact paths given to libFuzzer keep their meaning.
//
// Build and run (one core), from the repository root:
//   CXX=clang++ cmake -S . -B build-fuzz-pipeline -DVORQUEL_FUZZ=ON -DVORQUEL_TESTS=OFF \
//     -DCMAKE_BUILD_TYPE=RelWithDebInfo && make -C build-fuzz-pipeline -j2 pipeline_fuzz
//   mkdir -p build-fuzz-pipeline/corpus build-fuzz-pipeline/seeds
//   find tests/data -name '*.aaxl' -exec cp --backup=numbered -t build-fuzz-pipeline/seeds {} +
//   build-fuzz-pipeline/pipeline_fuzz build-fuzz-pipeline/corpus build-fuzz-pipeline/seeds \
//     -dict=tests/fuzz/pipeline.dict -close_fd_mask=3 -timeout=10 -max_total_time=1800
// An input that fails is written as crash-*, timeout-*, leak-* or oom-*;
// once fixed, keep it in tests/data/fuzz-findings/ (the driver tests replay
// that folder through the built program).
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/main.hpp"
#include "pipeline_options.hpp"

namespace fs = std::filesystem;

namespace {

// The program copies the schema directory under /tmp at every run; one that
// already sits there is used in place, which spares a process per input.
void prepare_schema() {
  const fs::path source = fs::path(VORQUEL_SOURCE_DIR) / "aadl-schema";
  const fs::path target = fs::path("/tmp") / "aadl-schema";
  fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ::setenv("AADL_SCHEMA_DIR", target.c_str(), 1);
}

int scratch_fd = -1;
int home_fd = -1;
std::string scratch_path;

void make_scratch_directory() {
  std::string tmpl = (fs::temp_directory_path() / "vorquel-pipeline-fuzz-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr || (scratch_fd = ::open(tmpl.c_str(), O_RDONLY | O_DIRECTORY)) < 0 ||
      (home_fd = ::open(".", O_RDONLY | O_DIRECTORY)) < 0) {
    std::perror("pipeline_fuzz: scratch directory");
    std::abort();
  }
  scratch_path = tmpl;
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(scratch_path, ec);
  });
}

void change_directory(int fd) {
  if (::fchdir(fd) != 0) {
    std::perror("pipeline_fuzz: fchdir");
    std::abort();
  }
}

void remove_outputs() {
  for (const auto& e : fs::directory_iterator(fs::current_path()))
    if (e.path().filename() != "in.aaxl") fs::remove_all(e.path());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prepare_schema();
  make_scratch_directory();
  // The translator's messages are of no interest here; libFuzzer's own
  // reports go to standard error (keep it with -close_fd_mask=3).
  int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) {
    ::dup2(null, 1);
    ::close(null);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  change_directory(scratch_fd);
  if (std::FILE* f = std::fopen("in.aaxl", "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  } else {
    std::abort();
  }
  std::vector<std::string> argv{"vorquel"};
  for (auto& w : vorquel::fuzzing::pipeline_options(bytes)) argv.push_back(std::move(w));
  argv.emplace_back("in.aaxl");
  const int status = vorquel::run(argv);
  if (status != 0 && status != 2) std::abort();
  remove_outputs();
  change_directory(home_fd);
  return 0;
}
