// The schedule of the generated program, tick by tick, from the synchronous
// start with every job taking its maximum execution time. It is obtained by
// running the equations of the generated thread schedulers (timer, consume,
// the fixed-priority arbiter, first_rising_edge), not by a formula, so that
// it shows what a simulation of the generated program shows. Processors are
// taken to tick together (every processor clock true at every instant).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/report_input.hpp"

namespace vorquel {

// The timeline covers one hyperperiod (the instants 0 to H, so that the
// dispatches that start the next one show), but never more than this many
// ticks: a longer hyperperiod is cut and the report says so.
constexpr long long default_horizon = 400;

struct Job {
  long long dispatch = 0;
  std::vector<std::pair<long long, long long>> runs;  // ticks [first, last] holding the processor
  std::optional<long long> release;
  std::optional<long long> miss;  // the first dispatch that found it still running
};

// Per tick: the dispatch clock, the dispatched state, the processor, the
// activation clock (inputs read), the release clock, and a missed deadline
// (a dispatch while the previous job runs: the generated program loses it).
struct Thread_trace {
  std::vector<bool> dispatch, dispatched, cpu, activate, release, miss;
  std::vector<Job> jobs;
};

struct Processor_trace {
  bool simulated = false;
  std::string why_not;  // when not simulated
  std::vector<Thread_trace> threads;  // as the processor lists them
};

struct Timeline {
  long long ticks = 0;  // instants 0 .. ticks-1
  std::optional<long long> hyperperiod;
  bool capped = false;  // the hyperperiod is longer than the horizon, or unknown
  std::vector<Processor_trace> processors;
  std::optional<long long> first_miss;  // where the generated schedul_ok turns false
};

Timeline simulate_timeline(const Report_input& in, long long horizon = default_horizon);

}  // namespace vorquel
