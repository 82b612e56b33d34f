// Implementations: processes, threads and systems become nodes that call
// their sub-components, threads under their clocks (condact calls).
#include "translation/vorquel.hpp"

#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "aadl/aadl_misc.hpp"
#include "aadl/aadl_text_lexer.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "aadl/property.hpp"
#include "env/instance_properties.hpp"
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/overloaded.hpp"
#include "sync/clock_names.hpp"
#include "translation/internal.hpp"
#include "translation/wiring.hpp"

namespace vorquel {
namespace translation {

// ---- implementations -------------------------------------------------------------

struct Sub_info {
  Ident name;
  const Component* classifier;
  Conn_split conns;
  Source_pos pos = {};  // of the sub-component or call
  const Subcomponent* sub = nullptr;  // null for a call
};

// The component a classifier names. A name that is not declared goes through
// the translate-first request, which reports it as undefined.
const Component& classifier_component(const Env& env, const Ident& name, const Source_pos& at, std::string referrer) {
  const Entry* e = env.find(name);
  if (!e) throw Vorquel_todo(name, location_of(at), std::move(referrer));
  if (e->decl) {
    if (const auto* c = std::get_if<Component>(e->decl.get())) return *c;
    fail_at(location_of(at), referrer + ": " + aadl_name(name) + " is a port group type, not a component");
  }
  return env.get_component2(name);  // reports what the entry is instead
}

// A sub-component or call whose category has no place where it stands.
[[noreturn]] void misplaced(const Sub_info& s, const std::string& where) {
  const std::string category = category_to_string(s.classifier->category);
  fail_at(location_of(s.pos), aadl_name(s.name) + " is a " + category + " (" + aadl_name(s.classifier->name) +
                                  "), which cannot stand in " + where);
}

// A connection end "a.f" names a sub-component a (or, failing that, a
// feature a of the component's type): otherwise it would read or write a
// variable that nothing defines.
void check_connection_ends(const Env& env, const Component& c,
                           const std::unordered_map<std::string_view, const Sub_info*>& subs) {
  const Component* type = nullptr;
  if (const Entry* e = env.find(type_name_of_implementation_name(c.name)); e && e->decl)
    type = std::get_if<Component>(e->decl.get());
  auto known = [&](const Ident& end) {
    if (end.is_simple() || subs.count(end.head())) return true;
    // A sub-component named by several parts: the end without its feature.
    const std::string& flat = end.str();
    if (flat.size() > end.last().size() && subs.count(std::string_view(flat).substr(0, flat.size() - end.last().size() - 1)))
      return true;
    if (type)
      for (const auto& f : type->features)
        if (f.name.is_simple() && f.name.head() == end.head()) return true;
    return false;
  };
  for (const auto& conn : c.connections)
    for (const Ident* end : {&conn.src, &conn.dst})
      if (!known(*end))
        fail_at(location_of(conn.pos), "in " + aadl_name(c.name) + ": connection end " + aadl_name(*end) + ": " +
                                           aadl_name(c.name) + " has no sub-component " +
                                           std::string(end->head()));
}

// The sub-components of a process or system implementation, in declaration
// order (the component holds them reversed).
std::vector<Sub_info> get_subcomponents_information(const Env& env, const Component& c) {
  Conn_index index(c.connections);
  std::vector<Sub_info> subs;
  subs.reserve(c.subcomponents.size());
  for (auto it = c.subcomponents.rbegin(); it != c.subcomponents.rend(); ++it) {
    if (!it->classifier)
      fail_at(location_of(it->pos), "in " + aadl_name(c.name) + ": sub-component " + aadl_name(it->name) +
                                        " has no classifier; name the component it is an instance of");
    subs.push_back({it->name, &classifier_component(env, *it->classifier, it->pos, "sub-component " + aadl_name(it->name)),
                    index.split(it->name), it->pos, &*it});
  }
  return subs;
}

// The calls of a thread implementation's call sequence, in call order.
std::vector<Sub_info> get_calls_information(const Env& env, const Component& c) {
  if (c.call_sequences.empty()) return {};
  if (c.call_sequences.size() > 1) not_yet_implemented("Vorquel.get_calls_information");
  Conn_index index(c.connections);
  std::vector<Sub_info> calls;
  for (const auto& call : c.call_sequences.front().calls)
    calls.push_back({call.name, &classifier_component(env, call.called, call.pos, "call " + aadl_name(call.name)),
                     index.split(call.name), call.pos});
  return calls;
}

// The call that runs the sub-component (or call) `instance`.
Expression call_expr(std::optional<Expression> clock, const Ident& callee, std::vector<Tuple_item> args,
                     const Ident& instance, Expression callee_var = nullptr) {
  if (!callee_var) callee_var = var(callee);
  return make_expr(
      Call_expr{std::move(clock), std::move(callee_var), make_expr(Tuple{std::move(args)}), instance, {}});
}

Integer period_or(const Component& c, const Ident& default_name) {
  if (auto p = find_period(c)) return *p;
  return Integer::of_name(make_new_ident(default_name, "_period"));
}

// The pieces of a node that an implementation accumulates.
struct Body {
  Front_list<Typed_ident> oracles;
  Front_list<Typed_ident> locals;
  Front_list<Equation> equations;
  Front_list<Ident> sub_nodes;
  Front_list<Si> sched_infos;
  // One expression naming each callee, shared by all its calls, and the
  // labels of the patterns of its calls.
  std::unordered_map<Ident, Expression> callee_vars;
  std::unordered_map<Ident, std::vector<Ident>> output_labels;
  Expression callee_var(const Ident& callee) {
    auto [it, fresh] = callee_vars.try_emplace(callee);
    if (fresh) it->second = var(callee);
    return it->second;
  }
};

// A thread type in a process, or a subprogram in a thread, runs as a condact
// call on its activation clock and publishes its outputs through
// DelayedOutputs. These are the pieces both cases build alike.
struct Condact_parts {
  Local_outputs outs;
  Pattern condact;  // outs.pattern with every variable x renamed x_condact
  std::vector<Tuple_item> args;
  Wires wires;
};

Condact_parts condact_parts(const Sub_info& s, const Node& callee, const Enclosing& encl, Body& b) {
  const Ident& C = s.classifier->name;
  Local_outputs outs = make_local_output_of_component(s.name, C, callee, &b.output_labels[C], &s.conns.outgoing);
  Pattern condact = rename_patt_condact(outs.pattern);
  auto args = make_input_of_component(s.name, C, callee, s.conns.incoming, encl);
  return Condact_parts{std::move(outs), std::move(condact), std::move(args), make_wires(s.conns.outgoing, encl)};
}

// The locals that receive the results of the condact call: the variables of
// the condact pattern, typed as the outputs they stand for.
std::vector<Typed_ident> condact_locals(const Condact_parts& p) {
  const auto& items = std::get<PTuple>(p.condact.v).items;
  VQ_ASSERT(items.size() == p.outs.locals.size(), "condact pattern and locals differ in number");
  std::vector<Typed_ident> r;
  r.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i)
    r.push_back({std::get<PVar>(items[i].pattern.v).name, p.outs.locals[i].second});
  return r;
}

// The enclosing component of `subs`, of which those of the category
// `wired` (all when absent) make wires.
Enclosing enclosing(const Component& c, const Node& type_node, const std::vector<Sub_info>& subs,
                    std::optional<Category> wired) {
  std::unordered_set<std::string_view> names;
  for (const auto& s : subs)
    if (!wired || s.classifier->category == *wired) names.insert(s.name.str());
  return Enclosing(c, type_node, names, read_from_text(c.pos));
}

// Takes the arguments, the patterns and the wires out of p; its locals stay.
void add_condact_equations(Body& b, const Ident& instance, const Ident& C, Condact_parts& p, const Ident& act,
                           const Ident& disp, const Ident& rel) {
  b.equations.prepend(std::move(p.wires.equations));
  Pattern condact = std::move(p.condact);
  b.equations.prepend(Equation{condact, call_expr(var(act), C, std::move(p.args), instance, b.callee_var(C))});
  Pattern outputs = p.outs.pattern;
  b.equations.prepend(Equation{std::move(p.outs.pattern),
                               make_expr(DelayedOutputs{C, rel, disp, std::move(outputs), std::move(condact),
                                                        std::move(p.wires.delayed_sources)})});
}

// A thread type, or a thread implementation without calls (its own timing,
// else its type's): called under its own clocks.
bool clocked_like_a_type(const Component& thread) {
  return thread.kind == Component_kind::Type || thread.call_sequences.empty();
}

// d = d_init -> E, where E starts as pre(d) and every writer w (in
// declaration order) wraps it: if pre(release clock of w) then w else E.
void process_data(const Node_lookup& node_of, const Sub_info& s,
                  const std::unordered_map<std::string_view, const Sub_info*>& by_name, Body& b) {
  const Ident& C = s.classifier->name;
  b.locals.prepend({s.name, tnamed(C)});
  std::vector<Ident> writers;
  for (const Connection* c : s.conns.outgoing) {
    if (!(c->src == s.name) || c->dst.is_simple()) continue;
    auto it = by_name.find(c->dst.head());
    if (it == by_name.end()) continue;
    const Component& w = *it->second->classifier;
    if (w.category != Category::Thread) continue;
    // Only a thread that has the feature as an output writes the data.
    if (!has_output(*node_of(w.name), c->dst.last())) continue;
    // Only a clocked thread tells when it wrote; the XML form keeps its stop
    // for every thread implementation.
    if (!clocked_like_a_type(w) || (w.kind == Component_kind::Implementation && !read_from_text(w.pos)))
      not_yet_implemented("data written by a thread implementation",
                          "the thread " + aadl_name(w.name) + " writes the data " + s.name.str() +
                              ", but a thread implementation with calls has no clock of its own to say when");
    writers.push_back(c->dst);
  }
  std::reverse(writers.begin(), writers.end());
  Expression e = make_expr(Pre{var(s.name)});
  for (const auto& w : writers) e = make_expr(If{make_expr(Pre{var(clock_of_ident(w))}), var(w), e});
  b.equations.prepend(Equation{Pattern{PVar{s.name}}, make_expr(Arrow{var(add_suffix("_init", C)), e})});
}

// A component named like c whose properties are c's, then, for an
// implementation, its type's: where its timing is looked up.
Component timing_holder(const Env& env, const Component& c) {
  Component timing{c.name, c.kind, c.category, std::nullopt, {}, std::nullopt, {}, {}, {}, c.properties, false};
  if (c.kind == Component_kind::Implementation) {
    const auto& type = env.get_component(type_name_of_implementation_name(c.name)).properties;
    timing.properties.insert(timing.properties.end(), type.begin(), type.end());
  }
  return timing;
}

// The timing of a thread sub-component of a textual model, as AADL gives it
// to the instance: the process's contained association, the sub-component's
// own, the classifier's; a Period may also be inherited from the process.
std::vector<Property_association> instance_timing(const Env& env, const Component& process, const Sub_info& s) {
  std::vector<Property_association> found;
  for (const char* name : {"Period", "Compute_Execution_Time"}) {
    const Property_association* a = instance_property(env, process, *s.sub, *s.classifier, name);
    if (!a && std::string_view(name) == "Period") {
      a = find_association(process.properties, name);
      if (const Component* t = a ? nullptr : type_of_implementation(env, process)) a = find_association(t->properties, name);
    }
    if (!a) continue;
    found.push_back(*a);
    found.back().applies_to.reset();
  }
  return found;
}

// A thread type, or an implementation without calls (its period and
// execution time are its own, else its type's): one clocked call.
void process_thread_type(const Env& env, const Node_lookup& node_of, const Component& process, const Sub_info& s,
                         const Enclosing& encl, Body& b) {
  const Component& C = *s.classifier;
  Component timing = timing_holder(env, C);
  if (s.sub && read_from_text(process.pos)) {
    auto own = instance_timing(env, process, s);
    timing.properties.insert(timing.properties.begin(), own.begin(), own.end());
  }
  Node_ptr callee = node_of(C.name);
  // Checked for its diagnostics only: a connection from a feature that the
  // thread does not have would read a variable that nothing defines.
  (void)local_of_out_connection(env, C, s.conns.outgoing);
  Condact_parts p = condact_parts(s, *callee, encl, b);
  Integer period = period_or(timing, C.name);
  auto [lower, upper] = get_compute_execution_time(timing);
  Ident act = activate_clock(s.name);
  Ident disp = dispatch_clock(s.name);
  Ident rel = release_clock(s.name);
  b.sched_infos.prepend(Si_timed{C.name, Periodic{act, period}, Deliv_info{rel, lower, upper}});
  std::vector<Typed_ident> condact_results = condact_locals(p);  // read from the locals
  b.locals.prepend(std::move(p.outs.locals));
  b.locals.prepend(std::move(condact_results));
  b.locals.prepend({act, tbool()});
  b.oracles.prepend({act, tbool()});
  b.oracles.prepend({disp, tbool()});
  b.oracles.prepend({rel, tbool()});
  add_condact_equations(b, s.name, C.name, p, act, disp, rel);
  b.sub_nodes.prepend(C.name);
}

// A thread implementation schedules its own calls: a plain call, no clock.
void process_thread_impl(const Env& env, const Node_lookup& node_of, const Component& process, const Sub_info& s,
                         const Enclosing& encl, Body& b) {
  const Component& C = *s.classifier;
  // Its node times its calls for every instance: a Period of the instance
  // that is not the implementation's own cannot be followed.
  if (s.sub && read_from_text(process.pos)) {
    const auto own = instance_timing(env, process, s);
    const auto at = std::find_if(own.begin(), own.end(), [](const Property_association& a) { return a.name.head() == "Period"; });
    if (at != own.end() && find_period(own) != find_period(timing_holder(env, C).properties))
      fail_at(location_of(at->pos), "the Period of " + aadl_name(s.name) + " in " + aadl_name(process.name) +
                                        " is not the one of its classifier " + aadl_name(C.name) +
                                        ", whose calls are timed once for all its instances; give the Period on " +
                                        aadl_name(C.name));
  }
  Node_ptr callee = node_of(C.name);
  Local_outputs outs = make_local_output_of_component(s.name, C.name, *callee);
  auto args = make_input_of_component(s.name, C.name, *callee, s.conns.incoming, encl);
  Wires wires = make_wires(s.conns.outgoing, encl);
  // Checked for its diagnostics only: the callees read the sources
  // directly, so no equation would define these locals.
  (void)local_of_out_connection(env, C, s.conns.outgoing);
  b.locals.prepend(std::move(outs.locals));
  b.equations.prepend(std::move(wires.equations));
  b.equations.prepend(Equation{outs.pattern, call_expr(std::nullopt, C.name, std::move(args), s.name)});
  b.sub_nodes.prepend(C.name);
  b.sched_infos.prepend(Si_plain{C.name, s.name});
}

Node finish(const Component& c, const Node& type_node, Body& b) {
  // An in out port (or read-write access) of a process of a textual model,
  // or of a thread that calls subprograms, that no connection writes keeps
  // the value it reads (a thread without calls is the user's to fill in).
  if (read_from_text(c.pos) && (c.category == Category::Process || !c.call_sequences.empty()))
    for (const auto& [o, type] : type_node.outputs) {
      const Ident read = add_suffix("_in", o);
      const bool reads = std::any_of(type_node.inputs.begin(), type_node.inputs.end(),
                                     [&](const Typed_ident& in) { return in.first == read; });
      const bool written = std::any_of(c.connections.begin(), c.connections.end(),
                                       [&](const Connection& k) { return k.dst.is_simple() && k.dst == o; });
      if (reads && !written) b.equations.prepend(Equation{Pattern{PVar{o}}, var(read)});
    }
  Node n = make_node(c.name);
  n.inputs = type_node.inputs;
  n.outputs = type_node.outputs;
  n.oracles = b.oracles.take_reversed();
  n.locals = b.locals.take_list();
  n.equations = b.equations.take_list();
  n.sched_infos = b.sched_infos.take_list();
  n.sub_nodes = b.sub_nodes.take_list();
  return n;
}

// Only periodic threads without a dispatch offset are translated.
void check_thread_dispatch(const Env& env, const Component& c, const Subcomponent& s, const Component& thread) {
  const std::string where = "the thread " + s.name.str() + " (" + aadl_name(thread.name) + ") of " + aadl_name(c.name);
  const Property_association* p = instance_property(env, c, s, thread, "Dispatch_Protocol");
  if (!p)
    fail_located("*** Error: the thread " + thread.name.str() + " has no Dispatch_Protocol property.\n",
                 location_of(thread.pos),
                 "thread " + aadl_name(thread.name) + " has no Dispatch_Protocol property; add "
                 "Dispatch_Protocol => Periodic");
  const std::string protocol = enumeration_text(*p);
  if (string_to_dispatch_protocol(protocol) != Dispatch_protocol::Periodic)
    fail_located("*** Error: " + where + " has the dispatch protocol " + protocol +
                     ": only periodic threads are supported.\n",
                 location_of(p->pos), where + " is " + protocol + ": only periodic threads are supported");
  if (const auto* offset = instance_property(env, c, s, thread, "Dispatch_Offset"))
    fail_located("*** Error: " + where + " has a Dispatch_Offset, which is not supported.\n", location_of(offset->pos),
                 where + " has a Dispatch_Offset, which is not supported");
}

Sync_definition process_impl(const Env& env, const Node_lookup& node_of, const Component& c) {
  check_component(c, Category::Process, Component_kind::Implementation, "process_impl");
  check_normalized(c, "process_impl");
  Node_ptr type_node = node_of(type_name_of_implementation_name(c.name));
  auto subs = get_subcomponents_information(env, c);
  std::unordered_map<std::string_view, const Sub_info*> by_name;
  for (const auto& s : subs) by_name.emplace(s.name.str(), &s);
  check_connection_ends(env, c, by_name);
  const Enclosing encl = enclosing(c, *type_node, subs, Category::Thread);
  for (const auto& s : c.subcomponents) {
    if (!s.classifier) continue;
    const Component& thread = classifier_component(env, *s.classifier, s.pos, "sub-component " + aadl_name(s.name));
    // Textual models are checked where they are used (check_dispatch_of_instance).
    if (thread.category == Category::Thread && !read_from_text(c.pos)) check_thread_dispatch(env, c, s, thread);
  }
  Body b;
  for (const auto& s : subs) {
    const Component& C = *s.classifier;
    switch (C.category) {
      case Category::Data:
        process_data(node_of, s, by_name, b);
        break;
      case Category::Thread:
        if (clocked_like_a_type(C)) process_thread_type(env, node_of, c, s, encl, b);
        else process_thread_impl(env, node_of, c, s, encl, b);
        break;
      case Category::Thread_group:
        fail_located(std::string(category_to_string(C.category)) + " is not supported as a sub-component of " +
                         "a process implementation.\n",
                     location_of(s.pos),
                     "in " + aadl_name(c.name) + ": " + aadl_name(s.name) + " is a thread group (" +
                         aadl_name(C.name) + "): thread groups are not supported");
      case Category::Subprogram:
      case Category::Process:
      case Category::Processor:
      case Category::Virtual_processor:
      case Category::Memory:
      case Category::Bus:
      case Category::Device:
      case Category::System:
        misplaced(s, "a process implementation");
    }
  }
  return node_def(finish(c, *type_node, b));
}

// The execution time of a called subprogram: an implementation's own,
// else its type's, else the bounds named after the callee.
std::pair<Integer, Integer> callee_execution_time(const Env& env, const Component& callee) {
  return get_compute_execution_time(timing_holder(env, callee));
}

// A subprogram implementation read from textual AADL is a node to fill in,
// with the interface of its type; its body is the user's code. One that
// calls other subprograms would need a schedule of its own calls.
Sync_definition subprogram_impl(const Node_lookup& node_of, const Component& c) {
  check_component(c, Category::Subprogram, Component_kind::Implementation, "subprogram_impl");
  check_normalized(c, "subprogram_impl");
  if (!c.call_sequences.empty())
    fail_at(location_of(c.pos), "the subprogram implementation " + aadl_name(c.name) +
                                    " has calls: subprogram implementations that call other subprograms are not "
                                    "supported");
  Node_ptr type_node = node_of(type_name_of_implementation_name(c.name));
  Node n = make_node(c.name);
  n.inputs = type_node->inputs;
  n.outputs = type_node->outputs;
  return node_def(std::move(n));
}

Sync_definition thread_impl(const Env& env, const Node_lookup& node_of, const Component& c) {
  check_component(c, Category::Thread, Component_kind::Implementation, "thread_impl");
  check_normalized(c, "thread_impl");
  Ident type_name = type_name_of_implementation_name(c.name);
  Node_ptr type_node = node_of(type_name);
  // The implementation's period, else its type's, else a named one.
  const Integer period = [&] {
    if (auto p = find_period(c)) return *p;
    return period_or(env.get_component(type_name), c.name);
  }();
  auto calls = get_calls_information(env, c);
  const Enclosing encl = enclosing(c, *type_node, calls, std::nullopt);
  // Textual models call subprogram implementations, and their stops name
  // the call; the XML form keeps its own texts.
  const bool textual = read_from_text(c.pos);
  Body b;
  std::optional<Ident> previous_release;
  for (const auto& s : calls) {
    const Component& C = *s.classifier;
    switch (C.category) {
      case Category::Subprogram: {
        if (C.kind == Component_kind::Implementation && !textual)
          fail("*** Subprogram implementations are not implemented.");
        Node_ptr callee = node_of(C.name);
        Condact_parts p = condact_parts(s, *callee, encl, b);
        // Checked for its diagnostics only: the next calls read the sources
        // directly, so no equation would define these locals.
        (void)local_of_out_connection(env, C, s.conns.outgoing);
        Ident act = activate_clock(s.name);
        Ident disp = dispatch_clock(s.name);
        Act_info activation = previous_release ? Act_info{DefinedBy{act, *previous_release}}
                                               : Act_info{Periodic{act, period}};
        b.oracles.prepend({act, tbool()});
        b.oracles.prepend({disp, tbool()});
        b.locals.prepend({act, tbool()});
        b.locals.prepend({disp, tbool()});
        Ident rel = release_clock(s.name);
        auto [lower, upper] = callee_execution_time(env, C);
        std::vector<Typed_ident> condact_results = condact_locals(p);
        add_condact_equations(b, s.name, C.name, p, act, disp, rel);
        b.locals.prepend(std::move(p.outs.locals));
        b.locals.prepend(std::move(condact_results));
        b.locals.prepend({rel, tbool()});
        b.oracles.prepend({rel, tbool()});
        b.sub_nodes.prepend(C.name);
        b.sched_infos.prepend(Si_timed{C.name, std::move(activation), Deliv_info{rel, lower, upper}});
        previous_release = rel;
        break;
      }
      case Category::Data:
        if (textual) misplaced(s, "a thread implementation's call sequence");
        fail("*** Data subcomponents are not yet supported for threads!\n");
      case Category::Thread:
      case Category::Thread_group:
      case Category::Memory:
      case Category::Bus:
      case Category::Device:
        if (textual) misplaced(s, "a thread implementation's call sequence");
        fail(std::string(category_to_string(C.category)) + " is not supported as a sub-component of " +
             "a thread implementation.\n");
      case Category::Process:
      case Category::Processor:
      case Category::Virtual_processor:
      case Category::System:
        misplaced(s, "a thread implementation's call sequence");
    }
  }
  return node_def(finish(c, *type_node, b));
}

// The type of the device's input that a device wire defines.
Type_expression device_input_type(const Env& env, const Ident& input, const Component& device, const Ident& signals) {
  const Ident feature = feature_name_of_component_name(input);
  if (const Entry* e = env.find(signals))
    if (const auto* sig = std::get_if<Component>(e->decl.get()))
      for (const auto& f : sig->features)
        if (f.name == feature) return type_of_feature_kind(f.kind);
  fail("*** Variable " + input.str() + " is not an input of component " + device.name.str() + ".\n");
}

Sync_definition system_impl(const Env& env, const Node_lookup& node_of, const Component& c) {
  check_component(c, Category::System, Component_kind::Implementation, "system_impl");
  check_normalized(c, "system_impl");
  Node_ptr type_node = node_of(type_name_of_implementation_name(c.name));
  auto subs = get_subcomponents_information(env, c);
  std::unordered_set<std::string_view> devices;
  for (const auto& s : subs)
    if (s.classifier->category == Category::Device) devices.insert(s.name.str());
  auto to_device = [&](const Ident& id) { return devices.count(id.head()) > 0; };
  std::unordered_set<std::string_view> called;  // processes and sub-systems
  for (const auto& s : subs)
    if (s.classifier->category == Category::Process || s.classifier->category == Category::System)
      called.insert(s.name.str());
  const Enclosing encl(c, *type_node, called);

  // Equations grow at the front, device wires at the back; the whole list
  // is reversed at the end.
  Front_list<Equation> front;
  std::vector<Equation> back;
  std::vector<Typed_ident> locals, device_outputs;
  Front_list<Ident> sub_nodes;
  // Device inputs that the device wires define: (input, device, component
  // whose features the device has).
  struct Device_input {
    Ident name;
    const Component* device;
    Ident signals;
  };
  std::vector<Device_input> device_inputs;
  std::deque<Connection> device_links;  // into the devices' values of sub-systems
  std::vector<Typed_ident> to_environment;  // the values sub-systems send to their devices
  for (const auto& s : subs) {
    const Component& C = *s.classifier;
    switch (C.category) {
      case Category::Process:
      case Category::System: {
        // A sub-system is called like a process: its node holds its own
        // processes, devices and connections.
        // A system type runs nothing.
        if (C.category == Category::System && C.kind == Component_kind::Type) break;
        Node_ptr callee = node_of(C.name);
        Local_outputs outs = make_local_output_of_component(s.name, C.name, *callee);
        // A sub-system's devices are the environment of this system too:
        // what they send comes in as an input of this system ("s_sensor_v"),
        // what they receive goes out as an output.
        std::vector<const Connection*> incoming = s.conns.incoming;
        if (C.category == Category::System) {
          const Node& type = *node_of(type_name_of_implementation_name(C.name));
          std::unordered_set<std::string_view> own_in, own_out;
          for (const auto& in : type.inputs) own_in.insert(in.first.str());
          for (const auto& o : type.outputs) own_out.insert(o.first.str());
          for (const auto& [in, t] : callee->inputs) {
            if (own_in.count(in.str())) continue;
            Ident outer(s.name.str() + "_" + in.str());
            device_outputs.push_back({outer, t});
            device_links.push_back(Connection{std::nullopt, Connection_kind::Data_connection, outer,
                                              Connection_arrow::Immediate, Ident::dot(s.name.str(), in.str()), {}});
            incoming.push_back(&device_links.back());
          }
          // The call defines "s_act_cmd_sent", the output "s_act_cmd" copies it.
          auto& items = std::get<PTuple>(outs.pattern.v).items;
          for (std::size_t i = 0; i < callee->outputs.size() && i < items.size(); ++i) {
            auto* v = std::get_if<PVar>(&items[i].pattern.v);
            if (!v || own_out.count(callee->outputs[i].first.str())) continue;
            Ident sent(v->name.str() + "_sent"), outer(v->name.str());
            to_environment.emplace_back(outer, outs.locals[i].second);
            front.prepend(Equation{Pattern{PVar{outer}}, var(sent)});
            outs.locals[i].first = sent;
            v->name = sent;
          }
        }
        auto args = make_input_of_component(s.name, C.name, *callee, incoming, encl);
        Wires wires = make_wires(s.conns.outgoing, encl);
        // Only the values sent to devices are defined (by the device wires);
        // the other callees read the sources directly.
        std::vector<Typed_ident> to_devices;
        for (auto& l : local_of_out_connection(env, C, s.conns.outgoing))
          if (to_device(l.first)) to_devices.push_back(std::move(l));
        locals.insert(locals.end(), std::make_move_iterator(outs.locals.begin()),
                      std::make_move_iterator(outs.locals.end()));
        locals.insert(locals.end(), std::make_move_iterator(to_devices.begin()),
                      std::make_move_iterator(to_devices.end()));
        front.prepend(std::move(wires.equations));
        front.prepend(Equation{outs.pattern, call_expr(std::nullopt, C.name, std::move(args), s.name)});
        sub_nodes.prepend(C.name);
        break;
      }
      case Category::Device: {
        // A device implementation has no node of its own: its signals are
        // those of its type.
        Ident signals = C.kind == Component_kind::Type ? C.name : type_name_of_implementation_name(C.name);
        Local_outputs outs = make_local_output_of_component(s.name, signals, *node_of(signals));
        device_outputs.insert(device_outputs.end(), outs.locals.begin(), outs.locals.end());
        auto wires = make_wires_device_input(C.name, s.conns.incoming);
        for (const auto& eq : wires) device_inputs.push_back({std::get<PVar>(eq.lhs.v).name, &C, signals});
        back.insert(back.end(), wires.begin(), wires.end());
        break;
      }
      case Category::Processor:
      case Category::Virtual_processor:
      case Category::Memory:
      case Category::Bus:
        break;
      case Category::Data:
      case Category::Subprogram:
      case Category::Thread:
      case Category::Thread_group:
        misplaced(s, "a system implementation");
    }
  }

  Node n = make_node(c.name);
  n.inputs = type_node->inputs;
  n.inputs.insert(n.inputs.end(), device_outputs.begin(), device_outputs.end());
  n.outputs = type_node->outputs;
  // The values sent to devices, each once: those that processes send, then
  // those that come straight from an input of the system or from a device.
  std::unordered_set<Ident> sent;
  for (auto& l : locals) {
    if (!to_device(l.first)) n.locals.push_back(std::move(l));
    else if (sent.insert(l.first).second) n.outputs.push_back(std::move(l));
  }
  n.outputs.insert(n.outputs.end(), to_environment.begin(), to_environment.end());
  for (const auto& d : device_inputs)
    if (sent.insert(d.name).second) n.outputs.push_back({d.name, device_input_type(env, d.name, *d.device, d.signals)});
  n.equations.assign(back.rbegin(), back.rend());
  n.equations.insert(n.equations.end(), front.reversed().begin(), front.reversed().end());
  n.sub_nodes = sub_nodes.list();
  return node_def(std::move(n));
}

Sync_definition definition_of_component(const Env& env, const Node_lookup& node_of, const Component& c,
                                        Directions& dirs) {
  const bool is_type = c.kind == Component_kind::Type;
  switch (c.category) {
    case Category::Data:
      return TypeDef{c.name, std::nullopt};
    case Category::Subprogram:
      if (is_type) return interface_node(env, c, dirs);
      if (read_from_text(c.pos)) return subprogram_impl(node_of, c);
      internal_error("subprogram_impl: the subprogram implementation " + c.name.str() + " cannot be translated");
    case Category::Thread:
      if (is_type) {
        if (!read_from_text(c.pos)) check_dispatch_protocol(c);
        return interface_node(env, c, dirs);
      }
      return thread_impl(env, node_of, c);
    case Category::Thread_group:
      if (is_type) return interface_node(env, c, dirs);
      not_yet_implemented("thread_group_impl", "thread groups are not supported");
    case Category::Process:
      if (is_type) return interface_node(env, c, dirs);
      return process_impl(env, node_of, c);
    case Category::Processor:
    case Category::Virtual_processor:
    case Category::Memory:
    case Category::Bus:
      return Skipped{c.name};
    case Category::Device:
      if (is_type) return interface_node(env, c, dirs);
      return Skipped{c.name};
    case Category::System:
      if (is_type) return interface_node(env, c, dirs);
      return system_impl(env, node_of, c);
  }
  internal_error("sync_definition_of_component: unknown category");
}

}  // namespace translation

using namespace translation;

void check_dispatch_protocol(const Component& thread) {
  // Without one of its own, the thread type takes the protocol from where it
  // is used (its implementation, the sub-component): checked there.
  const std::optional<Dispatch_protocol> protocol = find_dispatch_protocol(thread);
  if (!protocol || *protocol == Dispatch_protocol::Periodic) return;
  const Property_association& a = *find_association(thread.properties, "Dispatch_Protocol");
  const char* text = *protocol == Dispatch_protocol::Aperiodic  ? "*** Aperiodic dispatch protocol is not a supported yet.\n"
                     : *protocol == Dispatch_protocol::Sporadic ? "*** Sporadic dispatch protocol is not a supported yet.\n"
                                                                : "*** Backgroud dispatch protocol is not a supported yet.\n";
  fail_located(text, location_of(a.pos),
               "the thread " + aadl_name(thread.name) + " is " + enumeration_text(a) +
                   ": only periodic threads are supported");
}

namespace {

// The category of the sub-component that a contained association of c
// reaches, if its path names one.
std::optional<Category> reached_category(const Env& env, const Component& c, const Ident& path) {
  const Component* here = &c;
  std::optional<Category> category;
  for (std::size_t i = 0; i < path.part_count(); ++i) {
    if (!here) return std::nullopt;
    const auto s = std::find_if(here->subcomponents.begin(), here->subcomponents.end(),
                                [&](const Subcomponent& x) { return same_name(x.name.str(), path.part(i)); });
    if (s == here->subcomponents.end()) return std::nullopt;
    category = s->category;
    const Entry* e = s->classifier ? env.find(*s->classifier) : nullptr;
    here = e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr;
  }
  return category;
}

// A process implementation is translated once for all its instances: a
// system cannot give the threads of one instance a timing of their own (a
// thread's, or a Period that the threads of a process or system inherit).
void check_no_timing_from_system(const Env& env, const Component& system) {
  for (const auto& a : system.properties) {
    if (!a.applies_to || !a.name.is_simple()) continue;
    const std::optional<Category> target = reached_category(env, system, *a.applies_to);
    if (target != Category::Thread &&
        !(a.name.head() == "Period" && (target == Category::Process || target == Category::System)))
      continue;
    for (const char* name : {"Period", "Compute_Execution_Time", "Dispatch_Protocol", "Dispatch_Offset"})
      if (a.name.head() == name)
        fail_at(location_of(a.pos), std::string(name) + " applies to " + aadl_name(*a.applies_to) + " from " +
                                        aadl_name(system.name) +
                                        ": thread timing given by a system is not supported (a process "
                                        "implementation is translated once for all its instances); give it in "
                                        "the process implementation or on the thread");
  }
}

}  // namespace

void check_dispatch_of_instance(const Env& env, const Ident& top) {
  std::unordered_set<Ident> seen;
  // The implementation of that name read from text, when not seen yet.
  auto unseen = [&](const Ident& name) -> const Component* {
    const Entry* e = env.find(name);
    const auto* c = e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr;
    if (!c || c->kind != Component_kind::Implementation || !read_from_text(c->pos)) return nullptr;
    return seen.insert(name).second ? c : nullptr;
  };
  std::vector<const Component*> todo;
  if (const Component* c = unseen(top)) todo.push_back(c);
  // Depth first in declaration order, so that the first thread met is the
  // one reported. A component holds its sub-components reversed.
  while (!todo.empty()) {
    const Component& c = *todo.back();
    todo.pop_back();
    if (c.category == Category::System) check_no_timing_from_system(env, c);
    std::vector<const Component*> below;
    for (auto it = c.subcomponents.rbegin(); it != c.subcomponents.rend(); ++it) {
      if (!it->classifier) continue;
      if (it->category == Category::Thread && c.category == Category::Process) {
        const Entry* e = env.find(*it->classifier);
        if (const auto* t = e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr)
          check_thread_dispatch(env, c, *it, *t);
      } else if (it->category == Category::System || it->category == Category::Process) {
        if (const Component* k = unseen(*it->classifier)) below.push_back(k);
      }
    }
    todo.insert(todo.end(), below.rbegin(), below.rend());
  }
}

Sync_definition sync_definition_of_component(const Env& env, const Component& c) {
  Node_lookup lookup = [&](const Ident& x) { return get_node_or_raise_todo(env, x); };
  Directions dirs;
  return definition_of_component(env, lookup, c, dirs);
}

Pattern rename_patt_condact(const Pattern& p) {
  if (const auto* v = std::get_if<PVar>(&p.v)) return Pattern{PVar{add_suffix("_condact", v->name)}};
  PTuple t;
  for (const auto& it : std::get<PTuple>(p.v).items) t.items.push_back({it.label, rename_patt_condact(it.pattern)});
  return Pattern{std::move(t)};
}

Ident clock_of_ident(const Ident& id) {
  VQ_ASSERT(id.is_dot(), "clock_of_ident: " + id.str() + " names no sub-component feature");
  std::string s = "_";
  s += id.head();
  s += release_clk;
  return Ident(std::move(s));
}

}  // namespace vorquel
