// What the files of the translation share: the translate-first request,
// the list that grows at its front, small checks, the port-group direction
// table and the state of one translation.
//
// Accumulated lists "grow at their front" (each step puts its new items, in
// their own order, before everything accumulated earlier); Front_list keeps
// them reversed so that this stays linear.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "aadl/aadl_ast.hpp"
#include "base/diagnostics.hpp"
#include "env/env.hpp"
#include "sync/sync_ast.hpp"

namespace vorquel::translation {

// The translate-first request: the named component has no node yet.
struct Vorquel_todo : std::exception {
  explicit Vorquel_todo(Ident n) : name(std::move(n)) {}
  Vorquel_todo(Ident n, std::optional<Source_location> at, std::string user) :
      name(std::move(n)), reference(std::move(at)), referrer(std::move(user)) {}
  Ident name;
  // Where the model refers to the name, and what refers to it ("sub-component
  // t1"), for the error when nothing declares it.
  std::optional<Source_location> reference;
  std::string referrer;
  const char* what() const noexcept override { return "Vorquel.Vorquel_todo"; }
};

using Node_ptr = std::shared_ptr<const Node>;
// Where an implementation finds the nodes of the components it calls.
using Node_lookup = std::function<Node_ptr(const Ident&)>;

inline Node make_node(const Ident& name) {
  return Node{name, {}, {}, {}, {}, {}, {}, {}};
}

// The node object itself is not const, so that a node held by nothing else
// can be moved out again (take_node).
inline Sync_definition node_def(Node n) { return Node_def{std::shared_ptr<const Node>(std::make_shared<Node>(std::move(n)))}; }

// The node, moved out when the pointer is the only holder of a node built
// by node_def, copied otherwise.
inline Node take_node(std::shared_ptr<const Node> p) {
  if (p.use_count() == 1) return std::move(const_cast<Node&>(*p));
  return *p;
}

inline const char* plural(std::size_t n) { return n > 1 ? "s" : ""; }

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

inline bool same_type(const Type_expression& a, const Type_expression& b) {
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

inline void check_component(const Component& c, Category cat, Component_kind kind, std::string_view what) {
  VQ_ASSERT(c.category == cat && c.kind == kind,
            std::string(what) + ": " + c.name.str() + " has the wrong category or kind");
}

inline void check_normalized(const Component& c, std::string_view what) {
  VQ_ASSERT(c.normalized, std::string(what) + ": " + c.name.str() + " was not normalised");
}

inline bool has_implementation_part(const Ident& id) {
  return !id.is_simple() && id.sep(id.part_count() - 2) == Ident::Sep::Dot;
}

// The directions of port groups, each computed once however often (and
// however deeply nested) the port group is referred to. `visiting` holds the
// port groups whose direction is being computed, so that a port group
// defined through itself stops with a message instead of looping.
struct Directions {
  std::unordered_map<Ident, In_out> known;
  std::vector<Ident> visiting;
};

// Direction of a feature; a port group takes the direction of its features.
In_out status_of(const Env& env, const Feature_kind& k, Directions& d);
// The node interface of a component type.
Sync_definition interface_node(const Env& env, const Component& c, Directions& dirs);
// A port group's record type; `visiting` holds the port groups being defined.
Sync_definition port_group_definition(const Env& env, const Port_group& g, std::vector<Ident>& visiting);
// The definition of a component, the nodes of its callees found by node_of.
Sync_definition definition_of_component(const Env& env, const Node_lookup& node_of, const Component& c,
                                        Directions& dirs);

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

// The node an entry with a definition holds.
Node_ptr node_of_entry(const Ident& name, const Entry& e);
// Translates the declaration (and first, on demand, its callees) into t.env.
void translate_aux(Translation& t, const Ident& name);
// The definition with the oracle inputs of its callees added.
Sync_definition with_propagated_oracles(const Translation& t, Sync_definition d);

}  // namespace vorquel::translation
