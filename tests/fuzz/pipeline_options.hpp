// The command-line options under which the whole-pipeline fuzz target runs
// one input. They are a function of the input bytes alone, so that an input
// found by the fuzzer is replayed later (by the regression test that runs
// the built program) under exactly the options it was found with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorquel::fuzzing {

// FNV-1a of the bytes.
inline std::uint32_t input_hash(std::string_view bytes) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

// Options chosen by the bits of the hash; the input file name comes last.
inline std::vector<std::string> pipeline_options(std::string_view bytes) {
  static constexpr const char* flags[] = {"--scade",          "--one-file",           "--gen-fake-body",
                                          "--gen-random-func", "--check-schedulability", "--show-scheduling-vars",
                                          "--v4-arrays"};
  const std::uint32_t h = input_hash(bytes);
  std::vector<std::string> words;
  for (std::size_t i = 0; i < std::size(flags); ++i)
    if (h & (1u << i)) words.emplace_back(flags[i]);
  // Verbosity 0, 1 or 2 (2 details the schema errors, 1 traces the run).
  const unsigned v = (h >> 8) % 3;
  if (v != 0) {
    words.emplace_back("-v");
    words.emplace_back(std::to_string(v));
  }
  return words;
}

}  // namespace vorquel::fuzzing
