// Connections and wiring inside an implementation: the connections of each
// sub-component, the inputs that a call receives, the outputs it publishes
// and the wires between sub-components. Connections are indexed once per
// implementation by the first part of their ends, so that splitting them by
// sub-component costs no more than reading them.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "translation/internal.hpp"

namespace vorquel::translation {

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

// Stops the run: two connections target one destination that is not an
// event port.
[[noreturn]] void targetted_twice(const Ident& component, const Connection& c);
// Several connections into one destination, given in declaration order:
// event connections merge with Or; any other kind may target a destination
// only once.
Expression merged_sources(const Ident& component, const std::vector<const Connection*>& conns);

// What the wiring of one implementation needs to know of the implementation
// itself: the inputs of its node, and the connections that reach its own
// features from the sub-components (or calls) that are wired, grouped by
// destination so that each feature gets one equation.
class Enclosing {
 public:
  // `wired`: the names of the sub-components (or calls) whose outgoing
  // connections become wires.
  // `in_out`: whether its in out ports are wired (a textual model's).
  Enclosing(const Component& c, const Node& type_node, const std::unordered_set<std::string_view>& wired,
            bool in_out = false)
      : name_(c.name), in_out_(in_out) {
    for (const auto& in : type_node.inputs)
      if (in.first.str().ends_with("_in")) inputs_.insert(in.first.str());
      else if (in_out) plain_inputs_.insert(in.first.str());
    for (const auto& conn : c.connections)
      if (conn.kind != Connection_kind::Bus_access_connection && conn.dst.is_simple() && wired.count(conn.src.head()))
        into_[conn.dst.str()].push_back(&conn);
  }

  // The value a connection brings into a sub-component: a data access (or
  // an in out port) that the enclosing component itself reads is its "_in"
  // input.
  Expression source(const Connection& c) const {
    const bool read = c.kind == Connection_kind::Data_access_connection || (in_out_ && !plain_inputs_.count(c.src.str()));
    if (read && c.src.is_simple() && inputs_.count(c.src.str() + "_in")) return var(add_suffix("_in", c.src));
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
      if (c.kind != Connection_kind::Event_connection) targetted_twice(name_, c);
      return std::nullopt;
    }
    return Equation{Pattern{PVar{c.dst}}, merged_sources(name_, conns)};
  }

 private:
  Ident name_;
  bool in_out_;
  std::unordered_set<std::string> inputs_;        // those named "..._in"
  std::unordered_set<std::string> plain_inputs_;  // the others, when in out ports are wired
  std::unordered_map<std::string_view, std::vector<const Connection*>> into_;  // declaration order
};

struct Local_outputs {
  std::vector<Typed_ident> locals;
  Pattern pattern;
};

struct Wires {
  std::vector<Equation> equations;
  std::vector<Ident> delayed_sources;
};

bool has_output(const Node& n, std::string_view name);
// The arguments of a call of `callee` from the connections into it.
std::vector<Tuple_item> make_input_of_component(const Ident& sub, const Ident& callee_name, const Node& callee,
                                                const std::vector<const Connection*>& incoming,
                                                const Enclosing& encl);
Local_outputs make_local_output_of_component(const Ident& sub, const Ident& callee_name, const Node& callee,
                                             std::vector<Ident>* labels = nullptr,
                                             const std::vector<const Connection*>* outgoing = nullptr);
Wires make_wires(const std::vector<const Connection*>& outgoing, const Enclosing& encl);
std::vector<Equation> make_wires_device_input(const Ident& device, const std::vector<const Connection*>& incoming);
std::vector<Typed_ident> local_of_out_connection(const Env& env, const Component& callee,
                                                 const std::vector<const Connection*>& outgoing);

}  // namespace vorquel::translation
