#include "sync/sync_ast.hpp"

namespace vorquel {

template <class F>
void Expr::for_each_operand(Expr& e, F f) {
  std::visit(
      [&](auto& k) {
        using K = std::decay_t<decltype(k)>;
        if constexpr (std::is_same_v<K, Or>) {
          f(k.left);
          f(k.right);
        } else if constexpr (std::is_same_v<K, If>) {
          f(k.cond);
          f(k.then_branch);
          f(k.else_branch);
        } else if constexpr (std::is_same_v<K, Arrow>) {
          f(k.first);
          f(k.then);
        } else if constexpr (std::is_same_v<K, Pre>) {
          f(k.operand);
        } else if constexpr (std::is_same_v<K, Tuple>) {
          for (auto& item : k.items) f(item.expr);
        } else if constexpr (std::is_same_v<K, Boxed<Call_expr>>) {
          Call_expr& c = *k.part();
          if (c.clock) f(*c.clock);
          f(c.node);
          f(c.args);
        }
      },
      e.v);
}

Expr::~Expr() {
  // Only an operand that nothing else holds and that has operands of its own
  // can make the destruction go deeper than one level.
  auto sole_with_operands = [](const Expression& x) {
    if (!x || x.use_count() != 1) return false;
    bool any = false;
    for_each_operand(const_cast<Expr&>(*x), [&](Expression&) { any = true; });
    return any;
  };
  bool deep = false;
  for_each_operand(*this, [&](Expression& x) { deep = deep || sole_with_operands(x); });
  if (!deep) return;
  // The operands that nothing else holds are taken out before their holder
  // goes, so that each destruction stops at once; the others only lose a
  // reference.
  std::vector<Expression> pending;
  auto take = [&](Expression& x) {
    if (x && x.use_count() == 1) pending.push_back(std::move(x));
  };
  for_each_operand(*this, take);
  while (!pending.empty()) {
    Expression e = std::move(pending.back());
    pending.pop_back();
    if (e.use_count() == 1) for_each_operand(const_cast<Expr&>(*e), take);
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
