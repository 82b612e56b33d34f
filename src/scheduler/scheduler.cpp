// Scheduler generation. The tree is computed once from the translated
// environment; every generator then walks it in the same order (processors in
// tree order, threads in Oracle_info order), because the generated nodes bind
// their arguments by position.
#include "scheduler/scheduler.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "driver/misc.hpp"
#include "driver/options.hpp"
#include "printer/lustre_names.hpp"
#include "printer/scade.hpp"
#include "printer/sync_printer.hpp"

namespace vorquel {

namespace {

// The decimal text of a number, held in place.
class Decimal {
 public:
  explicit Decimal(long long n) : end_(std::to_chars(buf_, buf_ + sizeof buf_, n).ptr) {}
  std::string_view view() const { return std::string_view(buf_, static_cast<std::size_t>(end_ - buf_)); }

 private:
  char buf_[24];
  char* end_;
};

// Chained writes through an Emit: w << "text" << n << id. Identifiers, and
// the names assembled from several texts (written with name()), go through
// the same shortening as in the printer, as one text each, so that every
// name is spelled alike in all the files of the SCADE dialect. In the Lustre
// dialect names are written as they are, piece by piece.
// An Emit that writes to a channel. A Writer given one writes to the channel
// directly.
struct Channel_emit {
  Channel* channel;
  void operator()(std::string_view s) const { channel->write(s); }
};

class Writer {
 public:
  explicit Writer(const Emit& emit)
      : emit_(emit),
        channel_(emit.target<Channel_emit>() ? emit.target<Channel_emit>()->channel : nullptr),
        shorten_(options().dialect == Dialect::Scade) {}
  Writer& operator<<(std::string_view s) {
    put(s);
    return *this;
  }
  // A text written in the code: its length is known without counting, and
  // a copy of a known length is short.
  template <std::size_t N>
  Writer& operator<<(const char (&s)[N]) {
    put(std::string_view(s, N - 1));
    return *this;
  }
  Writer& operator<<(const Ident& id) { return name(id.str()); }
  // A named period or execution-time bound is a constant of the user's.
  Writer& operator<<(const Integer& i) {
    if (i.named) return name(i.name.str());
    return *this << Decimal(i.value).view();
  }
  Writer& name(std::string_view text) {
    if (shorten_) {
      const std::string s = build_ident(text);
      put(s);
      if (is_lustre_keyword(s)) put("_");
    } else {
      put(text);
      if (is_lustre_keyword(text)) put("_");
    }
    return *this;
  }
  // The name made of the pieces, one after the other.
  template <class... Pieces>
  Writer& name(std::string_view first, Pieces... rest) {
    if (!shorten_) {
      put(first);
      (put(std::string_view(rest)), ...);
      return *this;
    }
    scratch_.assign(first);
    (scratch_.append(std::string_view(rest)), ...);
    put(build_ident(scratch_));
    return *this;
  }
  // prefix followed by the number, as one name.
  Writer& numbered(std::string_view prefix, int i) { return name(prefix, Decimal(i).view()); }
  Writer& operator<<(int n) { return *this << Decimal(n).view(); }
  Writer& operator<<(const Type_expression& t) {
    // A named type is a name like any other; a record goes to the printer.
    if (const auto* n = std::get_if<TNamed>(&t.v)) {
      if (is_predefined_type(n->name.str())) return *this << n->name.str();
      return name(n->name.str());
    }
    print_type_expression(emit_, t);
    return *this;
  }

 private:
  [[gnu::always_inline]] void put(std::string_view s) {
    if (channel_) channel_->write(s);
    else emit_(s);
  }
  const Emit& emit_;
  Channel* const channel_;
  const bool shorten_;
  std::string scratch_;
};

// prefix1, prefix2, ..., prefixk
void dump_n_var(Writer& w, std::string_view prefix, int k) {
  for (int i = 1; i <= k; ++i) {
    if (i > 1) w << ", ";
    w.numbered(prefix, i);
  }
}

// prefix1, ..., prefixk : type, then ";\n" unless it is the last
// declaration.
void decl_n(Writer& w, std::string_view prefix, int k, std::string_view type, bool last) {
  dump_n_var(w, prefix, k);
  w << " : " << type;
  if (!last) w << ";\n";
}

template <class T, class F>
void print_list(Writer& w, std::string_view sep, const std::vector<T>& l, F item) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (i > 0) w << sep;
    item(l[i]);
  }
}

void print_names(Writer& w, std::string_view sep, const std::vector<Typed_ident>& l) {
  print_list(w, sep, l, [&](const Typed_ident& v) { w << v.first; });
}

void print_decls(Writer& w, std::string_view sep, const std::vector<Typed_ident>& l) {
  print_list(w, sep, l, [&](const Typed_ident& v) { w << v.first << " : " << v.second; });
}

// Integers compare as: named before literal, named by identifier, literal
// numerically. A total order consistent with Integer's equality.
int compare_integer(const Integer& a, const Integer& b) {
  if (a.named != b.named) return a.named ? -1 : 1;
  if (a.named) {
    auto c = a.name <=> b.name;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
}

int compare_ident(const Ident& a, const Ident& b) {
  auto c = a <=> b;
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

const Integer& period_of(const Si_item& item) {
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
void for_each_oracle(const Numbered_items& items, F f) {
  for (const auto& item : items) {
    if (const auto* t = std::get_if<Si_thread>(&item.item)) {
      f(Oracle_ref{item.number, &t->thread.act, &t->thread.deliv});
    } else {
      int n = item.number;
      for (const auto& c : std::get<Si_calls>(item.item).calls) f(Oracle_ref{n++, &c.act, &c.deliv});
    }
  }
}

std::vector<Oracle_ref> oracle_refs(const Numbered_items& items) {
  std::vector<Oracle_ref> l;
  l.reserve(items.size());
  for_each_oracle(items, [&](const Oracle_ref& o) { l.push_back(o); });
  return l;
}

// All threads of the tree, processor by processor.
template <class F>
void for_each_thread(const Si_tree& tree, F f) {
  for (const auto& entry : tree) for_each_oracle(entry.items, [&](const Oracle_ref& o) { f(entry, o); });
}

// An activation clock around its "_activate_clk": the thread label is
// before + after, the dispatch clock before + "_dispatch_clk" + after.
struct Act_clock_parts {
  std::string_view before, after;
};
Act_clock_parts act_clock_parts(std::string_view act);

// The per-thread scheduling variables of the scheduled top-level node
// (thread label + "_dispatched_on_" or "_has_cpu_on_" + processor), each
// one a name, with sep between two of them.
void print_scheduling_vars(Writer& w, std::string_view sep, const Si_tree& tree, bool dispatched) {
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
bool tree_is_empty(const Si_tree& tree) {
  for (const auto& entry : tree)
    for (const auto& item : entry.items)
      if (thread_size(item.item) > 0) return false;
  return true;
}

// A thread watched by the schedulability observer: the text around the
// first "_dispatch_clk" of one of the top node's oracles.
struct Observed {
  std::string pre, suf;
  std::string x() const { return pre + suf; }
  std::string clock(std::string_view kind) const { return pre + std::string(kind) + suf; }
};

std::vector<Observed> observed_threads(const Node& top_node) {
  static constexpr std::string_view marker = "_dispatch_clk";
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

void gen_observer_equation(Writer& w, const Observed& t, State to, const std::vector<Transition>& rows) {
  const std::string x = t.x();
  const std::string a = t.clock("_activate_clk"), r = t.clock("_release_clk"), d = t.clock("_dispatch_clk");
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

void gen_observer(Writer& w, const Observed& t) {
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

// "*** " and the system's message, naming the file.
std::string file_error(int error, const std::string& name) {
  return "*** " + std::string(std::strerror(error)) + " (" + name + ")\n";
}

// The scenario file: base.zbl, or base.zbl.new when base.zbl exists.
std::unique_ptr<Channel> open_scenario_file(const std::string& base) {
  std::string name = base + ".zbl";
  struct stat st;
  // A link counts as existing even when it leads nowhere: writing through
  // it would create or overwrite whatever it points to.
  if (::lstat(name.c_str(), &st) == 0) name += ".new";
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw Failure(file_error(errno, name));
  return std::make_unique<Channel>(fd, name, true);
}

}  // namespace

// ---- choice of the top-level system -------------------------------------------------

Ident get_a_system_impl(const Env& env) {
  std::optional<Ident> found;
  env.iter([&](const Ident& name, const Entry& e) {
    const auto* c = e.decl ? std::get_if<Component>(e.decl.get()) : nullptr;
    if (c == nullptr || c->category != Category::System || c->kind != Component_kind::Implementation) return;
    if (options().verbosity >= 1) out("# ---> The top-level system is " + name.str() + " ()\n");
    found = name;
  });
  if (!found) {
    out("*** No system found. Please check if system ");
    out("is defined in your aadl model, or define explicitely");
    out("\n*** the toplevel component using the --toplevel-system");
    out(" command-line option.\n");
    abort_run();
  }
  return *found;
}

// ---- name replay ---------------------------------------------------------------------

bool Name_replay::Act_less::operator()(const Act_info& a, const Act_info& b) const {
  if (a.index() != b.index()) return a.index() < b.index();
  if (int c = compare_ident(act_clock(a), act_clock(b))) return c < 0;
  if (const auto* pa = std::get_if<Periodic>(&a)) return compare_integer(pa->period, std::get<Periodic>(b).period) < 0;
  return std::get<DefinedBy>(a).defined_by < std::get<DefinedBy>(b).defined_by;
}

bool Name_replay::Deliv_less::operator()(const Deliv_info& a, const Deliv_info& b) const {
  if (int c = compare_ident(a.clock, b.clock)) return c < 0;
  if (int c = compare_integer(a.lower, b.lower)) return c < 0;
  return compare_integer(a.upper, b.upper) < 0;
}

Ident Name_replay::gnn(const Ident& id) {
  auto [it, fresh] = next_.try_emplace(id, 2);
  int n = it->second++;
  return add_suffix("_" + std::to_string(n), id);
}

Ident Name_replay::gnn_no_incr(const Ident& id) {
  auto it = next_.find(id);
  if (it == next_.end()) {
    out("*** " + id.str() + " not found \n");
    out("*** Internal error. Aborting...\n");
    throw Exit_request(2);
  }
  return add_suffix("_" + std::to_string(it->second - 1), id);
}

Act_info Name_replay::gnn_act_info(const Act_info& a) {
  if (acts_.insert(a).second) return a;
  if (const auto* p = std::get_if<Periodic>(&a)) return Periodic{gnn(p->clock), p->period};
  const auto& d = std::get<DefinedBy>(a);
  // The definer was renamed just before (calls are replayed in order).
  Ident clock = gnn(d.clock);
  return DefinedBy{clock, gnn_no_incr(d.defined_by)};
}

Deliv_info Name_replay::gnn_deliv_info(const Deliv_info& d) {
  if (delivs_.insert(d).second) return d;
  return Deliv_info{gnn(d.clock), d.lower, d.upper};
}

// ---- the scheduling tree ----------------------------------------------------------------

namespace {

// Delivery first, then activation: the order shared with the translation.
Thread_sched replay(Name_replay& names, const Si_timed& t) {
  Deliv_info deliv = names.gnn_deliv_info(t.delivery);
  Act_info act = names.gnn_act_info(t.activation);
  return Thread_sched{t.name, std::move(act), std::move(deliv)};
}

}  // namespace

std::vector<Thread_sched> thread_name_to_subprogram_list(const Env& env, Name_replay& names, const Ident& name) {
  const Node& node = env.get_node2(name);
  std::vector<Thread_sched> calls;
  // Stored most recent first: walk backwards to get the call order.
  for (auto it = node.sched_infos.rbegin(); it != node.sched_infos.rend(); ++it) {
    if (std::holds_alternative<Si_plain>(*it)) {
      out("*** subprogram impl not implemented.\n");
      internal_error("a call of a subprogram implementation in " + name.str() + " cannot be scheduled");
    }
    calls.push_back(replay(names, std::get<Si_timed>(*it)));
  }
  return calls;
}

namespace {

[[noreturn]] void cannot_schedule(const Ident& component) {
  out("*** Cannot schedule this system, sorry.\n");
  out("*** Are you sure that " + component.str() + " is a process implementation?\n");
  throw Exit_request(2);
}

[[noreturn]] void subprogram_impl_call(const Ident& thread) {
  out("*** subprogram impl not implemented.\n");
  internal_error("a call of a subprogram implementation in " + thread.str() + " cannot be scheduled");
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

// The items of the sub-component `local` of `container`, found by following
// the call that runs it, and the call that runs each of its threads: every
// clock is named as the top-level system names the clock of that very
// instance. Null when the container's node records no such call.
std::optional<std::vector<Si_item>> follow_instance(const Env& env, Instance_calls& calls, const Ident& container,
                                                    const Ident& local) {
  const Entry* container_entry = env.find(container);
  const auto* container_def =
      container_entry && container_entry->def ? std::get_if<Node_def>(&*container_entry->def) : nullptr;
  if (!container_def) return std::nullopt;
  const Node* container_node = container_def->node.get();
  const Call_expr* call = calls.find(*container_node, local);
  if (!call) return std::nullopt;
  const Ident& classifier = callee_name(*call);
  const Node& node = env.get_node2(classifier);
  if (node.sched_infos.empty()) cannot_schedule(classifier);
  const Renaming m = through_call(node, call, {});
  std::vector<Si_item> items;
  for (auto it = node.sched_infos.rbegin(); it != node.sched_infos.rend(); ++it) {
    if (const auto* t = std::get_if<Si_timed>(&*it)) {
      items.push_back(Si_thread{renamed(m, *t)});
      continue;
    }
    const auto& plain = std::get<Si_plain>(*it);
    const Node& thread = env.get_node2(plain.name);
    const Call_expr* thread_call = plain.instance ? calls.find(node, *plain.instance) : nullptr;
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

}  // namespace

std::vector<Si_item> process_name_to_thread_list(const Env& env, Name_replay& names, const Ident& container,
                                                 const Ident& local) {
  const Ident& classifier = env.get_comp_name_of_loc_id(container, local);
  // A processor, a memory or a device implementation has no node at all.
  if (const Entry* e = env.find(classifier); e && e->def && !std::holds_alternative<Node_def>(*e->def))
    cannot_schedule(classifier);
  const Node& node = env.get_node2(classifier);
  if (node.sched_infos.empty()) cannot_schedule(classifier);
  std::vector<Si_item> items;
  for (auto it = node.sched_infos.rbegin(); it != node.sched_infos.rend(); ++it) {
    if (const auto* t = std::get_if<Si_timed>(&*it))
      items.push_back(Si_thread{replay(names, *t)});
    else
      items.push_back(Si_calls{thread_name_to_subprogram_list(env, names, std::get<Si_plain>(*it).name)});
  }
  return items;
}

Si_tree compute_si_tree(const Ident& top, const Env& env) {
  Name_replay names;
  Instance_calls calls;
  const auto bindings = get_processor_binding(env.get_component2(top));

  // Each binding moves its processor's group to the front and its reference
  // to the front of the group: groups end up ordered by their last binding,
  // latest first, with references in reverse binding order. Walking the
  // bindings backwards builds that order directly. A sub-component bound
  // more than once is scheduled once, in the first group that gets it: two
  // schedulers would otherwise drive the same clocks.
  struct Group {
    Ident processor;
    std::vector<std::pair<Ident, Ident>> refs;  // (local name, container)
  };
  std::vector<Group> groups;
  std::map<Ident, std::size_t> group_of;
  std::set<std::pair<Ident, Ident>> bound;
  for (auto it = bindings.rbegin(); it != bindings.rend(); ++it) {
    if (!bound.insert(it->second).second) continue;
    auto [pos, fresh] = group_of.try_emplace(it->first, groups.size());
    if (fresh) groups.push_back(Group{it->first, {}});
    groups[pos->second].refs.push_back(it->second);
  }
  if (groups.empty()) {
    out("*** Cannot schedule this system, sorry.\n");
    out("*** No sub-component of " + top.str() + " is bound to a processor (Actual_Processor_Binding).\n");
    throw Exit_request(2);
  }

  // The clocks of an instance are found by following the calls from the
  // top-level system down to its threads; a model built without instance
  // information falls back on replaying the fresh names in walk order.
  Si_tree tree;
  for (const auto& g : groups) {
    Numbered_items items;
    for (const auto& [local, container] : g.refs) {
      auto followed = follow_instance(env, calls, container, local);
      for (auto& item : followed ? std::move(*followed) : process_name_to_thread_list(env, names, container, local))
        items.push_back(Numbered_item{static_cast<int>(items.size()) + 1, std::move(item)});
    }
    tree.push_back(Processor_entry{g.processor, sort_rms(std::move(items))});
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

Numbered_items sort_rms(Numbered_items items) {
  std::vector<std::size_t> order(items.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return compare_thread_by_period(items[a], items[b]) < 0;
  });
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

constexpr std::string_view activate_marker = "_activate_clk";

std::size_t activate_pos(std::string_view act) {
  auto pos = find_in(act, activate_marker);
  VQ_ASSERT(pos != std::string_view::npos,
            "the activation clock " + std::string(act) + " does not contain \"_activate_clk\"");
  return pos;
}

Act_clock_parts act_clock_parts(std::string_view act) {
  auto pos = activate_pos(act);
  return Act_clock_parts{act.substr(0, pos), act.substr(pos + activate_marker.size())};
}

// The dispatch clock that goes with an activation clock, as one name.
void write_dispatch_clock(Writer& w, const Ident& act) {
  const Act_clock_parts c = act_clock_parts(act.str());
  w.name(c.before, "_dispatch_clk", c.after);
}

}  // namespace

std::string dispatch_of_act_var(std::string_view act) {
  auto pos = activate_pos(act);
  return std::string(act.substr(0, pos)) + "_dispatch_clk" + std::string(act.substr(pos + activate_marker.size()));
}

std::string thread_label(std::string_view act) {
  auto pos = activate_pos(act);
  return std::string(act.substr(0, pos)) + std::string(act.substr(pos + activate_marker.size()));
}

void decl_n_bool(std::string_view prefix, int k, const Emit& emit, bool last) {
  Writer w(emit);
  decl_n(w, prefix, k, "bool", last);
}

void decl_n_int(std::string_view prefix, int k, const Emit& emit, bool last) {
  Writer w(emit);
  decl_n(w, prefix, k, "int", last);
}

namespace {

void dump_oracle_list(const std::vector<Oracle_ref>& l, std::string_view sep, Writer& w) {
  for (const auto& o : l) {
    const Ident& act = o.act_clock();
    w << act << ", ";
    write_dispatch_clock(w, act);
    w << ", " << o.deliv->clock << sep;
  }
}

void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const std::vector<Oracle_ref>& l, Writer& w, bool last) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    w << " ";
    w.numbered(label, l[i].number) << type;
    if (!(last && i + 1 == l.size())) w << sep;
  }
}

}  // namespace

void dump_oracle_list(const Numbered_items& items, std::string_view sep, const Emit& emit) {
  Writer w(emit);
  dump_oracle_list(oracle_refs(items), sep, w);
}

void dump_oracle_list_lbl(std::string_view label, std::string_view type, std::string_view sep,
                          const Numbered_items& items, const Emit& emit, bool last) {
  Writer w(emit);
  dump_oracle_list_lbl(label, type, sep, oracle_refs(items), w, last);
}

void gen_thread_scheduler(std::string_view processor, int n, const Numbered_items& items, const Emit& emit) {
  Writer w(emit);
  const Options& opt = options();
  const auto threads = oracle_refs(items);
  w << "\nnode ";
  w.name("schedule_", processor, "_threads") << "(\n";
  if (opt.gen_random_func) {
    w << "dummy_in:bool";
  } else {
    w << "      ";
    decl_n_int("in_min_max", n, emit, true);
  }
  w << ")\nreturns(\n";
  dump_oracle_list(threads, " : bool;\n ", w);
  dump_oracle_list_lbl("dispatched", " : bool", ";\n", threads, w, false);
  dump_oracle_list_lbl("cpu", " : bool", ";\n", threads, w, true);
  w << ");\nvar\n" << "    ";
  decl_n_bool("next_dispatched", n, emit, false);
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

void gen_condact_thread_scheduler(std::string_view processor, int n, const Numbered_items& items,
                                  const Emit& emit) {
  Writer w(emit);
  const bool random = options().gen_random_func;
  const auto threads = oracle_refs(items);
  w << "\nnode ";
  w.name("condact_schedule_", processor, "_threads") << "(\n";
  if (!random) {
    w << "      ";
    decl_n_int("in_min_max", n, emit, false);
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

// ---- quasi-synchronous processor clocks ------------------------------------------------------

namespace {

const std::string_view qs_generator_comment =
    "\n"
    "---------------------------------------------------------------------------------\n"
    "--  A quasi-synchronous clock generator/acceptor parameterized by: \n"
    "--  * n: the number of QS clocks to generate\n"
    "--  * d: the maximal clock drift, i.e., the maximum number of tics that are  \n"
    "--        authorized for the other clocks between 2 tics of each clock\n"
    "--\n"
    "--  The idea is, starting from a n-array of Boolean values (alea) containing\n"
    "--  candidate values for the QS clocks, to check that no clock drift excess \n"
    "--  occurs, and to force the culprit clocks to be false when necessary to avoid \n"
    "--  this drift excess. \n"
    "--\n"
    "--  More precisely, we compute the relative advance of each clock w.r.t. the (n-1) \n"
    "--  other clocks. If \n"
    "--  * the relative advance of a clock clk1 w.r.t. another clock clk2 is equal to d\n"
    "--  * clk1 is true\n"
    "--  * clk2 is false\n"
    "--  then we force clk1 to be false. \n"
    "\n";

const std::string_view qs_compute_advance =
    "\n"
    "-- Compute the relative advance of clk1 w.r.t. clk2\n"
    "node compute_advance(clk1, clk2 : bool) returns (c : int);\n"
    "var pc : int;\n"
    "let\n"
    "  pc = 0 -> pre c;\n"
    "  c = if clk2 then 0 -- reset the advance of clk1\n"
    "      else if clk1 then pc + 1 -- clk1 got ahead of one tic\n"
    "      else pc;\n"
    "tel\n";

const std::string_view qs_array_nodes =
    "\n"
    "-- Create an array of size n filled with x\n"
    "node ba_fill(const n: int; x : bool) returns (t: bool^n);\n"
    "let\n"
    "  t = x^n;\n"
    "tel\n"
    "\n"
    "-- Check if all elements of the array are false\n"
    "node ba_none(const n : int; I : bool^n) returns ( ok : bool);\n"
    "var\n"
    "  Nor : bool^n;\n"
    "let\n"
    "  Nor = [not I[0]] | (Nor[0..n-2] and not I[1..n-1]);\n"
    "  ok = Nor[n-1];\n"
    "tel\n"
    "\n"
    "-- The main node of the generic quasi-synchronous clock filter.\n"
    "-- * n is the number of clocks to generate\n"
    "-- * d is the maximal authorized clock drift\n"
    "-- * alea is an array of random values (clock candidate values)\n"
    "-- * select is the same array a alea, except for clocks that would be more than \n"
    "--   d tics late, that are forced to false\n"
    "node qsg_generic (const n : int; const d : int; alea : bool^n) \n"
    "returns (select : bool^n);\n"
    "var\n"
    "  advance_max_is_reached, problems : bool^n^n;\n"
    "  filter : bool^n;\n"
    "  advance, padvance : int^n^n;\n"
    "let\n"
    "  advance_max_is_reached = padvance >= d^n^n;\n"
    "  -- there is a problem if the maximum advance is reached and no tic occurs\n"
    "  problems = advance_max_is_reached and not alea^n;\n"
    "  -- we force the tic for clocks that are d tics late\n"
    "  filter = ba_none(n^n, problems);\n"
    "  select = alea and filter;\n"
    "  \n"
    "  advance = compute_advance(ba_fill(n^n, select), select^n);\n"
    "  padvance = 0^n^n -> pre advance;\n"
    "tel\n"
    "\n"
    "---------------------------------------------------------------------------------\n"
    "---------------------------------------------------------------------------------\n"
    "\n";

// The drift bound: between two ticks of a processor clock, any other one
// ticks at most this many times.
constexpr int drift_bound = 2;

// A prefix may start with blanks, "(" or "not ": those are written as they
// are, the rest is the name.
template <class... Indices>
void p_indexed(Writer& w, std::string_view prefix, Indices... indices) {
  std::size_t at = prefix.size();
  while (at > 0 && prefix[at - 1] != ' ' && prefix[at - 1] != '(') --at;
  w << prefix.substr(0, at);
  w.name(prefix.substr(at), indices...);
}
void p_var(Writer& w, std::string_view prefix, int i) { p_indexed(w, prefix, "_", Decimal(i).view()); }
void p_var2(Writer& w, std::string_view prefix, int i, int j) {
  p_indexed(w, prefix, "_", Decimal(i).view(), "_", Decimal(j).view());
}

void decl_vector(Writer& w, std::string_view name, int n, std::string_view type) {
  for (int i = 1; i <= n; ++i) {
    w << "  ";
    p_var(w, name, i);
    w << " : " << type << ";\n";
  }
}

void decl_matrix(Writer& w, std::string_view name, int n, std::string_view type) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (i != j) {
        w << "  ";
        p_var2(w, name, i, j);
        w << " : " << type << ";\n";
      }
}

template <class F>
void for_each_pair(int n, F f) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (i != j) f(i, j);
}

}  // namespace

void print_qs_library(const Emit& emit) {
  const bool arrays = options().v4_arrays;
  if (arrays) emit(qs_generator_comment);
  emit(qs_compute_advance);
  if (arrays) emit(qs_array_nodes);
}

void gen_qs_sched_call(const Si_tree& tree, const Emit& emit) {
  const int n = static_cast<int>(tree.size());
  VQ_ASSERT(n > 1, "the quasi-synchronous scheduler needs two processors or more");
  Writer w(emit);
  w << "\n\n-- A quasi synchronous scheduler for " << n << " processors.\n";
  w << "node quasi_synchronous_scheduler(";
  dump_n_var(w, "alea_", n);
  w << " : bool) \nreturns (";
  dump_n_var(w, "qs_", n);
  w << " : bool);\n";
  if (options().v4_arrays) {
    w << "let \n" << "  [";
    dump_n_var(w, "qs_", n);
    w << "] = qsg_generic(" << n << ", " << drift_bound << ", [";
    dump_n_var(w, "alea_", n);
    w << "]);\n";
  } else {
    w << "var\n";
    decl_matrix(w, "advance_max_is_reached", n, "bool");
    decl_matrix(w, "problems", n, "bool");
    decl_vector(w, "filter", n, "bool");
    decl_matrix(w, "advance", n, "int");
    decl_matrix(w, "padvance", n, "int");
    w << "\nlet\n";
    w << "  -- We compute the relative advance of various processors\n";
    for_each_pair(n, [&](int i, int j) {
      p_var2(w, "  advance", i, j);
      w << " = " << "compute_advance(";
      p_var(w, "qs", i);
      w << ", ";
      p_var(w, "qs", j);
      w << ");\n";
    });
    w << "\n";
    for_each_pair(n, [&](int i, int j) {
      p_var2(w, "  padvance", i, j);
      w << " = 0 -> pre ";
      p_var2(w, "advance", i, j);
      w << ";\n";
    });
    w << "  -- Is the maximum advance reached?\n";
    for_each_pair(n, [&](int i, int j) {
      p_var2(w, "  advance_max_is_reached", i, j);
      w << " = ";
      p_var2(w, "(padvance", i, j);
      w << " >= " << drift_bound << ");\n";
    });
    w << "\n  -- there is a problem if the maximum advance is reached and no tic occurs\n";
    for_each_pair(n, [&](int i, int j) {
      w << "  ";
      p_var2(w, "problems", i, j);
      w << " = ";
      p_var2(w, "advance_max_is_reached", i, j);
      w << " and ";
      p_var(w, "alea", i);
      w << ";\n";
    });
    w << "\n  -- we force the tic for clocks that are d tics late\n";
    for (int i = 1; i <= n; ++i) {
      p_var(w, "  filter", i);
      w << " = ";
      for (int j = 1; j < n; ++j) {
        if (j == i) continue;
        p_var2(w, "(not problems", i, j);
        w << ") and ";
      }
      if (i == n) {
        w << "true";
      } else {
        p_var2(w, "(not problems", i, n);
        w << ")";
      }
      w << ";\n";
    }
    for (int i = 1; i <= n; ++i) {
      p_var(w, "  qs", i);
      w << " = ";
      p_var(w, "alea", i);
      w << " and ";
      p_var(w, "filter", i);
      w << ";\n";
    }
  }
  w << "tel\n\n";
}

// ---- main scheduler and scheduled top-level node --------------------------------------------

void print_release_vars(const Si_tree& tree, const Emit& emit, std::string_view suffix, std::string_view sep,
                        bool last) {
  out("\n");
  Writer w(emit);
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

void gen_main_sched(const std::string& base, const Si_tree& tree, const Emit& emit, const Node& top_node) {
  Writer w(emit);
  const Options& opt = options();
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
    print_release_vars(tree, emit, "_min_max:int", ";\n", n > 1);
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

void print_scheduled_node(const std::string& base, const Si_tree& tree, const Emit& emit, const Node& top_node) {
  Writer w(emit);
  const Options& opt = options();
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
    print_release_vars(tree, emit, "_min_max:int", ";\n", n > 1);
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
    print_release_vars(tree, emit, "_min_max", ",\n   ", n > 1);
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

// ---- verification node and scenario -----------------------------------------------------------

void gen_schedule_oracle(const std::string& base, const Si_tree& tree, const Emit& emit) {
  Writer w(emit);
  const int n = static_cast<int>(tree.size());
  const bool random = options().gen_random_func;
  w << "\n-- to be used for formal verification \n";
  // The user's entry point for verification: nothing else in the program
  // refers to it, and it keeps the name the output base gives it.
  w << "node schedule_" << base << "_oracles_properties(\n";
  if (random) {
    w << "dummy:bool";
  } else {
    print_release_vars(tree, emit, "_min_max:int", ";\n", n > 1);
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

void gen_schedule_zorbel(const std::string&, const Si_tree& tree, const Node& top_node, const Emit& emit) {
  Writer w(emit);
  const Options& opt = options();
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
    print_release_vars(tree, emit, "_min_max:int", ";\n", n > 1);
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

// ---- driver ---------------------------------------------------------------------------------------

namespace {

bool is_thread_clock(std::string_view name) {
  return find_in(name, "_activate_clk") != std::string_view::npos ||
         find_in(name, "_dispatch_clk") != std::string_view::npos ||
         find_in(name, "_release_clk") != std::string_view::npos;
}

// FNV-1a over the pieces of a text, read as one text.
std::uint64_t text_hash(std::initializer_list<std::string_view> pieces) {
  std::uint64_t h = 14695981039346656037u;
  for (std::string_view piece : pieces)
    for (unsigned char c : piece) {
      h ^= c;
      h *= 1099511628211u;
    }
  return h;
}

// Whether the text is the pieces, one after the other.
bool is_text(std::string_view text, std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) {
    if (!text.starts_with(piece)) return false;
    text.remove_prefix(piece.size());
  }
  return text.empty();
}

// Every thread clock that the top-level system takes must be produced by the
// scheduler of some processor; the threads of a process that no processor
// runs would otherwise read clocks that nothing defines.
void check_clocks_driven(const Si_tree& tree, const Node& top_node) {
  // The thread clocks that the top-level system takes, by the hash of their
  // name; each clock that a thread of the tree drives marks those it names.
  struct Wanted {
    std::uint64_t hash;
    std::size_t index;  // in the oracles of the top-level node
  };
  const auto& oracles = top_node.oracles;
  std::vector<Wanted> wanted;
  wanted.reserve(oracles.size());
  for (std::size_t i = 0; i < oracles.size(); ++i)
    if (is_thread_clock(oracles[i].first.str())) wanted.push_back(Wanted{text_hash({oracles[i].first.str()}), i});
  auto by_hash = [](const Wanted& a, const Wanted& b) { return a.hash < b.hash; };
  std::sort(wanted.begin(), wanted.end(), by_hash);
  std::vector<bool> driven(oracles.size(), false);
  auto mark = [&](std::initializer_list<std::string_view> pieces) {
    auto [lo, hi] = std::equal_range(wanted.begin(), wanted.end(), Wanted{text_hash(pieces), 0}, by_hash);
    for (auto it = lo; it != hi; ++it)
      if (is_text(oracles[it->index].first.str(), pieces)) driven[it->index] = true;
  };
  for_each_thread(tree, [&](const Processor_entry&, const Oracle_ref& o) {
    const std::string& act = o.act_clock().str();
    mark({act});
    const Act_clock_parts c = act_clock_parts(act);
    mark({c.before, "_dispatch_clk", c.after});
    mark({o.deliv->clock.str()});
  });
  for (std::size_t i = 0; i < oracles.size(); ++i) {
    const std::string& name = oracles[i].first.str();
    if (!driven[i] && is_thread_clock(name)) {
      out("*** Cannot schedule this system, sorry.\n");
      out("*** The clock " + name +
          " is driven by no processor: is every process bound with Actual_Processor_Binding?\n");
      throw Exit_request(2);
    }
  }
}

}  // namespace

std::vector<Named_constant> print_scheduler(int verbosity, const std::string& base, const Ident& top, const Env& env) {
  auto scenario = open_scenario_file(base);
  Channel& sched_oc = *channels().scheduler;
  Channel& top_oc = *channels().top;
  const Emit to_sched = Channel_emit{&sched_oc};
  const Emit to_top = Channel_emit{&top_oc};
  const Emit to_scenario = Channel_emit{scenario.get()};

  const Si_tree tree = compute_si_tree(top, env);
  const std::vector<int> counts = compute_thread_nb(tree);
  const Node& top_node = env.get_node2(top);
  check_clocks_driven(tree, top_node);
  if (verbosity >= 3) print_si_tree(tree);

  const Options& opt = options();
  to_sched(library_block_a);
  to_sched(opt.gen_random_func ? library_block_b : library_block_c);
  print_qs_library(to_sched);

  std::set<int> arbiters;
  for (std::size_t k = 0; k < tree.size(); ++k) {
    const int nb = counts[k];
    VQ_ASSERT(nb >= 1, "processor " + tree[k].processor.str() + " has no thread to schedule");
    if (arbiters.insert(nb).second) no_lock(nb, to_sched);
    const std::string& processor = tree[k].processor.str();
    gen_thread_scheduler(processor, nb, tree[k].items, to_sched);
    gen_condact_thread_scheduler(processor, nb, tree[k].items, to_sched);
  }
  if (tree.size() > 1) gen_qs_sched_call(tree, to_sched);
  gen_main_sched(base, tree, to_sched, top_node);
  print_scheduled_node(base, tree, to_top, top_node);
  gen_schedule_oracle(base, tree, to_sched);
  gen_schedule_zorbel(base, tree, top_node, to_scenario);

  if (verbosity >= 2) out("# ==> File " + scenario->name() + " has been generated.\n");
  if (int e = scenario->close()) throw Failure(file_error(e, scenario->name()));
  return used_named_constants(tree);
}

}  // namespace vorquel
