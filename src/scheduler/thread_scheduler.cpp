// The library nodes and the thread schedulers of one processor.
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

// ---- thread schedulers -------------------------------------------------------------------

namespace {

// The library nodes: timer, rising_edge and first_rising_edge (always), then
// consume, drawing its execution time itself (random functions) or taking it
// as an input.
const std::string_view library_block_a =
    "\n"
    "-- interuption generator\n"
    "node timer(const period : int) returns (trig: bool);\n"
    "var cpt, pcpt:int;\n"
    "let\n"
    "  pcpt = period -> pre cpt;\n"
    "  cpt = if trig then period\n"
    "        else pcpt - 1 ;\n"
    "  trig = true -> (pcpt = 1); \n"
    "tel\n"
    "\n"
    "node rising_edge(x:bool) returns (y:bool);\n"
    "let\n"
    "  y = false -> x and not (pre x);\n"
    "tel\n"
    "\n"
    "node first_rising_edge(x,reinit:bool) returns (y:bool);\n"
    "-- y is true when x becomes true for the first time \n"
    "-- since the beginning  or the last reinit\n"
    "var\n"
    "  -- this var is used to encode a 2-state automaton\n"
    "  y_has_been_emitted : bool;\n"
    "let\n"
    "  y =  false -> \n"
    "     if ((not pre y_has_been_emitted) and rising_edge(x)) then true\n"
    "     else if (pre y_has_been_emitted and reinit) then false\n"
    "     else false ;\n"
    "  y_has_been_emitted =  false -> \n"
    "     if ((not pre y_has_been_emitted) and rising_edge(x)) then true\n"
    "     else if (pre y_has_been_emitted and reinit) then false\n"
    "     else pre y_has_been_emitted;\n"
    "tel\n";

const std::string_view library_block_b =
    "\n"
    "\n"
    "unsafe function random_int(min,max:int)returns(a:int);\n"
    "unsafe function random_bool(dummy:bool)returns(a:bool);\n"
    "\n"
    "-- cpu time counter (non-deterministic)\n"
    "node consume(const min, max: int; activate, cpu: bool)\n"
    "returns (next_dispatched, term: bool);\n"
    "var\n"
    "  dispatched, edge_activate : bool;\n"
    "  cpt, pcpt : int;\n"
    "  alea : int;\n"
    "let\n"
    "  alea = if edge_activate then random_int(min, max) else (0 -> pre alea);\n"
    "  dispatched = false -> pre next_dispatched;\n"
    "  next_dispatched = if dispatched then not term else activate;\n"
    "  edge_activate  = if dispatched then false else activate;\n"
    "  cpt = if dispatched then (if cpu then pcpt + 1 else pcpt) else 0;\n"
    "  pcpt = 0 -> pre cpt;\n"
    "  term = cpu and (cpt = alea);\n"
    "tel\n"
    "\n";

const std::string_view library_block_c =
    "\n"
    "-- cpu time counter\n"
    "node consume(in_min_max : int; activate, cpu: bool)\n"
    "returns (next_dispatched, term: bool);\n"
    "var\n"
    "  dispatched, edge_activate : bool;\n"
    "  cpt, pcpt : int;\n"
    "  alea : int;\n"
    "let\n"
    "-- in_min_max is ignored, except when activate becomes true\n"
    "  alea = if edge_activate then in_min_max else (0 -> pre alea);\n"
    "  dispatched = false -> pre next_dispatched;\n"
    "  next_dispatched, edge_activate = \n"
    "     if dispatched then (not term, false) else (activate, activate);\n"
    "  cpt = if dispatched then (if cpu then pcpt + 1 else pcpt) else 0;\n"
    "  pcpt = 0 -> pre cpt;\n"
    "  term = cpu and (cpt = alea);\n"
    "tel\n"
    "\n";

}  // namespace

namespace scheduling {

void print_library(const Options& opt, Lustre_writer& w) {
  w << library_block_a;
  w << (opt.gen_random_func ? library_block_b : library_block_c);
}

}  // namespace scheduling

namespace {

// The dispatch clock that goes with an activation clock, as one name.
void write_dispatch_clock(Lustre_writer& w, const Ident& act) {
  const Act_clock_parts c = act_clock_parts(act.str());
  w.name(c.before, dispatch_clk, c.after);
}

}  // namespace

std::string dispatch_of_act_var(std::string_view act) {
  auto pos = activate_pos(act);
  return std::string(act.substr(0, pos)) + std::string(dispatch_clk) +
         std::string(act.substr(pos + activate_marker.size()));
}

std::string thread_label(std::string_view act) {
  auto pos = activate_pos(act);
  return std::string(act.substr(0, pos)) + std::string(act.substr(pos + activate_marker.size()));
}

void decl_n_bool(std::string_view prefix, int k, Lustre_writer& w, bool last) {
  decl_n(w, prefix, k, "bool", last);
}

void decl_n_int(std::string_view prefix, int k, Lustre_writer& w, bool last) {
  decl_n(w, prefix, k, "int", last);
}

namespace scheduling {

void dump_oracle_list(const std::vector<Oracle_ref>& l, std::string_view sep, Lustre_writer& w) {
  for (const auto& o : l) {
    const Ident& act = o.act_clock();
    w << act << ", ";
    write_dispatch_clock(w, act);
    w << ", " << o.deliv->clock << sep;
  }
}

void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const std::vector<Oracle_ref>& l, Lustre_writer& w, bool last) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    w << " ";
    w.numbered(label, l[i].number) << type;
    if (!(last && i + 1 == l.size())) w << sep;
  }
}

}  // namespace scheduling

void dump_oracle_list(const Numbered_items& items, std::string_view sep, Lustre_writer& w) {
  dump_oracle_list(oracle_refs(items), sep, w);
}

void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const Numbered_items& items, Lustre_writer& w, bool last) {
  dump_oracle_list_lbl(label, type, sep, oracle_refs(items), w, last);
}

void gen_thread_scheduler(const Options& opt, std::string_view processor, int n, const Numbered_items& items, Lustre_writer& w) {
  const auto threads = oracle_refs(items);
  w << "\nnode ";
  w.name("schedule_", processor, "_threads") << "(\n";
  if (opt.gen_random_func) {
    w << "dummy_in:bool";
  } else {
    w << "      ";
    decl_n_int("in_min_max", n, w, true);
  }
  w << ")\nreturns(\n";
  dump_oracle_list(threads, " : bool;\n ", w);
  dump_oracle_list_lbl("dispatched", " : bool", ";\n", threads, w, false);
  dump_oracle_list_lbl("cpu", " : bool", ";\n", threads, w, true);
  w << ");\nvar\n" << "    ";
  decl_n_bool("next_dispatched", n, w, false);
  w << "let\n";
  // Periodic threads are dispatched by a timer; a later call of a call
  // sequence when the preceding call completes.
  for (const auto& o : threads) {
    w << "  ";
    write_dispatch_clock(w, o.act_clock());
    if (const auto* p = std::get_if<Periodic>(o.act))
      w << " = timer(" << p->period << ");\n";
    else
      w << " = " << std::get<DefinedBy>(*o.act).defined_by << ";\n";
  }
  int c = 0;
  for (const auto& o : threads) {
    ++c;
    w << "  ";
    w.numbered("next_dispatched", o.number) << ", " << o.deliv->clock << " = consume(\n   ";
    if (opt.gen_random_func)
      w << o.deliv->lower << ", " << o.deliv->upper << ", ";
    else
      w.numbered("in_min_max", c) << ", ";
    write_dispatch_clock(w, o.act_clock());
    w << ", ";
    w.numbered("cpu", o.number) << ");\n";
  }
  for (c = 1; c <= static_cast<int>(threads.size()); ++c) {
    w << "  ";
    w.numbered("dispatched", c) << " = false -> pre ";
    w.numbered("next_dispatched", c) << ";\n";
  }
  w << "  ";
  dump_n_var(w, "cpu", n);
  w << " = " << "cpu_from_dispatched_" << n << "(";
  dump_n_var(w, "dispatched", n);
  w << ");\n";
  w << "\n-- We read inputs when the thread starts having the cpu\n";
  for (const auto& o : threads) {
    w << "  " << o.act_clock() << " = first_rising_edge(";
    w.numbered("cpu", o.number) << ", " << "not ";
    w.numbered("dispatched", o.number) << ");\n";
  }
  w << "tel\n";
}

void gen_condact_thread_scheduler(const Options& opt, std::string_view processor, int n, const Numbered_items& items,
                                  Lustre_writer& w) {
  const bool random = opt.gen_random_func;
  const auto threads = oracle_refs(items);
  w << "\nnode ";
  w.name("condact_schedule_", processor, "_threads") << "(\n";
  if (!random) {
    w << "      ";
    decl_n_int("in_min_max", n, w, false);
  }
  w << "      " << "qs_tick:bool)\nreturns(\n";
  dump_oracle_list(threads, " : bool;\n ", w);
  dump_oracle_list_lbl("dispatched", " : bool", ";\n", threads, w, false);
  dump_oracle_list_lbl("cpu", " : bool", ";\n", threads, w, true);
  w << ");\nlet\n";
  dump_oracle_list(threads, ",\n ", w);
  dump_oracle_list_lbl("dispatched", "", ",\n    ", threads, w, false);
  dump_oracle_list_lbl("cpu", "", ",\n    ", threads, w, true);
  w << " \n\t= \n\tif qs_tick \n\tthen\n\t\tcurrent (";
  w.name("schedule_", processor, "_threads") << "(";
  if (random) {
    w << "true when qs_tick))\n";
  } else {
    for (int i = 1; i <= n; ++i) {
      w << "\n\t\t\t    ";
      w.numbered("in_min_max", i) << " when qs_tick";
      if (i < n) w << ",";
    }
    w << "))";
  }
  // Three clocks, dispatched and cpu for every thread.
  w << " \n\telse\n\t\t((";
  const int values = 5 * n;
  for (int i = 0; i < values; ++i) w << (i > 0 ? ", false" : "false");
  w << "));\ntel\n";
}

}  // namespace vorquel
