// The Vorquel component: AADL declarations to synchronous definitions. This
// file holds the translation driver (every declaration, callees first, on
// demand) and the entry points; interfaces, wiring, implementations and
// oracle propagation have files of their own.
#include "translation/vorquel.hpp"

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
#include "base/options.hpp"
#include "sync/clock_names.hpp"
#include "translation/internal.hpp"

namespace vorquel {
namespace translation {

// ---- the driver ----------------------------------------------------------------

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
        fail_located("*** Error: the translation of " + todo.name.str() + " needs its own node (cyclic dependency).\n",
                     location_of(declaration_pos(*decl)),
                     "in " + aadl_name(name) + ": " + aadl_name(todo.name) + " depends on itself (cyclic dependency)");
      // A reference to nothing: at the reference when known, or else at the
      // declaration that makes it.
      if (!t.env.find(todo.name)) {
        const bool placed = todo.reference.has_value();
        fail_located("*** Error: " + todo.name.str() + " is undefined in " + t.input_files,
                     placed ? todo.reference : location_of(declaration_pos(*decl)),
                     "in " + aadl_name(name) + ": " + (placed ? todo.referrer + ": the classifier " : "") +
                         aadl_name(todo.name) + " is not declared");
      }
      translate_aux(t, todo.name);
    } catch (const Fatal& f) {
      // A fault found while translating a declaration and not located by
      // the step that found it: located at the declaration. A lookup that
      // found nothing is a reference to something the model lacks.
      const Diagnostic& d = f.diagnostic;
      if (d.location) throw;
      const auto at = location_of(declaration_pos(*decl));
      if (is_not_found(d))
        fail_located("*** Error: Not_found while translating " + name.str() + "\n", at,
                     "in " + aadl_name(name) +
                         ": a classifier, feature or sub-component used here is not declared; check its spelling");
      if (d.kind == Diagnostic_kind::Internal) throw;
      Diagnostic located = d;
      located.location = at;
      if (d.kind == Diagnostic_kind::Unsupported)
        located.message =
            "in " + aadl_name(name) + ": " + (d.message.empty() ? "not supported: " + first_line_of(d.text) : d.message);
      else
        located.message = "in " + aadl_name(name) + ": " + (d.message.empty() ? first_line_of(d.text) : d.message);
      throw Fatal(std::move(located));
    }
  }
}

}  // namespace translation

using namespace translation;

std::shared_ptr<const Node> get_node_or_raise_todo(const Env& env, const Ident& name) {
  const Entry* e = env.find(name);
  if (!e || !e->def) throw Vorquel_todo(name);
  return node_of_entry(name, *e);
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

namespace {

// The classifiers that a declaration names.
void references(const Declaration& d, std::vector<Ident>& out) {
  auto features = [&](const std::vector<Feature>& list) {
    for (const auto& f : list)
      std::visit([&](const auto& k) {
        if constexpr (requires { k.classifier; })
          if (k.classifier) out.push_back(*k.classifier);
      }, f.kind);
  };
  std::visit(overloaded{
                 [&](const Component& c) {
                   if (c.kind == Component_kind::Implementation) out.push_back(type_name_of_implementation_name(c.name));
                   if (c.extends) out.push_back(*c.extends);
                   features(c.features);
                   for (const auto& s : c.subcomponents)
                     if (s.classifier) out.push_back(*s.classifier);
                   for (const auto& seq : c.call_sequences)
                     for (const auto& call : seq.calls) out.push_back(call.called);
                 },
                 [&](const Port_group& g) {
                   if (g.extends) out.push_back(*g.extends);
                   if (g.inverse) out.push_back(*g.inverse);
                   features(g.features);
                 },
             },
             d);
}

// The declarations that the top-level system uses, directly or not.
std::unordered_set<Ident> used_declarations(const Env& env, const Ident& top) {
  std::unordered_set<Ident> used{top};
  std::vector<Ident> todo{top};
  std::vector<Ident> named;
  while (!todo.empty()) {
    const Entry* e = env.find(todo.back());
    todo.pop_back();
    if (!e || !e->decl) continue;
    named.clear();
    references(*e->decl, named);
    for (auto& n : named)
      if (used.insert(n).second) todo.push_back(std::move(n));
  }
  return used;
}

}  // namespace

Env translate(const Options& options, const Ident& top_level_system, const Env& env,
              std::vector<Diagnostic>* warnings) {
  Translation t{env, env, {}, {}};
  t.verbosity = options.verbosity;
  const auto& files = options.input_files;  // reverse command-line order
  for (auto it = files.rbegin(); it != files.rend(); ++it) t.input_files += *it + " ";
  t.input_files += "\n";
  check_dispatch_of_instance(env, top_level_system);
  // A declaration of a textual model that the top-level system does not use
  // (a library beside the architecture) is left out, with a warning, when
  // it cannot be translated; it has no definition, as the printer says.
  const std::unordered_set<Ident> used = used_declarations(env, top_level_system);
  env.iter([&](const Ident& name, const Entry& e) {
    if (used.count(name) || !e.decl || !read_from_text(declaration_pos(*e.decl))) return translate_aux(t, name);
    try {
      translate_aux(t, name);
    } catch (const Fatal& f) {
      const Diagnostic& d = f.diagnostic;
      if (d.kind == Diagnostic_kind::Internal) throw;
      t.in_progress.clear();
      if (warnings)
        warnings->push_back(make_warning((d.message.empty() ? first_line_of(d.text) : d.message) + " (" +
                                             aadl_name(name) +
                                             " is left out of the program: the top-level system does not use it)",
                                         d.location ? d.location : location_of(declaration_pos(*e.decl))));
    }
  });
  VQ_ASSERT(t.env.find(top_level_system), "propagate_oracles: no top-level system " + top_level_system.str());
  return std::move(t.env);
}

}  // namespace vorquel
