// The verification node (the assumptions on the environment) and the
// simulation scenario.
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

// ---- verification node and scenario -----------------------------------------------------------

void gen_schedule_oracle(const Options& opt, const std::string& base, const Si_tree& tree, Lustre_writer& w) {
  const int n = static_cast<int>(tree.size());
  const bool random = opt.gen_random_func;
  w << "\n-- to be used for formal verification \n";
  // The user's entry point for verification: nothing else in the program
  // refers to it, and it keeps the name the output base gives it.
  w << "node schedule_" << base << "_oracles_properties(\n";
  if (random) {
    w << "dummy:bool";
  } else {
    print_release_vars(tree, w, "_min_max:int", ";\n", n > 1);
    if (n > 1) {
      w << "   ";
      decl_n(w, "alea", n, "bool", true);
    }
  }
  w << ") \nreturns (ok:bool);\nlet\n";
  if (!random) {
    w << "  ok =\n";
    for_each_thread(tree, [&](const Processor_entry&, const Oracle_ref& o) {
      const Deliv_info& d = *o.deliv;
      w << "    ( " << d.lower << " <= ";
      w.name(d.clock.str(), "_min_max") << " and ";
      w.name(d.clock.str(), "_min_max") << " <= " << d.upper << ") and\n";
    });
    w << "    true;\n";
  } else {
    // Execution times are drawn inside the program: nothing to assume.
    w << "  ok = true;\n";
  }
  w << "tel\n";
}

void gen_schedule_zorbel(const Options& opt, const std::string&, const Si_tree& tree, const Node& top_node, Lustre_writer& w) {
  const int n = static_cast<int>(tree.size());
  const bool random = opt.gen_random_func, show = opt.show_scheduling_vars;
  w << "\n-- to be used for simulation \n";
  // The scenario reads back the system's outputs...
  if (top_node.outputs.empty() && !show) {
    w << "inputs { } \n";
  } else {
    w << "inputs {\n   ";
    print_decls(w, ";\n   ", top_node.outputs);
    if (show) {
      if (!top_node.outputs.empty()) w << ";\n  ";
      for (const auto& [name, type] : top_node.oracles) w << name << " : " << type << ";\n  ";
      if (n > 1)
        for (int k = 1; k <= n; ++k) w.numbered("qs_tick", k) << " : bool;\n  ";
      const bool any_thread = !tree_is_empty(tree);
      print_scheduling_vars(w, " : bool;\n  ", tree, true);
      if (any_thread) w << " : bool;\n  ";
      print_scheduling_vars(w, " : bool;\n  ", tree, false);
      if (any_thread) w << " : bool;\n";
      if (opt.check_schedulability) w << "  schedul_ok : bool\n";
    }
    w << "}\n\n";
  }
  // ... and draws its inputs.
  w << "outputs {";
  if (top_node.inputs.empty() && random)
    w << "dummy_in:bool";
  else
    for (const auto& [name, type] : top_node.inputs) w << name << " : " << type << ";\n   ";
  w << "\n";
  if (!random) {
    print_release_vars(tree, w, "_min_max:int", ";\n", n > 1);
    if (n > 1)
      for (int k = 1; k <= n; ++k) w.numbered("alea", k) << " : bool;\n   ";
  }
  w << "}\n\nstates { loop : stable }  \nstart_state  { loop } \n  \ntransitions {\n loop -> loop ~cond\n   ";
  if (!random) {
    for_each_thread(tree, [&](const Processor_entry&, const Oracle_ref& o) {
      const Deliv_info& d = *o.deliv;
      w << d.lower << " <= ";
      w.name(d.clock.str(), "_min_max") << " and ";
      w.name(d.clock.str(), "_min_max") << " <= " << d.upper << " and \n   ";
    });
  }
  w << "true\n}\n";
}

}  // namespace vorquel
