// Fuzz target for the textual AADL reader: any byte sequence must end with a
// model or with one of the program's own reports (never a crash, a hang or a
// stack overflow).
//
// Build and run (one core), from the repository root:
//   CXX=clang++ cmake -S . -B build-fuzz -DVORQUEL_FUZZ=ON -DVORQUEL_TESTS=OFF
//   make -C build-fuzz text_reader_fuzz
//   mkdir -p build-fuzz/text-corpus
//   build-fuzz/text_reader_fuzz build-fuzz/text-corpus tests/data/text tests/data/fuzz-seeds/text \
//     -dict=tests/fuzz/text_reader.dict -close_fd_mask=3 -max_total_time=600
// Inputs that crash are written as crash-* files; keep them, once fixed, in
// tests/data/fuzz-seeds/text (the reader's tests replay that folder).
#include <cstddef>
#include <cstdint>
#include <string>

#include "aadl/aadl_text_reader.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vorquel;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    Model m = parse_aadl_source_text(1, "dir/fuzz.aadl", std::move(text));
  } catch (const Fatal&) {
  }
  std_out().flush();
  std_err().flush();
  return 0;
}
