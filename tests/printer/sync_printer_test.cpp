#include <gtest/gtest.h>

#include <set>

#include "base/diagnostics.hpp"
#include "printer_fixture.hpp"

namespace vorquel::testing {
namespace {

// ---- literals, base types, fake values -------------------------------------------------

TEST(Printer_values, Immediates) {
  struct Case {
    Immediate value;
    std::string text;
  };
  const Case cases[] = {
      {Imm_bool{true}, "true"},
      {Imm_bool{false}, "false"},
      {Imm_int{0}, "0"},
      {Imm_int{42}, "42"},
      {Imm_int{-3}, "(-3)"},
      {Imm_real{2.0}, "2."},
      {Imm_real{-2.0}, "(-2.)"},
      {Imm_real{-0.5}, "(-0.5)"},
      {Imm_real{0.1}, "0.1"},
      {Imm_real{3.25}, "3.25"},
      {Imm_real{1e20}, "1e+20"},
      {Imm_real{123456789012345.0}, "1.23456789012e+14"},
      {Imm_real{1.0 / 3.0}, "0.333333333333"},
      {Imm_char{'c'}, "'c'"},
      {Imm_string{"a b"}, "\"a b\""},
  };
  for (const auto& c : cases) EXPECT_EQ(immediate_to_string(c.value), c.text);
}

TEST(Printer_values, BaseTypesAndDefaults) {
  struct Case {
    std::string name, base, dflt;
  };
  const Case cases[] = {
      {"point", "int", "0"},         {"Speed", "bool", "true"},    {"double_t", "real", "0.0"},
      {"K__integer", "int", "0"},    {"float32", "real", "0.0"},   {"my_real_int", "int", "0"},
      {"Boolean", "bool", "true"},   {"INT", "bool", "true"},      {"", "bool", "true"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ident_string_to_type_string(c.name), c.base) << c.name;
    EXPECT_EQ(str_type_to_default(c.base), c.dflt) << c.name;
  }
  EXPECT_EQ(str_type_to_default("K__T"), "K__T");
}

class Printer_types : public Printer_test {
 protected:
  // The type as a text of its own, in the dialect of options_.
  std::string type_text(const Type_expression& t) {
    std::string text;
    Channel c(text);
    Lustre_writer(c, options_.dialect, names_).type(t);
    c.flush();
    return text;
  }
};

TEST_F(Printer_types, RecordTypesInBothDialects) {
  Type_expression r = record({{"a", named("int")}, {"b", named("bool")}});
  Type_expression nested = record({{"p", r}, {"c", named("K::speed")}});
  Type_expression empty = record({});

  EXPECT_EQ(type_text(r), "[ int,bool ]");
  EXPECT_EQ(type_text(nested), "[ [ int,bool ],K__speed ]");
  EXPECT_EQ(type_text(empty), "[  ]");
  EXPECT_EQ(printed([&] { print_type_expression_tuple(w(), r); }), "[ (* a :  *) int, (* b :  *) bool]");
  EXPECT_EQ(printed([&] { print_type_expression_tuple(w(), empty); }), "[(* dummy var *) bool]");
  EXPECT_EQ(printed([&] { print_type_expression_tuple(w(), nested); }),
            "[ (* p :  *) [ (* a :  *) int, (* b :  *) bool], (* c :  *) K__speed]");

  options_.dialect = Dialect::Scade;
  EXPECT_EQ(type_text(r), "{ a : int;b : bool }");
  EXPECT_EQ(type_text(nested), "{ p : { a : int;b : bool };c : K__speed }");
  EXPECT_EQ(printed([&] { w().type(r); }), "{ a : int;b : bool }");
  EXPECT_EQ(printed([&] { print_type_expression_tuple(w(), r); }), "[ (* a :  *) int, (* b :  *) bool]");
}

TEST_F(Printer_types, FakeValuesFollowPortGroups) {
  Env env;
  Port_group inner{id("K::Inner"), std::nullopt, {}, std::nullopt, true};
  Port_group outer{id("K::Outer"), std::nullopt, {}, std::nullopt, true};
  env = with(env, inner, Sync_definition{TypeDef{id("K::Inner"), record({{"r", named("K::real_t")}})}});
  env = with(env, outer,
             Sync_definition{TypeDef{id("K::Outer"), record({{"a", named("int")}, {"i", named("K::Inner")}})}});

  EXPECT_EQ(type_to_fake_value(env, record({{"a", named("int")}, {"b", named("bool")}})), "[0,true]");
  EXPECT_EQ(type_to_fake_value(env, record({})), "[]");
  EXPECT_EQ(type_to_fake_value(env, named("point")), "0");
  // A long name keeps its base type in the SCADE dialect, where the name
  // itself is shortened.
  options_.dialect = Dialect::Scade;
  EXPECT_EQ(type_to_fake_value(env, named("K::Sensor_Measurement_Value_real")), "0.0");
  options_.dialect = Dialect::Lustre;
  EXPECT_EQ(type_to_fake_value(env, named("Speed")), "true");
  EXPECT_EQ(type_to_fake_value(env, named("double_t")), "0.0");
  EXPECT_EQ(type_to_fake_value(env, named("K::Outer")), "[0,[0.0]]");

  // A port group whose definition is not a record type is impossible.
  Port_group bad{id("K::Bad"), std::nullopt, {}, std::nullopt, true};
  Env env2 = with(env, bad, Sync_definition{TypeDef{id("K::Bad"), std::nullopt}});
  EXPECT_THROW(type_to_fake_value(env2, named("K::Bad")), Fatal);

  // A port group that contains itself is reported instead of recursing forever.
  Port_group loop{id("K::Loop"), std::nullopt, {}, std::nullopt, true};
  Env env3 = with(env, loop, Sync_definition{TypeDef{id("K::Loop"), record({{"l", named("K::Loop")}})}});
  try {
    type_to_fake_value(env3, named("K::Loop"));
    FAIL() << "no failure";
  } catch (const Fatal& f) {
    EXPECT_EQ(f.diagnostic.text, "*** Error: the port group K__Loop contains itself.\n");
  }
}

// ---- patterns and expressions ---------------------------------------------------------

class Printer_expressions : public Printer_test {
 protected:
  std::string expr(const Expression& e, std::string_view indent = "  ") {
    return printed([&] { print_expression(w(), calls_, env_, indent, e); });
  }
  Env env_;
};

TEST_F(Printer_expressions, Patterns) {
  PTuple nested;
  nested.items.push_back({Ident("l"), ptuple({"a", "b"})});
  nested.items.push_back({Ident("l"), pvar("c")});
  EXPECT_EQ(printed([&] { print_pattern(w(), pvar("t1.y")); }), "t1_y");
  EXPECT_EQ(printed([&] { print_pattern(w(), ptuple({"a", "b"})); }), "a,b");
  EXPECT_EQ(printed([&] { print_pattern(w(), Pattern{nested}); }), "a,b,c");
  EXPECT_EQ(printed([&] { print_pattern(w(), ptuple({})); }), "-- useless?-- dummy_var");
}

TEST_F(Printer_expressions, Operators) {
  struct Case {
    Expression e;
    std::string text;
  };
  const Case cases[] = {
      {make_expr(If{v("c"), imm_int(1), imm_int(-2)}), "(if c then 1 else  (-2))"},
      {make_expr(Or{v("a"), v("b")}), "(a or b)"},
      {make_expr(Or{make_expr(Or{v("a"), v("b")}), v("c")}), "((a or b) or c)"},
      {make_expr(Or{v("a"), make_expr(Or{v("b"), v("c")})}), "(a or (b or c))"},
      {make_expr(If{v("c"), v("x"), make_expr(If{v("d"), v("y"), v("z")})}),
       "(if c then x else  (if d then y else  z))"},
      {make_expr(If{make_expr(Or{v("a"), v("b")}), v("x"), make_expr(Pre{v("x")})}),
       "(if (a or b) then x else  pre(x))"},
      {make_expr(Arrow{v("K::int_init"), make_expr(Pre{v("d")})}), "(K__int_init -> pre(d))"},
      {make_expr(Imm{Imm_real{-0.5}}), "(-0.5)"},
      {tuple({v("a"), v("b"), v("c")}), "a,b,c"},
      {tuple({v("a"), v("b"), v("c"), v("d")}), "a,\n  b,\n  c,\n  d"},
      // Empty items are dropped before counting.
      {tuple({v("a"), empty_expression(), v("b"), v("c"), empty_expression()}), "a,b,c"},
      {tuple({empty_expression(), empty_expression()}), ""},
      {empty_expression(), ""},
      // Nested tuples carry two more blanks per level.
      {tuple({v("a"), tuple({v("b"), v("c"), v("d"), v("e")}), v("f"), v("g")}),
       "a,\n  b,\n    c,\n    d,\n    e,\n  f,\n  g"},
  };
  for (const auto& c : cases) EXPECT_EQ(expr(c.e), c.text);
}

// Event fan-in and many writers of one data give chains as long as the
// model is wide; printing them must not exhaust the stack.
TEST_F(Printer_expressions, LongChainsPrintWithoutRecursion) {
  // Deep enough to show the shape; freeing the chain is itself recursive, so
  // the depth stays within what a sanitizer build's stack allows.
  const int n = 3000;
  const std::string last = std::to_string(n - 1);
  Expression ors = v("e0");
  Expression ifs = make_expr(Pre{v("d")});
  for (int i = 1; i < n; ++i) {
    const std::string k = std::to_string(i);
    ors = make_expr(Or{ors, v("e" + k)});
    ifs = make_expr(If{v("c" + k), v("w"), ifs});
  }
  std::string text = expr(ors);
  EXPECT_EQ(text.substr(0, 6), "((((((");
  EXPECT_EQ(text.substr(text.size() - (6 + last.size())), " or e" + last + ")");
  EXPECT_NE(text.find("(e0 or e1) or e2)"), std::string::npos);
  text = expr(ifs);
  EXPECT_EQ(text.substr(0, 23 + last.size()), "(if c" + last + " then w else  (if ");
  EXPECT_NE(text.find("else  pre(d))))"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 3), ")))");
}

TEST_F(Printer_expressions, EmptyOperandsAreInternalErrors) {
  const Expression bad[] = {
      make_expr(Or{v("a"), empty_expression()}),
      make_expr(If{empty_expression(), v("a"), v("b")}),
      make_expr(Arrow{empty_expression(), v("a")}),
      make_expr(Pre{empty_expression()}),
  };
  for (const auto& e : bad) EXPECT_THROW(expr(e), Fatal);
}

class Printer_calls : public Printer_expressions {
 protected:
  void SetUp() override {
    Printer_expressions::SetUp();
    Node plain{id("K::F"), {typed("a", "int")}, {}, {typed("r", "int")}, {}, {}, {}, {}};
    Node no_io{id("K::Z"), {}, {}, {}, {}, {}, {}, {}};
    Node with_oracles{id("K::P.i"), {typed("a", "int")}, clocks({"_o1_clk", "_o2_clk"}), {}, {}, {}, {}, {}};
    Node many_oracles{id("K::Q.i"), {}, clocks({"_a_clk", "_b_clk", "_c_clk", "_d_clk"}), {}, {}, {}, {}, {}};
    Node two_outputs{id("K::T"), {typed("x", "int"), typed("z", "bool")}, {},
                     {typed("y", "int"), typed("w", "real")}, {}, {}, {}, {}};
    for (auto* n : {&plain, &no_io, &with_oracles, &many_oracles, &two_outputs})
      env_ = with_node(env_, Category::Thread, Component_kind::Type, *n);
  }
};

TEST_F(Printer_calls, PlainCalls) {
  struct Case {
    Expression e;
    std::string text;
  };
  const Case cases[] = {
      {call("K::F", {v("x")}), "K__F(x\n  )"},
      {call("K::Z", {}), "K__Z( true (* dummy *)\n  )"},
      // Items that are all empty: no dummy.
      {call("K::Z", {empty_expression()}), "K__Z(\n  )"},
      {call("K::P.i", {v("x")}), "K__P_i(x, _o1_clk,_o2_clk\n  )"},
      {call("K::Q.i", {}), "K__Q_i(_a_clk,\n  _b_clk,\n  _c_clk,\n  _d_clk\n  )"},
  };
  for (const auto& c : cases) {
    calls_.clear();
    EXPECT_EQ(expr(c.e), c.text);
  }
  EXPECT_THROW(expr(call("K::Nowhere", {})), Fatal);
  EXPECT_THROW(expr(make_expr(Call_expr{std::nullopt, imm_int(1), tuple({})})), Fatal);
  EXPECT_THROW(expr(make_expr(Call_expr{std::nullopt, v("K::F"), v("x")})), Fatal);
}

TEST_F(Printer_calls, RepeatedCallsNumberTheOracleArguments) {
  Expression c = call("K::P.i", {v("x")});
  EXPECT_EQ(expr(c), "K__P_i(x, _o1_clk,_o2_clk\n  )");
  EXPECT_EQ(expr(c), "K__P_i(x, _o1_clk_2,_o2_clk_2\n  )");
  // The condact form shares the numbering.
  EXPECT_EQ(expr(condact("clk", "K::P.i", {v("x")}), ""),
            "\ncondact_K__P_i(clk,x, _o1_clk_3,_o2_clk_3,   \n  true\n)");
  // Another callee starts on its own.
  EXPECT_EQ(expr(call("K::Q.i", {}), ""), "K__Q_i(_a_clk,\n_b_clk,\n_c_clk,\n_d_clk\n)");
  calls_.clear();
  EXPECT_EQ(expr(c), "K__P_i(x, _o1_clk,_o2_clk\n  )");
}

// A call that records the names it passes prints them, in both dialects and
// both call forms, and leaves the numbering of the other calls alone.
TEST_F(Printer_calls, RecordedOracleArgumentsArePrintedAsRecorded) {
  auto recorded = [](Expression e, std::vector<std::string> names) {
    Call_expr c = *as_call(*e);
    for (const auto& n : names) c.oracle_args.push_back(id(n));
    return make_expr(std::move(c));
  };
  EXPECT_EQ(expr(recorded(call("K::P.i", {v("x")}), {"_o1_clk_7", "_o2_clk_7"})),
            "K__P_i(x, _o1_clk_7,_o2_clk_7\n  )");
  EXPECT_EQ(expr(recorded(condact("c", "K::P.i", {v("x")}), {"a", "b"}), "    "),
            "\n    condact_K__P_i(c,x, a,b,       \n      true\n    )");
  EXPECT_EQ(expr(call("K::P.i", {v("x")})), "K__P_i(x, _o1_clk,_o2_clk\n  )");
  // A record of the wrong length means propagation and printing disagree.
  EXPECT_THROW(expr(recorded(call("K::P.i", {v("x")}), {"only_one"})), Fatal);
  options_.dialect = Dialect::Scade;
  EXPECT_EQ(expr(recorded(condact("c", "K::P.i", {v("x")}), {"_a_very_long_oracle_name_of_a_clock", "b"})),
            "\n  condact(c,K__P_i(x, _a_very_long_oracle_name_of_a0,b),     \n    true\n  )");
}

TEST_F(Printer_calls, CondactCallsLustre) {
  struct Case {
    Expression e;
    std::string text;
  };
  const Case cases[] = {
      {condact("_t1_activate_clk", "K::T", {v("t2.y"), v("b")}),
       "\n    condact_K__T(_t1_activate_clk,t2_y,b,       \n     K__T_y_dft ,\n     K__T_w_dft \n    )"},
      {condact("c", "K::Z", {}), "\n    condact_K__Z(c,\n      true (* dummy *),       \n      true\n    )"},
      {condact("c", "K::Q.i", {}),
       "\n    condact_K__Q_i(c,_a_clk,\n    _b_clk,\n    _c_clk,\n    _d_clk,       \n      true\n    )"},
      {condact("c", "K::P.i", {v("x")}), "\n    condact_K__P_i(c,x, _o1_clk,_o2_clk,       \n      true\n    )"},
  };
  for (const auto& c : cases) {
    calls_.clear();
    EXPECT_EQ(expr(c.e, "    "), c.text);
  }
  EXPECT_THROW(expr(make_expr(Call_expr{empty_expression(), v("K::F"), tuple({})})), Fatal);
}

TEST_F(Printer_calls, CondactCallsScade) {
  options_.dialect = Dialect::Scade;
  struct Case {
    Expression e;
    std::string text;
  };
  const Case cases[] = {
      {condact("clk", "K::T", {v("a"), v("b")}), "\n  condact(clk,K__T(a,b),     \n   K__T_y_dft ,\n   K__T_w_dft \n  )"},
      {condact("clk", "K::Z", {}), "\n  condact(clk,K__Z(\n    true (* dummy *)),     \n    true\n  )"},
      // The oracle inputs are inputs of the called node.
      {condact("clk", "K::P.i", {v("x")}), "\n  condact(clk,K__P_i(x, _o1_clk,_o2_clk),     \n    true\n  )"},
      {condact("clk", "K::Q.i", {}), "\n  condact(clk,K__Q_i(_a_clk,\n  _b_clk,\n  _c_clk,\n  _d_clk),     \n    true\n  )"},
  };
  for (const auto& c : cases) {
    calls_.clear();
    EXPECT_EQ(expr(c.e), c.text);
  }
}

TEST_F(Printer_calls, DelayedOutputs) {
  auto delayed = [](std::vector<std::string> delayed_sources) {
    DelayedOutputs d{id("K::T"), id("_t_release_clk"), id("_t_dispatch_clk"), ptuple({"t.y", "t.w"}),
                     ptuple({"t.y_condact", "t.w_condact"}), {}};
    for (const auto& s : delayed_sources) d.delayed_sources.push_back(id(s));
    return make_expr(std::move(d));
  };
  const std::string head = "\n   -- Delaying the output\n  (\n    K__T_y_dft ,\n    K__T_w_dft \n  ) -> pre (\n";
  EXPECT_EQ(expr(delayed({})), head +
                                   "        if _t_release_clk then t_y_condact else t_y,\n"
                                   "        if _t_release_clk then t_w_condact else t_w)");
  // An output leaving through a delayed connection is published at dispatch.
  EXPECT_EQ(expr(delayed({"t.w", "u.y"})), head +
                                               "        if _t_release_clk then t_y_condact else t_y,\n"
                                               "        if _t_dispatch_clk then t_w_condact else t_w)");

  DelayedOutputs odd{id("K::T"), id("r"), id("d"), ptuple({"a", "b"}), ptuple({"c"}), {}};
  EXPECT_THROW(expr(make_expr(odd)), Fatal);

  // A callee without outputs: the parenthesis is closed on an indented line.
  DelayedOutputs none{id("K::Z"), id("r"), id("d"), ptuple({}), ptuple({}), {}};
  EXPECT_EQ(expr(make_expr(none), "--    "),
            "\n--     -- Delaying the output\n--    (\n--       true\n--    ) -> pre (\n--          )");
}

TEST(Printer_names, OracleVariables) {
  struct Case {
    std::string name;
    bool oracle;
  };
  const Case cases[] = {
      {"_t1_activate_clk", true}, {"_clk", true},      {"_c", false},   {"_", false},
      {"t1_release_clk", false},  {"_t1_clock", false}, {"clk", false}, {"_x_clk_2", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_an_oracle_variable(Ident(c.name)), c.oracle) << c.name;
  EXPECT_TRUE(is_an_oracle_variable(Ident::dot("_t1", Ident("clk"))));
}

// ---- nodes ----------------------------------------------------------------------------

class Printer_nodes : public Printer_test {
 protected:
  Env env_;
};

TEST_F(Printer_nodes, Interfaces) {
  struct Case {
    Node n;
    std::string text;
  };
  const Case cases[] = {
      {Node{id("N"), {}, {}, {}, {}, {}, {}, {}}, "node N(dummy_in:bool) returns (dummy_out:bool);"},
      {Node{id("N"), {typed("a", "int")}, {}, {typed("x", "int")}, {}, {}, {}, {}},
       "node N(a : int) returns (x : int);"},
      {Node{id("N"), {typed("a", "int"), typed("b", "int")}, {}, {typed("x", "int")}, {}, {}, {}, {}},
       "node N\n(\n\na : int;\n   b : int\n)\n returns (\nx : int\n);"},
      {Node{id("N"), {}, clocks({"_a_clk", "_b_clk"}), {typed("x", "int"), typed("y", "K::t")}, {}, {}, {}, {}},
       "node N(_a_clk : bool;\n   _b_clk : bool) returns (x : int;\n   y : K__t);"},
      {Node{id("N"), {typed("a", "int")}, clocks({"_a_clk"}), {}, {}, {}, {}, {}},
       "node N(a : int;\n   _a_clk : bool) returns (dummy_out:bool);"},
  };
  for (const auto& c : cases) EXPECT_EQ(printed([&] { print_node_interface(w(), c.n); }), c.text);
}

TEST_F(Printer_nodes, CompletenessAndChannel) {
  Node n{id("K::T.i"), {typed("a", "int")}, {}, {typed("x", "int"), typed("y", "K::speed")}, {}, {}, {}, {}};
  n.equations.push_back({pvar("x"), v("a")});
  // y only inside a tuple pattern: not defined.
  n.equations.push_back({ptuple({"y", "z"}), v("a")});
  EXPECT_FALSE(node_is_complete(n));

  print_node(w(), options_, env_, n);
  EXPECT_EQ(text(Nodes), "");
  EXPECT_EQ(text(Fillme_nodes),
            "\n----------------------------------------------------------------\n"
            "----- K__T_i\n"
            "node K__T_i(a : int) returns (x : int;\n   y : K__speed);\n"
            "let\n"
            "  x = a;\n"
            "  y,z = a;\n"
            "-- XXX Fill me! \n\n"
            "tel;\n");
  EXPECT_EQ(&w().channel(), channels_.fillme_nodes);

  options_.gen_fake_body = true;
  EXPECT_EQ(printed([&] { print_node(w(), options_, env_, n); }, Fillme_nodes),
            "\n----------------------------------------------------------------\n"
            "----- K__T_i\n"
            "node K__T_i(a : int) returns (x : int;\n   y : K__speed);\n"
            "let\n"
            "  x = a;\n"
            "  y,z = a;\n"
            "   y = true; -- XXX Fix me!\n"
            "tel;\n");

  Node complete = n;
  complete.equations.push_back({pvar("y"), v("a")});
  EXPECT_TRUE(node_is_complete(complete));
  std::string out = printed([&] { print_node(w(), options_, env_, complete); });
  EXPECT_NE(out.find("  y = a;\ntel;\n"), std::string::npos) << out;
  EXPECT_EQ(&w().channel(), channels_.nodes);
}

TEST_F(Printer_nodes, LocalsDummyOutputAndCommentedEquations) {
  env_ = with_node(env_, Category::Process, Component_kind::Implementation,
                   Node{id("K::P.i"), {}, clocks({"_a_clk", "_b_clk", "_c_clk", "_d_clk"}), {}, {}, {}, {}, {}});
  Node n{id("K::S.i"), {}, clocks({"_a_clk", "_b_clk", "_c_clk", "_d_clk"}), {}, {}, {}, {}, {}};
  n.locals = {typed("v", "int"), {id("_t1_activate_clk"), tbool()},
              {id("r"), record({{"a", named("int")}, {"b", named("bool")}})}};
  n.equations.push_back({ptuple({}), call("K::P.i", {})});
  n.equations.push_back({pvar("v"), imm_int(1)});

  EXPECT_EQ(printed([&] { print_node(w(), options_, env_, n); }),
            "\n----------------------------------------------------------------\n"
            "----- K__S_i\n"
            "node K__S_i(_a_clk : bool;\n   _b_clk : bool;\n   _c_clk : bool;\n   _d_clk : bool)"
            " returns (dummy_out:bool);\n"
            "var\n"
            "   v : int;\n"
            "   r : [ (* a :  *) int, (* b :  *) bool];\n"
            "let\n"
            "--  -- useless?-- dummy_var = K__P_i(_a_clk,\n"
            "--    _b_clk,\n"
            "--    _c_clk,\n"
            "--    _d_clk\n"
            "--    );\n"
            "  v = 1;\n"
            "  dummy_out=true;\n"
            "-- XXX Fill me! \n\n"
            "tel;\n");

  // Only oracle locals: no var section; no equations at all.
  Node bare{id("N"), {}, {}, {}, clocks({"_x_clk"}), {}, {}, {}};
  EXPECT_EQ(printed([&] { print_node(w(), options_, env_, bare); }),
            "\n----------------------------------------------------------------\n"
            "----- N\n"
            "node N(dummy_in:bool) returns (dummy_out:bool);\n"
            "let\n"
            "  dummy_out=true;\n"
            "-- XXX Fill me! \n\n"
            "tel;\n");
}

TEST_F(Printer_nodes, CondactWrappers) {
  struct Case {
    Node n;
    std::string text;
  };
  const Case cases[] = {
      {Node{id("t"), {typed("x", "int")}, {}, {typed("y", "bool")}, {}, {}, {}, {}},
       "node condact_t(clk:bool;   x1:int;\n"
       "   def1:bool  )\n"
       "returns\n"
       "  (   y1:bool  );\n"
       "let\n"
       "\n"
       "  y1 =\n"
       "     if clk then current(t(x1 when clk))\n"
       "       else ((def1)\n"
       "           -> pre (y1));\n"
       "tel;\n"
       "-- End of node condact_t"},
      {Node{id("K::Z"), {}, {}, {}, {}, {}, {}, {}},
       "node condact_K__Z(clk:bool;x1:bool;def1:bool;  )\n"
       "returns\n"
       "  (y1:bool;  );\n"
       "let\n"
       "\n"
       "  y1 =\n"
       "     if clk then current(K__Z(true when clk (* dummy *) ))\n"
       "       else ((def1)\n"
       "           -> pre (y1));\n"
       "tel;\n"
       "-- End of node condact_K__Z"},
      {Node{id("K::T"),
            {typed("a", "int"), typed("b", "K::pg")},
            clocks({"_o_clk"}),
            {typed("y", "int"), typed("w", "real")},
            {}, {}, {}, {}},
       "node condact_K__T\n"
       "(\n"
       "clk:bool;\n"
       "   x1:int;\n"
       "   x2:K__pg;\n"
       "   _o_clk : bool;\n"
       "   def1:int;\n"
       "   def2:real  )\n"
       "returns\n"
       "  (\n"
       "   y1:int;\n"
       "   y2:real  );\n"
       "let\n"
       "\n"
       "  y1, y2 =\n"
       "     if clk then current(K__T(x1 when clk,\n"
       "      x2 when clk,\n"
       "      _o_clk when clk))\n"
       "       else ((def1, def2)\n"
       "           -> pre (y1, y2));\n"
       "tel;\n"
       "-- End of node condact_K__T"},
      {Node{id("Q"), {}, clocks({"_a_clk", "_b_clk", "_c_clk", "_d_clk"}), {typed("y", "int")}, {}, {}, {}, {}},
       "node condact_Q(clk:bool;   _a_clk : bool;\n"
       "   _b_clk : bool;\n"
       "   _c_clk : bool;\n"
       "   _d_clk : bool;\n"
       "   def1:int  )\n"
       "returns\n"
       "  (   y1:int  );\n"
       "let\n"
       "\n"
       "  y1 =\n"
       "     if clk then current(Q(_a_clk when clk,\n"
       "      _b_clk when clk,\n"
       "      _c_clk when clk,\n"
       "      _d_clk when clk))\n"
       "       else ((def1)\n"
       "           -> pre (y1));\n"
       "tel;\n"
       "-- End of node condact_Q"},
  };
  for (const auto& c : cases) EXPECT_EQ(printed([&] { print_condact(w(), c.n); }), c.text);

  EXPECT_EQ(printed([&] { print_tuple(w(), "y", 0, false); }), "");
  EXPECT_EQ(printed([&] { print_tuple(w(), "y", 0, true); }), "y1");
  EXPECT_EQ(printed([&] { print_tuple(w(), "d", 3, false); }), "d1, d2, d3");
}

// ---- definitions ------------------------------------------------------------------------

class Printer_definitions : public Printer_test {
 protected:
  Env env_;
};

TEST_F(Printer_definitions, TypeDefinitions) {
  Sync_definition speed = TypeDef{id("Speed"), std::nullopt};
  Sync_definition point = TypeDef{id("K::point"), std::nullopt};
  Sync_definition pg = TypeDef{id("K::PG"), record({{"a", named("int")}, {"b", named("bool")}})};

  print_sync_definition(w(), options_, env_, speed);
  EXPECT_EQ(text(Fillme_types), "type Speed;const Speed_init = true;\n\n");
  EXPECT_EQ(text(Nodes), "\n");
  EXPECT_EQ(&w().channel(), channels_.nodes);

  EXPECT_EQ(printed([&] { print_sync_definition(w(), options_, env_, pg); }, Fillme_types),
            "type K__PG = [ int,bool ];const K__PG_init = [0,true];\n\n");

  options_.gen_fake_body = true;
  EXPECT_EQ(printed([&] { print_sync_definition(w(), options_, env_, point); }, Fillme_types),
            "type K__point = int; -- XXX Fix me?\nconst K__point_init = 0;\n\n");

  options_.gen_fake_body = false;
  options_.dialect = Dialect::Scade;
  EXPECT_EQ(printed([&] { print_sync_definition(w(), options_, env_, pg); }, Fillme_types),
            "type K__PG = { a : int;b : bool };const K__PG_init = [0,true];\n\n");
}

TEST_F(Printer_definitions, SkippedDeclarations) {
  Sync_definition cpu = Skipped{id("K::CPU")};
  EXPECT_EQ(printed([&] { print_sync_definition(w(), options_, env_, cpu); }), "\n");
  options_.verbosity = 2;
  EXPECT_EQ(printed([&] { print_sync_definition(w(), options_, env_, cpu); }), "-- skipping K__CPU\n");
}

TEST_F(Printer_definitions, ThreadNodesGetDefaultsAndWrapper) {
  Node t{id("K::T"), {typed("x", "K::int")}, {}, {typed("y", "K::int"), typed("b", "K::flag")}, {}, {}, {}, {}};
  env_ = with_node(env_, Category::Thread, Component_kind::Type, t);
  Sync_definition def = env_.get(id("K::T")).def.value();

  // Leave another channel current: the constants go to their own file and
  // the previous channel comes back.
  w().switch_to(*channels_.top);
  print_default_const(w(), env_, t);
  EXPECT_EQ(&w().channel(), channels_.top);
  EXPECT_EQ(text(Fillme_const), "const K__T_y_dft = 0 ;-- XXX fixme!\nconst K__T_b_dft = true ;-- XXX fixme!\n");

  print_sync_definition(w(), options_, env_, def);
  EXPECT_EQ(&w().channel(), channels_.nodes);
  EXPECT_NE(text(Fillme_nodes).find("----- K__T\nnode K__T(x : K__int) returns (y : K__int;\n   b : K__flag);"),
            std::string::npos);
  std::string nodes = text(Nodes);
  EXPECT_EQ(nodes.substr(0, 90),
            "\n----------------------------------------------------------------\n"
            "---------- Condact K__T\n");
  EXPECT_TRUE(nodes.ends_with("-- End of node condact_K__T\n")) << nodes;

  // SCADE: the constants, no wrapper.
  open_channels(true);
  options_.dialect = Dialect::Scade;
  print_sync_definition(w(), options_, env_, def);
  std::string all = text();
  EXPECT_NE(all.find("const K__T_y_dft = 0 ;-- XXX fixme!\n"), std::string::npos);
  EXPECT_EQ(all.find("condact"), std::string::npos);
  EXPECT_TRUE(all.ends_with("tel;\nconst K__T_y_dft = 0 ;-- XXX fixme!\nconst K__T_b_dft = true ;-- XXX fixme!\n\n"))
      << all;
}

TEST_F(Printer_definitions, ScadeShortensEveryIdentifier) {
  options_.dialect = Dialect::Scade;
  std::string long_type = "Pkg::a_rather_long_data_type_name_for_speed";  // 42 characters as text
  std::string long_out = "an_output_port_with_a_long_name_y";
  Node t{id("Pkg::Thread_with_a_very_long_name"), {typed("x", long_type)}, {}, {typed(long_out, long_type)},
         {}, {}, {}, {}};
  env_ = with_node(env_, Category::Thread, Component_kind::Type, t);
  open_channels(true);
  print_sync_definition(w(), options_, env_, env_.get(t.name).def.value());
  EXPECT_EQ(text(),
            "\n----------------------------------------------------------------\n"
            "----- Pkg__Thread_with_a_very_long_name\n"
            "node Pkg__Thread_with_a_very_long_0(x : Pkg__a_rather_long_data_type_1) returns "
            "(an_output_port_with_a_long_na2 : Pkg__a_rather_long_data_type_1);\n"
            "let\n"
            "-- XXX Fill me! \n\n"
            "tel;\n"
            "const Pkg__Thread_with_a_very_long_3 = true ;-- XXX fixme!\n"
            "\n");
}

// ---- references and deferred component types -----------------------------------------------

TEST(Printer_references, ReferencedNames) {
  Node n{id("K::P.i"), {typed("a", "K::int")}, clocks({"_c_clk"}), {typed("o", "K::out_t")}, {}, {}, {}, {}};
  n.locals = {{id("r"), record({{"f", named("K::field_t")}})}};
  n.equations.push_back({ptuple({"t1.y_condact"}), condact("_c_clk", "K::T", {make_expr(Pre{v("x")})})});
  n.equations.push_back({pvar("o"), make_expr(If{v("c"), call("K::F", {}), v("o")})});
  n.equations.push_back({ptuple({"t1.y"}), make_expr(DelayedOutputs{id("K::T2"), id("r"), id("d"), ptuple({"a"}),
                                                                    ptuple({"b"}), {}})});
  auto refs = referenced_names(Sync_definition{Node_def{std::make_shared<const Node>(n)}});
  std::set<std::string> got;
  for (const auto& r : refs) got.insert(to_string(r));
  EXPECT_EQ(got, (std::set<std::string>{"K__int", "bool", "K__out_t", "K__field_t", "K__T", "K__F", "K__T2"}));

  auto type_refs = referenced_names(Sync_definition{TypeDef{id("K::PG"), record({{"a", named("K::D")}})}});
  ASSERT_EQ(type_refs.size(), 1u);
  EXPECT_EQ(type_refs[0], id("K::D"));
  EXPECT_TRUE(referenced_names(Sync_definition{Skipped{id("K::CPU")}}).empty());
}

TEST(Printer_references, DeferredTypesToPrint) {
  auto node_def = [](Node n) { return Sync_definition{Node_def{std::make_shared<const Node>(std::move(n))}}; };
  // P.i instantiates the thread type T directly although T.i exists; T's
  // interface uses the data type D, which has an implementation D.i as well.
  Node pi{id("K::P.i"), {}, {}, {}, {}, {}, {}, {}};
  pi.equations.push_back({ptuple({"t_y_condact"}), condact("_t_activate_clk", "K::T", {})});
  const Sync_definition pi_def = node_def(pi);
  const Sync_definition ti_def = node_def(Node{id("K::T.i"), {}, {}, {}, {}, {}, {}, {}});
  const Sync_definition di_def = TypeDef{id("K::D.i"), std::nullopt};
  const Sync_definition bare_pi = node_def(Node{id("K::P.i"), {}, {}, {}, {}, {}, {}, {}});
  const Sync_definition t = node_def(Node{id("K::T"), {typed("x", "K::D")}, {}, {}, {}, {}, {}, {}});
  const Sync_definition s = node_def(Node{id("K::S"), {}, {}, {}, {}, {}, {}, {}});
  // Not implemented, so always printed; it uses E.
  const Sync_definition u = node_def(Node{id("K::U"), {typed("x", "K::E")}, {}, {}, {}, {}, {}, {}});
  const Sync_definition e = TypeDef{id("K::E"), std::nullopt};
  const Sync_definition d = TypeDef{id("K::D"), std::nullopt};
  std::vector<Deferred_type> deferred = {
      {id("K::U"), &u, false}, {id("K::T"), &t, true}, {id("K::S"), &s, true},
      {id("K::E"), &e, true},  {id("K::D"), &d, true},
  };
  EXPECT_EQ(deferred_types_to_print({&pi_def, &ti_def, &di_def}, deferred),
            (std::vector<bool>{true, true, false, true, true}));

  // Without the direct instance nothing refers to T, and so not to D either.
  EXPECT_EQ(deferred_types_to_print({&bare_pi}, deferred), (std::vector<bool>{true, false, false, true, false}));
}

}  // namespace
}  // namespace vorquel::testing
