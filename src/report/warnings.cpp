#include "report/warnings.hpp"

#include <map>

#include "report/analysis.hpp"
#include "report/report_html.hpp"

namespace vorquel {

namespace {

struct Immediate_link {
  std::string sender, sender_port, receiver, receiver_port;  // instance paths
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
            Immediate_link{path + "." + k.src_component, k.src_port, path + "." + k.dst_component, k.dst_port});
    immediate_connections(c.children, path + ".", found);
  }
}

bool same_period(const Report_thread& a, const Report_thread& b) {
  return a.period.value == b.period.value && a.period.text == b.period.text;
}

}  // namespace

std::vector<Diagnostic> scheduling_warnings(const Report_input& in, bool immediate_first) {
  std::vector<Diagnostic> warnings;
  std::vector<Immediate_link> immediate;
  immediate_connections(in.architecture.components, "", immediate);

  for (const auto& p : in.processors) {
    std::map<std::string, const Report_thread*> by_path;
    for (const auto& t : p.threads)
      if (!t.follows_call) by_path.emplace(t.path, &t);
    // Same-period immediate connections: the sender first, or a warning.
    std::vector<std::pair<const Report_thread*, const Report_thread*>> equal;
    for (const auto& c : immediate) {
      auto s = by_path.find(c.sender), r = by_path.find(c.receiver);
      if (s == by_path.end() || r == by_path.end() || !same_period(*s->second, *r->second)) continue;
      equal.emplace_back(s->second, r->second);
      if (r->second->priority < s->second->priority)
        warnings.push_back(make_warning(
            "the immediate connection " + c.sender + "." + c.sender_port + " -> " + c.receiver + "." +
            c.receiver_port + " joins two threads of period " + s->second->period.text + " on " + p.name +
            ", but the receiver has the higher priority: " + c.receiver + " reads the value " + c.sender +
            " produced in the previous period" + (immediate_first ? "" : " (--immediate-first runs the sender first)")));
    }
    if (immediate_first) {
      // A receiver before its sender although the senders go first: their
      // connections go round in a cycle.
      for (const auto& [s, r] : equal)
        if (r->priority < s->priority) {
          warnings.push_back(make_warning("the immediate connections between threads of period " + s->period.text +
                                          " on " + p.name + " form a cycle: their usual order is kept"));
          break;
        }
    }

    const Processor_analysis a = analyse_processor(p);
    if (a.utilisation && *a.utilisation > 1.0)
      warnings.push_back(make_warning("processor " + p.name + " is loaded at " + percent(*a.utilisation) +
                                      " (maximum execution time over period): its threads cannot all meet "
                                      "their deadlines"));
    for (const auto& t : p.threads)
      if (t.max_exec.value && t.period.value && *t.max_exec.value > *t.period.value)
        warnings.push_back(make_warning("thread " + t.path + " has a maximum execution time (" + t.max_exec.text +
                                        ") above its period (" + t.period.text + ")"));
  }
  return warnings;
}

}  // namespace vorquel
