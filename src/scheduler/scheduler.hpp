// Scheduler generation for the top-level system: the scheduling tree (threads
// grouped by processor, rate-monotonic priorities), the per-processor thread
// schedulers, the quasi-synchronous processor clocks, the main scheduler, the
// scheduled top-level node, the verification node and the simulation scenario.
//
// Generators write through the run's Lustre_writer; print_scheduler points it
// at the scheduler and top channels and at the scenario file.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/options.hpp"
#include "env/env.hpp"
#include "printer/lustre_writer.hpp"
#include "scheduler/cpu.hpp"
#include "sync/sched_info.hpp"
#include "sync/sync_ast.hpp"
#include "scheduler/named_constants.hpp"

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
// Of a textual model, only the system implementations that no other one
// contains are candidates; several candidates add a warning.
Ident get_a_system_impl(const Options& opt, const Env& env, std::vector<Diagnostic>* warnings = nullptr);

// A bound instance: the instance path from the top-level system down to a
// process (or, at the top level, to whatever an association names), and the
// classifier that declares its last instance.
struct Bound_instance {
  std::vector<Ident> path;
  Ident container;
  Source_pos binding = {};  // of the association that binds it
};
// The instances bound to one processor, named by its own name or, where two
// bound processors share it, by its path ("hw_cpu").
struct Processor_group {
  Ident processor;
  std::vector<Bound_instance> instances;
  // The virtual processors (partitions) whose processes run on it, by
  // path: their threads share its one fixed-priority scheduler.
  std::vector<std::string> partitions;
  // The partition time-slicing properties that the model declares for
  // them, which the generated scheduler does not follow.
  std::vector<std::string> time_slicing;
  // Its path from the top-level system as the association names it (a
  // processor that the model does not declare has its reference alone).
  std::vector<std::string> path;
  // The devices of a textual model bound to it, by path: the environment
  // plays them, so no thread of theirs is scheduled.
  std::vector<std::string> devices;
  // The processor's sub-component, else the first association that binds
  // something to it.
  Source_pos at = {};
};
// The Scheduling_Protocol association that holds for the processor at
// `path` below the top-level system (a contained association of an enclosing
// system first, outermost first, then the sub-component's own, then its
// classifier's), or null.
struct Protocol_association {
  const Property_association* association = nullptr;  // null: none holds
  std::optional<Ident> classifier;                     // of the processor
};
Protocol_association scheduling_protocol(const Env& env, const Component& top, const std::vector<std::string>& path);
// The Actual_Processor_Binding associations of the top-level system and of
// every system implementation below it, each instance bound by the innermost
// association that reaches it. Groups come in the order of their first
// association, instances in association order.
std::vector<Processor_group> processor_groups(const Env& env, const Ident& top);

// Threads grouped by processor, each bound instance with the clocks that the
// top-level system passes for it. A sub-component bound more than once is
// scheduled once, in the group where the grouping walk puts it first.
// With immediate_first, among threads of equal period on a processor the
// sender of an immediate connection within an instance comes before its
// receivers (see sort_rms).
Si_tree compute_si_tree(const Ident& top, const Env& env, bool immediate_first = false);
// Writes the tree to standard output.
void print_si_tree(const Si_tree& tree);
int thread_size(const Si_item& item);
// Thread count of every processor entry, in tree order.
std::vector<int> compute_thread_nb(const Si_tree& tree);

// Order of priority: shorter period first (named periods before literal
// ones, named by identifier, literal numerically), then higher sequential
// number first. Returns <0, 0 or >0; 0 only for the same period and number.
int compare_thread_by_period(const Numbered_item& a, const Numbered_item& b);
// Same items in the same order, numbered with their priority numbers. The
// links (sender, receiver), positions in `items`, reorder the items of
// equal period: every sender before its receivers, the usual order
// otherwise, and all of them in the usual order when the links go round.
Numbered_items sort_rms(Numbered_items items, const std::vector<std::pair<std::size_t, std::size_t>>& links = {});
std::vector<Oracle_info> get_oracle_info_list(const Numbered_items& items);

// ---- thread schedulers ---------------------------------------------------------

// "_x_activate_clk_2" -> "_x_dispatch_clk_2"; no "_activate_clk": internal error.
std::string dispatch_of_act_var(std::string_view act);
// "_x_activate_clk_2" -> "_x_2"; no "_activate_clk": internal error.
std::string thread_label(std::string_view act);

// prefix1, ..., prefixk : bool  (then ";\n" unless last)
void decl_n_bool(std::string_view prefix, int k, Lustre_writer& w, bool last);
void decl_n_int(std::string_view prefix, int k, Lustre_writer& w, bool last);
// Per thread: activation, dispatch and delivery clocks, then sep.
void dump_oracle_list(const Numbered_items& items, std::string_view sep, Lustre_writer& w);
// Per thread: " " label n type, then sep (not after the last one when last).
void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const Numbered_items& items, Lustre_writer& w, bool last);

void gen_thread_scheduler(const Options& opt, std::string_view processor, int n, const Numbered_items& items, Lustre_writer& w);
void gen_condact_thread_scheduler(const Options& opt, std::string_view processor, int n, const Numbered_items& items,
                                  Lustre_writer& w);

// ---- quasi-synchronous processor clocks ----------------------------------------

// compute_advance, and with --v4-arrays the array-based generator.
void print_qs_library(const Options& opt, Lustre_writer& w);
// The node quasi_synchronous_scheduler; the tree has two processors or more.
void gen_qs_sched_call(const Options& opt, const Si_tree& tree, Lustre_writer& w);

// ---- main scheduler and scheduled top-level node -------------------------------

// One newline on standard output, then "  " clock suffix for every thread,
// each followed by sep except the very last one when !last. The suffix up to
// its first ':' ends the name ("_min_max"); the rest is written as it is.
void print_release_vars(const Si_tree& tree, Lustre_writer& w, std::string_view suffix, std::string_view sep,
                        bool last);
void gen_main_sched(const Options& opt, const std::string& base, const Si_tree& tree, Lustre_writer& w, const Node& top_node);
void print_scheduled_node(const Options& opt, const std::string& base, const Si_tree& tree, Lustre_writer& w, const Node& top_node);

// ---- verification node and scenario --------------------------------------------

void gen_schedule_oracle(const Options& opt, const std::string& base, const Si_tree& tree, Lustre_writer& w);
void gen_schedule_zorbel(const Options& opt, const std::string& base, const Si_tree& tree, const Node& top_node, Lustre_writer& w);

// Writes the scheduler, the scheduled top-level node and the verification
// node to the scheduler and top files of the writer, and the scenario to its
// scenario channel, or when it has none to the file base.zbl (base.zbl.new
// when that name exists), base being the output base name. The writer is left on one of these channels. Returns the named
// periods and execution-time bounds it wrote, for the caller to declare once
// everything else is printed.
std::vector<Named_constant> print_scheduler(const Options& opt, Lustre_writer& w, const Ident& top, const Env& env);

}  // namespace vorquel
