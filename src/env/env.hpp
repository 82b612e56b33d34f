// The component environment: a persistent ordered table from identifier to
// (AADL declaration, optional synchronous definition), and the table of
// sub-component local names. Every update returns a new environment in
// O(log n), sharing all untouched nodes with the old one, which stays valid.
// Traversals visit keys in increasing structural identifier order.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "aadl/aadl_ast.hpp"
#include "base/ident.hpp"
#include "sync/sync_ast.hpp"

namespace vorquel {

struct Entry {
  std::shared_ptr<const Declaration> decl;
  std::optional<Sync_definition> def;
};

// Key of the local-names table: (sub-component name, enclosing implementation).
using Local_key = std::pair<Ident, Ident>;

class Env {
 public:
  Env();  // the empty environment

  // New environment with the declaration under its name, no definition;
  // extends the local-names table with the component's sub-components.
  // A name already present is an internal error.
  Env add_decl(const Declaration& d) const;
  Env add_decl(std::shared_ptr<const Declaration> d) const;
  // Same as *this = add_decl(d), without copying the parts of the tables
  // that no other environment shares (for building a table in a loop).
  Env& extend(std::shared_ptr<const Declaration> d);
  // New environment mapping the name to the entry (added when absent).
  Env update(const Ident& name, Entry e) const;

  const Entry& get(const Ident& name) const;  // internal "Not_found"
  const Entry* find(const Ident& name) const;  // nullptr when absent
  bool mem(const Ident& name) const;
  const Declaration& get_aadl(const Ident& name) const;  // internal "Not_found"
  const Component& get_component(const Ident& name) const;  // internal "Not_found" (also for a port group)
  const Component& get_component2(const Ident& name) const;  // fatal listing when absent
  const Port_group& get_port_grp(const Ident& name) const;  // internal "Not_found"
  const Node& get_node(const Ident& name) const;  // internal "Not_found" when absent or untranslated
  std::shared_ptr<const Node> get_node_ptr(const Ident& name) const;  // as get_node
  const Node& get_node2(const Ident& name) const;  // fatal message when absent
  const Feature& get_feature(const Ident& component, const Ident& feature) const;  // internal "Not_found"
  const Ident& get_comp_name_of_loc_id(const Ident& component, const Ident& local) const;  // fatal listing

  // Declarations table, in key order.
  void iter(const std::function<void(const Ident&, const Entry&)>& f) const;
  Env map(const std::function<Entry(const Entry&)>& f) const;
  // Local-names table, in key order.
  void iter_locals(const std::function<void(const Local_key&, const Ident&)>& f) const;

  std::size_t size() const;

  struct Decl_tree;
  struct Local_tree;

 private:
  std::shared_ptr<const Decl_tree> decls_;
  // The declarations added by extend, newest first; the local-names table
  // is built from them when it is first needed.
  std::shared_ptr<const Local_tree> locals_;
  const std::vector<std::pair<Local_key, Ident>>& local_names() const;
};

}  // namespace vorquel
