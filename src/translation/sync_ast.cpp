#include "translation/sync_ast.hpp"

namespace vorquel {

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
