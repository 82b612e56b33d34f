// The main scheduler, the scheduled top-level node and the schedulability
// observer.
#include "scheduler/scheduler.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "aadl/property.hpp"
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/options.hpp"
#include "printer/sync_printer.hpp"
#include "scheduler/internal.hpp"
#include "sync/clock_names.hpp"

namespace vorquel {

using namespace scheduling;

namespace {

// A thread watched by the schedulability observer: the text around the
// first "_dispatch_clk" of one of the top node's oracles.
struct Observed {
  std::string pre, suf;
  std::string x() const { return pre + suf; }
  std::string clock(std::string_view kind) const { return pre + std::string(kind) + suf; }
};

std::vector<Observed> observed_threads(const Node& top_node) {
  static constexpr std::string_view marker = dispatch_clk;
  std::vector<Observed> l;
  for (auto it = top_node.oracles.rbegin(); it != top_node.oracles.rend(); ++it) {
    const std::string& s = it->first.str();
    auto pos = s.find(marker);
    if (pos != std::string::npos) l.push_back({s.substr(0, pos), s.substr(pos + marker.size())});
  }
  return l;
}

enum class State { Idle, Dispatched, Running };

std::string_view state_name(State s) {
  switch (s) {
    case State::Idle: return "idle";
    case State::Dispatched: return "dispatched";
    case State::Running: return "running";
  }
  return "";
}

// A transition of the observer: the state held at the previous instant and
// the values of the activation, release and dispatch clocks now.
struct Transition {
  State from;
  bool a, r, d;
};

void gen_observer_equation(Lustre_writer& w, const Observed& t, State to, const std::vector<Transition>& rows) {
  const std::string x = t.x();
  const std::string a = t.clock(activate_clk), r = t.clock(release_clk), d = t.clock(dispatch_clk);
  w << "  ";
  w.name(state_name(to), x) << " = ";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Transition& row = rows[i];
    if (i > 0) w << " or \n\t  ";
    w << "((" << (row.from == State::Idle ? "true" : "false") << " -> pre ";
    w.name(state_name(row.from), x) << ")";
    w << (row.a ? " and " : " and not ");
    w.name(a);
    w << (row.r ? " and " : " and not ");
    w.name(r);
    // The dispatch from idle straight to running carries an extra blank.
    bool running_from_idle = to == State::Running && row.from == State::Idle;
    w << (row.d ? (running_from_idle ? " and  " : " and ") : " and not ");
    w.name(d);
    w << ")";
  }
  w << ";\n";
}

void gen_observer(Lustre_writer& w, const Observed& t) {
  gen_observer_equation(w, t, State::Idle,
                        {{State::Idle, false, false, false},
                         {State::Idle, true, true, true},
                         {State::Dispatched, true, true, false},
                         {State::Running, false, true, false}});
  gen_observer_equation(w, t, State::Dispatched,
                        {{State::Dispatched, false, false, false}, {State::Idle, false, false, true}});
  gen_observer_equation(w, t, State::Running,
                        {{State::Running, false, false, false},
                         {State::Dispatched, true, false, false},
                         {State::Idle, true, false, true}});
  const std::string x = t.x();
  w << "  ";
  w.name("ok_", x) << " = ";
  w.name("idle", x) << " or ";
  w.name("dispatched", x) << " or ";
  w.name("running", x) << ";\n";
}

}  // namespace

// ---- main scheduler and scheduled top-level node --------------------------------------------

void print_release_vars(const Si_tree& tree, Lustre_writer& w, std::string_view suffix, std::string_view sep,
                        bool last) {
  out("\n");
  // The suffix is the rest of the name ("_min_max"), then maybe a type.
  const auto colon = std::min(suffix.find(':'), suffix.size());
  const std::string_view name_rest = suffix.substr(0, colon), type = suffix.substr(colon);
  // Every thread but the very last one is followed by sep.
  bool first = true;
  for_each_thread(tree, [&](const Processor_entry&, const Oracle_ref& o) {
    if (!first) w << sep;
    first = false;
    w << "  ";
    w.name(o.deliv->clock.str(), name_rest) << type;
  });
  if (last && !first) w << sep;
}

namespace {

// The prefix of the main scheduler's variables of processor k (of n) that
// are numbered by thread: "dispatched" k, then the thread number. From 11
// processors on, an "_" separates the two numbers, which side by side would
// name processor 1 thread 11 and processor 11 thread 1 alike.
std::string per_processor(std::string_view prefix, int k, int n) {
  std::string s(prefix);
  s += std::to_string(k);
  if (n >= 11) s += '_';
  return s;
}

}  // namespace

void gen_main_sched(const Options& opt, const std::string& base, const Si_tree& tree, Lustre_writer& w, const Node& top_node) {
  const int n = static_cast<int>(tree.size());
  const auto counts = compute_thread_nb(tree);
  const bool random = opt.gen_random_func, check = opt.check_schedulability;
  const auto observed = check ? observed_threads(top_node) : std::vector<Observed>{};
  VQ_ASSERT(!check || !observed.empty(), "no thread of " + top_node.name.str() + " has a dispatch clock to observe");

  w << "node ";
  w.name("schedule_", base);
  if (random) {
    w << "(dummy : bool) returns ( \n  ";
  } else {
    w << "(" << "\n  ";
    print_release_vars(tree, w, "_min_max:int", ";\n", n > 1);
    w << "   ";
    if (n > 1) {
      decl_n(w, "alea", n, "bool", true);
    }
    w << ") returns ( \n  ";
  }
  for (const auto& [name, type] : top_node.oracles) w << name << " : " << type << ";\n  ";
  if (n > 1) {
    decl_n(w, "qs_tick", n, "bool", false);
  }
  // Processor k, thread i: "dispatched" k i, the two numbers side by side
  // (or apart, from 11 processors on).
  for (int k = 1; k <= n; ++k) {
    w << "  ";
    decl_n(w, per_processor("dispatched", k, n), counts[k - 1], "bool", false);
  }
  for (int k = 1; k <= n; ++k) {
    w << "  ";
    decl_n(w, per_processor("cpu", k, n), counts[k - 1], "bool", k == n && !check);
  }
  if (check) w << "  schedul_ok:bool";
  w << ");\n";
  if (check || (random && n > 1)) w << "var\n";
  if (random && n > 1) {
    decl_n(w, "alea", n, "bool", false);
  }
  if (check) {
    w << "-- Some state for defining the oracle deciding if the scheduling is correct\n";
    for (const auto& t : observed) {
      const std::string x = t.x();
      w << "   ";
      w.name("idle", x) << ", ";
      w.name("dispatched", x) << ", ";
      w.name("running", x) << ", ";
      w.name("ok_", x) << " :bool;\n";
    }
  }
  w << "\nlet\n";
  for (int k = 1; k <= n; ++k) {
    const Processor_entry& entry = tree[k - 1];
    const auto threads = oracle_refs(entry.items);
    w << "  \n    ";
    dump_oracle_list(threads, ",\n ", w);
    dump_n_var(w, per_processor("dispatched", k, n), counts[k - 1]);
    w << ", \n" << "    ";
    dump_n_var(w, per_processor("cpu", k, n), counts[k - 1]);
    w << "\n" << " = ";
    w.name("condact_schedule_", entry.processor.str(), "_threads") << "(";
    if (!random)
      for (const auto& o : threads) {
        w << "  ";
        w.name(o.deliv->clock.str(), "_min_max") << ",\n   ";
      }
    if (n > 1)
      w.numbered("qs_tick", k);
    else
      w << "true";
    w << "\n   );\n";
  }
  if (random && n > 1)
    for (int k = 1; k <= n; ++k) {
      w << "  ";
      w.numbered("alea", k) << " = random_bool(dummy);\n";
    }
  w << "  ";
  if (n > 1) {
    dump_n_var(w, "qs_tick", n);
    w << " = quasi_synchronous_scheduler(";
    dump_n_var(w, "alea", n);
    w << ");\n";
  }
  if (check) {
    w << "-- check (runtime/a posteriori) the schedulability\n";
    for (const auto& t : observed) gen_observer(w, t);
    w << "   schedul_ok = ";
    for (std::size_t i = 0; i < observed.size(); ++i) {
      if (i > 0) w << " and ";
      w.name("ok_", observed[i].x());
    }
    w << ";\n\n";
  }
  w << "tel\n";
}

void print_scheduled_node(const Options& opt, const std::string& base, const Si_tree& tree, Lustre_writer& w, const Node& top_node) {
  const int n = static_cast<int>(tree.size());
  const bool random = opt.gen_random_func, check = opt.check_schedulability, show = opt.show_scheduling_vars;
  const Ident& nm = top_node.name;
  const bool many_inputs = top_node.inputs.size() >= 2;

  w << "\n----------------------------------------------------------------\n";
  w << "-- scheduled version of node " << nm.str() << "\n\n";
  w << "node ";
  w.name(base) << "(" << (many_inputs ? "\n" : "") << "   ";
  if (top_node.inputs.empty() && random)
    w << "dummy_in:bool";
  else
    for (const auto& [name, type] : top_node.inputs) w << name << " : " << type << ";\n   ";
  if (!random) {
    print_release_vars(tree, w, "_min_max:int", ";\n", n > 1);
    if (n > 1) {
      decl_n(w, "alea", n, "bool", true);
    }
  }
  w << ")\nreturns (" << (many_inputs ? "\n" : "") << "   ";
  // A node without outputs still gets one, so that its call below has a
  // left-hand side and the declarations that follow have a separator.
  if (top_node.outputs.empty())
    w << "dummy_out:bool";
  else
    print_decls(w, ";\n   ", top_node.outputs);
  if (show) {
    w << ";\n" << "-- we output the scheduler clocks to see what is going on "
      << "(cf --show-scheduling-vars option).\n  ";
  } else {
    if (check) w << ";" << " schedul_ok:bool";
    w << ")\nvar\n  ";
  }
  for (const auto& [name, type] : top_node.oracles) w << name << " : " << type << ";\n  ";
  if (n > 1) {
    decl_n(w, "qs_tick", n, "bool", false);
  }
  w << "  ";
  print_scheduling_vars(w, ", ", tree, true);
  w << " : bool;\n  ";
  print_scheduling_vars(w, ", ", tree, false);
  w << " : bool";
  if (check && show) w << "; schedul_ok:bool";
  // The outputs' list closes here; local declarations end with ";" as well.
  w << (show ? ");" : ";");
  w << "\n" << "\nlet\n    ";
  print_names(w, ",\n    ", top_node.oracles);
  if (n > 1) {
    w << ", ";
    dump_n_var(w, "qs_tick", n);
  }
  w << ",\n    ";
  print_scheduling_vars(w, ",\n     ", tree, true);
  w << ",";
  print_scheduling_vars(w, ",\n     ", tree, false);
  if (check) w << "," << "  schedul_ok";
  w << "\n      = ";
  w.name("schedule_", base) << "(";
  if (random) {
    w << "true);";
  } else {
    print_release_vars(tree, w, "_min_max", ",\n   ", n > 1);
    if (n > 1) dump_n_var(w, "alea", n);
    w << "\n    );\n";
  }
  w << "\n" << "  ";
  if (top_node.outputs.empty())
    w << "dummy_out";
  else
    print_names(w, ",\n    ", top_node.outputs);
  w << "\n     = " << nm << "\n  (\n     ";
  print_names(w, ",\n     ", top_node.inputs);
  if (!top_node.inputs.empty()) w << ",\n     ";
  print_names(w, ",\n    ", top_node.oracles);
  w << "\n  );\n";
  w << "\n" << "tel;" << "\n" << "\n";
}

}  // namespace vorquel
