// lustre_check <main file>.lus...: checks each generated program (with the
// files it includes) and prints one line per problem. Exit status: 0 when
// every program is well formed, 1 when a problem was found, 2 on misuse.
#include <cstdio>
#include <string>

#include "lustre_check.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: lustre_check <main file>.lus...\n", stderr);
    return 2;
  }
  bool any = false;
  for (int i = 1; i < argc; ++i) {
    const auto result = vorquel::testing::check_lustre_program(argv[i]);
    for (const std::string& p : result.problems) {
      std::fputs(p.c_str(), stdout);
      std::fputc('\n', stdout);
    }
    if (!result.ok()) {
      std::fprintf(stderr, "%s: %zu problem%s\n", argv[i], result.problems.size(),
                   result.problems.size() == 1 ? "" : "s");
      any = true;
    }
  }
  return any ? 1 : 0;
}
