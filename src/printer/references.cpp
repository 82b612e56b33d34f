// What printed text refers to: the nodes and types that a definition needs
// declared elsewhere, and the choice of the component types printed after
// the scheduler.
#include <unordered_map>
#include <vector>

#include "base/overloaded.hpp"
#include "printer/sync_printer.hpp"

namespace vorquel {

// ---- what printed text refers to ---------------------------------------------------

namespace {

void type_refs(const Type_expression& t, std::vector<Ident>& out) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    out.push_back(n->name);
    return;
  }
  for (const auto& f : as_record(t)->fields) type_refs(f.type, out);
}

// Walks with an explicit stack: expressions can be nested as deep as the
// model is wide.
void expr_refs(const Expression& root, std::vector<Ident>& out, std::vector<const Expr*>& todo) {
  todo.clear();
  todo.push_back(root.get());
  auto push = [&](const Expression& e) {
    if (e) todo.push_back(e.get());
  };
  while (!todo.empty()) {
    const Expr* e = todo.back();
    todo.pop_back();
    if (e == nullptr) continue;
    std::visit(overloaded{
                   [&](const Imm&) {},
                   [&](const Var&) {},
                   [&](const Tuple& x) {
                     for (const auto& it : x.items) push(it.expr);
                   },
                   [&](const Or& x) {
                     push(x.left);
                     push(x.right);
                   },
                   [&](const If& x) {
                     push(x.cond);
                     push(x.then_branch);
                     push(x.else_branch);
                   },
                   [&](const Arrow& x) {
                     push(x.first);
                     push(x.then);
                   },
                   [&](const Pre& x) { push(x.operand); },
                   [&](const Boxed<Call_expr>& x) {
                     if (x->clock) push(*x->clock);
                     if (x->node && std::holds_alternative<Var>(x->node->v))
                       out.push_back(std::get<Var>(x->node->v).name);
                     push(x->args);
                   },
                   [&](const Boxed<DelayedOutputs>& x) { out.push_back(x->node); },
               },
               e->v);
  }
}

// Appends the names that the definition refers to.
void collect_refs(const Sync_definition& d, std::vector<Ident>& out) {
  std::visit(overloaded{
                 [&](const Node_def& nd) {
                   if (!nd.node) return;
                   const Node& n = *nd.node;
                   for (const auto* l : {&n.inputs, &n.oracles, &n.outputs, &n.locals})
                     for (const auto& x : *l) type_refs(x.second, out);
                   std::vector<const Expr*> todo;  // one walk stack for all the equations
                   for (const auto& eq : n.equations) expr_refs(eq.rhs, out, todo);
                 },
                 [&](const TypeDef& t) {
                   if (t.definition) type_refs(*t.definition, out);
                 },
                 [&](const Skipped&) {},
             },
             d);
}
}  // namespace

std::vector<Ident> referenced_names(const Sync_definition& d) {
  std::vector<Ident> out;
  collect_refs(d, out);
  return out;
}

std::vector<bool> deferred_types_to_print(const std::vector<const Sync_definition*>& printed,
                                          const std::vector<Deferred_type>& deferred) {
  std::vector<bool> chosen(deferred.size(), false);
  std::unordered_map<Ident, std::vector<std::size_t>> held_back;  // implemented types by name
  for (std::size_t i = 0; i < deferred.size(); ++i) {
    if (deferred[i].implemented) held_back[deferred[i].name].push_back(i);
    else chosen[i] = true;
  }
  if (held_back.empty()) return chosen;
  // The definitions whose references are still to be matched against the
  // held-back types: the printed ones, then every type chosen.
  std::vector<const Sync_definition*> todo(printed.begin(), printed.end());
  for (std::size_t i = 0; i < deferred.size(); ++i)
    if (chosen[i]) todo.push_back(deferred[i].def);
  std::vector<Ident> refs;
  while (!todo.empty()) {
    const Sync_definition* d = todo.back();
    todo.pop_back();
    refs.clear();
    collect_refs(*d, refs);
    for (const auto& r : refs) {
      auto it = held_back.find(r);
      if (it == held_back.end()) continue;
      for (std::size_t i : it->second) {
        if (chosen[i]) continue;
        chosen[i] = true;
        todo.push_back(deferred[i].def);
      }
    }
  }
  return chosen;
}

}  // namespace vorquel
