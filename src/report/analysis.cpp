// The recurrence R = W + sum over higher-priority tasks of ceil(R / T) * C
// is exact in the tick semantics: a higher-priority job dispatched at a
// tick before R holds the processor at some of the ticks up to R. A call
// sequence interferes as one task whose cost is the sum of its calls.
#include "report/analysis.hpp"

#include <cmath>
#include <limits>
#include <numeric>

namespace vorquel {

namespace {

// One periodic task: a thread, or a call sequence (its first call and the
// calls that follow it).
struct Task {
  std::size_t first, last;  // thread indices, inclusive
};

std::vector<Task> tasks_of(const Report_processor& p) {
  std::vector<Task> tasks;
  for (std::size_t i = 0; i < p.threads.size(); ++i) {
    if (p.threads[i].follows_call && !tasks.empty()) tasks.back().last = i;
    else tasks.push_back(Task{i, i});
  }
  return tasks;
}

// Literal, above 0.
std::optional<long long> positive(const Quantity& q) {
  if (q.value && *q.value > 0) return q.value;
  return std::nullopt;
}

// The sum of the maximum execution times of threads [first, last]. Absent
// when one is named; `never` when one cannot complete (the generated
// consume counts from 1 and never meets a time below 1).
struct Cost {
  std::optional<long long> value;
  bool never = false;
};
Cost cost(const Report_processor& p, std::size_t first, std::size_t last) {
  long long c = 0;
  bool never = false, unknown = false;
  for (std::size_t i = first; i <= last; ++i) {
    const auto& v = p.threads[i].max_exec.value;
    if (!v) unknown = true;
    else if (*v < 1) never = true;
    else c = *v > std::numeric_limits<long long>::max() - c ? std::numeric_limits<long long>::max() : c + *v;
  }
  if (never) return Cost{std::nullopt, true};
  if (unknown) return Cost{};
  return Cost{c};
}

}  // namespace

const char* verdict_text(Verdict v) {
  switch (v) {
    case Verdict::Meets: return "meets";
    case Verdict::Misses: return "MISSES";
    case Verdict::Unknown: return "unknown";
  }
  return "unknown";
}

Processor_analysis analyse_processor(const Report_processor& p) {
  Processor_analysis a;
  a.threads.resize(p.threads.size());
  const std::vector<Task> tasks = tasks_of(p);
  a.tasks = static_cast<int>(tasks.size());
  a.liu_layland = a.tasks == 0 ? 0 : a.tasks * (std::pow(2.0, 1.0 / a.tasks) - 1);

  double total = 0;
  bool total_known = true;
  for (std::size_t i = 0; i < p.threads.size(); ++i) {
    const Report_thread& t = p.threads[i];
    Thread_analysis& ta = a.threads[i];
    ta.deadline = positive(t.period);
    if (ta.deadline && t.max_exec.value) {
      ta.utilisation = static_cast<double>(*t.max_exec.value) / static_cast<double>(*ta.deadline);
      total += *ta.utilisation;
    } else {
      total_known = false;
    }
  }
  if (total_known) a.utilisation = total;

  // Interference of the tasks above the one analysed: a cost that never
  // ends starves every task below it; an unknown one leaves them unknown.
  bool starved = false, unknown_above = false;
  std::vector<std::pair<long long, long long>> above;  // (period, cost)
  __int128 above_cost = 0;  // the sum of their costs: the first value of the recurrence
  for (const Task& task : tasks) {
    const auto period = positive(p.threads[task.first].period);
    for (std::size_t i = task.first; i <= task.last; ++i) {
      Thread_analysis& ta = a.threads[i];
      const Cost own = cost(p, task.first, i);
      if (starved || own.never) {
        ta.beyond_deadline = true;
        ta.verdict = Verdict::Misses;
        continue;
      }
      if (unknown_above || !own.value || !period) continue;
      // The recurrence is followed up to the period: beyond it the thread
      // misses in any case and the exact value does not matter. The values
      // are the user's: their sums are taken in 128 bits.
      using Wide = __int128;
      Wide r = Wide(*own.value) + above_cost;
      while (r <= *period) {
        Wide next = *own.value;
        for (const auto& [per, c] : above) {
          next += (r + per - 1) / per * c;
          if (next > *period) break;
        }
        if (next == r) break;
        r = next;
      }
      ta.beyond_deadline = r > *period;
      if (!ta.beyond_deadline) ta.response = static_cast<long long>(r);
      // A periodic thread releases before its next dispatch; a later call
      // may release at it.
      const bool meets = p.threads[i].follows_call ? r <= *period : r < *period;
      ta.verdict = meets ? Verdict::Meets : Verdict::Misses;
    }
    const Cost whole = cost(p, task.first, task.last);
    if (whole.never) starved = true;
    else if (!whole.value || !period) unknown_above = true;
    else {
      above.emplace_back(*period, *whole.value);
      above_cost += *whole.value;
    }
  }

  bool all_meet = !p.threads.empty();
  a.verdict = Verdict::Meets;
  for (const auto& t : a.threads) {
    if (t.verdict == Verdict::Misses) {
      a.verdict = Verdict::Misses;
      return a;
    }
    if (t.verdict != Verdict::Meets) all_meet = false;
  }
  a.verdict = all_meet ? Verdict::Meets : Verdict::Unknown;
  return a;
}

std::optional<long long> hyperperiod(const Report_input& in, long long limit) {
  long long h = 1;
  bool any = false;
  for (const auto& p : in.processors)
    for (const auto& t : p.threads) {
      if (t.follows_call) continue;
      const auto per = positive(t.period);
      if (!per || *per > limit) return std::nullopt;
      h = std::lcm(h, *per);
      any = true;
      if (h > limit) return std::nullopt;
    }
  if (!any) return std::nullopt;
  return h;
}

}  // namespace vorquel
