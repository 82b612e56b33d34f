#include "translation/wiring.hpp"

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "aadl/aadl_misc.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "aadl/property.hpp"
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/overloaded.hpp"
#include "sync/clock_names.hpp"
#include "translation/vorquel.hpp"

namespace vorquel::translation {

// ---- connections -----------------------------------------------------------------

bool has_output(const Node& n, std::string_view name) {
  return std::any_of(n.outputs.begin(), n.outputs.end(), [&](const Typed_ident& o) { return o.first.str() == name; });
}

// A data access reaching a feature that is only an output of the callee
// (write access): the thread writes the data, it does not read it, so the
// connection gives no argument.
bool is_write_only_access(const Connection& c, const Input_names& inputs, const Node& callee) {
  if (c.kind != Connection_kind::Data_access_connection) return false;
  const std::string_view f = c.dst.last();
  return !inputs.has(f, "_in") && has_output(callee, f);
}

// Name of the callee input that a connection end stands for: its last part
// followed by this suffix ("_in" for a data access, and for an in out port,
// which reads that input and writes the output of its own name).
std::string_view input_suffix(const Connection& c, const Input_names& inputs) {
  if (c.kind == Connection_kind::Data_access_connection) return "_in";
  if (!read_from_text(c.pos)) return "";
  const std::string_view f = c.dst.last();
  return !inputs.has(f, "") && inputs.has(f, "_in") ? "_in" : "";
}

// The argument of one callee input. Its label is the callee's name followed
// by the input's name, the same callee for all: the input's name (the last
// part of the connections' destination) stands for it.
struct Argument {
  std::string_view name;
  Expression expr;
  std::string_view suffix;  // of the input it gives, after the first connection
  std::size_t stamp;     // when it was last put at the front of the list
};

Expression source_var(const Connection& c) { return var(c.src); }

// A connection as the user knows it: its name, or its ends.
std::string connection_text(const Connection& c) {
  return "connection " + (c.name ? aadl_name(*c.name) : aadl_name(c.src) + " -> " + aadl_name(c.dst));
}

[[noreturn]] void targetted_twice(const Ident& component, const Connection& c) {
  fail_located("*** Error: in component " + component.str() + ", " + c.dst.str() +
                   " is targetted by 2 different connections, " + " which is only allowed for event ports.\n",
               location_of(c.pos),
               connection_text(c) + ": " + aadl_name(c.dst) +
                   " already has a connection; only event ports take several, remove one");
}

// Several connections into one destination, given in declaration order:
// event connections merge with Or, the source of the first declared on the
// right (as when they are visited last declared first); any other kind may
// target a destination only once.
Expression merged_sources(const Ident& component, const std::vector<const Connection*>& conns) {
  if (conns.size() > 1)
    for (const Connection* c : conns)
      if (c->kind != Connection_kind::Event_connection) targetted_twice(component, *c);
  Expression e = source_var(*conns.back());
  for (std::size_t k = conns.size() - 1; k-- > 0;) e = make_expr(Or{e, source_var(*conns[k])});
  return e;
}

// Validates the incoming connections against the callee's inputs, then gives
// every input, in the callee's order, the expression of the first argument
// that names it.
std::vector<Tuple_item> check_in_conn(const Ident& sub, const Ident& callee_name,
                                      const std::vector<const Connection*>& incoming,
                                      const std::vector<Typed_ident>& inputs, const std::vector<Argument>& args,
                                      const Input_names& input_names) {
  for (const Connection* c : incoming) {
    VQ_ASSERT(c->kind != Connection_kind::Bus_access_connection, "check_in_conn: bus access connection");
    if (!input_names.has(c->dst.last(), input_suffix(*c, input_names)))
      fail_located("*** Variable " + c->dst.str() + " is not an input of component " + callee_name.str() + ".\n",
                   location_of(c->pos),
                   connection_text(*c) + ": " + aadl_name(c->dst) + " is not an in port of " +
                       aadl_name(callee_name) + "; connect to one of its in ports");
  }
  // The first argument that names each input.
  auto first_of = [&, index = std::unordered_map<std::string, const Argument*>()](
                      const std::string& name) mutable -> const Argument* {
    if (args.size() <= Input_names::linear_limit) {
      for (const auto& a : args)
        if (Input_names::joined_equals(name, a.name, a.suffix)) return &a;
      return nullptr;
    }
    if (index.empty())
      for (const auto& a : args) {
        std::string key(a.name);
        key += a.suffix;
        index.emplace(std::move(key), &a);
      }
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
  };
  std::vector<Tuple_item> result;
  result.reserve(inputs.size());
  for (const auto& [name, type] : inputs) {
    const Argument* a = first_of(name.str());
    if (!a)
      fail_located("*** Error: The input variable " + name.str() + " is not connected.\n", std::nullopt,
                   "in port " + aadl_name(sub) + "." + aadl_name(name) + " (of " + aadl_name(callee_name) +
                       ") is not connected; connect it to an output");
    result.push_back({name, a->expr});
  }
  return result;
}

// The arguments of the call of `callee` by the sub-component `sub`.
std::vector<Tuple_item> make_input_of_component(const Ident& sub, const Ident& callee_name, const Node& callee,
                                                const std::vector<const Connection*>& incoming,
                                                const Enclosing& encl) {
  const Input_names input_names(callee.inputs);

  // Every new or merged argument goes to the front of the list: `stamp`
  // records when each was last put there.
  std::vector<Argument> args;
  // The argument of a name: searched in place while there are few.
  std::unordered_map<std::string_view, std::size_t> by_name;
  auto find_name = [&](std::string_view name) -> std::optional<std::size_t> {
    if (args.size() <= Input_names::linear_limit) {
      for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i].name == name) return i;
      return std::nullopt;
    }
    if (by_name.empty())
      for (std::size_t i = 0; i < args.size(); ++i) by_name.emplace(args[i].name, i);
    auto it = by_name.find(name);
    return it == by_name.end() ? std::nullopt : std::optional<std::size_t>(it->second);
  };
  // Write-only accesses give the callee nothing to read.
  std::vector<const Connection*> kept;
  kept.reserve(incoming.size());
  for (const Connection* c : incoming)
    if (!is_write_only_access(*c, input_names, callee)) kept.push_back(c);
  std::size_t kept_count = 0;
  for (const Connection* c : kept) {
    ++kept_count;
    const std::string_view name = c->dst.last();
    const std::optional<std::size_t> found = find_name(name);
    if (!found) {
      if (!by_name.empty()) by_name.emplace(name, args.size());
      args.push_back({name, encl.source(*c), input_suffix(*c, input_names), kept_count});
      continue;
    }
    switch (c->kind) {
      case Connection_kind::Event_connection: {
        auto& a = args[*found];
        a.expr = make_expr(Or{a.expr, encl.source(*c)});
        a.stamp = kept_count;
        break;
      }
      case Connection_kind::Data_connection:
      case Connection_kind::Event_data_connection:
      case Connection_kind::Data_access_connection:
        targetted_twice(callee_name, *c);
      case Connection_kind::Port_group_connection:
      case Connection_kind::Parameter_connection:
      case Connection_kind::Bus_access_connection:
        internal_error("make_input_of_component: " + c->dst.str() + " is targetted by 2 connections");
    }
  }
  // Latest first (stamps are distinct).
  std::sort(args.begin(), args.end(), [](const Argument& a, const Argument& b) { return a.stamp > b.stamp; });

  auto result = check_in_conn(sub, callee_name, kept, callee.inputs, args, input_names);
  const std::size_t n = callee.inputs.size(), m = args.size();
  if (n != m) {
    internal_error("*** Error in the use of" + sub.str() + " a component of kind " + callee_name.str() +
                   "\n*** It is supposed to have " + std::to_string(n) + " input" + plural(n) + ", but is used with " +
                   std::to_string(m) + " input" + plural(m) + ".\nmake_input_of_component: wrong number of inputs for " +
                   sub.str());
  }
  return result;
}

// Whether id is make_add_prefix(prefix, x).
bool is_prefixed(const Ident& id, const Ident& prefix, const Ident& x) {
  const std::size_t np = prefix.part_count(), nx = x.part_count();
  if (id.part_count() != np + nx || id.str().size() != prefix.str().size() + 1 + x.str().size()) return false;
  for (std::size_t i = 0; i < np + nx; ++i) {
    const Ident& from = i < np ? prefix : x;
    const std::size_t k = i < np ? i : i - np;
    if (id.part(i) != from.part(k)) return false;
    if (i + 1 == np + nx) break;
    const Ident::Sep sep = i + 1 == np ? Ident::Sep::Dot : from.sep(k);
    if (id.sep(i) != sep) return false;
  }
  return true;
}

// The locals "sub_o" that receive the callee's outputs, and the call's
// pattern. The pattern's labels "callee_o" are the same for every call of the
// callee: `labels`, when given, keeps them from one call to the next. A
// local takes the identifier of an outgoing connection's source when that
// names it already.
Local_outputs make_local_output_of_component(const Ident& sub, const Ident& callee_name, const Node& callee,
                                             std::vector<Ident>* labels,
                                             const std::vector<const Connection*>* outgoing) {
  Local_outputs r{{}, Pattern{PTuple{}}};
  auto& items = std::get<PTuple>(r.pattern.v).items;
  r.locals.reserve(callee.outputs.size());
  items.reserve(callee.outputs.size());
  if (labels && labels->size() != callee.outputs.size()) {
    labels->clear();
    for (const auto& [o, type] : callee.outputs) labels->push_back(make_add_prefix(callee_name, o));
  }
  auto local_of = [&](const Ident& o) {
    if (outgoing)
      for (const Connection* c : *outgoing)
        if (is_prefixed(c->src, sub, o)) return c->src;
    return make_add_prefix(sub, o);
  };
  for (std::size_t i = 0; i < callee.outputs.size(); ++i) {
    const auto& [o, type] = callee.outputs[i];
    Ident local = local_of(o);
    r.locals.push_back({local, type});
    items.push_back({labels ? (*labels)[i] : make_add_prefix(callee_name, o), Pattern{PVar{std::move(local)}}});
  }
  return r;
}

// Outgoing connections to the enclosing component's own features become
// equations; the sources of Delayed connections are published on the
// dispatch clock.
Wires make_wires(const std::vector<const Connection*>& outgoing, const Enclosing& encl) {
  // Last connection first.
  Wires w;
  for (auto it = outgoing.rbegin(); it != outgoing.rend(); ++it) {
    const Connection* c = *it;
    if (c->dst.is_simple())
      if (auto eq = encl.wire(*c)) w.equations.push_back(std::move(*eq));
    if (c->arrow == Connection_arrow::Delayed) w.delayed_sources.push_back(c->src);
  }
  return w;
}

// Every connection into an input of the device gives the equation input =
// source, in declaration order. Several connections into one input give one
// equation, where the first declared of them stands.
std::vector<Equation> make_wires_device_input(const Ident& device, const std::vector<const Connection*>& incoming) {
  const std::vector<const Connection*> declared(incoming.rbegin(), incoming.rend());
  std::unordered_map<std::string_view, std::vector<const Connection*>> by_dst;
  for (const Connection* c : declared) by_dst[c->dst.str()].push_back(c);
  std::vector<Equation> eqs;
  for (const Connection* c : declared) {
    const auto& conns = by_dst[c->dst.str()];
    if (conns.front() != c) continue;
    eqs.push_back({Pattern{PVar{c->dst}}, merged_sources(device, conns)});
  }
  return eqs;
}

// A local named after the destination of every outgoing connection into
// another sub-component, typed like the callee's source feature.
std::vector<Typed_ident> local_of_out_connection(const Env& env, const Component& callee,
                                                 const std::vector<const Connection*>& outgoing) {
  std::vector<Typed_ident> locals;
  // The features are indexed once per callee, not searched once per connection:
  // the callee's own, then (for an implementation) those of its type.
  std::unordered_map<Ident, const Feature*> own, of_type;
  bool indexed = false;
  for (const Connection* c : outgoing) {
    if (c->dst.is_simple()) continue;
    if (!indexed) {
      indexed = true;
      for (const auto& f : callee.features) own.emplace(f.name, &f);
      if (callee.kind == Component_kind::Implementation && has_implementation_part(callee.name))
        if (const Entry* e = env.find(type_name_of_implementation_name(callee.name)))
          if (const auto* type = std::get_if<Component>(e->decl.get()))
            for (const auto& f : type->features) of_type.emplace(f.name, &f);
    }
    Ident feature = feature_name_of_component_name(c->src);
    const Feature* f = nullptr;
    if (auto it = own.find(feature); it != own.end()) f = it->second;
    else if (auto jt = of_type.find(feature); jt != of_type.end()) f = jt->second;
    if (!f)
      fail_located("Vorquel.local_of_out_connection " + callee.name.str() + "." + feature.str(), location_of(c->pos),
                   connection_text(*c) + ": " + aadl_name(callee.name) + " has no feature " + aadl_name(feature) +
                       "; connect from one of its out ports");
    locals.push_back({c->dst, type_of_feature_kind(f->kind)});
  }
  std::reverse(locals.begin(), locals.end());
  return locals;
}

}  // namespace vorquel::translation
