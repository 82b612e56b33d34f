#include "translation/sync_ast.hpp"

#include <gtest/gtest.h>

#include "translation/sched_info.hpp"

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
