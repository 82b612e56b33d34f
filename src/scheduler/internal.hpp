// What the scheduler generators share: list writers, the order of periods,
// the threads of the tree in flattened form and the parts of a clock name.
// Every generator walks the tree in the same order (processors in tree
// order, threads in Oracle_info order), because the generated nodes bind
// their arguments by position.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.hpp"
#include "printer/lustre_writer.hpp"
#include "scheduler/scheduler.hpp"
#include "sync/clock_names.hpp"

namespace vorquel::scheduling {

// prefix1, prefix2, ..., prefixk
inline void dump_n_var(Lustre_writer& w, std::string_view prefix, int k) {
  for (int i = 1; i <= k; ++i) {
    if (i > 1) w << ", ";
    w.numbered(prefix, i);
  }
}

// prefix1, ..., prefixk : type, then ";\n" unless it is the last
// declaration.
inline void decl_n(Lustre_writer& w, std::string_view prefix, int k, std::string_view type, bool last) {
  dump_n_var(w, prefix, k);
  w << " : " << type;
  if (!last) w << ";\n";
}

template <class T, class F>
inline void print_list(Lustre_writer& w, std::string_view sep, const std::vector<T>& l, F item) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (i > 0) w << sep;
    item(l[i]);
  }
}

inline void print_names(Lustre_writer& w, std::string_view sep, const std::vector<Typed_ident>& l) {
  print_list(w, sep, l, [&](const Typed_ident& v) { w << v.first; });
}

inline void print_decls(Lustre_writer& w, std::string_view sep, const std::vector<Typed_ident>& l) {
  print_list(w, sep, l, [&](const Typed_ident& v) { w << v.first << " : " << v.second; });
}

// Integers compare as: named before literal, named by identifier, literal
// numerically. A total order consistent with Integer's equality.
inline int compare_integer(const Integer& a, const Integer& b) {
  if (a.named != b.named) return a.named ? -1 : 1;
  if (a.named) {
    auto c = a.name <=> b.name;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
}

inline int compare_ident(const Ident& a, const Ident& b) {
  auto c = a <=> b;
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

inline const Integer& period_of(const Si_item& item) {
  const Act_info* act = nullptr;
  if (const auto* t = std::get_if<Si_thread>(&item)) {
    act = &t->thread.act;
  } else {
    const auto& calls = std::get<Si_calls>(item).calls;
    VQ_ASSERT(!calls.empty(), "a thread implementation without calls cannot be scheduled");
    act = &calls.front().act;
  }
  const auto* p = std::get_if<Periodic>(act);
  VQ_ASSERT(p != nullptr, "the period of " + act_clock(*act).str() + " is defined by another clock");
  return p->period;
}

// One thread in flattened form (as get_oracle_info_list gives it), pointing
// into the tree instead of holding copies.
struct Oracle_ref {
  int number;
  const Act_info* act;
  const Deliv_info* deliv;
  const Ident& act_clock() const { return vorquel::act_clock(*act); }
};

// Calls f on every thread of the items in flattened form: a thread of a
// thread implementation is one thread per call, numbered on from the item.
template <class F>
inline void for_each_oracle(const Numbered_items& items, F f) {
  for (const auto& item : items) {
    if (const auto* t = std::get_if<Si_thread>(&item.item)) {
      f(Oracle_ref{item.number, &t->thread.act, &t->thread.deliv});
    } else {
      int n = item.number;
      for (const auto& c : std::get<Si_calls>(item.item).calls) f(Oracle_ref{n++, &c.act, &c.deliv});
    }
  }
}

inline std::vector<Oracle_ref> oracle_refs(const Numbered_items& items) {
  std::vector<Oracle_ref> l;
  l.reserve(items.size());
  for_each_oracle(items, [&](const Oracle_ref& o) { l.push_back(o); });
  return l;
}

// All threads of the tree, processor by processor.
template <class F>
inline void for_each_thread(const Si_tree& tree, F f) {
  for (const auto& entry : tree) for_each_oracle(entry.items, [&](const Oracle_ref& o) { f(entry, o); });
}

// An activation clock around its "_activate_clk": the thread label is
// before + after, the dispatch clock before + "_dispatch_clk" + after.
struct Act_clock_parts {
  std::string_view before, after;
};
inline constexpr std::string_view activate_marker = activate_clk;

inline std::size_t activate_pos(std::string_view act) {
  auto pos = find_in(act, activate_marker);
  VQ_ASSERT(pos != std::string_view::npos,
            "the activation clock " + std::string(act) + " does not contain \"_activate_clk\"");
  return pos;
}

inline Act_clock_parts act_clock_parts(std::string_view act) {
  auto pos = activate_pos(act);
  return Act_clock_parts{act.substr(0, pos), act.substr(pos + activate_marker.size())};
}

// The per-thread scheduling variables of the scheduled top-level node
// (thread label + "_dispatched_on_" or "_has_cpu_on_" + processor), each
// one a name, with sep between two of them.
inline void print_scheduling_vars(Lustre_writer& w, std::string_view sep, const Si_tree& tree, bool dispatched) {
  const std::string_view kind = dispatched ? "_dispatched_on_" : "_has_cpu_on_";
  bool first = true;
  for_each_thread(tree, [&](const Processor_entry& e, const Oracle_ref& o) {
    if (!first) w << sep;
    first = false;
    const Act_clock_parts c = act_clock_parts(o.act_clock().str());
    w.name(c.before, c.after, kind, e.processor.str());
  });
}

// Whether the tree has no thread at all.
inline bool tree_is_empty(const Si_tree& tree) {
  for (const auto& entry : tree)
    for (const auto& item : entry.items)
      if (thread_size(item.item) > 0) return false;
  return true;
}

// The library nodes: timer, rising_edge, first_rising_edge and consume (which
// draws its execution time itself with --gen-random-func).
void print_library(const Options& opt, Lustre_writer& w);
// Per thread: activation, dispatch and delivery clocks, then sep.
void dump_oracle_list(const std::vector<Oracle_ref>& l, std::string_view sep, Lustre_writer& w);
// Per thread: " " label n type, then sep (not after the last one when last).
void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const std::vector<Oracle_ref>& l, Lustre_writer& w, bool last);

}  // namespace vorquel::scheduling
