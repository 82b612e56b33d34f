// Scheduler generation for the top-level system: the scheduling tree (threads
// grouped by processor, rate-monotonic priorities), the per-processor thread
// schedulers, the quasi-synchronous processor clocks, the main scheduler, the
// scheduled top-level node, the verification node and the simulation scenario.
//
// Generators write through an Emit; print_scheduler binds them to the
// scheduler and top channels and to the scenario file.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "aadl/env.hpp"
#include "scheduler/cpu.hpp"
#include "scheduler/named_constants.hpp"
#include "translation/sched_info.hpp"
#include "translation/sync_ast.hpp"

namespace vorquel {

// ---- the scheduling tree --------------------------------------------------------

// One schedulable unit: a thread of a process, or one call of a thread
// implementation.
struct Thread_sched {
  Ident name;
  Act_info act;
  Deliv_info deliv;
};
// A thread instance of a thread type.
struct Si_thread { Thread_sched thread; };
// A thread instance of a thread implementation: one entry per call, in call
// order (the first is Periodic, the later ones DefinedBy).
struct Si_calls { std::vector<Thread_sched> calls; };
using Si_item = std::variant<Si_thread, Si_calls>;

// A Si_calls item numbered n covers the numbers n, n+1, ... of its calls.
struct Numbered_item {
  int number;
  Si_item item;
};
using Numbered_items = std::vector<Numbered_item>;

struct Processor_entry {
  Ident processor;
  Numbered_items items;
};
using Si_tree = std::vector<Processor_entry>;

// One thread in flattened form.
struct Oracle_info {
  int number;
  Act_info act;
  Deliv_info deliv;
};

// The last system implementation in key order (each candidate announced at
// verbosity 1); none: the no-system message and exit status 2.
Ident get_a_system_impl(const Env& env);

// Clock names of repeated thread instances, for nodes that record no
// instances (built by hand): the second, third... occurrence of a record in
// the walk gets fresh names "_2", "_3"... Lives for one tree. A translated
// model needs none of it: the tree follows each bound instance through the
// calls and takes the names those calls pass.
class Name_replay {
 public:
  // First request for x: x_2; later ones x_3, x_4...
  Ident gnn(const Ident& id);
  // The name the last gnn(id) returned. Never named: internal error.
  Ident gnn_no_incr(const Ident& id);
  // A record met for the first time is kept as is; a repeated one gets fresh
  // clock names (a DefinedBy names the latest name of its definer).
  Act_info gnn_act_info(const Act_info& a);
  Deliv_info gnn_deliv_info(const Deliv_info& d);

 private:
  struct Act_less { bool operator()(const Act_info& a, const Act_info& b) const; };
  struct Deliv_less { bool operator()(const Deliv_info& a, const Deliv_info& b) const; };
  std::map<Ident, int> next_;
  std::set<Act_info, Act_less> acts_;
  std::set<Deliv_info, Deliv_less> delivs_;
};

// Items of the component bound as `local` inside `container`, named by
// replaying the fresh names.
std::vector<Si_item> process_name_to_thread_list(const Env& env, Name_replay& names, const Ident& container,
                                                 const Ident& local);
// Calls of the thread implementation node `name`, in call order.
std::vector<Thread_sched> thread_name_to_subprogram_list(const Env& env, Name_replay& names, const Ident& name);

// Threads grouped by processor, each bound instance with the clocks that the
// top-level system passes for it. A sub-component bound more than once is
// scheduled once, in the group where the grouping walk puts it first.
Si_tree compute_si_tree(const Ident& top, const Env& env);
// Writes the tree to standard output.
void print_si_tree(const Si_tree& tree);
int thread_size(const Si_item& item);
// Thread count of every processor entry, in tree order.
std::vector<int> compute_thread_nb(const Si_tree& tree);

// Order of priority: shorter period first (named periods before literal
// ones, named by identifier, literal numerically), then higher sequential
// number first. Returns <0, 0 or >0; 0 only for the same period and number.
int compare_thread_by_period(const Numbered_item& a, const Numbered_item& b);
// Same items in the same order, numbered with their priority numbers.
Numbered_items sort_rms(Numbered_items items);
std::vector<Oracle_info> get_oracle_info_list(const Numbered_items& items);

// ---- thread schedulers ---------------------------------------------------------

// "_x_activate_clk_2" -> "_x_dispatch_clk_2"; no "_activate_clk": internal error.
std::string dispatch_of_act_var(std::string_view act);
// "_x_activate_clk_2" -> "_x_2"; no "_activate_clk": internal error.
std::string thread_label(std::string_view act);

// prefix1, ..., prefixk : bool  (then ";\n" unless last)
void decl_n_bool(std::string_view prefix, int k, const Emit& emit, bool last);
void decl_n_int(std::string_view prefix, int k, const Emit& emit, bool last);
// Per thread: activation, dispatch and delivery clocks, then sep.
void dump_oracle_list(const Numbered_items& items, std::string_view sep, const Emit& emit);
// Per thread: " " label n type, then sep (not after the last one when last).
void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const Numbered_items& items, const Emit& emit, bool last);

void gen_thread_scheduler(std::string_view processor, int n, const Numbered_items& items, const Emit& emit);
void gen_condact_thread_scheduler(std::string_view processor, int n, const Numbered_items& items,
                                  const Emit& emit);

// ---- quasi-synchronous processor clocks ----------------------------------------

// compute_advance, and with --v4-arrays the array-based generator.
void print_qs_library(const Emit& emit);
// The node quasi_synchronous_scheduler; the tree has two processors or more.
void gen_qs_sched_call(const Si_tree& tree, const Emit& emit);

// ---- main scheduler and scheduled top-level node -------------------------------

// One newline on standard output, then "  " clock suffix for every thread,
// each followed by sep except the very last one when !last. The suffix up to
// its first ':' ends the name ("_min_max"); the rest is written as it is.
void print_release_vars(const Si_tree& tree, const Emit& emit, std::string_view suffix, std::string_view sep,
                        bool last);
void gen_main_sched(const std::string& base, const Si_tree& tree, const Emit& emit, const Node& top_node);
void print_scheduled_node(const std::string& base, const Si_tree& tree, const Emit& emit, const Node& top_node);

// ---- verification node and scenario --------------------------------------------

void gen_schedule_oracle(const std::string& base, const Si_tree& tree, const Emit& emit);
void gen_schedule_zorbel(const std::string& base, const Si_tree& tree, const Node& top_node, const Emit& emit);

// Writes the scheduler, the scheduled top-level node, the verification node
// and the scenario file base.zbl (base.zbl.new when that name exists).
// Returns the named periods and execution-time bounds it wrote, for the
// caller to declare once everything else is printed.
std::vector<Named_constant> print_scheduler(int verbosity, const std::string& base, const Ident& top, const Env& env);

}  // namespace vorquel
