#include "report/warnings.hpp"

#include <unordered_map>

#include "report/analysis.hpp"
#include "report/report_html.hpp"

namespace vorquel {

namespace {

struct Immediate_link {
  std::string sender, sender_port, receiver, receiver_port;  // instance paths
  std::optional<Source_location> at;
};

// The immediate connections between two sub-components of one component,
// with the instance paths of both ends.
void immediate_connections(const std::vector<Arch_component>& list, const std::string& prefix,
                           std::vector<Immediate_link>& found) {
  for (const auto& c : list) {
    const std::string path = prefix + c.name;
    for (const auto& k : c.connections)
      if (!k.delayed && !k.src_component.empty() && !k.dst_component.empty())
        found.push_back(
            Immediate_link{path + "." + k.src_component, k.src_port, path + "." + k.dst_component, k.dst_port, k.at});
    immediate_connections(c.children, path + ".", found);
  }
}

// The first pair of threads of p that the generated scheduler orders against
// the Priority values of the model: a runs first, b has the higher Priority.
// Threads come in priority order, so keeping the lowest Priority met so far
// finds it in one pass.
std::optional<std::pair<const Report_thread*, const Report_thread*>> priority_inversion(const Report_processor& p) {
  const Report_thread* lowest = nullptr;
  for (const auto& t : p.threads) {
    if (t.follows_call || !t.model_priority) continue;
    if (lowest && *t.model_priority > *lowest->model_priority) return std::pair{lowest, &t};
    if (!lowest || *t.model_priority < *lowest->model_priority) lowest = &t;
  }
  return std::nullopt;
}

bool same_period(const Report_thread& a, const Report_thread& b) {
  return a.period.value == b.period.value && a.period.text == b.period.text;
}

}  // namespace

std::vector<Diagnostic> scheduling_warnings(const Report_input& in, bool immediate_first) {
  std::vector<Diagnostic> warnings;
  for (const auto& t : in.unmodelled_time_slicing) warnings.push_back(t);
  std::vector<Immediate_link> immediate;
  immediate_connections(in.architecture.components, "", immediate);
  // Every thread by its path, with its processor; each connection is then
  // judged once, its warnings kept with its processor's.
  std::unordered_map<std::string, std::pair<std::size_t, const Report_thread*>> by_path;
  for (std::size_t k = 0; k < in.processors.size(); ++k)
    for (const auto& t : in.processors[k].threads)
      if (!t.follows_call) by_path.emplace(t.path, std::pair{k, &t});
  std::vector<std::vector<Diagnostic>> receiver_first(in.processors.size());
  std::vector<bool> cycle(in.processors.size(), false);
  for (const auto& c : immediate) {
    auto s = by_path.find(c.sender), r = by_path.find(c.receiver);
    if (s == by_path.end() || r == by_path.end() || s->second.first != r->second.first) continue;
    const Report_thread& sender = *s->second.second;
    const Report_thread& receiver = *r->second.second;
    if (!same_period(sender, receiver) || receiver.priority > sender.priority) continue;
    const std::size_t k = s->second.first;
    receiver_first[k].push_back(make_warning(
        "the immediate connection " + c.sender + "." + c.sender_port + " -> " + c.receiver + "." + c.receiver_port +
        " joins two threads of period " + sender.period.text + " on " + in.processors[k].name +
        ", but the receiver has the higher priority: " + c.receiver + " reads the value " + c.sender +
        " produced in the previous period" + (immediate_first ? "" : " (--immediate-first runs the sender first)"),
        c.at));
    // The senders go first unless the connections go round.
    if (immediate_first) cycle[k] = true;
  }

  for (std::size_t k = 0; k < in.processors.size(); ++k) {
    const Report_processor& p = in.processors[k];
    for (auto& w : receiver_first[k]) warnings.push_back(std::move(w));
    if (cycle[k])
      warnings.push_back(make_warning("the immediate connections between threads of equal period on " + p.name +
                                      " form a cycle: their usual order is kept"));
    const Processor_analysis a = analyse_processor(p);
    if (a.utilisation && *a.utilisation > 1.0)
      warnings.push_back(make_warning("processor " + p.name + " is loaded at " + percent(*a.utilisation) +
                                      " (maximum execution time over period): its threads cannot all meet "
                                      "their deadlines",
                                      p.at));
    if (const auto inversion = priority_inversion(p)) {
      const auto& [a, b] = *inversion;
      warnings.push_back(make_warning(
          "on " + p.name + " the generated scheduler, rate-monotonic, runs " + a->path + " (period " + a->period.text +
              ") before " + b->path + " (period " + b->period.text + "), whose Priority is higher (" +
              std::to_string(*b->model_priority) + " against " + std::to_string(*a->model_priority) +
              "): the model's Priority values are not followed",
          b->model_priority_at));
    }
    for (const auto& t : p.threads)
      if (t.max_exec.value && t.period.value && *t.max_exec.value > *t.period.value)
        warnings.push_back(make_warning("thread " + t.path + " has a maximum execution time (" + t.max_exec.text +
                                        ") above its period (" + t.period.text + ")"));
  }
  return warnings;
}

}  // namespace vorquel
