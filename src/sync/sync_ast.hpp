// The synchronous model: the Lustre program the translation builds and the
// printer writes. Values are immutable; expressions are shared sub-trees.
#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/ident.hpp"
#include "sync/sched_info.hpp"

namespace vorquel {

// ---- literals ----------------------------------------------------------------
struct Imm_bool { bool value; };
struct Imm_int { long long value; };
struct Imm_real { double value; };
struct Imm_char { char value; };
struct Imm_string { std::string value; };
using Immediate = std::variant<Imm_bool, Imm_int, Imm_real, Imm_char, Imm_string>;

// A part of a value kept out of line, for the rare kinds that are several
// times as large as the common ones (record types, calls, delayed outputs):
// every name and variable would otherwise take their room. Copies copy the
// part.
struct Expr;
template <class T>
class Boxed {
 public:
  Boxed(T x) : p_(std::make_unique<T>(std::move(x))) {}  // NOLINT: implicit on purpose
  Boxed(const Boxed& o) : p_(std::make_unique<T>(*o)) {}
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(const Boxed& o) {
    if (this != &o) p_ = std::make_unique<T>(*o);
    return *this;
  }
  Boxed& operator=(Boxed&&) noexcept = default;
  const T& operator*() const { return *p_; }
  const T* operator->() const { return p_.get(); }

 private:
  // An expression being destroyed takes its call's operands apart.
  friend struct Expr;
  T* part() { return p_.get(); }
  std::unique_ptr<T> p_;
};

// ---- types -------------------------------------------------------------------
struct Type_field;
struct TRecord { std::vector<Type_field> fields; };
struct TNamed { Ident name; };
struct Type_expression { std::variant<Boxed<TRecord>, TNamed> v; };
struct Type_field { Ident name; Type_expression type; };

// The record a type is, or null.
inline const TRecord* as_record(const Type_expression& t) {
  const auto* b = std::get_if<Boxed<TRecord>>(&t.v);
  return b ? &**b : nullptr;
}

inline Type_expression tnamed(Ident id) { return Type_expression{TNamed{std::move(id)}}; }
inline Type_expression tbool() {
  static const Ident name("bool");
  return tnamed(name);
}

// ---- patterns ----------------------------------------------------------------
struct Pattern_item;
struct PVar { Ident name; };
struct PTuple { std::vector<Pattern_item> items; };
struct Pattern { std::variant<PVar, PTuple> v; };
struct Pattern_item { Ident label; Pattern pattern; };

// ---- expressions -------------------------------------------------------------
struct Expr;
using Expression = std::shared_ptr<const Expr>;

struct Imm { Immediate value; };
struct Var { Ident name; };
struct Tuple_item { Ident label; Expression expr; };
struct Tuple { std::vector<Tuple_item> items; };
struct Or { Expression left, right; };
struct If { Expression cond, then_branch, else_branch; };
struct Arrow { Expression first, then; };
struct Pre { Expression operand; };
// A node call; a condact call when the clock is present. The node is a Var,
// the arguments a Tuple holding the declared inputs only.
// `instance` is the sub-component or call of the AADL model that the call
// runs (absent in calls built by hand). `oracle_args` are the names that the
// call passes for the callee's oracle inputs, in the callee's order; oracle
// propagation fills them in, so that every name is unique in the caller.
// Empty: the printer numbers repeated calls itself.
struct Call_expr {
  std::optional<Expression> clock;
  Expression node;
  Expression args;
  std::optional<Ident> instance{};
  std::vector<Ident> oracle_args{};
};
// output_i = default -> pre (if c_i then result_i else output_i), with c_i the
// dispatch clock for an output among the delayed sources, the release clock
// otherwise.
struct DelayedOutputs {
  Ident node;
  Ident release_clock;
  Ident dispatch_clock;
  Pattern outputs;
  Pattern results;
  std::vector<Ident> delayed_sources;
};

struct Expr {
  using Kind = std::variant<Imm, Var, Tuple, Or, If, Arrow, Pre, Boxed<Call_expr>, Boxed<DelayedOutputs>>;
  Kind v;

  template <class T>
    requires std::constructible_from<Kind, T&&>
  Expr(T&& x) : v(std::forward<T>(x)) {}  // NOLINT: implicit on purpose
  Expr(const Expr&) = default;
  Expr(Expr&&) noexcept = default;
  Expr& operator=(const Expr&) = default;
  Expr& operator=(Expr&&) noexcept = default;
  // Chains of operands (an `or` of many events, an `if` per writer, calls
  // within calls) can be as long as the model is wide: they are taken apart
  // with a loop, not by a recursion as deep as the chain.
  ~Expr();

 private:
  // Calls f on every operand of the expression (an Expression&).
  template <class F>
  static void for_each_operand(Expr& e, F f);
};

// The call or delayed outputs an expression is, or null.
inline const Call_expr* as_call(const Expr& e) {
  const auto* b = std::get_if<Boxed<Call_expr>>(&e.v);
  return b ? &**b : nullptr;
}
inline const DelayedOutputs* as_delayed(const Expr& e) {
  const auto* b = std::get_if<Boxed<DelayedOutputs>>(&e.v);
  return b ? &**b : nullptr;
}

// Made as a modifiable object and shared as a constant one: its destructor
// may take its operands apart.
template <class T>
Expression make_expr(T x) { return std::make_shared<Expr>(std::move(x)); }
inline Expression var(Ident id) { return make_expr(Var{std::move(id)}); }
inline Expression empty_expression() { return make_expr(Tuple{}); }

struct Equation { Pattern lhs; Expression rhs; };

using Typed_ident = std::pair<Ident, Type_expression>;

struct Node {
  Ident name;
  std::vector<Typed_ident> inputs;
  std::vector<Typed_ident> oracles;
  std::vector<Typed_ident> outputs;
  std::vector<Typed_ident> locals;
  std::vector<Equation> equations;
  std::vector<Si> sched_infos;
  std::vector<Ident> sub_nodes;  // one entry per call, most recent first
};

struct Node_def { std::shared_ptr<const Node> node; };
struct TypeDef { Ident name; std::optional<Type_expression> definition; };
struct Skipped { Ident name; };
using Sync_definition = std::variant<Node_def, TypeDef, Skipped>;

Expression pattern_to_expression(const Pattern& p);
std::vector<Ident> pattern_to_var_list(const Pattern& p);

}  // namespace vorquel
