#include "scheduler/cpu.hpp"

#include <gtest/gtest.h>

#include <string>

#include "base/diagnostics.hpp"

namespace vorquel {
namespace {

std::string arbiter(int n) {
  std::string text;
  Channel c(text);
  Short_names names;
  Lustre_writer w(c, Dialect::Lustre, names);
  no_lock(n, w);
  c.flush();
  return text;
}

TEST(NoLock, WritesOneEquationPerThreadByPriority) {
  struct Case {
    int n;
    const char* expected;
  };
  const Case cases[] = {
      {1,
       "-- A fix priority scheduler for 1 threads.\n"
       "node cpu_from_dispatched_1(dispatched1 : bool)\n"
       "returns ( cpu1 : bool);\n"
       "let\n"
       "  cpu1 = dispatched1;\n"
       "tel\n"},
      {2,
       "-- A fix priority scheduler for 2 threads.\n"
       "node cpu_from_dispatched_2(dispatched1,dispatched2 : bool)\n"
       "returns (cpu1,  cpu2 : bool);\n"
       "let\n"
       "  cpu1 = dispatched1;\n"
       "  cpu2 = dispatched2 and not cpu1;\n"
       "tel\n"},
      {3,
       "-- A fix priority scheduler for 3 threads.\n"
       "node cpu_from_dispatched_3(dispatched1,dispatched2,dispatched3 : bool)\n"
       "returns (cpu1, cpu2,  cpu3 : bool);\n"
       "let\n"
       "  cpu1 = dispatched1;\n"
       "  cpu2 = dispatched2 and not cpu1;\n"
       "  cpu3 = dispatched3 and not cpu1 and not cpu2;\n"
       "tel\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(arbiter(c.n), c.expected);
  }
}

TEST(NoLock, TwelveThreadsUseMultiDigitNumbers) {
  const std::string text = arbiter(12);
  EXPECT_NE(text.find("returns (cpu1, cpu2, cpu3, cpu4, cpu5, cpu6, cpu7, cpu8, cpu9, cpu10, cpu11,  cpu12 : bool);\n"),
            std::string::npos);
  EXPECT_NE(text.find("  cpu12 = dispatched12 and not cpu1 and not cpu2 and not cpu3 and not cpu4 and not cpu5"
                      " and not cpu6 and not cpu7 and not cpu8 and not cpu9 and not cpu10 and not cpu11;\n"),
            std::string::npos);
}

TEST(NoLock, NoThreadIsAnInternalError) { EXPECT_THROW(arbiter(0), Fatal); }

}  // namespace
}  // namespace vorquel
