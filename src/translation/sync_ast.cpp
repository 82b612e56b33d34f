#include "translation/sync_ast.hpp"

namespace vorquel {

namespace {

// Whether nothing else holds the expression and it has operands of its own.
bool is_sole_compound(const Expression& x) {
  return x && x.use_count() == 1 &&
         (std::holds_alternative<Or>(x->v) || std::holds_alternative<If>(x->v) ||
          std::holds_alternative<Arrow>(x->v) || std::holds_alternative<Pre>(x->v) ||
          std::holds_alternative<Tuple>(x->v) || std::holds_alternative<Boxed<Call_expr>>(x->v));
}

}  // namespace

// Whether the expression has an operand of its own with operands: only then
// can its destruction go deeper than one level.
bool Expr::has_sole_compound_operand(const Expr& e) {
  return std::visit(
      [&](const auto& k) {
        using K = std::decay_t<decltype(k)>;
        if constexpr (std::is_same_v<K, Or>) return is_sole_compound(k.left) || is_sole_compound(k.right);
        else if constexpr (std::is_same_v<K, If>)
          return is_sole_compound(k.cond) || is_sole_compound(k.then_branch) || is_sole_compound(k.else_branch);
        else if constexpr (std::is_same_v<K, Arrow>) return is_sole_compound(k.first) || is_sole_compound(k.then);
        else if constexpr (std::is_same_v<K, Pre>) return is_sole_compound(k.operand);
        else if constexpr (std::is_same_v<K, Tuple>) {
          for (const auto& item : k.items)
            if (is_sole_compound(item.expr)) return true;
          return false;
        } else if constexpr (std::is_same_v<K, Boxed<Call_expr>>) {
          return (k->clock && is_sole_compound(*k->clock)) || is_sole_compound(k->node) || is_sole_compound(k->args);
        } else
          return false;
      },
      e.v);
}

// Moves the operands that nothing else holds into `into`; the others are
// left for the members' own destruction, which only drops a reference.
void Expr::take_sole_operands(Expr& e, std::vector<Expression>& into) {
  auto take = [&](Expression& x) {
    if (x && x.use_count() == 1) into.push_back(std::move(x));
  };
  std::visit(
      [&](auto& k) {
        using K = std::decay_t<decltype(k)>;
        if constexpr (std::is_same_v<K, Or>) {
          take(k.left);
          take(k.right);
        } else if constexpr (std::is_same_v<K, If>) {
          take(k.cond);
          take(k.then_branch);
          take(k.else_branch);
        } else if constexpr (std::is_same_v<K, Arrow>) {
          take(k.first);
          take(k.then);
        } else if constexpr (std::is_same_v<K, Pre>) {
          take(k.operand);
        } else if constexpr (std::is_same_v<K, Tuple>) {
          for (auto& item : k.items) take(item.expr);
        } else if constexpr (std::is_same_v<K, Boxed<Call_expr>>) {
          Call_expr& c = *k.part();
          if (c.clock) take(*c.clock);
          take(c.node);
          take(c.args);
        }
      },
      e.v);
}

Expr::~Expr() {
  if (!has_sole_compound_operand(*this)) return;
  std::vector<Expression> pending;
  take_sole_operands(*this, pending);
  while (!pending.empty()) {
    Expression e = std::move(pending.back());
    pending.pop_back();
    // Still the only holder: its operands are taken before it goes, so its
    // own destruction stops at once.
    if (e.use_count() == 1) take_sole_operands(const_cast<Expr&>(*e), pending);
  }
}

Expression pattern_to_expression(const Pattern& p) {
  if (const auto* v = std::get_if<PVar>(&p.v)) return var(v->name);
  const auto& t = std::get<PTuple>(p.v);
  Tuple out;
  out.items.reserve(t.items.size());
  for (const auto& it : t.items) out.items.push_back({it.label, pattern_to_expression(it.pattern)});
  return make_expr(std::move(out));
}

namespace {
void collect_vars(const Pattern& p, std::vector<Ident>& out) {
  if (const auto* v = std::get_if<PVar>(&p.v)) {
    out.push_back(v->name);
    return;
  }
  for (const auto& it : std::get<PTuple>(p.v).items) collect_vars(it.pattern, out);
}
}  // namespace

std::vector<Ident> pattern_to_var_list(const Pattern& p) {
  std::vector<Ident> out;
  collect_vars(p, out);
  return out;
}

}  // namespace vorquel
