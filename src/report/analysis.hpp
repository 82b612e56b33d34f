// Utilisation, the Liu-Layland bound and exact response-time analysis of
// every processor, in the tick semantics of the generated scheduler: a job
// dispatched at tick d holds the processor from tick d+1 on, and the
// release at tick d+R ends a response time of R. A periodic thread must
// release before its next dispatch (R equal to the period is a miss, the
// dispatch at that tick is lost); a later call of a call sequence is
// dispatched by the release of the call before it and may release up to
// the next dispatch of its sequence, included.
#pragma once

#include <optional>
#include <vector>

#include "report/report_input.hpp"

namespace vorquel {

enum class Verdict { Meets, Misses, Unknown };

struct Thread_analysis {
  std::optional<double> utilisation;  // max execution time / period; unknown with a named value
  std::optional<long long> deadline;  // the period
  // Worst-case response time from the synchronous start, with worst-case
  // execution times. Absent when a value it depends on is named, or when
  // it lies beyond the deadline (`beyond_deadline`; also for a thread that
  // never releases).
  std::optional<long long> response;
  bool beyond_deadline = false;
  Verdict verdict = Verdict::Unknown;
};

struct Processor_analysis {
  std::vector<Thread_analysis> threads;  // as the processor lists them
  std::optional<double> utilisation;
  int tasks = 0;            // periodic tasks: a call sequence counts once
  double liu_layland = 0;   // tasks * (2^(1/tasks) - 1)
  Verdict verdict = Verdict::Unknown;
};

Processor_analysis analyse_processor(const Report_processor& p);

// The least common multiple of all periods (every one literal and above 0),
// or nothing when there is none or it exceeds `limit` (at most 10^9).
std::optional<long long> hyperperiod(const Report_input& in, long long limit);

const char* verdict_text(Verdict v);

}  // namespace vorquel
