#include "report/warnings.hpp"

#include <gtest/gtest.h>

namespace vorquel {
namespace {

Report_thread thread(std::string path, int priority, long long period, long long max_exec) {
  Report_thread t;
  t.path = std::move(path);
  t.priority = priority;
  t.period = Quantity::literal(period);
  t.min_exec = Quantity::literal(1);
  t.max_exec = Quantity::literal(max_exec);
  return t;
}

Report_thread with_priority(Report_thread t, long long priority) {
  t.model_priority = priority;
  return t;
}

// A process p with threads t1 and t2 on cpu, and the connection t1.y -> t2.x.
Report_input model(std::vector<Report_thread> threads, bool delayed) {
  Report_input in;
  in.processors.push_back(Report_processor{"cpu", std::move(threads), Source_location{"m.aadl", 3, 5}});
  Arch_component p{"p", "K::P.i", "process", {{"t1", "K::T", "thread", {}, {}}, {"t2", "K::T", "thread", {}, {}}},
                   {Arch_connection{"t1", "y", "t2", "x", delayed}}};
  in.architecture.components.push_back(p);
  return in;
}

TEST(SchedulingWarnings, Cases) {
  const std::string receiver_first =
      "the immediate connection p.t1.y -> p.t2.x joins two threads of period 10 on cpu, but the receiver has the "
      "higher priority: p.t2 reads the value p.t1 produced in the previous period";
  struct Case {
    const char* what;
    std::vector<Report_thread> threads;
    bool delayed, immediate_first;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"sender first", {thread("p.t1", 1, 10, 3), thread("p.t2", 2, 10, 3)}, false, false, {}},
      {"receiver first",
       {thread("p.t1", 2, 10, 3), thread("p.t2", 1, 10, 3)},
       false,
       false,
       {receiver_first + " (--immediate-first runs the sender first)"}},
      // With --immediate-first a receiver still first is in a cycle.
      {"cycle",
       {thread("p.t1", 2, 10, 3), thread("p.t2", 1, 10, 3)},
       false,
       true,
       {receiver_first, "the immediate connections between threads of equal period on cpu form a cycle: their "
                        "usual order is kept"}},
      {"delayed", {thread("p.t1", 2, 10, 3), thread("p.t2", 1, 10, 3)}, true, false, {}},
      {"other periods", {thread("p.t1", 2, 20, 3), thread("p.t2", 1, 10, 3)}, false, false, {}},
      {"overloaded",
       {thread("p.t1", 1, 10, 8), thread("p.t2", 2, 10, 8)},
       false,
       false,
       {"processor cpu is loaded at 160.0 % (maximum execution time over period): its threads cannot all meet their "
        "deadlines"}},
      {"longer than its period",
       {thread("p.t1", 1, 10, 12), thread("p.t2", 2, 20, 1)},
       true,
       false,
       {"processor cpu is loaded at 125.0 % (maximum execution time over period): its threads cannot all meet their "
        "deadlines",
        "thread p.t1 has a maximum execution time (12) above its period (10)"}},
      // The model's Priority values: followed by the rate-monotonic order, or not.
      {"priorities agree",
       {with_priority(thread("p.t1", 1, 10, 1), 9), with_priority(thread("p.t2", 2, 20, 1), 3)},
       true,
       false,
       {}},
      {"priorities disagree",
       {with_priority(thread("p.t1", 1, 10, 1), 3), thread("p.t2", 2, 15, 1),
        with_priority(thread("p.t3", 3, 20, 1), 9)},
       true,
       false,
       {"on cpu the generated scheduler, rate-monotonic, runs p.t1 (period 10) before p.t3 (period 20), whose "
        "Priority is higher (9 against 3): the model's Priority values are not followed"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> texts;
    for (const auto& d : scheduling_warnings(model(c.threads, c.delayed), c.immediate_first)) {
      EXPECT_EQ(d.kind, Diagnostic_kind::Warning);
      // The load is said where the processor is declared.
      if (d.text.rfind("processor cpu is loaded", 0) == 0) {
        EXPECT_TRUE(d.location && d.location->line == 3) << d.text;
      }
      texts.push_back(d.text);
    }
    EXPECT_EQ(texts, c.expected);
  }
}

}  // namespace
}  // namespace vorquel
