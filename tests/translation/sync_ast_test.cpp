#include "sync/sync_ast.hpp"

#include <gtest/gtest.h>

#include "sync/sched_info.hpp"

namespace vorquel {
namespace {

Pattern pvar(const char* n) { return Pattern{PVar{Ident(n)}}; }
Pattern ptuple(std::vector<Pattern_item> items) { return Pattern{PTuple{std::move(items)}}; }

// Flat text of an expression built from patterns: vars and tuples only.
std::string show(const Expression& e) {
  if (const auto* v = std::get_if<Var>(&e->v)) return v->name.str();
  const auto& t = std::get<Tuple>(e->v);
  std::string s = "(";
  for (const auto& it : t.items) s += it.label.str() + "=" + show(it.expr) + " ";
  return s + ")";
}

TEST(SyncAst, Patterns) {
  const Pattern nested = ptuple({{Ident("la"), ptuple({{Ident("l1"), pvar("a")}, {Ident("l2"), pvar("b")}})},
                                 {Ident("lc"), pvar("c")},
                                 {Ident("le"), ptuple({})}});
  struct Case {
    Pattern p;
    std::vector<std::string> vars;
    std::string expr;
  };
  const std::vector<Case> cases = {
      {ptuple({}), {}, "()"},
      {pvar("x"), {"x"}, "x"},
      {nested, {"a", "b", "c"}, "(la=(l1=a l2=b ) lc=c le=() )"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> vars;
    for (const auto& v : pattern_to_var_list(c.p)) vars.push_back(v.str());
    EXPECT_EQ(vars, c.vars);
    EXPECT_EQ(show(pattern_to_expression(c.p)), c.expr);
  }
}

// Chains as long as a wide model makes them (an `or` per event source, an
// `if` per writer, nested calls and tuples) are freed without a recursion as
// deep as the chain; parts still held elsewhere survive.
TEST(SyncAst, LongChainsAreFreedWithoutDeepRecursion) {
  constexpr int length = 1'000'000;
  const Expression shared = var(Ident("kept"));
  struct Case {
    const char* name;
    Expression (*link)(Expression rest, const Expression& leaf);
  };
  const Case cases[] = {
      {"or", [](Expression rest, const Expression& leaf) { return make_expr(Or{std::move(rest), leaf}); }},
      {"if", [](Expression rest, const Expression& leaf) { return make_expr(If{leaf, leaf, std::move(rest)}); }},
      {"pre", [](Expression rest, const Expression&) { return make_expr(Pre{std::move(rest)}); }},
      {"tuple",
       [](Expression rest, const Expression& leaf) {
         return make_expr(Tuple{{{Ident("a"), leaf}, {Ident("b"), std::move(rest)}}});
       }},
      {"call",
       [](Expression rest, const Expression& leaf) {
         return make_expr(Call_expr{std::nullopt, leaf, make_expr(Tuple{{{Ident("x"), std::move(rest)}}})});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The calls nest a tuple in a call: fewer links keep it within the
    // test's time.
    const int n = std::string_view(c.name) == "call" ? length / 10 : length;
    Expression chain = shared;
    Expression middle;
    for (int i = 0; i < n; ++i) {
      chain = c.link(std::move(chain), shared);
      if (i == n / 2) middle = chain;
    }
    chain.reset();
    // The half that was still held is intact.
    ASSERT_EQ(middle.use_count(), 1);
    middle.reset();
    EXPECT_EQ(shared.use_count(), 1);
  }
}

// A copied expression owns its own call.
TEST(SyncAst, CopiesOwnTheirParts) {
  const Expr call = Call_expr{std::nullopt, var(Ident("N")), make_expr(Tuple{}), Ident("sub"), {Ident("o")}};
  Expr copy = call;
  ASSERT_NE(as_call(copy), nullptr);
  EXPECT_NE(as_call(copy), as_call(call));
  EXPECT_EQ(as_call(copy)->instance->str(), "sub");
  EXPECT_EQ(as_call(copy)->oracle_args.size(), 1u);
  EXPECT_EQ(as_delayed(copy), nullptr);
}

TEST(SchedInfo, StringForms) {
  const Ident t = of_string("K::T"), act = Ident("t1_activate_clk"), rel = Ident("t1_release_clk");
  const Si a = Si_timed{t, Periodic{act, Integer::literal(10)}, Deliv_info{rel, Integer::literal(1), Integer::literal(3)}};
  const Si b = Si_timed{of_string("K::S"), DefinedBy{Ident("c2_activate_clk"), Ident("c1_release_clk")},
                        Deliv_info{Ident("c2_release_clk"), Integer::of_name(Ident("lo")), Integer::literal(-2)}};
  const Si c = Si_plain{of_string("K::T.i")};

  EXPECT_EQ(act_info_to_string(Periodic{act, Integer::of_name(of_string("t1.period"))}),
            "t1_activate_clk with period t1_period");
  EXPECT_EQ(act_info_to_string(DefinedBy{act, rel}), "t1_activate_clk (already defined by  t1_release_clk)");
  EXPECT_EQ(deliv_info_to_string(rel, Integer::literal(0), Integer::of_name(Ident("max"))), "t1_release_clk in [0,max]");

  struct Case {
    std::vector<Si> list;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{c}, "K__T_i;"},
      {{a}, "K__T in [t1_activate_clk with period 10,t1_release_clk in [1,3]];"},
      {{a, b, c},
       "K__T_i;"
       "K__S in [c2_activate_clk (already defined by  c1_release_clk),c2_release_clk in [lo,-2]];"
       "K__T in [t1_activate_clk with period 10,t1_release_clk in [1,3]];"},
  };
  for (const auto& cs : cases) EXPECT_EQ(to_string(cs.list), cs.text);
}

}  // namespace
}  // namespace vorquel
