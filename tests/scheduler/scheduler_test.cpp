#include "scheduler/scheduler.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "scheduler/sched_model.hpp"

namespace vorquel {
namespace {

using namespace vorquel::testing;

class SchedulerTest : public ::testing::Test {};

Numbered_item thread_item(int number, const std::string& inst, Integer period) {
  const Si s = timed("K::T", inst, std::move(period), lit(1), lit(2));
  const auto& t = std::get<Si_timed>(s);
  return Numbered_item{number, Si_thread{Thread_sched{t.name, t.activation, t.delivery}}};
}

Numbered_item calls_item(int number, const std::vector<std::string>& insts, Integer period) {
  Si_calls calls;
  for (std::size_t i = 0; i < insts.size(); ++i) {
    Si s = i == 0 ? timed("K::F", insts[i], period, lit(1), lit(1))
                  : timed_after("K::F", insts[i], insts[i - 1], lit(1), lit(1));
    const auto& t = std::get<Si_timed>(s);
    calls.calls.push_back(Thread_sched{t.name, t.activation, t.delivery});
  }
  return Numbered_item{number, calls};
}

std::vector<int> numbers(const Numbered_items& items) {
  std::vector<int> l;
  for (const auto& i : items) l.push_back(i.number);
  return l;
}

std::vector<std::string> activation_clocks(const Numbered_items& items) {
  std::vector<std::string> l;
  for (const auto& o : get_oracle_info_list(items)) l.push_back(act_info_to_string(o.act));
  return l;
}

TEST_F(SchedulerTest, SortRmsNumbersByPeriodThenLaterItemFirst) {
  struct Case {
    const char* what;
    Numbered_items items;
    std::vector<int> priorities;
  };
  const Case cases[] = {
      {"10, 5, 10", {thread_item(1, "a", lit(10)), thread_item(2, "b", lit(5)), thread_item(3, "c", lit(10))}, {3, 1, 2}},
      {"equal periods", {thread_item(1, "a", lit(4)), thread_item(2, "b", lit(4)), thread_item(3, "c", lit(4))}, {3, 2, 1}},
      {"numeric, not textual", {thread_item(1, "a", lit(10)), thread_item(2, "b", lit(9))}, {2, 1}},
      {"named before literal", {thread_item(1, "a", lit(1)), thread_item(2, "b", named("_T_period"))}, {2, 1}},
      {"named by identifier", {thread_item(1, "a", named("_B")), thread_item(2, "b", named("_A"))}, {2, 1}},
      {"calls take consecutive numbers",
       {thread_item(1, "t", lit(10)), calls_item(2, {"c1", "c2", "c3"}, lit(5))},
       {4, 1}},
      {"calls after a faster thread",
       {calls_item(1, {"c1", "c2"}, lit(20)), thread_item(2, "t", lit(10)), thread_item(3, "u", lit(30))},
       {2, 1, 4}},
      {"one item", {calls_item(7, {"c1"}, lit(3))}, {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Numbered_items sorted = sort_rms(c.items);
    EXPECT_EQ(numbers(sorted), c.priorities);
    // The list order is kept.
    EXPECT_EQ(activation_clocks(sorted), activation_clocks(c.items));
  }
}

// Links (sender, receiver) put senders first among equal periods only.
TEST_F(SchedulerTest, SortRmsSendersFirst) {
  using Links = std::vector<std::pair<std::size_t, std::size_t>>;
  struct Case {
    const char* what;
    Links links;
    std::vector<int> priorities;
  };
  // Usually c, b, a (the later first), then d of the longer period.
  const Case cases[] = {
      {"none", {}, {3, 2, 1, 4}},
      {"a before c: b, a, c", {{0, 2}}, {2, 1, 3, 4}},
      {"a chain a, b, c", {{0, 1}, {1, 2}}, {1, 2, 3, 4}},
      {"to another period: no effect", {{3, 0}}, {3, 2, 1, 4}},
      {"a cycle keeps the usual order", {{0, 2}, {2, 0}}, {3, 2, 1, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Numbered_items items = {thread_item(1, "a", lit(4)), thread_item(2, "b", lit(4)), thread_item(3, "c", lit(4)),
                                  thread_item(4, "d", lit(8))};
    EXPECT_EQ(numbers(sort_rms(items, c.links)), c.priorities);
  }
}

TEST_F(SchedulerTest, SortRmsNeedsAPeriod) {
  Numbered_item defined = thread_item(1, "a", lit(5));
  std::get<Si_thread>(defined.item).thread.act = DefinedBy{act_clk("a"), rel_clk("z")};
  EXPECT_THROW(sort_rms({thread_item(2, "b", lit(5)), defined}), Fatal);
  EXPECT_THROW(sort_rms({thread_item(1, "b", lit(5)), Numbered_item{2, Si_calls{}}}), Fatal);
}

TEST_F(SchedulerTest, OracleInfoNumbersCallsConsecutively) {
  Numbered_items items = {Numbered_item{4, std::get<Si_thread>(thread_item(0, "t", lit(10)).item)},
                          Numbered_item{1, std::get<Si_calls>(calls_item(0, {"c1", "c2", "c3"}, lit(5)).item)}};
  std::vector<int> got;
  for (const auto& o : get_oracle_info_list(items)) got.push_back(o.number);
  EXPECT_EQ(got, (std::vector<int>{4, 1, 2, 3}));
  Si_tree tree = {Processor_entry{Ident("cpu"), items}, Processor_entry{Ident("gpu"), {thread_item(1, "u", lit(3))}}};
  EXPECT_EQ(compute_thread_nb(tree), (std::vector<int>{4, 1}));
}

// Three processes, each with one thread, bound as the list T1->P1,
// T2->P2, T3->P1 (the property reader gives associations back in reverse).
TEST_F(SchedulerTest, GroupsByLastBindingLatestFirst) {
  Sched_model m;
  m.add("K::A.i", Category::Process, {timed("K::T", "t1", lit(10), lit(1), lit(1))})
      .add("K::B.i", Category::Process, {timed("K::T", "t2", lit(10), lit(1), lit(1))})
      .add("K::C.i", Category::Process, {timed("K::T", "t3", lit(10), lit(1), lit(1))})
      .system("K::S.i", {{"T1", "K::A.i"}, {"T2", "K::B.i"}, {"T3", "K::C.i"}},
              {{"P1", "T3"}, {"P2", "T2"}, {"P1", "T1"}}, make_node());
  Si_tree tree = compute_si_tree(of_string("K::S.i"), m.env);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].processor, Ident("P1"));
  EXPECT_EQ(activation_clocks(tree[0].items),
            (std::vector<std::string>{"_t3_activate_clk with period 10", "_t1_activate_clk with period 10"}));
  EXPECT_EQ(numbers(tree[0].items), (std::vector<int>{2, 1}));
  EXPECT_EQ(tree[1].processor, Ident("P2"));
  EXPECT_EQ(activation_clocks(tree[1].items), (std::vector<std::string>{"_t2_activate_clk with period 10"}));
}

// The same process bound three times, with a thread of a thread type and a
// thread implementation of two calls: each later instance gets fresh clock
// names, and a DefinedBy names its definer's latest name.
TEST_F(SchedulerTest, RepeatedInstancesTakeTheNamesTheirCallsPass) {
  Sched_model m;
  m.add("K::Th.i", Category::Thread,
        {timed("K::F", "c1", lit(20), lit(1), lit(2)), timed_after("K::F", "c2", "c1", lit(1), lit(2))})
      .add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3)), plain("K::Th.i")})
      .system("K::S.i", {{"p1", "K::P.i"}, {"p2", "K::P.i"}, {"p3", "K::P.i"}},
              {{"cpu", "p3"}, {"cpu", "p2"}, {"cpu", "p1"}}, make_node());
  Si_tree tree = compute_si_tree(of_string("K::S.i"), m.env);
  ASSERT_EQ(tree.size(), 1u);
  std::vector<std::string> acts, delivs;
  for (const auto& o : get_oracle_info_list(tree[0].items)) {
    acts.push_back(act_info_to_string(o.act));
    delivs.push_back(o.deliv.clock.str());
  }
  EXPECT_EQ(acts, (std::vector<std::string>{
                      "_t_activate_clk with period 10", "_c1_activate_clk with period 20",
                      "_c2_activate_clk (already defined by  _c1_release_clk)",
                      "_t_activate_clk_2 with period 10", "_c1_activate_clk_2 with period 20",
                      "_c2_activate_clk_2 (already defined by  _c1_release_clk_2)",
                      "_t_activate_clk_3 with period 10", "_c1_activate_clk_3 with period 20",
                      "_c2_activate_clk_3 (already defined by  _c1_release_clk_3)"}));
  EXPECT_EQ(delivs, (std::vector<std::string>{"_t_release_clk", "_c1_release_clk", "_c2_release_clk",
                                              "_t_release_clk_2", "_c1_release_clk_2", "_c2_release_clk_2",
                                              "_t_release_clk_3", "_c1_release_clk_3", "_c2_release_clk_3"}));
  // The threads of period 10 first (latest first), then the call
  // sequences of period 20, two numbers each.
  EXPECT_EQ(numbers(tree[0].items), (std::vector<int>{3, 8, 2, 6, 1, 4}));
  EXPECT_EQ(compute_thread_nb(tree), (std::vector<int>{9}));
}

// A call of `callee` that runs `instance` and passes `args` for its oracles.
Equation call_of(const std::string& instance, const std::string& callee, std::vector<Ident> args) {
  return Equation{Pattern{PTuple{}}, make_expr(Call_expr{std::nullopt, var(of_string(callee)), make_expr(Tuple{}),
                                                         Ident(instance), std::move(args)})};
}

std::vector<Ident> suffixed(const std::vector<Typed_ident>& oracles, const std::string& suffix) {
  std::vector<Ident> l;
  for (const auto& [o, t] : oracles) l.push_back(add_suffix(suffix, o));
  return l;
}

std::vector<std::string> clock_lines(const Numbered_items& items) {
  std::vector<std::string> l;
  for (const auto& o : get_oracle_info_list(items)) l.push_back(act_info_to_string(o.act) + " / " + o.deliv.clock.str());
  return l;
}

// The process P.i, instantiated as p1 and p2, runs a thread t and a thread
// implementation h of two calls; every call passes its own names. The tree
// takes each instance's clocks from the calls that run it, not from the
// order of its walk.
TEST_F(SchedulerTest, InstancesAreFollowedThroughTheirCalls) {
  Node th = make_node({}, {}, clocks_of({"c1", "c2"}));
  th.name = of_string("K::Th.i");
  th.sched_infos = {timed_after("K::F", "c2", "c1", lit(1), lit(2)), timed("K::F", "c1", lit(20), lit(1), lit(2))};
  Node p = make_node({}, {}, clocks_of({"t"}));
  p.name = of_string("K::P.i");
  for (const auto& o : suffixed(th.oracles, "_5")) p.oracles.push_back({o, tbool()});
  p.sched_infos = {Si_plain{of_string("K::Th.i"), Ident("h")}, timed("K::T", "t", lit(10), lit(1), lit(3))};
  p.equations = {call_of("h", "K::Th.i", suffixed(th.oracles, "_5"))};
  Node s = make_node();
  s.equations = {call_of("p1", "K::P.i", suffixed(p.oracles, "_7")),
                 call_of("p2", "K::P.i", suffixed(p.oracles, "_8"))};
  Sched_model m;
  m.add_node(Category::Thread, th)
      .add_node(Category::Process, p)
      .system("K::S.i", {{"p1", "K::P.i"}, {"p2", "K::P.i"}}, {{"cpu1", "p1"}, {"cpu2", "p2"}}, s);
  Si_tree tree = compute_si_tree(of_string("K::S.i"), m.env);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].processor, Ident("cpu1"));
  EXPECT_EQ(tree[1].processor, Ident("cpu2"));
  for (int k = 0; k < 2; ++k) {
    const std::string n = k == 0 ? "_7" : "_8";
    EXPECT_EQ(clock_lines(tree[k].items),
              (std::vector<std::string>{
                  "_t_activate_clk" + n + " with period 10 / _t_release_clk" + n,
                  "_c1_activate_clk_5" + n + " with period 20 / _c1_release_clk_5" + n,
                  "_c2_activate_clk_5" + n + " (already defined by  _c1_release_clk_5" + n + ") / _c2_release_clk_5" + n}));
  }
}

// Bound twice, a sub-component is scheduled once, by the processor whose
// group the grouping walk puts it in first: the processor of its binding
// that is last in the binding list (the first association).
TEST_F(SchedulerTest, ASubComponentBoundTwiceIsScheduledOnce) {
  Sched_model m;
  m.add("K::P.i", Category::Process, {timed("K::T", "t", lit(10), lit(1), lit(3))})
      .system("K::S.i", {{"p", "K::P.i"}, {"q", "K::P.i"}}, {{"cpu1", "p"}, {"cpu2", "q"}, {"cpu2", "p"}},
              make_node());
  Si_tree tree = compute_si_tree(of_string("K::S.i"), m.env);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].processor, Ident("cpu1"));
  EXPECT_EQ(activation_clocks(tree[0].items), (std::vector<std::string>{"_t_activate_clk with period 10"}));
  EXPECT_EQ(tree[1].processor, Ident("cpu2"));
  EXPECT_EQ(activation_clocks(tree[1].items), (std::vector<std::string>{"_t_activate_clk_2 with period 10"}));
  EXPECT_EQ(compute_thread_nb(tree), (std::vector<int>{1, 1}));
}

TEST_F(SchedulerTest, FatalTreeErrors) {
  Sched_model m;
  m.add("K::P.i", Category::Process, {})
      .add("K::Th.i", Category::Thread, {plain("K::Sub.i")})
      .add("K::Q.i", Category::Process, {plain("K::Th.i")})
      .system("K::S.i", {{"p", "K::P.i"}, {"q", "K::Q.i"}}, {{"cpu", "p"}}, make_node())
      .system("K::S2.i", {{"q", "K::Q.i"}}, {{"cpu", "q"}}, make_node());

  Captured c = capture_stdout([&] { compute_si_tree(of_string("K::S.i"), m.env); });
  EXPECT_TRUE(c.threw<Fatal>());
  EXPECT_EQ(c.out, "*** Cannot schedule this system, sorry.\n*** Are you sure that K__P_i is a process implementation?\n");

  c = capture_stdout([&] { compute_si_tree(of_string("K::S2.i"), m.env); });
  EXPECT_TRUE(c.threw<Fatal>());
  EXPECT_EQ(c.out.substr(0, 37), "*** subprogram impl not implemented.\n");
}

TEST_F(SchedulerTest, TopLevelSystemIsTheLastImplementation) {
  Sched_model m;
  m.add("K::P.i", Category::Process, {}).system("B::S.i", {}, {}, make_node()).system("A::S.i", {}, {}, make_node());
  Options verbose;
  verbose.verbosity = 1;
  Ident top(Ident("none"));
  Captured c = capture_stdout([&] { top = get_a_system_impl(verbose, m.env); });
  EXPECT_EQ(top, of_string("B::S.i"));
  EXPECT_EQ(c.out, "# ---> The top-level system is A__S_i ()\n# ---> The top-level system is B__S_i ()\n");

  c = capture_stdout([&] { get_a_system_impl(Options{}, Sched_model{}.add("K::P.i", Category::Process, {}).env); });
  EXPECT_TRUE(c.threw<Fatal>());
  EXPECT_EQ(c.out,
            "*** No system found. Please check if system is defined in your aadl model, or define explicitely\n"
            "*** the toplevel component using the --toplevel-system command-line option.\n*** Aborting...\n");
}

TEST_F(SchedulerTest, TreeDump) {
  Si_tree tree = {Processor_entry{Ident("cpu"),
                                  {thread_item(3, "t", lit(10)), calls_item(1, {"c1", "c2"}, named("_P"))}}};
  Captured c = capture_stdout([&] { print_si_tree(tree); });
  EXPECT_EQ(c.out,
            "\n ==> On processor cpu:"
            "\n\t 3 K__T _t_activate_clk with period 10 _t_release_clk in [1,2]"
            "\n\t\t 1 K__F _c1_activate_clk with period _P _c1_release_clk in [1,1]"
            "\n\t\t 1 K__F _c2_activate_clk (already defined by  _c1_release_clk) _c2_release_clk in [1,1]");
}

TEST_F(SchedulerTest, ClockNamesOfAThread) {
  struct Case {
    const char* act;
    const char* dispatch;
    const char* label;
  };
  const Case cases[] = {
      {"_t1_activate_clk", "_t1_dispatch_clk", "_t1"},
      {"_t1_activate_clk_2", "_t1_dispatch_clk_2", "_t1_2"},
      {"_a_activate_clk_activate_clk", "_a_dispatch_clk_activate_clk", "_a_activate_clk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.act);
    EXPECT_EQ(dispatch_of_act_var(c.act), c.dispatch);
    EXPECT_EQ(thread_label(c.act), c.label);
  }
  EXPECT_THROW(dispatch_of_act_var("_t1_clk"), Fatal);
  EXPECT_THROW(thread_label("_t1_clk"), Fatal);
}

Si_tree processors(int n) {
  Si_tree tree;
  for (int i = 1; i <= n; ++i) tree.push_back(Processor_entry{Ident("p" + std::to_string(i)), {}});
  return tree;
}

TEST_F(SchedulerTest, QuasiSynchronousSchedulerWithArrays) {
  Options arrays;
  arrays.v4_arrays = true;
  Sink v4;
  gen_qs_sched_call(arrays, processors(3), v4.w());
  EXPECT_EQ(v4.text(),
            "\n\n-- A quasi synchronous scheduler for 3 processors.\n"
            "node quasi_synchronous_scheduler(alea_1, alea_2, alea_3 : bool) \n"
            "returns (qs_1, qs_2, qs_3 : bool);\n"
            "let \n"
            "  [qs_1, qs_2, qs_3] = qsg_generic(3, 2, [alea_1, alea_2, alea_3]);\n"
            "tel\n\n");

  EXPECT_THROW(gen_qs_sched_call(arrays, processors(1), v4.w()), Fatal);
}

TEST_F(SchedulerTest, ReleaseVariablesWriteANewlineOnStandardOutput) {
  Si_tree tree = {Processor_entry{Ident("a"), {thread_item(1, "t", lit(10))}},
                  Processor_entry{Ident("b"), {thread_item(1, "u", lit(10))}}};
  struct Case {
    bool last;
    const char* expected;
  };
  for (const Case& c : {Case{false, "  _t_release_clk_m, \n  _u_release_clk_m"},
                        Case{true, "  _t_release_clk_m, \n  _u_release_clk_m, \n"}}) {
    Sink s;
    Captured out = capture_stdout([&] { print_release_vars(tree, s.w(), "_m", ", \n", c.last); });
    EXPECT_EQ(s.text(), c.expected);
    EXPECT_EQ(out.out, "\n");
  }
}

}  // namespace
}  // namespace vorquel
