// Oracle propagation: the oracle inputs of every called node become inputs
// of its caller, up to the top-level system, each under a name of its own.
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
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/overloaded.hpp"
#include "sync/clock_names.hpp"
#include "translation/internal.hpp"

namespace vorquel {
namespace translation {

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

}  // namespace translation

Ident give_a_new_name(Renaming_table& table, const Ident& id) {
  auto [it, fresh] = table.emplace(id, 3);
  if (fresh) return add_suffix("_2", id);
  return add_suffix("_" + std::to_string(it->second++), id);
}

}  // namespace vorquel
