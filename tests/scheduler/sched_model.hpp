// Translated models built directly in an Env, for the scheduler tests: the
// scheduler reads only the top system's bindings and calls, the local-names table and
// the nodes' sched_infos, inputs, outputs and oracles.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "env/env.hpp"
#include "scheduler/scheduler.hpp"
#include "sync/sync_ast.hpp"

namespace vorquel::testing {

inline Integer lit(long long v) { return Integer::literal(v); }
inline Integer named(const std::string& n) { return Integer::of_name(of_string(n)); }

inline Ident act_clk(const std::string& inst) { return Ident("_" + inst + "_activate_clk"); }
inline Ident rel_clk(const std::string& inst) { return Ident("_" + inst + "_release_clk"); }

// A thread of a thread type (or the first call of a sequence).
inline Si timed(const std::string& classifier, const std::string& inst, Integer period, Integer lo, Integer hi) {
  return Si_timed{of_string(classifier), Periodic{act_clk(inst), std::move(period)},
                  Deliv_info{rel_clk(inst), std::move(lo), std::move(hi)}};
}
// A later call, activated by the release of the call `prev`.
inline Si timed_after(const std::string& classifier, const std::string& inst, const std::string& prev, Integer lo,
                      Integer hi) {
  return Si_timed{of_string(classifier), DefinedBy{act_clk(inst), rel_clk(prev)},
                  Deliv_info{rel_clk(inst), std::move(lo), std::move(hi)}};
}
inline Si plain(const std::string& classifier) { return Si_plain{of_string(classifier)}; }

// The three clocks of every instance, in the order the translation gives them.
inline std::vector<Typed_ident> clocks_of(const std::vector<std::string>& instances) {
  std::vector<Typed_ident> l;
  for (const auto& i : instances)
    for (const char* k : {"_activate_clk", "_dispatch_clk", "_release_clk"})
      l.emplace_back(Ident("_" + i + k), tbool());
  return l;
}

inline std::vector<Typed_ident> vars(const std::vector<std::pair<std::string, std::string>>& l) {
  std::vector<Typed_ident> out;
  for (const auto& [n, t] : l) out.emplace_back(of_string(n), tnamed(of_string(t)));
  return out;
}

inline Node make_node(std::vector<Typed_ident> inputs = {}, std::vector<Typed_ident> outputs = {},
                      std::vector<Typed_ident> oracles = {}) {
  return Node{Ident("_"), std::move(inputs), std::move(oracles), std::move(outputs), {}, {}, {}, {}};
}

struct Sched_model {
  Env env;

  // A translated component whose sched_infos are given in sub-component (or
  // call) order; the node stores them most recent first.
  // Its oracles are the clocks of its threads (and of the calls of its
  // thread implementations), as propagation gives them.
  Sched_model& add(const std::string& name, Category cat, std::vector<Si> in_order) {
    Component c{of_string(name), Component_kind::Implementation, cat, {}, {}, {}, {}, {}, {}, {}, true};
    auto n = std::make_shared<Node>(make_node());
    n->name = c.name;
    for (const Si& si : in_order) {
      if (const auto* t = std::get_if<Si_timed>(&si)) {
        const Ident& act = act_clock(t->activation);
        for (const Ident& clock : {act, Ident(dispatch_of_act_var(act.str())), t->delivery.clock})
          n->oracles.emplace_back(clock, tbool());
      } else if (const Entry* e = env.find(std::get<Si_plain>(si).name); e && e->def) {
        const auto& callee = *std::get<Node_def>(*e->def).node;
        n->oracles.insert(n->oracles.end(), callee.oracles.begin(), callee.oracles.end());
      }
    }
    n->sched_infos.assign(in_order.rbegin(), in_order.rend());
    auto decl = std::make_shared<const Declaration>(c);
    env = env.add_decl(decl).update(c.name, Entry{decl, Node_def{n}});
    return *this;
  }

  // A translated component with the whole of its node.
  Sched_model& add_node(Category cat, Node node) {
    Component c{node.name, Component_kind::Implementation, cat, {}, {}, {}, {}, {}, {}, {}, true};
    auto decl = std::make_shared<const Declaration>(c);
    env = env.add_decl(decl).update(c.name, Entry{decl, Node_def{std::make_shared<const Node>(std::move(node))}});
    return *this;
  }

  // The top-level system: its process sub-components (local name,
  // classifier), its bindings (processor, local name) in association order,
  // and its translated node.
  Sched_model& system(const std::string& name, const std::vector<std::pair<std::string, std::string>>& subs,
                const std::vector<std::pair<std::string, std::string>>& bindings, Node node) {
    Component c{of_string(name), Component_kind::Implementation, Category::System, {}, {}, {}, {}, {}, {}, {}, true};
    for (const auto& [local, cls] : subs) c.subcomponents.push_back(Subcomponent{Ident(local), Category::Process, of_string(cls), {}});
    for (const auto& [cpu, local] : bindings)
      c.properties.push_back(Property_association{Ident("Actual_Processor_Binding"), {Pv_reference{Ident(cpu)}}, Ident(local)});
    // A call per translated sub-component, with its instance. The k-th
    // instance of one classifier (k > 1) in the order the scheduler walks the
    // bound sub-components (by processor, processors and sub-components in
    // the order of their first binding) passes the callee's clocks suffixed
    // with "_k".
    std::vector<std::string> cpus, walk;
    std::map<std::string, std::vector<std::string>> bound_on;
    std::set<std::string> bound;
    for (const auto& [cpu, local] : bindings) {
      if (!bound.insert(local).second) continue;
      if (!bound_on.count(cpu)) cpus.push_back(cpu);
      bound_on[cpu].push_back(local);
    }
    for (const auto& cpu : cpus) walk.insert(walk.end(), bound_on[cpu].begin(), bound_on[cpu].end());
    for (const auto& [local, cls] : subs)
      if (!bound.count(local)) walk.push_back(local);
    std::map<std::string, int> seen;
    for (const auto& local : walk) {
      const auto sub = std::find_if(subs.begin(), subs.end(), [&](const auto& s) { return s.first == local; });
      if (sub == subs.end()) continue;
      const Entry* e = env.find(of_string(sub->second));
      if (!e || !e->def || !std::holds_alternative<Node_def>(*e->def)) continue;
      Call_expr call{std::nullopt, var(of_string(sub->second)), make_expr(Tuple{}), Ident(local), {}};
      if (int k = ++seen[sub->second]; k > 1)
        for (const auto& o : std::get<Node_def>(*e->def).node->oracles)
          call.oracle_args.push_back(add_suffix("_" + std::to_string(k), o.first));
      node.equations.push_back(Equation{Pattern{PTuple{}}, make_expr(std::move(call))});
    }
    node.name = c.name;
    auto decl = std::make_shared<const Declaration>(c);
    env = env.add_decl(decl).update(c.name, Entry{decl, Node_def{std::make_shared<const Node>(std::move(node))}});
    return *this;
  }
};

}  // namespace vorquel::testing

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <functional>

#include "base/channel.hpp"
#include "base/options.hpp"
#include "printer/lustre_writer.hpp"
#include "scheduler/scheduler.hpp"
#include "test_util.hpp"

namespace vorquel::testing {

// What f wrote to standard output (a fatal error reported as the driver
// reports it), and what it threw (if anything).
struct Captured {
  std::string out;
  std::exception_ptr error;
  template <class E>
  bool threw() const {
    if (!error) return false;
    try {
      std::rethrow_exception(error);
    } catch (const E&) {
      return true;
    } catch (...) {
    }
    return false;
  }
};

inline Captured capture_stdout(const std::function<void()>& f) {
  std_out().flush();
  std::string path = make_temp_dir("stdout") + "/out";
  FILE* file = std::fopen(path.c_str(), "w");
  int saved = ::dup(1);
  ::dup2(::fileno(file), 1);
  Captured c;
  try {
    f();
  } catch (const Fatal& e) {
    report(e.diagnostic);  // as the driver reports it
    c.error = std::current_exception();
  } catch (...) {
    c.error = std::current_exception();
  }
  std_out().flush();
  ::dup2(saved, 1);
  ::close(saved);
  std::fclose(file);
  c.out = read_file(path);
  return c;
}

// A writer whose text is collected in memory.
class Sink {
 public:
  explicit Sink(Dialect d = Dialect::Lustre) : writer_(channel_, d, names_) {}
  Lustre_writer& w() { return writer_; }
  const std::string& text() {
    channel_.flush();
    return text_;
  }

 private:
  std::string text_;
  Channel channel_{text_};
  Short_names names_;
  Lustre_writer writer_;
};

// print_scheduler for the top-level system, with a run's writer on the
// channels given (standard output by default).
inline void run_scheduler(const Options& o, const Sched_model& m, const std::string& top,
                          const Output_channels& files = {}) {
  Short_names names;
  Lustre_writer w(files, o.dialect, names);
  print_scheduler(o, w, of_string(top), m.env);
}

}  // namespace vorquel::testing
