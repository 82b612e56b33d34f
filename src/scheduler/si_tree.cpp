// The scheduling tree: the threads of the top-level system grouped by
// processor, each bound instance with the clocks the system passes for it,
// and their rate-monotonic priorities.
#include "scheduler/scheduler.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "aadl/aadl_text_lexer.hpp"
#include "aadl/property.hpp"
#include "aadl/time_units.hpp"
#include "env/instance_properties.hpp"
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/options.hpp"
#include "printer/sync_printer.hpp"
#include "scheduler/internal.hpp"
#include "sync/clock_names.hpp"

namespace vorquel {

using namespace scheduling;

// ---- the scheduling tree ----------------------------------------------------------------

namespace {

[[noreturn]] void subprogram_impl_call(const Ident& thread) {
  internal_error("*** subprogram impl not implemented.\na call of a subprogram implementation in " + thread.str() +
                 " cannot be scheduled");
}

}  // namespace

namespace {

// Located at the association that binds the instance, when there is one.
[[noreturn]] void cannot_schedule(const Ident& component, const Bound_instance* bound = nullptr) {
  const std::string text = "*** Cannot schedule this system, sorry.\n*** Are you sure that " + component.str() +
                           " is a process implementation?\n";
  if (!bound) fail_without_abort_line(text);
  std::string path;
  for (const auto& p : bound->path) path += (path.empty() ? "" : ".") + p.str();
  fail_without_abort_line(text, false, location_of(bound->binding),
                          "cannot schedule " + path + " (" + aadl_name(component) +
                              "): only processes (and the systems that hold them) can be bound to a processor");
}

// Clock names as a caller sees them: an oracle of the callee -> the name
// that the call passes for it. A name absent from the table stays as it is;
// of two entries for one name, the first one counts. The entries are sorted
// by the hash of their name once all are added.
class Renaming {
 public:
  void reserve(std::size_t n) { entries_.reserve(n); }
  void add(const Ident& from, const Ident& to) { entries_.push_back(Entry{from.hash(), entries_.size(), from, to}); }
  void seal() {
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return a.hash != b.hash ? a.hash < b.hash : a.order < b.order;
    });
  }
  const Ident& operator()(const Ident& x) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), x.hash(),
                               [](const Entry& e, std::size_t h) { return e.hash < h; });
    for (; it != entries_.end() && it->hash == x.hash(); ++it)
      if (it->from == x) return it->to;
    return x;
  }

 private:
  struct Entry {
    std::size_t hash;
    std::size_t order;  // of addition
    Ident from, to;
  };
  std::vector<Entry> entries_;
};

const Ident& renamed(const Renaming& m, const Ident& x) { return m(x); }

Thread_sched renamed(const Renaming& m, const Si_timed& t) {
  Act_info act = std::visit(
      [&](const auto& a) -> Act_info {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, Periodic>) return Periodic{renamed(m, a.clock), a.period};
        else return DefinedBy{renamed(m, a.clock), renamed(m, a.defined_by)};
      },
      t.activation);
  return Thread_sched{t.name, std::move(act), Deliv_info{renamed(m, t.delivery.clock), t.delivery.lower,
                                                         t.delivery.upper}};
}

// The callee's oracles under the names that the call passes (the callee's
// own when the call records none), then under the caller's caller's names.
Renaming through_call(const Node& callee, const Call_expr* call, const Renaming& outer) {
  const bool stored = call && call->oracle_args.size() == callee.oracles.size();
  Renaming m;
  m.reserve(callee.oracles.size());
  for (std::size_t i = 0; i < callee.oracles.size(); ++i) {
    const Ident& o = callee.oracles[i].first;
    m.add(o, renamed(outer, stored ? call->oracle_args[i] : o));
  }
  m.seal();
  return m;
}

// The calls of a node by the instance they run, indexed once per node.
class Instance_calls {
 public:
  const Call_expr* find(const Node& n, const Ident& instance) {
    auto [it, fresh] = index_.try_emplace(&n);
    if (fresh)
      for (const auto& eq : n.equations)
        if (const auto* c = as_call(*eq.rhs); c && c->instance) it->second.emplace(*c->instance, c);
    auto jt = it->second.find(instance);
    return jt == it->second.end() ? nullptr : jt->second;
  }

 private:
  std::unordered_map<const Node*, std::unordered_map<Ident, const Call_expr*>> index_;
};

const Ident& callee_name(const Call_expr& c) { return std::get<Var>(c.node->v).name; }

// The classifier of an instance and the local name of the thread behind
// each of its items.
struct Item_names {
  std::optional<Ident> classifier;
  std::vector<std::string> locals;
};

// "_t1_activate_clk" -> "t1": the thread that an activation clock of its
// container's node belongs to.
std::string local_of_clock(const std::string& clock) {
  constexpr std::string_view tail = "_activate_clk";
  if (clock.size() > tail.size() + 1 && clock.front() == '_' && clock.ends_with(tail))
    return clock.substr(1, clock.size() - tail.size() - 1);
  return clock;
}

// The items of the bound instance below the top-level system, found by
// following the calls that run it, and the call that runs each of its
// threads: every clock is named as the top-level system names the clock of
// that very instance. Null when a node on the way records no such call.
// Given `names`, also the classifier of the instance and the local name of
// the thread behind each item.
std::optional<std::vector<Si_item>> follow_instance(const Env& env, Instance_calls& calls, const Ident& top,
                                                    const Bound_instance& bound, Item_names* names = nullptr) {
  const std::vector<Ident>& path = bound.path;
  const Node* container_node = nullptr;
  {
    const Entry* e = env.find(top);
    const auto* d = e && e->def ? std::get_if<Node_def>(&*e->def) : nullptr;
    if (!d) return std::nullopt;
    container_node = d->node.get();
  }
  Renaming m;
  const Node* node = nullptr;
  const Call_expr* call = nullptr;
  for (std::size_t i = 0; i < path.size(); ++i) {
    call = calls.find(*container_node, path[i]);
    if (!call) return std::nullopt;
    const Ident& classifier = callee_name(*call);
    node = &env.get_node2(classifier);
    if (i + 1 < path.size()) {
      m = through_call(*node, call, m);
      container_node = node;
    } else if (node->sched_infos.empty()) {
      cannot_schedule(classifier, &bound);
    }
  }
  if (!node) return std::nullopt;
  m = through_call(*node, call, m);
  std::vector<Si_item> items;
  if (names) names->classifier = callee_name(*call);
  for (auto it = node->sched_infos.rbegin(); it != node->sched_infos.rend(); ++it) {
    if (const auto* t = std::get_if<Si_timed>(&*it)) {
      if (names) names->locals.push_back(local_of_clock(act_clock(t->activation).str()));
      items.push_back(Si_thread{renamed(m, *t)});
      continue;
    }
    const auto& plain = std::get<Si_plain>(*it);
    if (names) names->locals.push_back(plain.instance ? plain.instance->str() : plain.name.str());
    const Node& thread = env.get_node2(plain.name);
    const Call_expr* thread_call = plain.instance ? calls.find(*node, *plain.instance) : nullptr;
    const Renaming m2 = through_call(thread, thread_call, m);
    std::vector<Thread_sched> subprograms;
    for (auto jt = thread.sched_infos.rbegin(); jt != thread.sched_infos.rend(); ++jt) {
      const auto* t = std::get_if<Si_timed>(&*jt);
      if (!t) subprogram_impl_call(plain.name);
      subprograms.push_back(renamed(m2, *t));
    }
    items.push_back(Si_calls{std::move(subprograms)});
  }
  return items;
}

// A bound sub-component that the top-level system runs no call of: one
// that is not a process (a processor, a memory, a device...) cannot be
// scheduled.
[[noreturn]] void not_run(const Env& env, const Bound_instance& bound) {
  const Ident& classifier = env.get_comp_name_of_loc_id(bound.container, bound.path.back());
  // A processor, a memory or a device implementation has no node at all.
  if (const Entry* e = env.find(classifier); e && e->def && !std::holds_alternative<Node_def>(*e->def))
    cannot_schedule(classifier, &bound);
  const Node& node = env.get_node2(classifier);
  if (node.sched_infos.empty()) cannot_schedule(classifier, &bound);
  internal_error("the top-level system runs no call of its sub-component " + bound.path.back().str());
}

// A single time value in picoseconds when its unit is a time unit, else as
// written.
std::optional<long double> time_value(const Property_association& a) {
  const auto* e = a.values.size() == 1 ? std::get_if<Pv_expression>(&a.values.front()) : nullptr;
  const auto* n = e ? std::get_if<C_int>(&e->expression.constant) : nullptr;
  if (!n) return std::nullopt;
  const Time_unit* unit = n->unit ? find_time_unit(*n->unit) : nullptr;
  return static_cast<long double>(n->value) * (unit ? unit->ps : 1);
}

// The first thread of the group whose Deadline is not its Period, as its
// instance path (AADL's default deadline is the period).
std::optional<std::string> deadline_other_than_period(const Env& env, const Processor_group& g) {
  for (const auto& b : g.instances) {
    const Entry* e = env.find(env.get_comp_name_of_loc_id(b.container, b.path.back()));
    const auto* process = e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr;
    if (!process) continue;
    for (auto s = process->subcomponents.rbegin(); s != process->subcomponents.rend(); ++s) {
      const Entry* te = s->classifier ? env.find(*s->classifier) : nullptr;
      const auto* thread = te && te->decl ? std::get_if<Component>(te->decl.get()) : nullptr;
      if (!thread || thread->category != Category::Thread) continue;
      const Property_association* d = instance_property(env, *process, *s, *thread, "Deadline");
      if (!d) continue;
      const Property_association* p = instance_property(env, *process, *s, *thread, "Period");
      if (p && (d->values == p->values || (time_value(*d) && time_value(*d) == time_value(*p)))) continue;
      std::string path;
      for (const auto& part : b.path) path += part.str() + ".";
      return path + s->name.str();
    }
  }
  return std::nullopt;
}

// The generated scheduler is a fixed-priority one with rate-monotonic
// priorities: a processor that asks for another policy stops the run.
void check_scheduling_protocol(const Env& env, const Component& top, const Processor_group& g) {
  std::vector<std::vector<std::string>> schedulers{g.path};
  for (const auto& p : g.partitions) {
    std::vector<std::string> parts;
    for (std::size_t at = 0, dot; at <= p.size(); at = dot + 1) {
      dot = std::min(p.find('.', at), p.size());
      parts.push_back(p.substr(at, dot - at));
    }
    schedulers.push_back(std::move(parts));
  }
  for (const auto& path : schedulers) {
    const auto [a, classifier] = scheduling_protocol(env, top, path);
    if (!a) continue;
    std::string named;
    for (const auto& part : path) named += (named.empty() ? "" : ".") + part;
    for (const auto& v : a->values) {
      const auto* literal = std::get_if<Pv_enum>(&v);
      const std::string text = literal ? to_string(literal->literal) : std::string("a value that is no protocol name");
      bool fixed_priority = false;
      for (const char* ok : {"RMS", "Rate_Monotonic_Protocol", "POSIX_1003_HIGHEST_PRIORITY_FIRST_PROTOCOL"})
        fixed_priority = fixed_priority || same_name(text, ok);
      const bool deadline_monotonic = same_name(text, "Deadline_Monotonic_Protocol");
      std::optional<std::string> early;
      if (deadline_monotonic) fixed_priority = !(early = deadline_other_than_period(env, g));
      if (fixed_priority) continue;
      const std::string message =
          "the " + std::string(path == g.path ? "processor " : "virtual processor ") + named +
          (classifier ? " (" + aadl_name(*classifier) + ")" : "") + " of " + aadl_name(top.name) +
          " has the Scheduling_Protocol " + text +
          (early ? " with deadlines other than the periods (" + *early + ")" : "") +
          ": only fixed-priority scheduling with rate-monotonic priorities is supported";
      fail_located("*** Error: " + message + ".\n", location_of(a->pos), message);
    }
  }
}

// The immediate connections between two threads of the instance, as
// (sender, receiver) positions among its items, offset by `first`.
void immediate_links(const Env& env, const Item_names& names, std::size_t first,
                     std::vector<std::pair<std::size_t, std::size_t>>& links) {
  if (!names.classifier) return;
  const Entry* e = env.find(*names.classifier);
  const auto* c = e ? std::get_if<Component>(e->decl.get()) : nullptr;
  if (c == nullptr) return;
  auto position = [&](const Ident& end) -> std::optional<std::size_t> {
    if (end.part_count() < 2) return std::nullopt;
    for (std::size_t i = 0; i < names.locals.size(); ++i)
      if (names.locals[i] == end.head()) return first + i;
    return std::nullopt;
  };
  for (const auto& k : c->connections) {
    if (k.arrow == Connection_arrow::Delayed) continue;
    const auto from = position(k.src), to = position(k.dst);
    if (from && to && *from != *to) links.emplace_back(*from, *to);
  }
}

}  // namespace

Si_tree compute_si_tree(const Ident& top, const Env& env, bool immediate_first) {
  Instance_calls calls;
  // Groups in the order of their first association, instances in
  // association order; an instance bound more than once is scheduled once,
  // by the innermost association: two schedulers would otherwise drive the
  // same clocks.
  const std::vector<Processor_group> groups = processor_groups(env, top);
  if (groups.empty()) {
    fail_without_abort_line("*** Cannot schedule this system, sorry.\n*** No sub-component of " + top.str() +
                                " is bound to a processor (Actual_Processor_Binding).\n",
                            false, location_of(env.get_component2(top).pos),
                            "no sub-component of " + aadl_name(top) +
                                " is bound to a processor (Actual_Processor_Binding); if it is a part of a larger "
                                "system, translate that one (--toplevel-system)");
  }

  for (const auto& g : groups) check_scheduling_protocol(env, env.get_component2(top), g);

  // The clocks of an instance are found by following the calls from the
  // top-level system down to its threads.
  Si_tree tree;
  for (const auto& g : groups) {
    Numbered_items items;
    std::vector<std::pair<std::size_t, std::size_t>> links;
    for (const auto& b : g.instances) {
      Item_names names;
      auto followed = follow_instance(env, calls, top, b, immediate_first ? &names : nullptr);
      if (!followed) not_run(env, b);
      if (immediate_first) immediate_links(env, names, items.size(), links);
      for (auto& item : *followed)
        items.push_back(Numbered_item{static_cast<int>(items.size()) + 1, std::move(item)});
    }
    tree.push_back(Processor_entry{g.processor, sort_rms(std::move(items), links)});
  }
  return tree;
}

int thread_size(const Si_item& item) {
  if (const auto* c = std::get_if<Si_calls>(&item)) return static_cast<int>(c->calls.size());
  return 1;
}

std::vector<int> compute_thread_nb(const Si_tree& tree) {
  std::vector<int> counts;
  for (const auto& entry : tree) {
    int n = 0;
    for (const auto& item : entry.items) n += thread_size(item.item);
    counts.push_back(n);
  }
  return counts;
}

int compare_thread_by_period(const Numbered_item& a, const Numbered_item& b) {
  if (int c = compare_integer(period_of(a.item), period_of(b.item))) return c;
  // Among equal periods the later item takes the higher priority.
  return a.number > b.number ? -1 : a.number < b.number ? 1 : 0;
}

namespace {

// Among the items of equal period (a run of `order`), each sender of a
// link before its receivers: a topological order that takes, of the items
// ready, the one first in the usual order. A cycle keeps the usual order.
void senders_first(const Numbered_items& items, std::vector<std::size_t>& order,
                   const std::vector<std::pair<std::size_t, std::size_t>>& links) {
  if (links.empty()) return;
  std::vector<std::size_t> rank(items.size());
  for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = i;
  for (std::size_t begin = 0, end; begin < order.size(); begin = end) {
    end = begin + 1;
    while (end < order.size() && compare_integer(period_of(items[order[begin]].item),
                                                 period_of(items[order[end]].item)) == 0)
      ++end;
    if (end - begin < 2) continue;
    auto in_run = [&](std::size_t item) { return rank[item] >= begin && rank[item] < end; };
    std::vector<int> waiting(end - begin, 0);
    std::vector<std::vector<std::size_t>> receivers(end - begin);
    for (const auto& [from, to] : links)
      if (in_run(from) && in_run(to)) {
        ++waiting[rank[to] - begin];
        receivers[rank[from] - begin].push_back(rank[to] - begin);
      }
    std::vector<std::size_t> sorted;
    std::vector<bool> done(end - begin, false);
    while (sorted.size() < end - begin) {
      std::size_t next = end - begin;
      for (std::size_t i = 0; i < end - begin && next == end - begin; ++i)
        if (!done[i] && waiting[i] == 0) next = i;
      if (next == end - begin) break;  // a cycle
      done[next] = true;
      sorted.push_back(order[begin + next]);
      for (std::size_t r : receivers[next]) --waiting[r];
    }
    if (sorted.size() == end - begin) std::copy(sorted.begin(), sorted.end(), order.begin() + begin);
  }
}

}  // namespace

Numbered_items sort_rms(Numbered_items items, const std::vector<std::pair<std::size_t, std::size_t>>& links) {
  std::vector<std::size_t> order(items.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return compare_thread_by_period(items[a], items[b]) < 0;
  });
  senders_first(items, order, links);
  // The order is fixed: the items can take their priority numbers in place.
  int priority = 1;
  for (std::size_t i : order) {
    items[i].number = priority;
    priority += thread_size(items[i].item);
  }
  return items;
}

std::vector<Oracle_info> get_oracle_info_list(const Numbered_items& items) {
  std::vector<Oracle_info> l;
  for_each_oracle(items, [&](const Oracle_ref& o) { l.push_back(Oracle_info{o.number, *o.act, *o.deliv}); });
  return l;
}

void print_si_tree(const Si_tree& tree) {
  auto line = [](const Thread_sched& t) {
    return t.name.str() + " " + act_info_to_string(t.act) + " " +
           deliv_info_to_string(t.deliv.clock, t.deliv.lower, t.deliv.upper);
  };
  for (const auto& entry : tree) {
    out("\n ==> On processor " + entry.processor.str() + ":");
    for (const auto& item : entry.items) {
      const std::string n = std::to_string(item.number);
      if (const auto* t = std::get_if<Si_thread>(&item.item)) {
        out("\n\t " + n + " " + line(t->thread));
      } else {
        for (const auto& c : std::get<Si_calls>(item.item).calls) out("\n\t\t " + n + " " + line(c));
      }
    }
  }
}

}  // namespace vorquel
