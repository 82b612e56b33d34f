// Fuzz target for the AAXL reader: any byte sequence must end with a model or
// with one of the program's own reports (never a crash, a hang or a stack
// overflow).
//
// Build and run (one core), from the repository root:
//   CXX=clang++ cmake -S . -B build-fuzz -DVORQUEL_FUZZ=ON -DVORQUEL_TESTS=OFF
//   make -C build-fuzz loader_fuzz
//   mkdir -p build-fuzz/corpus
//   build-fuzz/loader_fuzz build-fuzz/corpus tests/data/loader tests/data/fuzz-seeds/loader \
//     -dict=tests/fuzz/loader.dict -close_fd_mask=3 -max_total_time=600
// Inputs that crash are written as crash-* files; keep them, once fixed, in
// tests/data/fuzz-seeds/loader (the reader's tests replay that folder).
#include <cstddef>
#include <cstdint>
#include <string>

#include "aadl/aadl_loader.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vorquel;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    Model m = parse_aadl_text(2, "dir/fuzz.aaxl", std::move(text));
  } catch (const Fatal&) {
  }
  std_out().flush();
  std_err().flush();
  return 0;
}
