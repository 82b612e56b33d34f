// Each thread carries the state of the generated nodes that drive it: the
// timer's counter, consume's pending job, counter and execution time, and
// first_rising_edge's memory. One step computes, in the order of the data
// dependencies of the generated equations, the values of one instant.
#include "report/timeline.hpp"

#include <numeric>

namespace vorquel {

namespace {

struct Thread_state {
  long long timer = 0;           // timer's cpt at the previous instant
  bool next_dispatched = false;  // consume's next_dispatched, previous instant
  long long alea = 0;            // the execution time of the job in progress
  long long count = 0;           // consume's cpt, previous instant
  bool cpu = false;              // previous instant
  bool emitted = false;          // first_rising_edge's y_has_been_emitted
};

std::optional<std::string> unknown_value(const Report_processor& p) {
  for (const auto& t : p.threads) {
    if (!t.follows_call && !t.period.value) return "the period of " + t.path + " is the named constant " + t.period.text;
    if (!t.max_exec.value)
      return "the maximum execution time of " + t.path + " is the named constant " + t.max_exec.text;
  }
  return std::nullopt;
}

void step(const Report_processor& p, std::vector<Thread_state>& st, Processor_trace& tr, long long t) {
  const std::size_t n = p.threads.size();
  std::vector<bool> disp(n), cpu(n), term(n), dispatch(n);
  // dispatched_i = false -> pre next_dispatched_i; the arbiter gives the
  // processor to the first dispatched thread in priority order.
  bool taken = false;
  for (std::size_t i = 0; i < n; ++i) {
    disp[i] = t > 0 && st[i].next_dispatched;
    cpu[i] = disp[i] && !taken;
    taken = taken || cpu[i];
  }
  std::vector<long long> count(n);
  for (std::size_t i = 0; i < n; ++i) {
    count[i] = disp[i] ? st[i].count + (cpu[i] ? 1 : 0) : 0;
    term[i] = cpu[i] && count[i] == st[i].alea;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Report_thread& th = p.threads[i];
    if (th.follows_call && i > 0) {
      dispatch[i] = term[i - 1];
    } else {
      // timer(period): trig = true -> (pcpt = 1); cpt = if trig then period else pcpt - 1
      const long long period = *th.period.value;
      const bool trig = t == 0 || st[i].timer == 1;
      st[i].timer = trig ? period : st[i].timer - 1;
      dispatch[i] = trig;
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    Thread_state& s = st[i];
    Thread_trace& r = tr.threads[i];
    const bool edge = !disp[i] && dispatch[i];
    s.next_dispatched = disp[i] ? !term[i] : dispatch[i];
    if (edge) s.alea = *p.threads[i].max_exec.value;
    s.count = count[i];
    // first_rising_edge(cpu, not dispatched)
    const bool rising = t > 0 && cpu[i] && !s.cpu;
    const bool activate = t > 0 && !s.emitted && rising;
    s.emitted = t == 0 ? false : (!s.emitted && rising) ? true : (s.emitted && !disp[i]) ? false : s.emitted;
    s.cpu = cpu[i];

    const bool miss = dispatch[i] && disp[i];
    r.dispatch.push_back(dispatch[i]);
    r.dispatched.push_back(disp[i]);
    r.cpu.push_back(cpu[i]);
    r.activate.push_back(activate);
    r.release.push_back(term[i]);
    r.miss.push_back(miss);
    // The job in progress is the last one unless it has been released.
    Job* job = !r.jobs.empty() && !r.jobs.back().release ? &r.jobs.back() : nullptr;
    if (job && cpu[i]) {
      if (!job->runs.empty() && job->runs.back().second == t - 1) job->runs.back().second = t;
      else job->runs.emplace_back(t, t);
    }
    if (job && term[i]) job->release = t;
    if (job && miss && !job->miss) job->miss = t;
    if (edge) r.jobs.push_back(Job{t, {}, std::nullopt, std::nullopt});
  }
}

}  // namespace

Timeline simulate_timeline(const Report_input& in, long long horizon) {
  Timeline tl;
  long long h = 1;
  bool any = false, overflow = false;
  for (const auto& p : in.processors) {
    Processor_trace tr;
    if (auto why = unknown_value(p)) {
      tr.why_not = *why;
    } else if (p.threads.empty()) {
      tr.why_not = "no thread";
    } else {
      tr.simulated = true;
      tr.threads.resize(p.threads.size());
      for (const auto& t : p.threads) {
        if (t.follows_call) continue;
        const long long per = *t.period.value;
        if (per < 1 || per > 1'000'000'000 || overflow) {
          overflow = true;
          continue;
        }
        h = std::lcm(h, per);
        if (h > 1'000'000'000) overflow = true;
        any = true;
      }
    }
    tl.processors.push_back(std::move(tr));
  }
  if (any && !overflow) tl.hyperperiod = h;
  tl.ticks = (tl.hyperperiod ? std::min(*tl.hyperperiod, horizon) : horizon) + 1;
  tl.capped = !tl.hyperperiod || *tl.hyperperiod > horizon;

  for (std::size_t k = 0; k < in.processors.size(); ++k) {
    Processor_trace& tr = tl.processors[k];
    if (!tr.simulated) continue;
    const Report_processor& p = in.processors[k];
    std::vector<Thread_state> st(p.threads.size());
    for (long long t = 0; t < tl.ticks; ++t) step(p, st, tr, t);
    for (const auto& th : tr.threads)
      for (long long t = 0; t < tl.ticks; ++t)
        if (th.miss[t]) {
          if (!tl.first_miss || t < *tl.first_miss) tl.first_miss = t;
          break;
        }
  }
  return tl;
}

}  // namespace vorquel
