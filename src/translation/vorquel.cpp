// The Vorquel component: AADL declarations to synchronous definitions.
//
// Accumulated lists "grow at their front" (each step puts its new items, in
// their own order, before everything accumulated earlier); Front_list keeps
// them reversed so that this stays linear. Connections are indexed once per
// implementation by the first part of their ends, so that splitting them by
// sub-component costs no more than reading them.
#include "translation/vorquel.hpp"

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "aadl/aadl_misc.hpp"
#include "aadl/property.hpp"
#include "base/diagnostics.hpp"
#include "base/overloaded.hpp"
#include "sync/clock_names.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

namespace {

// The translate-first request: the named component has no node yet.
struct Vorquel_todo : std::exception {
  explicit Vorquel_todo(Ident n) : name(std::move(n)) {}
  Ident name;
  const char* what() const noexcept override { return "Vorquel.Vorquel_todo"; }
};

using Node_ptr = std::shared_ptr<const Node>;
// Where an implementation finds the nodes of the components it calls.
using Node_lookup = std::function<Node_ptr(const Ident&)>;

Node make_node(const Ident& name) {
  return Node{name, {}, {}, {}, {}, {}, {}, {}};
}

// The node object itself is not const, so that a node held by nothing else
// can be moved out again (take_node).
Sync_definition node_def(Node n) { return Node_def{std::shared_ptr<const Node>(std::make_shared<Node>(std::move(n)))}; }

// The node, moved out when the pointer is the only holder of a node built
// by node_def, copied otherwise.
Node take_node(std::shared_ptr<const Node> p) {
  if (p.use_count() == 1) return std::move(const_cast<Node&>(*p));
  return *p;
}

const char* plural(std::size_t n) { return n > 1 ? "s" : ""; }

// A list that grows at its front. prepend(chunk) puts the chunk, in its own
// order, in front of everything prepended before.
template <class T>
class Front_list {
 public:
  void prepend(T x) { rev_.push_back(std::move(x)); }
  void prepend(const std::vector<T>& chunk) { rev_.insert(rev_.end(), chunk.rbegin(), chunk.rend()); }
  void prepend(std::vector<T>&& chunk) {
    rev_.insert(rev_.end(), std::make_move_iterator(chunk.rbegin()), std::make_move_iterator(chunk.rend()));
  }
  // The list, front first.
  std::vector<T> list() const { return {rev_.rbegin(), rev_.rend()}; }
  // The same, leaving the list empty.
  std::vector<T> take_list() {
    std::vector<T> l(std::make_move_iterator(rev_.rbegin()), std::make_move_iterator(rev_.rend()));
    rev_.clear();
    return l;
  }
  std::vector<T> take_reversed() {
    rev_.shrink_to_fit();
    return std::move(rev_);
  }
  // The whole list reversed.
  const std::vector<T>& reversed() const { return rev_; }

 private:
  std::vector<T> rev_;
};

bool same_type(const Type_expression& a, const Type_expression& b) {
  if (const auto* na = std::get_if<TNamed>(&a.v)) {
    const auto* nb = std::get_if<TNamed>(&b.v);
    return nb && na->name == nb->name;
  }
  const auto* rb = as_record(b);
  if (!rb) return false;
  const auto& fa = as_record(a)->fields;
  if (fa.size() != rb->fields.size()) return false;
  for (std::size_t i = 0; i < fa.size(); ++i)
    if (!(fa[i].name == rb->fields[i].name) || !same_type(fa[i].type, rb->fields[i].type)) return false;
  return true;
}

void check_component(const Component& c, Category cat, Component_kind kind, std::string_view what) {
  VQ_ASSERT(c.category == cat && c.kind == kind,
            std::string(what) + ": " + c.name.str() + " has the wrong category or kind");
}

void check_normalized(const Component& c, std::string_view what) {
  VQ_ASSERT(c.normalized, std::string(what) + ": " + c.name.str() + " was not normalised");
}

bool has_implementation_part(const Ident& id) {
  return !id.is_simple() && id.sep(id.part_count() - 2) == Ident::Sep::Dot;
}

// ---- component interfaces ------------------------------------------------------

// The directions of port groups, each computed once however often (and
// however deeply nested) the port group is referred to. `visiting` holds the
// port groups whose direction is being computed, so that a port group
// defined through itself stops with a message instead of looping.
struct Directions {
  std::unordered_map<Ident, In_out> known;
  std::vector<Ident> visiting;
};

In_out status_of(const Env& env, const Feature_kind& k, Directions& d);

In_out port_group_status(const Env& env, const Ident& name, Directions& d) {
  if (auto it = d.known.find(name); it != d.known.end()) return it->second;
  if (std::find(d.visiting.begin(), d.visiting.end(), name) != d.visiting.end())
    fail("*** Error: the port group " + name.str() + " is defined in terms of itself.\n");
  // An undeclared classifier is reported by the translation driver.
  if (!env.mem(name)) throw Vorquel_todo(name);
  const Port_group& g = env.get_port_grp(name);
  d.visiting.push_back(name);
  In_out result = In_out::InOut;
  if (!g.features.empty()) {
    bool all_in = true, all_out = true;
    for (const auto& f : g.features) {
      In_out s = status_of(env, f.kind, d);
      all_in = all_in && s == In_out::In;
      all_out = all_out && s == In_out::Out;
    }
    result = all_in ? In_out::In : all_out ? In_out::Out : In_out::InOut;
  } else if (g.inverse) {
    result = inv_in_out(port_group_status(env, *g.inverse, d));
  } else {
    internal_error("in_out_status: the port group " + name.str() + " has neither features nor inverse");
  }
  d.visiting.pop_back();
  d.known.emplace(name, result);
  return result;
}

In_out status_of(const Env& env, const Feature_kind& k, Directions& d) {
  return std::visit(
      overloaded{
          [](const Feat_data_port& f) { return f.direction; },
          [](const Feat_event_data_port& f) { return f.direction; },
          [](const Feat_event_port& f) { return f.direction; },
          [](const Feat_parameter& f) { return f.direction; },
          [&](const Feat_port_group& f) {
            return f.classifier ? port_group_status(env, *f.classifier, d) : In_out::InOut;
          },
          [](const Feat_server_subprogram_spec&) -> In_out {
            not_yet_implemented("in_out_status: Feat_server_subprogram_spec");
          },
          [](const Feat_data_subprogram_spec&) -> In_out {
            not_yet_implemented("in_out_status: Feat_data_subprogram_spec");
          },
          [](const Feat_subcomponent_access&) -> In_out {
            not_yet_implemented("in_out_status: Feat_subcomponent_access");
          },
      },
      k);
}

Sync_definition port_group_definition(const Env& env, const Port_group& g, std::vector<Ident>& visiting) {
  if (!g.inverse) return TypeDef{g.name, port_group_to_type(g)};
  if (std::find(visiting.begin(), visiting.end(), g.name) != visiting.end())
    fail("*** Error: the port group " + g.name.str() + " is defined in terms of itself.\n");
  if (!env.mem(*g.inverse)) throw Vorquel_todo(*g.inverse);
  visiting.push_back(g.name);
  Sync_definition inv = port_group_definition(env, env.get_port_grp(*g.inverse), visiting);
  visiting.pop_back();
  const auto* t = std::get_if<TypeDef>(&inv);
  VQ_ASSERT(t, "the inverse of " + g.name.str() + " is not a type");
  return TypeDef{g.name, t->definition};
}

std::pair<std::vector<Feature>, std::vector<Feature>> classify_features(const Env& env, const Component& c,
                                                                       Directions& dirs) {
  std::vector<Feature> inputs, outputs;
  for (const auto& f : c.features) {
    if (const auto* acc = std::get_if<Feat_subcomponent_access>(&f.kind)) {
      VQ_ASSERT(acc->classifier, "the access " + f.name.str() + " of " + c.name.str() + " has no classifier");
      if (acc->category == Category::Bus) {
        out("*** Bus access ignored.\n");
        continue;
      }
      VQ_ASSERT(acc->category == Category::Data, "the access " + f.name.str() + " is neither data nor bus");
      const bool required = acc->access == Access_kind::Required;
      const std::optional<Access_mode> found =
          required ? find_required_access_mode(f.properties) : find_provided_access_mode(f.properties);
      if (!found)
        fail("*** Error: the data access " + f.name.str() + " of " + c.name.str() + " has no " +
             (required ? "Required_Access" : "Provided_Access") + " property.\n");
      const Access_mode mode = *found;
      Feature as_input{add_suffix("_in", f.name), f.kind, f.properties};
      switch (mode) {
        case Access_mode::Read:
          inputs.push_back(std::move(as_input));
          break;
        case Access_mode::Write:
          outputs.push_back(f);
          break;
        case Access_mode::Read_write:
          inputs.push_back(std::move(as_input));
          outputs.push_back(f);
          break;
        case Access_mode::By_method:
          out("*** By method access ignored.\n");
          break;
      }
      continue;
    }
    switch (status_of(env, f.kind, dirs)) {
      case In_out::In:
        inputs.push_back(f);
        break;
      case In_out::Out:
        outputs.push_back(f);
        break;
      case In_out::InOut:
        not_yet_implemented("in/out features are not considered");
    }
  }
  // Each feature went to the front of its list.
  std::reverse(inputs.begin(), inputs.end());
  std::reverse(outputs.begin(), outputs.end());
  return {std::move(inputs), std::move(outputs)};
}

Sync_definition interface_node(const Env& env, const Component& c, Directions& dirs) {
  VQ_ASSERT(c.kind == Component_kind::Type, "node_interface_of_component_type: " + c.name.str() + " is not a type");
  check_normalized(c, "node_interface_of_component_type");
  auto [ins, outs] = classify_features(env, c, dirs);
  Node n = make_node(c.name);
  for (const auto& f : ins) n.inputs.push_back({f.name, type_of_feature_kind(f.kind)});
  for (const auto& f : outs) n.outputs.push_back({f.name, type_of_feature_kind(f.kind)});
  return node_def(std::move(n));
}

// ---- connections -----------------------------------------------------------------

// The connections of one sub-component (or call), both lists in the reverse
// of the declaration order.
struct Conn_split {
  std::vector<const Connection*> incoming;
  std::vector<const Connection*> outgoing;
};

// connections_to_component for every sub-component of one implementation:
// a connection whose source starts with the sub-component's name is
// outgoing, otherwise one whose destination starts with it is incoming; bus
// access connections are left out.
class Conn_index {
 public:
  explicit Conn_index(const std::vector<Connection>& cs) : all_(cs) {
    out_.reserve(cs.size());
    in_.reserve(cs.size());
    for (const auto& c : cs) {
      if (c.kind == Connection_kind::Bus_access_connection) continue;
      out_.push_back({c.src.head(), &c});
      if (c.dst.head() != c.src.head()) in_.push_back({c.dst.head(), &c});
    }
    // By first name part; connections of one part stay in declaration order.
    std::stable_sort(out_.begin(), out_.end(), by_head);
    std::stable_sort(in_.begin(), in_.end(), by_head);
  }

  Conn_split split(const Ident& sub) const {
    Conn_split r;
    if (!sub.is_simple()) {  // never built by the reader; the plain prefix test then
      for (const auto& c : all_) {
        if (c.kind == Connection_kind::Bus_access_connection) continue;
        if (is_prefix(sub, c.src)) r.outgoing.push_back(&c);
        else if (is_prefix(sub, c.dst)) r.incoming.push_back(&c);
      }
      std::reverse(r.incoming.begin(), r.incoming.end());
      std::reverse(r.outgoing.begin(), r.outgoing.end());
      return r;
    }
    taken_reversed(out_, sub.head(), r.outgoing);
    taken_reversed(in_, sub.head(), r.incoming);
    return r;
  }

 private:
  using Entry = std::pair<std::string_view, const Connection*>;
  static bool by_head(const Entry& a, const Entry& b) { return a.first < b.first; }
  // The connections of that first part, last declared first.
  static void taken_reversed(const std::vector<Entry>& index, std::string_view head,
                             std::vector<const Connection*>& into) {
    auto [lo, hi] = std::equal_range(index.begin(), index.end(), Entry{head, nullptr}, by_head);
    into.reserve(static_cast<std::size_t>(hi - lo));
    for (auto it = hi; it != lo;) into.push_back((--it)->second);
  }
  const std::vector<Connection>& all_;
  std::vector<Entry> out_, in_;
};

bool has_output(const Node& n, std::string_view name) {
  return std::any_of(n.outputs.begin(), n.outputs.end(), [&](const Typed_ident& o) { return o.first.str() == name; });
}

// The names of a callee's inputs, looked up by text. A callee has few
// inputs as a rule: they are searched in place; many are indexed.
class Input_names {
 public:
  explicit Input_names(const std::vector<Typed_ident>& inputs) : inputs_(inputs) {
    if (inputs.size() > linear_limit)
      for (const auto& in : inputs) index_.insert(in.first.str());
  }
  // Whether name + suffix names an input.
  bool has(std::string_view name, std::string_view suffix) const {
    if (inputs_.size() > linear_limit) {
      if (suffix.empty()) return index_.count(name) != 0;
      std::string key;
      key.reserve(name.size() + suffix.size());
      key.append(name).append(suffix);
      return index_.count(key) != 0;
    }
    return std::any_of(inputs_.begin(), inputs_.end(),
                       [&](const Typed_ident& in) { return joined_equals(in.first.str(), name, suffix); });
  }
  // Whether text == name + suffix.
  static bool joined_equals(std::string_view text, std::string_view name, std::string_view suffix) {
    return text.size() == name.size() + suffix.size() && text.starts_with(name) && text.ends_with(suffix);
  }
  static constexpr std::size_t linear_limit = 16;

 private:
  const std::vector<Typed_ident>& inputs_;
  std::unordered_set<std::string_view> index_;
};

// A data access reaching a feature that is only an output of the callee
// (write access): the thread writes the data, it does not read it, so the
// connection gives no argument.
bool is_write_only_access(const Connection& c, const Input_names& inputs, const Node& callee) {
  if (c.kind != Connection_kind::Data_access_connection) return false;
  const std::string_view f = c.dst.last();
  return !inputs.has(f, "_in") && has_output(callee, f);
}

// Name of the callee input that an argument or a connection end stands for:
// its last part followed by this suffix.
std::string_view input_suffix(Connection_kind kind) {
  return kind == Connection_kind::Data_access_connection ? "_in" : "";
}

// The argument of one callee input. Its label is the callee's name followed
// by the input's name, the same callee for all: the input's name (the last
// part of the connections' destination) stands for it.
struct Argument {
  std::string_view name;
  Expression expr;
  Connection_kind kind;  // of the first connection that gave it
  std::size_t stamp;     // when it was last put at the front of the list
};

Expression source_var(const Connection& c) { return var(c.src); }

[[noreturn]] void targetted_twice(const Ident& component, const Ident& dst) {
  fail("*** Error: in component " + component.str() + ", " + dst.str() + " is targetted by 2 different connections, " +
       " which is only allowed for event ports.\n");
}

// Several connections into one destination, given in declaration order:
// event connections merge with Or, the source of the first declared on the
// right (as when they are visited last declared first); any other kind may
// target a destination only once.
Expression merged_sources(const Ident& component, const std::vector<const Connection*>& conns) {
  if (conns.size() > 1)
    for (const Connection* c : conns)
      if (c->kind != Connection_kind::Event_connection) targetted_twice(component, c->dst);
  Expression e = source_var(*conns.back());
  for (std::size_t k = conns.size() - 1; k-- > 0;) e = make_expr(Or{e, source_var(*conns[k])});
  return e;
}

// What the wiring of one implementation needs to know of the implementation
// itself: the inputs of its node, and the connections that reach its own
// features from the sub-components (or calls) that are wired, grouped by
// destination so that each feature gets one equation.
class Enclosing {
 public:
  // `wired`: the names of the sub-components (or calls) whose outgoing
  // connections become wires.
  Enclosing(const Component& c, const Node& type_node, const std::unordered_set<std::string_view>& wired)
      : name_(c.name) {
    for (const auto& in : type_node.inputs)
      if (in.first.str().ends_with("_in")) inputs_.insert(in.first.str());
    for (const auto& conn : c.connections)
      if (conn.kind != Connection_kind::Bus_access_connection && conn.dst.is_simple() && wired.count(conn.src.head()))
        into_[conn.dst.str()].push_back(&conn);
  }

  // The value a connection brings into a sub-component: a data access that
  // the enclosing component itself reads is its "_in" input.
  Expression source(const Connection& c) const {
    if (c.kind == Connection_kind::Data_access_connection && c.src.is_simple() &&
        inputs_.count(c.src.str() + "_in"))
      return var(add_suffix("_in", c.src));
    return var(c.src);
  }

  // The equation of a connection into a feature of the enclosing component.
  // Several connections into one feature give one equation, with the first
  // declared of them; none for the others.
  std::optional<Equation> wire(const Connection& c) const {
    auto it = into_.find(c.dst.str());
    if (it == into_.end() || it->second.size() == 1) return Equation{Pattern{PVar{c.dst}}, var(c.src)};
    const auto& conns = it->second;
    if (conns.front() != &c) {
      if (c.kind != Connection_kind::Event_connection) targetted_twice(name_, c.dst);
      return std::nullopt;
    }
    return Equation{Pattern{PVar{c.dst}}, merged_sources(name_, conns)};
  }

 private:
  Ident name_;
  std::unordered_set<std::string> inputs_;  // those named "..._in"
  std::unordered_map<std::string_view, std::vector<const Connection*>> into_;  // declaration order
};

// Validates the incoming connections against the callee's inputs, then gives
// every input, in the callee's order, the expression of the first argument
// that names it.
std::vector<Tuple_item> check_in_conn(const Ident& callee_name, const std::vector<const Connection*>& incoming,
                                      const std::vector<Typed_ident>& inputs, const std::vector<Argument>& args,
                                      const Input_names& input_names) {
  for (const Connection* c : incoming) {
    VQ_ASSERT(c->kind != Connection_kind::Bus_access_connection, "check_in_conn: bus access connection");
    if (!input_names.has(c->dst.last(), input_suffix(c->kind)))
      fail("*** Variable " + c->dst.str() + " is not an input of component " + callee_name.str() + ".\n");
  }
  // The first argument that names each input.
  auto first_of = [&, index = std::unordered_map<std::string, const Argument*>()](
                      const std::string& name) mutable -> const Argument* {
    if (args.size() <= Input_names::linear_limit) {
      for (const auto& a : args)
        if (Input_names::joined_equals(name, a.name, input_suffix(a.kind))) return &a;
      return nullptr;
    }
    if (index.empty())
      for (const auto& a : args) {
        std::string key(a.name);
        key += input_suffix(a.kind);
        index.emplace(std::move(key), &a);
      }
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
  };
  std::vector<Tuple_item> result;
  result.reserve(inputs.size());
  for (const auto& [name, type] : inputs) {
    const Argument* a = first_of(name.str());
    if (!a) fail("*** Error: The input variable " + name.str() + " is not connected.\n");
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
      args.push_back({name, encl.source(*c), c->kind, kept_count});
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
        targetted_twice(callee_name, c->dst);
      case Connection_kind::Port_group_connection:
      case Connection_kind::Parameter_connection:
      case Connection_kind::Bus_access_connection:
        internal_error("make_input_of_component: " + c->dst.str() + " is targetted by 2 connections");
    }
  }
  // Latest first (stamps are distinct).
  std::sort(args.begin(), args.end(), [](const Argument& a, const Argument& b) { return a.stamp > b.stamp; });

  auto result = check_in_conn(callee_name, kept, callee.inputs, args, input_names);
  const std::size_t n = callee.inputs.size(), m = args.size();
  if (n != m) {
    internal_error("*** Error in the use of" + sub.str() + " a component of kind " + callee_name.str() +
                   "\n*** It is supposed to have " + std::to_string(n) + " input" + plural(n) + ", but is used with " +
                   std::to_string(m) + " input" + plural(m) + ".\nmake_input_of_component: wrong number of inputs for " +
                   sub.str());
  }
  return result;
}

struct Local_outputs {
  std::vector<Typed_ident> locals;
  Pattern pattern;
};

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
                                             std::vector<Ident>* labels = nullptr,
                                             const std::vector<const Connection*>* outgoing = nullptr) {
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


struct Wires {
  std::vector<Equation> equations;
  std::vector<Ident> delayed_sources;
};

// Outgoing connections to the enclosing component's own features become
// equations; the sources of Delayed connections are published on the
// dispatch clock.
Wires make_wires(const std::vector<const Connection*>& outgoing, const Enclosing& encl) {
  Wires w;
  for (const Connection* c : outgoing) {
    if (c->dst.is_simple())
      if (auto eq = encl.wire(*c)) w.equations.push_back(std::move(*eq));
    if (c->arrow == Connection_arrow::Delayed) w.delayed_sources.push_back(c->src);
  }
  std::reverse(w.equations.begin(), w.equations.end());
  std::reverse(w.delayed_sources.begin(), w.delayed_sources.end());
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
    if (!f) fail("Vorquel.local_of_out_connection " + callee.name.str() + "." + feature.str());
    locals.push_back({c->dst, type_of_feature_kind(f->kind)});
  }
  std::reverse(locals.begin(), locals.end());
  return locals;
}

// ---- implementations -------------------------------------------------------------

struct Sub_info {
  Ident name;
  const Component* classifier;
  Conn_split conns;
};

// The component a classifier names. A name that is not declared goes through
// the translate-first request, which reports it as undefined.
const Component& classifier_component(const Env& env, const Ident& name) {
  const Entry* e = env.find(name);
  if (!e) throw Vorquel_todo(name);
  if (e->decl)
    if (const auto* c = std::get_if<Component>(e->decl.get())) return *c;
  return env.get_component2(name);  // reports what the entry is instead
}

// The sub-components of a process or system implementation, in declaration
// order (the component holds them reversed).
std::vector<Sub_info> get_subcomponents_information(const Env& env, const Component& c) {
  Conn_index index(c.connections);
  std::vector<Sub_info> subs;
  subs.reserve(c.subcomponents.size());
  for (auto it = c.subcomponents.rbegin(); it != c.subcomponents.rend(); ++it) {
    VQ_ASSERT(it->classifier, "the sub-component " + it->name.str() + " of " + c.name.str() + " has no classifier");
    subs.push_back({it->name, &classifier_component(env, *it->classifier), index.split(it->name)});
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
    calls.push_back({call.name, &classifier_component(env, call.called), index.split(call.name)});
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
  return Enclosing(c, type_node, names);
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
    if (w.kind == Component_kind::Implementation) not_yet_implemented("data written by a thread implementation");
    writers.push_back(c->dst);
  }
  std::reverse(writers.begin(), writers.end());
  Expression e = make_expr(Pre{var(s.name)});
  for (const auto& w : writers) e = make_expr(If{make_expr(Pre{var(clock_of_ident(w))}), var(w), e});
  b.equations.prepend(Equation{Pattern{PVar{s.name}}, make_expr(Arrow{var(add_suffix("_init", C)), e})});
}

void process_thread_type(const Node_lookup& node_of, const Sub_info& s, const Enclosing& encl, Body& b) {
  const Component& C = *s.classifier;
  Node_ptr callee = node_of(C.name);
  Condact_parts p = condact_parts(s, *callee, encl, b);
  Integer period = period_or(C, C.name);
  auto [lower, upper] = get_compute_execution_time(C);
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
void process_thread_impl(const Env& env, const Node_lookup& node_of, const Sub_info& s, const Enclosing& encl,
                         Body& b) {
  const Component& C = *s.classifier;
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

Sync_definition process_impl(const Env& env, const Node_lookup& node_of, const Component& c) {
  check_component(c, Category::Process, Component_kind::Implementation, "process_impl");
  check_normalized(c, "process_impl");
  Node_ptr type_node = node_of(type_name_of_implementation_name(c.name));
  auto subs = get_subcomponents_information(env, c);
  std::unordered_map<std::string_view, const Sub_info*> by_name;
  for (const auto& s : subs) by_name.emplace(s.name.str(), &s);
  const Enclosing encl = enclosing(c, *type_node, subs, Category::Thread);
  Body b;
  for (const auto& s : subs) {
    const Component& C = *s.classifier;
    switch (C.category) {
      case Category::Data:
        process_data(node_of, s, by_name, b);
        break;
      case Category::Thread:
        if (C.kind == Component_kind::Type) process_thread_type(node_of, s, encl, b);
        else process_thread_impl(env, node_of, s, encl, b);
        break;
      case Category::Thread_group:
        fail(std::string(category_to_string(C.category)) + " is not supported as a sub-component of " +
             "a process implementation.\n");
      case Category::Subprogram:
      case Category::Process:
      case Category::Processor:
      case Category::Memory:
      case Category::Bus:
      case Category::Device:
      case Category::System:
        internal_error("process_impl: " + s.name.str() + " is a " + category_to_string(C.category));
    }
  }
  return node_def(finish(c, *type_node, b));
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
  Body b;
  std::optional<Ident> previous_release;
  for (const auto& s : calls) {
    const Component& C = *s.classifier;
    switch (C.category) {
      case Category::Subprogram: {
        if (C.kind == Component_kind::Implementation) fail("*** Subprogram implementations are not implemented.");
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
        auto [lower, upper] = get_compute_execution_time(C);
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
        fail("*** Data subcomponents are not yet supported for threads!\n");
      case Category::Thread:
      case Category::Thread_group:
      case Category::Memory:
      case Category::Bus:
      case Category::Device:
        fail(std::string(category_to_string(C.category)) + " is not supported as a sub-component of " +
             "a thread implementation.\n");
      case Category::Process:
      case Category::Processor:
      case Category::System:
        internal_error("thread_impl: the call " + s.name.str() + " is a " + category_to_string(C.category));
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
  const Enclosing encl = enclosing(c, *type_node, subs, Category::Process);

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
  for (const auto& s : subs) {
    const Component& C = *s.classifier;
    switch (C.category) {
      case Category::Process: {
        Node_ptr callee = node_of(C.name);
        Local_outputs outs = make_local_output_of_component(s.name, C.name, *callee);
        auto args = make_input_of_component(s.name, C.name, *callee, s.conns.incoming, encl);
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
      case Category::Memory:
      case Category::Bus:
        break;
      case Category::System:
        fail("*** systems as sub-components of a system is not supported yet.");
      case Category::Data:
      case Category::Subprogram:
      case Category::Thread:
      case Category::Thread_group:
        internal_error("system_impl: " + s.name.str() + " is a " + category_to_string(C.category));
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
      internal_error("subprogram_impl: the subprogram implementation " + c.name.str() + " cannot be translated");
    case Category::Thread:
      if (is_type) {
        check_dispatch_protocol(c);
        return interface_node(env, c, dirs);
      }
      return thread_impl(env, node_of, c);
    case Category::Thread_group:
      if (is_type) return interface_node(env, c, dirs);
      not_yet_implemented("thread_group_impl");
    case Category::Process:
      if (is_type) return interface_node(env, c, dirs);
      return process_impl(env, node_of, c);
    case Category::Processor:
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

// ---- the driver ----------------------------------------------------------------

struct Translation {
  const Env& initial;  // as it was when the translation started
  Env env;             // grows with every stored definition
  std::unordered_set<Ident> in_progress;
  std::string input_files;  // "a.aaxl b.aaxl \n", in command-line order
  int verbosity = 0;
  Directions directions{};  // of the port groups of `initial`
  // The nodes stored in `env` so far, found by name without walking it.
  std::unordered_map<Ident, Node_ptr> nodes{};
};

void trace(const Translation& t, const Ident& name) {
  if (t.verbosity < 3) return;
  out("# translating ");
  out(name.str());
  out("\n");
  std_out().flush();
}

Node_ptr node_of_entry(const Ident& name, const Entry& e) {
  const auto* n = std::get_if<Node_def>(&*e.def);
  VQ_ASSERT(n, to_string(name) + " is not a node");
  return n->node;
}

void translate_aux(Translation& t, const Ident& name);
Sync_definition with_propagated_oracles(const Translation& t, Sync_definition d);

// The node of x for the translation of `requester`. When x has none yet it is
// translated now, and the requester's translation goes on: the result is the
// one a retry from scratch would give, since everything looked up before
// stays the same, and the trace shows the retry.
Node_ptr node_or_translate(Translation& t, const Ident& requester, const Ident& x) {
  if (auto it = t.nodes.find(x); it != t.nodes.end()) return it->second;
  if (const Entry* e = t.env.find(x); e && e->def) return node_of_entry(x, *e);
  if (t.in_progress.count(x))
    fail("*** Error: the translation of " + x.str() + " needs its own node (cyclic dependency).\n");
  translate_aux(t, x);
  trace(t, requester);
  return node_of_entry(x, t.env.get(x));
}

void translate_aux(Translation& t, const Ident& name) {
  while (true) {
    trace(t, name);
    const Entry* e = t.env.find(name);
    if (!e) fail("*** Error: " + name.str() + " is undefined in " + t.input_files);
    if (e->def) return;
    std::shared_ptr<const Declaration> decl = e->decl;
    t.in_progress.insert(name);
    try {
      Sync_definition d = std::visit(
          overloaded{
              [&](const Component& c) {
                Node_lookup lookup = [&](const Ident& x) { return node_or_translate(t, name, x); };
                return definition_of_component(t.initial, lookup, c, t.directions);
              },
              [&](const Port_group& g) { return sync_definition_of_port_group(t.initial, g); },
          },
          *decl);
      t.in_progress.erase(name);
      Sync_definition kept = remove_dupl_local_var(d);
      d = Skipped{name};  // kept is now the only holder of its node
      Sync_definition stored = with_propagated_oracles(t, std::move(kept));
      if (const auto* nd = std::get_if<Node_def>(&stored)) t.nodes.emplace(name, nd->node);
      t.env = t.env.update(name, Entry{decl, std::move(stored)});
      return;
    } catch (const Vorquel_todo& todo) {
      t.in_progress.erase(name);
      if (todo.name == name || t.in_progress.count(todo.name))
        fail("*** Error: the translation of " + todo.name.str() + " needs its own node (cyclic dependency).\n");
      translate_aux(t, todo.name);
    } catch (const Fatal& f) {
      // A lookup found nothing: say in which declaration.
      if (is_not_found(f.diagnostic)) internal_error("Not_found while translating " + name.str());
      throw;
    }
  }
}

// ---- oracle propagation ----------------------------------------------------------

// The scheduler names its per-thread variables after the text of a clock
// without its kind ("_t_2" for "_t_2_activate_clk" and for
// "_t_activate_clk_2" alike), so the names of one node must differ in that
// text too, for each kind (clock_kinds).

// The kind of a name ('0' + index in clock_kinds, or '-' for a name of no
// kind); its text without the kind (the label) is written to `label`.
char clock_label(std::string_view name, std::string& label) {
  for (std::size_t k = 0; k < std::size(clock_kinds); ++k) {
    auto pos = find_in(name, clock_kinds[k]);
    if (pos != std::string_view::npos) {
      label.assign(name.substr(0, pos));
      label.append(name.substr(pos + clock_kinds[k].size()));
      return static_cast<char>('0' + k);
    }
  }
  label.assign(name);
  return '-';
}

// Hashing of texts that also finds a std::string by a string_view.
struct Text_hash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// The oracle names handed out within one node. A fresh-name suffix goes at
// the end of the name and so at the end of its label.
//
// One table entry per text: the kinds of the names handed out with that
// label (label + suffix), and, for a label, the first suffix worth trying.
class Oracle_names {
 public:
  explicit Oracle_names(std::size_t expected = 0) { table_.reserve(expected); }

  // A name the node declares for itself.
  void keep(const Ident& name) {
    const char kind = clock_label(name.str(), scratch_);
    entry(scratch_).kinds |= kind_bit(kind);
  }

  // The names under which one call passes the callee's oracles, in their
  // order. The clocks of one instance (one label) share one suffix: none
  // when all their names are new in the node, else the first of "_2",
  // "_3", ... that makes them all new.
  std::vector<Ident> give(const std::vector<Typed_ident>& oracles) {
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    // Groups of one label, each with at most one name of every kind; the
    // groups of a label are chained in creation order, and so are the
    // members of a group.
    struct Group {
      std::string label;
      unsigned kinds = 0;
      std::size_t first = none, last = none;
      std::size_t next_of_label = none;
    };
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t, Text_hash, std::equal_to<>> first_of_label;
    first_of_label.reserve(oracles.size());
    std::vector<std::size_t> next_member(oracles.size(), none);
    std::vector<unsigned> kind(oracles.size());
    for (std::size_t i = 0; i < oracles.size(); ++i) {
      kind[i] = kind_bit(clock_label(oracles[i].first.str(), scratch_));
      std::size_t j = none;
      auto it = first_of_label.find(scratch_);
      if (it == first_of_label.end()) {
        j = groups.size();
        first_of_label.emplace(scratch_, j);
        groups.push_back(Group{scratch_});
      } else {
        // Two names of one kind and label cannot share a suffix.
        std::size_t g = it->second, last = none;
        while (g != none && (groups[g].kinds & kind[i])) last = g, g = groups[g].next_of_label;
        if (g != none) {
          j = g;
        } else {
          j = groups.size();
          groups.push_back(Group{scratch_});
          groups[last].next_of_label = j;
        }
      }
      Group& grp = groups[j];
      if (grp.last == none) grp.first = i;
      else next_member[grp.last] = i;
      grp.last = i;
      grp.kinds |= kind[i];
    }
    // Every name is set below: each oracle is a member of one group.
    std::vector<Ident> names;
    names.reserve(oracles.size());
    for (const auto& o : oracles) names.push_back(o.first);
    std::string suffix;
    for (const auto& g : groups) {
      auto label_it = table_.find(g.label);
      long long k = label_it == table_.end() ? 1 : label_it->second.next;
      auto set_suffix = [&] {
        suffix.clear();
        if (k != 1) {
          suffix += '_';
          suffix += std::to_string(k);
        }
      };
      auto is_free = [&] {
        set_suffix();
        scratch_.assign(g.label);
        scratch_.append(suffix);
        auto it = table_.find(scratch_);
        return it == table_.end() || (it->second.kinds & g.kinds) == 0;
      };
      while (!is_free()) ++k;
      // scratch_ holds label + suffix
      entry(scratch_).kinds |= g.kinds;
      if (!suffix.empty())
        for (std::size_t i = g.first; i != none; i = next_member[i]) names[i] = add_suffix(suffix, oracles[i].first);
      entry(g.label).next = k + 1;
    }
    return names;
  }

 private:
  struct State {
    unsigned kinds = 0;  // kind_bit of the names given with this text
    long long next = 1;  // as a label: the first suffix worth trying
  };
  // '0', '1', '2' (the clock kinds) or '-' (no kind), one bit each.
  static unsigned kind_bit(char kind) { return kind == '-' ? 8u : 1u << (kind - '0'); }
  State& entry(const std::string& text) {
    auto it = table_.find(text);
    if (it == table_.end()) it = table_.emplace(text, State{}).first;
    return it->second;
  }
  std::unordered_map<std::string, State, Text_hash, std::equal_to<>> table_;
  std::string scratch_;
};

// The node n with its own oracles followed by those of every node it calls
// (propagated already), callee by callee in the order of sub_nodes, each
// under a name of its own in the node. The k-th call of a callee in the
// equations passes the names given to the k-th occurrence of that callee in
// sub_nodes (both lists are in the same order). callee_of gives null for a
// definition that is not a node.
Node propagated_node(const Node_lookup& callee_of, Node n);

Node propagated_node(const Node_lookup& callee_of, Node n) {
  // The callees first, so that the oracle list grows once to its size.
  std::vector<Node_ptr> callees;
  callees.reserve(n.sub_nodes.size());
  std::size_t count = n.oracles.size();
  for (const Ident& x : n.sub_nodes) {
    callees.push_back(callee_of(x));
    if (callees.back()) count += callees.back()->oracles.size();
  }
  Oracle_names names(count);
  for (const auto& o : n.oracles) names.keep(o.first);
  Node result = std::move(n);
  result.oracles.reserve(count);
  struct Passed {
    std::vector<std::vector<Ident>> calls;
    std::size_t next = 0;
  };
  std::unordered_map<Ident, Passed> passed;
  for (std::size_t k = 0; k < result.sub_nodes.size(); ++k) {
    const Node_ptr& callee = callees[k];
    if (!callee) continue;
    std::vector<Ident> args = names.give(callee->oracles);
    for (std::size_t i = 0; i < args.size(); ++i) result.oracles.push_back({args[i], callee->oracles[i].second});
    passed[result.sub_nodes[k]].calls.push_back(std::move(args));
  }
  for (auto& eq : result.equations) {
    const auto* c = as_call(*eq.rhs);
    if (!c || !c->node) continue;
    const auto* callee = std::get_if<Var>(&c->node->v);
    if (!callee) continue;
    auto it = passed.find(callee->name);
    if (it == passed.end() || it->second.next == it->second.calls.size()) continue;
    std::vector<Ident>& args = it->second.calls[it->second.next++];
    if (args == c->oracle_args) continue;  // nothing to record (a callee without oracles)
    Call_expr call = *c;
    call.oracle_args = std::move(args);
    eq.rhs = make_expr(std::move(call));
  }
  return result;
}

// A definition as translate stores it: a node gets its oracles propagated
// at once. Its callees were translated, and so propagated, before it; and
// the translation of a caller reads only the inputs and outputs of its
// callees, which propagation leaves as they are. So the result is the one
// of propagate_oracles on the whole translation, without a second copy of
// every node.
Sync_definition with_propagated_oracles(const Translation& t, Sync_definition d) {
  auto* nd = std::get_if<Node_def>(&d);
  if (!nd) return d;
  Node n = take_node(std::move(nd->node));
  auto callee_of = [&t](const Ident& x) -> Node_ptr {
    if (auto it = t.nodes.find(x); it != t.nodes.end()) return it->second;
    const Entry* e = t.env.find(x);
    VQ_ASSERT(e && e->def, "propagate_oracles: " + x.str() + " has no definition");
    const auto* callee = std::get_if<Node_def>(&*e->def);
    return callee ? callee->node : nullptr;
  };
  Node propagated = propagated_node(callee_of, std::move(n));
  propagated.oracles.shrink_to_fit();
  return node_def(std::move(propagated));
}

}  // namespace

// ---- public operations -------------------------------------------------------------

std::shared_ptr<const Node> get_node_or_raise_todo(const Env& env, const Ident& name) {
  const Entry* e = env.find(name);
  if (!e || !e->def) throw Vorquel_todo(name);
  return node_of_entry(name, *e);
}

Type_expression type_of_feature_kind(const Feature_kind& k) {
  return std::visit(
      overloaded{
          [](const Feat_data_port& f) {
            VQ_ASSERT(f.classifier, "data port without classifier");
            return tnamed(*f.classifier);
          },
          [](const Feat_event_port&) { return tbool(); },
          [](const Feat_event_data_port&) -> Type_expression {
            not_yet_implemented("type of \"event data port\"");
          },
          [](const Feat_port_group& f) {
            VQ_ASSERT(f.classifier, "port group feature without classifier");
            return tnamed(*f.classifier);
          },
          [](const Feat_server_subprogram_spec&) -> Type_expression {
            not_yet_implemented("type of \"server subprogram\"");
          },
          [](const Feat_data_subprogram_spec&) -> Type_expression {
            not_yet_implemented("type of \"data subprogram\"");
          },
          [](const Feat_subcomponent_access& f) -> Type_expression {
            if (f.category == Category::Bus) not_yet_implemented("bus access");
            VQ_ASSERT(f.category == Category::Data, "access to a component that is neither data nor bus");
            VQ_ASSERT(f.classifier, "data access without classifier");
            return tnamed(*f.classifier);
          },
          [](const Feat_parameter& f) { return f.classifier ? tnamed(*f.classifier) : tbool(); },
      },
      k);
}

Type_expression port_group_to_type(const Port_group& g) {
  TRecord r;
  for (const auto& f : g.features) r.fields.push_back({f.name, type_of_feature_kind(f.kind)});
  return Type_expression{std::move(r)};
}

Sync_definition sync_definition_of_port_group(const Env& env, const Port_group& g) {
  std::vector<Ident> visiting;
  return port_group_definition(env, g, visiting);
}

void check_dispatch_protocol(const Component& thread) {
  const std::optional<Dispatch_protocol> protocol = find_dispatch_protocol(thread);
  if (!protocol) fail("*** Error: the thread " + thread.name.str() + " has no Dispatch_Protocol property.\n");
  switch (*protocol) {
    case Dispatch_protocol::Periodic:
      return;
    case Dispatch_protocol::Aperiodic:
      fail("*** Aperiodic dispatch protocol is not a supported yet.\n");
    case Dispatch_protocol::Sporadic:
      fail("*** Sporadic dispatch protocol is not a supported yet.\n");
    case Dispatch_protocol::Background:
      fail("*** Backgroud dispatch protocol is not a supported yet.\n");
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

Sync_definition remove_dupl_local_var(const Sync_definition& d) {
  const auto* nd = std::get_if<Node_def>(&d);
  if (!nd) return d;
  const Node& n = *nd->node;
  // As a rule no name repeats: that is checked on the names' hashes first,
  // comparing only the names of equal hashes.
  {
    std::vector<std::pair<std::size_t, std::size_t>> by_hash;  // (hash, index)
    by_hash.reserve(n.locals.size());
    for (std::size_t i = 0; i < n.locals.size(); ++i) by_hash.emplace_back(n.locals[i].first.hash(), i);
    std::sort(by_hash.begin(), by_hash.end());
    bool repeated = false;
    for (std::size_t i = 0; i < by_hash.size() && !repeated; ++i)
      for (std::size_t j = i + 1; j < by_hash.size() && by_hash[j].first == by_hash[i].first && !repeated; ++j)
        repeated = n.locals[by_hash[i].second].first == n.locals[by_hash[j].second].first;
    if (!repeated) return d;
  }
  // The first type kept for every name; the other types kept for a name
  // (rare) in `more`.
  std::unordered_map<Ident, const Type_expression*> first;
  std::unordered_map<Ident, std::vector<const Type_expression*>> more;
  first.reserve(n.locals.size());
  std::vector<bool> keep(n.locals.size(), true);
  std::size_t dropped = 0;
  for (std::size_t i = 0; i < n.locals.size(); ++i) {
    const auto& l = n.locals[i];
    auto [it, fresh] = first.try_emplace(l.first, &l.second);
    if (fresh) continue;
    bool seen = same_type(*it->second, l.second);
    if (!seen) {
      auto& types = more[l.first];
      seen = std::any_of(types.begin(), types.end(), [&](const Type_expression* t) { return same_type(*t, l.second); });
      if (!seen) types.push_back(&l.second);
    }
    if (seen) {
      keep[i] = false;
      ++dropped;
    }
  }
  if (dropped == 0) return d;
  Node copy = n;
  copy.locals.clear();
  copy.locals.reserve(n.locals.size() - dropped);
  for (std::size_t i = 0; i < n.locals.size(); ++i)
    if (keep[i]) copy.locals.push_back(n.locals[i]);
  return node_def(std::move(copy));
}

Env translate(const Options& options, const Ident& top_level_system, const Env& env) {
  Translation t{env, env, {}, {}};
  t.verbosity = options.verbosity;
  const auto& files = options.input_files;  // reverse command-line order
  for (auto it = files.rbegin(); it != files.rend(); ++it) t.input_files += *it + " ";
  t.input_files += "\n";
  env.iter([&](const Ident& name, const Entry&) { translate_aux(t, name); });
  VQ_ASSERT(t.env.find(top_level_system), "propagate_oracles: no top-level system " + top_level_system.str());
  return std::move(t.env);
}

Ident give_a_new_name(Renaming_table& table, const Ident& id) {
  auto [it, fresh] = table.emplace(id, 3);
  if (fresh) return add_suffix("_2", id);
  return add_suffix("_" + std::to_string(it->second++), id);
}

}  // namespace vorquel
