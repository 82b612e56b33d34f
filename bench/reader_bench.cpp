// Reading the same model as AAXL and as textual AADL: the median time of
// each reader over several runs, files read from memory.
//
//   reader_bench model.aaxl model.aadl [runs [text]]   (text: the text reader alone)
// (bench/gen_model writes the first; `vorquel --export-aadl` the second.)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "aadl/aadl_loader.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "base/diagnostics.hpp"

using namespace vorquel;

namespace {

template <class F>
double median_seconds(int runs, F f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: reader_bench model.aaxl model.aadl [runs]\n");
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  try {
    const std::string xml = read_whole_file(argv[1]), text = read_whole_file(argv[2]);
    std::size_t n = 0;
    const bool only_text = argc > 4 && std::string(argv[4]) == "text";
    double tx = only_text ? 0 : median_seconds(runs, [&] { n += parse_aadl_text(0, argv[1], xml).size(); });
    double tt = median_seconds(runs, [&] { n += parse_aadl_source_text(0, argv[2], text).size(); });
    std::printf("AAXL  %8.1f MB  %7.3f s\ntext  %8.1f MB  %7.3f s\n", xml.size() / 1e6, tx, text.size() / 1e6, tt);
    return n > 0 ? 0 : 1;
  } catch (const Fatal& f) {
    std::fprintf(stderr, "%s", f.diagnostic.text.c_str());
    return 2;
  }
}
