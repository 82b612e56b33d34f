// Component interfaces, the translation driver (callees first, trace,
// undefined and cyclic references) and the propagation of oracles.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "model_text.hpp"

namespace vorquel {
namespace {

using namespace model_text;

// ---- interfaces -----------------------------------------------------------------------

TEST(Interface, FeaturesKeepTheirDeclarationOrderPerDirection) {
  Env env = translate(Options{}, id("K::T"), load(thread("T", inp("a") + outp("b") + inp("c") + event("e", "out"))));
  EXPECT_EQ(dump_node(env, "K::T"),
            "node K__T\nin: a:K__int, c:K__int\noracles:\nout: b:K__int, e:bool\nlocals:\nsched:\ncalls: []\n");
}

TEST(Interface, DataAccessesFollowTheirAccessMode) {
  struct Case {
    std::string mode, ins, outs, message;
  } cases[] = {
      {"read", " d_in:K__int", "", ""},
      {"write", "", " d:K__int", ""},
      {"read_write", " d_in:K__int", " d:K__int", ""},
      {"by_method", "", "", "*** By method access ignored.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    Env loaded = load(type("process", "P", access("d", c.mode)));
    Env env = loaded;
    Outcome r = capture([&] { env = translate(Options{}, id("K::P"), loaded); });
    EXPECT_EQ(r.stop, "");
    EXPECT_EQ(r.out, c.message);
    EXPECT_EQ(dump_node(env, "K::P"),
              "node K__P\nin:" + c.ins + "\noracles:\nout:" + c.outs + "\nlocals:\nsched:\ncalls: []\n");
  }
}

TEST(Interface, BusAccessIsIgnoredAndParametersDefaultToBool) {
  Env loaded = load(type("bus", "B") +
                    type("subprogram", "F",
                         "<busAccess name=\"b\" direction=\"required\" busClassifier=\"" + ref("busType", "B") +
                             "\"/>" + port("parameter", "p", "in", "") + port("parameter", "q", "out")));
  Env env = loaded;
  Outcome r = capture([&] { env = translate(Options{}, id("K::F"), loaded); });
  EXPECT_EQ(r.out, "*** Bus access ignored.\n");
  EXPECT_EQ(dump_node(env, "K::F"), "node K__F\nin: p:bool\noracles:\nout: q:K__int\nlocals:\nsched:\ncalls: []\n");
}

const std::string kGroups =
    "<portGroupType name=\"PG\"><features>" + inp("a") + inp("b") + "</features></portGroupType>" +
    "<portGroupType name=\"PGI\" inverseOf=\"" + ref("portGroupType", "PG") + "\"/>" +
    "<portGroupType name=\"MIX\"><features>" + inp("a") + outp("b") + "</features></portGroupType>";

TEST(Interface, PortGroupsTakeTheDirectionOfTheirFeatures) {
  Env env = translate(Options{}, id("K::P"), load(kGroups + type("process", "P", group("g", "PG") + group("h", "PGI"))));
  EXPECT_EQ(dump_node(env, "K::P"), "node K__P\nin: g:K__PG\noracles:\nout: h:K__PGI\nlocals:\nsched:\ncalls: []\n");
  // The inverse has the record type of the port group it inverts.
  for (const char* name : {"K::PG", "K::PGI"}) {
    const auto& def = *env.get(id(name)).def;
    ASSERT_TRUE(std::holds_alternative<TypeDef>(def));
    const auto& t = std::get<TypeDef>(def);
    EXPECT_EQ(t.name, id(name));
    ASSERT_TRUE(t.definition);
    EXPECT_EQ(dump(*t.definition), "{a:K__int;b:K__int}");
  }
}

TEST(Interface, PortGroupStops) {
  struct Case {
    std::string decls, stop, out, err, message;
  } cases[] = {
      {kGroups + type("process", "P", group("g", "MIX")), "not yet implemented", "Misc.Error\n*** Aborting...\n",
       ">> Not yet implemented: in/out features are not considered\n", ""},
      // Two port groups that are each other's inverse define nothing.
      {"<portGroupType name=\"A\" inverseOf=\"" + ref("portGroupType", "B") + "\"/>" +
           "<portGroupType name=\"B\" inverseOf=\"" + ref("portGroupType", "A") + "\"/>" +
           type("process", "P", group("g", "A")),
       "exit 2", "*** Error: the port group K__A is defined in terms of itself.\n*** Aborting...\n", "",
       "*** Error: the port group K__A is defined in terms of itself.\n"},
  };
  for (const auto& c : cases) {
    Env env = load(c.decls);
    Outcome r = capture([&] { translate(Options{}, id("K::P"), env); });
    EXPECT_EQ(r.stop, c.stop);
    EXPECT_EQ(r.out, c.out);
    expect_located(r.err, c.err);
    EXPECT_EQ(r.message, c.message);
  }
}

// A thread takes its Dispatch_Protocol from its type or its implementation;
// a thread with none stops the translation of the process that holds it.
TEST(Interface, ThreadWithoutDispatchProtocolStops) {
  const std::string no_protocol = timing("10", "1", "3", "");
  const std::string type_t = thread("T", "", no_protocol) + type("process", "P");
  struct Case {
    std::string decls;
    std::string out;
  };
  const std::vector<Case> cases = {
      {type_t + impl("process", "P.i", sub("thread", "t", "threadType", "T")),
       "*** Error: the thread K__T has no Dispatch_Protocol property.\n*** Aborting...\n"},
      {type_t + impl("thread", "T.i", "", "", no_protocol) +
           impl("process", "P.i", sub("thread", "t", "threadImpl", "T.i")),
       "*** Error: the thread K__T_i has no Dispatch_Protocol property.\n*** Aborting...\n"},
      {type_t + impl("thread", "T.i", "", "", timing("10", "1", "3", "Sporadic")) +
           impl("process", "P.i", sub("thread", "t", "threadImpl", "T.i")),
       "*** Error: the thread t (K::T.i) of K::P.i has the dispatch protocol Sporadic: only periodic threads are "
       "supported.\n*** Aborting...\n"},
      {type_t + impl("thread", "T.i", "", "", timing()) + impl("process", "P.i", sub("thread", "t", "threadImpl", "T.i")),
       ""},
  };
  for (const auto& c : cases) {
    Outcome r = capture([&] { translate(Options{}, id("K::P.i"), load(c.decls)); });
    EXPECT_EQ(r.stop, c.out.empty() ? "" : "exit 2");
    EXPECT_EQ(r.out, c.out);
  }
}

// ---- the driver --------------------------------------------------------------------------

// A.i sorts before the thread implementation T.i it contains.
const std::string kCalleeSortsLater =
    type("subprogram", "F", port("parameter", "a", "in")) + thread("T", inp("x")) +
    impl("thread", "T.i", "", conn("parameter", "x", "c.a"), "", calls({"c:F"})) + type("process", "A", inp("x")) +
    impl("process", "A.i", sub("thread", "t", "threadImpl", "T.i"), data_conn("x", "t.x"));

TEST(Driver, CalleesAreTranslatedFirstAndTheTraceShowsTheRetry) {
  Env loaded = load(kCalleeSortsLater);
  Options traced;
  traced.verbosity = 3;
  Env env = loaded;
  Outcome r = capture([&] { env = translate(traced, id("K::A.i"), loaded); });
  EXPECT_EQ(r.stop, "");
  EXPECT_EQ(r.out,
            "# translating K__A\n# translating K__F\n# translating K__T\n# translating K__int\n"
            "# translating K__A_i\n# translating K__T_i\n# translating K__A_i\n# translating K__T_i\n");
  EXPECT_EQ(dump_node(env, "K::A.i"),
            "node K__A_i\nin: x:K__int\n"
            "oracles: _c_activate_clk:bool, _c_dispatch_clk:bool, _c_release_clk:bool\n"
            "out:\nlocals:\neq: () = K__T_i(x=x)\nsched: K__T_i;\ncalls: [K__T_i]\n");
}

TEST(Driver, AMissingCalleeIsAskedFor) {
  Env env = load(kCalleeSortsLater);
  const auto& a = env.get_component(id("K::A.i"));
  Outcome r = capture([&] { sync_definition_of_component(env, a); });
  EXPECT_EQ(r.stop, "Vorquel.Vorquel_todo");
  r = capture([&] { get_node_or_raise_todo(env, id("K::T")); });
  EXPECT_EQ(r.stop, "Vorquel.Vorquel_todo");
}

TEST(Driver, UndefinedClassifierIsReported) {
  Env env = load(type("process", "P") + impl("process", "P.i", sub("thread", "t", "threadType", "Nope")));
  Options two_files;
  two_files.input_files = {"b.aaxl", "a.aaxl"};  // reverse command-line order
  Outcome r = capture([&] { translate(two_files, id("K::P.i"), env); });
  EXPECT_EQ(r.stop, "exit 2");
  EXPECT_EQ(r.out, "*** Error: K__Nope is undefined in a.aaxl b.aaxl \n*** Aborting...\n");
}

TEST(Driver, ACycleOfRequestsStops) {
  // The process S.i.x is an implementation of S.i, the system containing it.
  Env env = load(type("system", "S") + impl("system", "S.i", sub("process", "p", "processImpl", "S.i.x")) +
                 "<processImpl name=\"S.i.x\" compType=\"" + ref("systemImpl", "S.i") + "\"/>");
  Outcome r = capture([&] { translate(Options{}, id("K::S.i"), env); });
  EXPECT_EQ(r.stop, "exit 2");
  EXPECT_EQ(r.message, "*** Error: the translation of K__S_i needs its own node (cyclic dependency).\n");
}

// ---- oracle propagation --------------------------------------------------------------------

// P.i runs the thread t; S.i (the top) calls it twice, A.i once.
const std::string kShared =
    thread("T", "") + type("process", "P") + impl("process", "P.i", sub("thread", "t", "threadType", "T")) +
    type("system", "S") + type("system", "A") +
    impl("system", "S.i", sub("process", "p1", "processImpl", "P.i") + sub("process", "p2", "processImpl", "P.i")) +
    impl("system", "A.i", sub("process", "p", "processImpl", "P.i"));

TEST(Propagation, RepeatedCallsGetSuffixedCopies) {
  Env env = translate(Options{}, id("K::S.i"), load(kShared));
  const std::string clocks = " _t_activate_clk:bool, _t_dispatch_clk:bool, _t_release_clk:bool";
  EXPECT_TRUE(contains(dump_node(env, "K::P.i"), "oracles:" + clocks + "\n"));
  EXPECT_TRUE(contains(dump_node(env, "K::S.i"),
                       "oracles:" + clocks + ", _t_activate_clk_2:bool, _t_dispatch_clk_2:bool, _t_release_clk_2:bool\n"));
  // A.i calls P.i once: it declares the names that its call passes.
  EXPECT_TRUE(contains(dump_node(env, "K::A.i"), "oracles:" + clocks + "\n"));
}

// "instance: first oracle argument ..." for every call of the node, in
// equation order.
std::vector<std::string> calls_of(const Env& env, const std::string& name) {
  std::vector<std::string> l;
  for (const auto& eq : node(env, name)->equations) {
    const auto* c = as_call(*eq.rhs);
    if (!c) continue;
    std::string s = c->instance ? c->instance->str() + ":" : "?:";
    for (const auto& a : c->oracle_args) s += " " + a.str();
    l.push_back(s);
  }
  return l;
}

TEST(Propagation, EveryCallRecordsTheNamesItPasses) {
  Env env = translate(Options{}, id("K::S.i"), load(kShared));
  const std::string plain = " _t_activate_clk _t_dispatch_clk _t_release_clk";
  const std::string second = " _t_activate_clk_2 _t_dispatch_clk_2 _t_release_clk_2";
  EXPECT_EQ(calls_of(env, "K::S.i"), (std::vector<std::string>{"p1:" + plain, "p2:" + second}));
  EXPECT_EQ(calls_of(env, "K::A.i"), (std::vector<std::string>{"p:" + plain}));
  // A thread type has no oracles: its condact call passes none.
  EXPECT_EQ(calls_of(env, "K::P.i"), (std::vector<std::string>{"t:"}));
}

TEST(Propagation, NamesAreUniqueInTheNodeWhateverTheirOrigin) {
  // S.i calls P.i twice, then Q.i; P's thread is a, Q's is a_2. The
  // scheduler names a thread's variables after its clock without the kind
  // ("_a_2" for both "_a_activate_clk_2" and "_a_2_activate_clk"), so the
  // second instance of P skips "_2". R.i runs a itself and a thread
  // implementation whose call is named a.
  Env env = translate(Options{},
      id("K::S.i"),
      load(thread("T", "") + type("subprogram", "F") + impl("thread", "T.i", "", "", "", calls({"a:F"})) +
           type("process", "P") + impl("process", "P.i", sub("thread", "a", "threadType", "T")) +
           type("process", "Q") + impl("process", "Q.i", sub("thread", "a_2", "threadType", "T")) +
           type("process", "R") +
           impl("process", "R.i", sub("thread", "a", "threadType", "T") + sub("thread", "h", "threadImpl", "T.i")) +
           type("system", "S") +
           impl("system", "S.i",
                sub("process", "p1", "processImpl", "P.i") + sub("process", "p2", "processImpl", "P.i") +
                    sub("process", "q", "processImpl", "Q.i"))));
  auto clocks = [](const std::string& prefix, const std::string& suffix) {
    return " " + prefix + "_activate_clk" + suffix + " " + prefix + "_dispatch_clk" + suffix + " " + prefix +
           "_release_clk" + suffix;
  };
  EXPECT_EQ(calls_of(env, "K::R.i"), (std::vector<std::string>{"h:" + clocks("_a", "_2"), "a:"}));
  EXPECT_EQ(calls_of(env, "K::S.i"), (std::vector<std::string>{"p1:" + clocks("_a", ""), "p2:" + clocks("_a", "_3"),
                                                                "q:" + clocks("_a_2", "")}));
  // The declared oracles are the names the calls pass, each once.
  std::vector<std::string> declared;
  for (const auto& [o, t] : node(env, "K::S.i")->oracles) declared.push_back(o.str());
  std::vector<std::string> passed;
  for (const auto& c : calls_of(env, "K::S.i")) {
    std::istringstream in(c.substr(c.find(':') + 1));
    for (std::string s; in >> s;) passed.push_back(s);
  }
  std::sort(declared.begin(), declared.end());
  std::sort(passed.begin(), passed.end());
  EXPECT_EQ(declared, passed);
  EXPECT_EQ(std::adjacent_find(declared.begin(), declared.end()), declared.end());
}

TEST(Propagation, OraclesReachTheTopThroughEveryLevel) {
  // S.i -> P.i -> thread implementation T.i -> two calls of F.
  Env env = translate(Options{}, id("K::S.i"),
                      load(type("subprogram", "F") + thread("T", "") +
                           impl("thread", "T.i", "", "", "", calls({"c1:F", "c2:F"})) + type("process", "P") +
                           impl("process", "P.i",
                                sub("thread", "a", "threadImpl", "T.i") + sub("thread", "b", "threadType", "T")) +
                           type("system", "S") + impl("system", "S.i", sub("process", "p", "processImpl", "P.i"))));
  const std::string own = " _b_activate_clk:bool, _b_dispatch_clk:bool, _b_release_clk:bool";
  const std::string calls_of_t =
      ", _c1_activate_clk:bool, _c1_dispatch_clk:bool, _c1_release_clk:bool, _c2_activate_clk:bool, "
      "_c2_dispatch_clk:bool, _c2_release_clk:bool";
  EXPECT_TRUE(contains(dump_node(env, "K::P.i"), "oracles:" + own + calls_of_t + "\n"));
  EXPECT_TRUE(contains(dump_node(env, "K::S.i"), "oracles:" + own + calls_of_t + "\n"));
}

TEST(Propagation, GiveANewNameCountsPerIdentifier) {
  Renaming_table table;
  std::vector<std::string> names;
  for (const char* x : {"x", "x", "K::T.y", "x", "K::T.y"}) names.push_back(give_a_new_name(table, id(x)).str());
  EXPECT_EQ(names, (std::vector<std::string>{"x_2", "x_3", "K__T_y_2", "x_4", "K__T_y_3"}));
}

// ---- small operations ------------------------------------------------------------------------

TEST(Operations, PatternsClocksAndDuplicateLocals) {
  Pattern p{PTuple{{{id("K::T.y"), Pattern{PVar{id("t.y")}}}, {id("K::T.z"), Pattern{PVar{id("t.z")}}}}}};
  EXPECT_EQ(dump(rename_patt_condact(p)), "(K__T_y:t_y_condact,K__T_z:t_z_condact)");
  EXPECT_EQ(clock_of_ident(id("w.acc")).str(), "_w_release_clk");
  EXPECT_EQ(capture([] { clock_of_ident(id("acc")); }).stop, "internal");

  Node n{id("N"), {}, {}, {}, {}, {}, {}, {}};
  n.locals = {{id("a"), tnamed(id("int"))}, {id("b"), tbool()}, {id("a"), tnamed(id("int"))}, {id("a"), tbool()}};
  auto d = remove_dupl_local_var(Node_def{std::make_shared<const Node>(n)});
  EXPECT_EQ(dump(std::get<Node_def>(d).node->locals), " a:int, b:bool, a:bool");
}

// ---- size ------------------------------------------------------------------------------------

TEST(Scale, LongChainsTranslateInLinearTime) {
  // One process with n threads in a ring, and one thread implementation
  // with n chained calls: large enough that work quadratic in n would not
  // end within the test timeout.
  const int n = 10000;
  std::string subs, conns, call_list;
  std::vector<std::string> named_calls;
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i), k_next = std::to_string((i + 1) % n);
    const std::string t = "t" + k, next = "t" + k_next;
    subs += sub("thread", t, "threadType", "T");
    conns += data_conn(t + ".y", next + ".x", i + 1 == n ? "Delayed" : "");
    named_calls.push_back("c" + k + ":F");
  }
  std::string call_conns = conn("parameter", "x", "c0.a");
  for (int i = 0; i + 1 < n; ++i) {
    const std::string k = std::to_string(i), k_next = std::to_string(i + 1);
    call_conns += conn("parameter", "c" + k + ".r", "c" + k_next + ".a");
  }
  Env env = load(thread("T", inp("x") + outp("y")) + type("process", "P") + impl("process", "P.i", subs, conns) +
                 type("subprogram", "F", port("parameter", "a", "in") + port("parameter", "r", "out")) +
                 thread("TH", inp("x")) + impl("thread", "TH.i", "", call_conns, "", calls(named_calls)) +
                 type("system", "S") + impl("system", "S.i", sub("process", "p", "processImpl", "P.i")));
  Env out = translate(Options{}, id("K::S.i"), env);
  EXPECT_EQ(node(out, "K::S.i")->oracles.size(), 3u * n);
  EXPECT_EQ(node(out, "K::TH.i")->equations.size(), 2u * n);
}

}  // namespace
}  // namespace vorquel
