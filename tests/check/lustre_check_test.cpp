#include "lustre_check.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vorquel::testing {
namespace {

namespace fs = std::filesystem;

std::string data_path(const std::string& name) {
  return std::string(VORQUEL_SOURCE_DIR) + "/tests/data/check/" + name;
}

std::string read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + l + "\n";
  return s;
}

// Each expected text must occur in its own problem, in order, and nothing else
// may be reported.
void expect_problems(const Check_result& r, const std::vector<std::string>& expected) {
  ASSERT_EQ(r.problems.size(), expected.size()) << joined(r.problems);
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_NE(r.problems[i].find(expected[i]), std::string::npos)
        << "expected \"" << expected[i] << "\" in: " << r.problems[i];
}

struct Case {
  const char* name;
  const char* library;  // data file put before the text, or nullptr
  std::string text;
  std::vector<std::string> expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Snippets : public ::testing::TestWithParam<Case> {};

TEST_P(Snippets, ReportsExactlyTheExpectedProblems) {
  const Case& c = GetParam();
  const std::string text = (c.library ? read(data_path(c.library)) : std::string()) + c.text;
  expect_problems(check_lustre_text(text), c.expected);
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

// ---------------------------------------------------------------- accepted

const Case well_formed[] = {
    {"LibraryDefault", "library_default.lus", "", {}},
    {"LibraryRandom", "library_random.lus", "", {}},
    {"LibraryArrays", "library_arrays.lus", "", {}},
    {"DummyInterface", nullptr, R"(
----------------------------------------------------------------
----- pkg__S
node pkg__S(dummy_in:bool) returns (dummy_out:bool);
let
  dummy_out=true;
-- XXX Fill me! 

tel;
)", {}},
    // A node to fill in: outputs without equations are the user's job.
    {"FillMeNode", nullptr, R"(
node pkg__T
(
x : int;
   z : bool
) returns (
y : int;
   w : bool
);
let
  w = z;
-- XXX Fill me! 

tel;
)", {}},
    // No equation for any output: an interface whose body is the user's.
    {"NoOutputDefined", nullptr, R"(
node n(a : int) returns (x : int; y : int);
var l : int;
let
  l = a;
tel
)", {}},
    {"Arbiter", nullptr, R"(-- A fix priority scheduler for 3 threads.
node cpu_from_dispatched_3(dispatched1,dispatched2,dispatched3 : bool)
returns (cpu1, cpu2,  cpu3 : bool);
let
  cpu1 = dispatched1;
  cpu2 = dispatched2 and not cpu1;
  cpu3 = dispatched3 and not cpu1 and not cpu2;
tel
)", {}},
    {"CondactWrapper", nullptr, R"(
node t(x : int) returns (y : bool);
let
-- XXX Fill me! 

tel;
const t_y_dft = true ;-- XXX fixme!
node condact_t(clk:bool;   x1:int;
   def1:bool  )
returns
  (   y1:bool  );
let

  y1 =
     if clk then current(t(x1 when clk))
       else ((def1)
           -> pre (y1));
tel;
-- End of node condact_t
node p(_t_activate_clk : bool;
   _t_dispatch_clk : bool;
   _t_release_clk : bool) returns (o : bool);
var
   t_y : bool;
   t_y_condact : bool;
let
  t_y_condact = 
    condact_t(_t_activate_clk,(-3),       
     t_y_dft 
    );
  t_y = 
     -- Delaying the output
    (
      t_y_dft 
    ) -> pre (
          if _t_release_clk then t_y_condact else t_y);
  o = t_y;
-- XXX Fill me! 

tel;
)", {}},
    // Wrapper of a node without inputs and outputs: dummy parameters and
    // trailing separators in the parameter lists.
    {"CondactWrapperDummies", nullptr, R"(
node u(dummy_in:bool) returns (dummy_out:bool);
let
-- XXX Fill me! 

tel;
node condact_u(clk:bool;x1:bool;def1:bool;  )
returns
  (y1:bool;  );
let

  y1 =
     if clk then current(u(true when clk (* dummy *) ))
       else ((def1)
           -> pre (y1));
tel;
-- End of node condact_u
node q(c : bool) returns (dummy_out:bool);
let
--  -- useless?-- dummy_var = 
--      condact_u(c,
--        true (* dummy *),      
--       true
--      );
  dummy_out=true;
-- XXX Fill me! 

tel;
)", {}},
    {"TypesConstantsLiterals", nullptr, R"(
type Speed;const Speed_init = true;

type Pair = [ int,bool ];const Pair_init = [0,true];

type Wide = bool; -- XXX Fix me?
const Wide_init = true;

type Nest = [ Pair,real ];const Nest_init = [[0,true],0.0];
const lit_real = (-0.5);
const lit_int = (-3);
const lit_two = 2.;
const lit_exp = 1e+20;
const lit_char = 'c';
const lit_string = "s";
node n(a : Pair; s : Speed) returns (b : Nest);
var
   l : [ (* f :  *) int, (* g :  *) bool];
   e : [(* dummy var *) bool];
let
  l = Pair_init;
  e = Wide_init;
  b = (Nest_init -> pre(b));
-- XXX Fill me! 

tel;
)", {}},
    {"ScadeDialect", nullptr, R"(
type pkg__PG = { a : int;b : bool };const pkg__PG_init = [0,true];
node pkg__T(x : pkg__PG) returns (y : int);
let
tel;
const pkg__T_y_dft = 0 ;-- XXX fixme!
node pkg__VeryLongProcessImplementa0(_t_activate_clk : bool) returns (o : int);
var
   t_y : int;
let
  t_y = 
    condact(_t_activate_clk,pkg__T(pkg__PG_init), 
     pkg__T_y_dft 
    );
  o = t_y;
tel;
)", {}},
    {"ThreadSchedulerRandom", "library_random.lus", R"(
-- A fix priority scheduler for 1 threads.
node cpu_from_dispatched_1(dispatched1 : bool)
returns ( cpu1 : bool);
let
  cpu1 = dispatched1;
tel

node schedule_cpu_threads(
dummy_in:bool)
returns(
_t_activate_clk, _t_dispatch_clk, _t_release_clk : bool;
  dispatched1 : bool;
 cpu1 : bool);
var
    next_dispatched1 : bool;
let
  _t_dispatch_clk = timer(_pkg__T_period);
  next_dispatched1, _t_release_clk = consume(
   _pkg__T_min_exec_time, _pkg__T_max_exec_time, _t_dispatch_clk, cpu1);
  dispatched1 = false -> pre next_dispatched1;
  cpu1 = cpu_from_dispatched_1(dispatched1);

-- We read inputs when the thread starts having the cpu
  _t_activate_clk = first_rising_edge(cpu1, not dispatched1);
tel

node condact_schedule_cpu_threads(
      qs_tick:bool)
returns(
_t_activate_clk, _t_dispatch_clk, _t_release_clk : bool;
  dispatched1 : bool;
 cpu1 : bool);
let
_t_activate_clk, _t_dispatch_clk, _t_release_clk,
  dispatched1,
     cpu1 
	= 
	if qs_tick 
	then
		current (schedule_cpu_threads(true when qs_tick))
 
	else
		((false, false, false, false, false));
tel
)", {}},
    {"QuasiSynchronousExpanded", "library_default.lus", R"(

-- A quasi synchronous scheduler for 2 processors.
node quasi_synchronous_scheduler(alea_1, alea_2 : bool) 
returns (qs_1, qs_2 : bool);
var
  advance_max_is_reached_1_2 : bool;
  advance_max_is_reached_2_1 : bool;
  problems_1_2 : bool;
  problems_2_1 : bool;
  filter_1 : bool;
  filter_2 : bool;
  advance_1_2 : int;
  advance_2_1 : int;
  padvance_1_2 : int;
  padvance_2_1 : int;

let
  -- We compute the relative advance of various processors
  advance_1_2 = compute_advance(qs_1, qs_2);
  advance_2_1 = compute_advance(qs_2, qs_1);

  padvance_1_2 = 0 -> pre advance_1_2;
  padvance_2_1 = 0 -> pre advance_2_1;
  -- Is the maximum advance reached?
  advance_max_is_reached_1_2 = (padvance_1_2 >= 2);
  advance_max_is_reached_2_1 = (padvance_2_1 >= 2);

  -- there is a problem if the maximum advance is reached and no tic occurs
  problems_1_2 = advance_max_is_reached_1_2 and alea_1;
  problems_2_1 = advance_max_is_reached_2_1 and alea_2;

  -- we force the tic for clocks that are d tics late
  filter_1 = (not problems_1_2);
  filter_2 = (not problems_2_1) and true;
  qs_1 = alea_1 and filter_1;
  qs_2 = alea_2 and filter_2;
tel

)", {}},
    {"QuasiSynchronousCompact", "library_arrays.lus", R"(

-- A quasi synchronous scheduler for 3 processors.
node quasi_synchronous_scheduler(alea_1, alea_2, alea_3 : bool) 
returns (qs_1, qs_2, qs_3 : bool);
let 
  [qs_1, qs_2, qs_3] = qsg_generic(3, 2, [alea_1, alea_2, alea_3]);
tel

)", {}},
    // Main scheduler of two processors with the schedulability observer.
    {"MainSchedulerObserver", nullptr, R"(
node condact_schedule_a_threads(in_min_max1 : int; qs_tick:bool)
returns(_t_activate_clk, _t_dispatch_clk, _t_release_clk : bool; dispatched1 : bool; cpu1 : bool);
let
tel
node condact_schedule_b_threads(in_min_max1 : int; qs_tick:bool)
returns(_u_activate_clk, _u_dispatch_clk, _u_release_clk : bool; dispatched1 : bool; cpu1 : bool);
let
tel
node quasi_synchronous_scheduler(alea_1, alea_2 : bool) 
returns (qs_1, qs_2 : bool);
let
tel
node schedule_out(
  _t_release_clk_min_max:int;
  _u_release_clk_min_max:int;
   alea1, alea2 : bool) returns ( 
  _t_activate_clk : bool;
  _t_dispatch_clk : bool;
  _t_release_clk : bool;
  _u_activate_clk : bool;
  _u_dispatch_clk : bool;
  _u_release_clk : bool;
  qs_tick1, qs_tick2 : bool;
  dispatched11 : bool;
  dispatched21 : bool;
  cpu11 : bool;
  cpu21 : bool;
  schedul_ok:bool);
var
-- Some state for defining the oracle deciding if the scheduling is correct
   idle_u, dispatched_u, running_u, ok__u :bool;
let
  
    _t_activate_clk, _t_dispatch_clk, _t_release_clk,
 dispatched11, 
    cpu11
 = condact_schedule_a_threads(  _t_release_clk_min_max,
   qs_tick1
   );
  
    _u_activate_clk, _u_dispatch_clk, _u_release_clk,
 dispatched21, 
    cpu21
 = condact_schedule_b_threads(  _u_release_clk_min_max,
   qs_tick2
   );
  qs_tick1, qs_tick2 = quasi_synchronous_scheduler(alea1, alea2);
-- check (runtime/a posteriori) the schedulability
  idle_u = ((true -> pre idle_u) and not _u_activate_clk and not _u_release_clk and not _u_dispatch_clk) or 
	  ((true -> pre idle_u) and _u_activate_clk and _u_release_clk and _u_dispatch_clk) or 
	  ((false -> pre dispatched_u) and _u_activate_clk and _u_release_clk and not _u_dispatch_clk) or 
	  ((false -> pre running_u) and not _u_activate_clk and _u_release_clk and not _u_dispatch_clk);
  dispatched_u = ((false -> pre dispatched_u) and not _u_activate_clk and not _u_release_clk and not _u_dispatch_clk) or 
	  ((true -> pre idle_u) and not _u_activate_clk and not _u_release_clk and _u_dispatch_clk);
  running_u = ((false -> pre running_u) and not _u_activate_clk and not _u_release_clk and not _u_dispatch_clk) or 
	  ((false -> pre dispatched_u) and _u_activate_clk and not _u_release_clk and not _u_dispatch_clk) or 
	  ((true -> pre idle_u) and _u_activate_clk and not _u_release_clk and  _u_dispatch_clk);
  ok__u = idle_u or dispatched_u or running_u;
   schedul_ok = ok__u;

tel
)", {}},
};
INSTANTIATE_TEST_SUITE_P(WellFormed, Snippets, ::testing::ValuesIn(well_formed), case_name);

// ---------------------------------------------------------------- rejected

const char* const callee = R"(
node f(a : int; b : int) returns (x : int; y : int);
let
  x = a;
  y = b;
tel
)";

const Case faulty[] = {
    {"UndeclaredNode", nullptr, R"(
node n(a : int) returns (x : int);
let
  x = g(a) + g(a);
tel
)", {"<text>:4: node n: call of undeclared node g"}},
    {"TooFewInputs", nullptr, std::string(callee) + R"(
node n(a : int) returns (x : int; y : int);
let
  x, y = f(a);
tel
)", {"<text>:10: node n: call of f passes 1 input, f has 2 inputs"}},
    // A tuple argument counts as its items; a call argument as its outputs.
    {"TupleAndCallArguments", nullptr, std::string(callee) + R"(
node n(a : int) returns (x : int; y : int; z : int);
let
  x, y = f((a, a));
  z = f(f(a, a));
tel
)", {"<text>:11: node n: left-hand side has 1 variable but the right-hand side gives 2 values"}},
    {"TooManyOutputsOnTheLeft", nullptr, std::string(callee) + R"(
node n(a : int) returns (x : int; y : int; z : int);
let
  x, y, z = f(a, a);
tel
)", {"left-hand side has 3 variables but the right-hand side gives 2 values"}},
    {"UndeclaredVariableReportedOnce", nullptr, R"(
node n(a : int) returns (x : int);
let
  x = a + b + (0 -> pre b);
tel
)", {"<text>:4: node n: variable b used but not declared"}},
    {"NameDeclaredTwice", nullptr, R"(
node n(a : int) returns (x : int);
var
   a : int;
let
  x = a;
tel
)", {"<text>:4: node n: name a declared twice (first at line 2)"}},
    {"DefinedTwice", nullptr, R"(
node n(a : int) returns (x : int);
var
   l : int;
let
  l = a;
  x, l = (a, a);
tel
)", {"<text>:7: node n: variable l defined by two equations"}},
    {"LocalNeverDefined", nullptr, R"(
node n(a : int) returns (x : int);
var
   l : int;
   m : int;
let
  m = a;
tel
)", {"<text>:4: node n: local l is never defined"}},
    // A node that defines some of its outputs and bears no fill-me comment
    // must define them all: a main scheduler missing one clock, say.
    {"OutputNeverDefined", nullptr, R"(
node n(a : int) returns (x : int;
   y : int);
let
  x = a; -- Fix me later
tel
)", {"<text>:3: node n: output y is never defined"}},
    // The comment of the node before does not excuse this one.
    {"FillMeCommentOfAnotherNode", nullptr, R"(
node m(a : int) returns (x : int; y : int);
let
  x = a;
-- XXX Fill me!
tel
node n(a : int) returns (x : int; y : int);
let
  y = a;
tel
)", {"<text>:7: node n: output x is never defined"}},
    {"InputDefined", nullptr, R"(
node n(a : int) returns (x : int);
let
  a = 1;
tel
)", {"node n: input a defined by an equation"}},
    {"UndeclaredLeftHandSide", nullptr, R"(
node n(a : int) returns (x : int);
let
  y = a;
tel
)", {"node n: variable y defined but not declared"}},
    {"NodeDeclaredTwice", nullptr, R"(
node n(a : int) returns (x : int);
let
  x = a;
tel
node n(a : int) returns (x : int);
let
  x = a;
tel
)", {"<text>:6: node n declared twice (first at <text>:2)"}},
    {"ConstantDeclaredTwice", nullptr, "const c = 1;\nconst c = 2;\n",
     {"<text>:2: constant c declared twice (first at <text>:1)"}},
    {"UndeclaredType", nullptr, R"(
type Pair = [ Speed, int ];
node n(a : Speed) returns (x : int);
let
  x = 0;
tel
)", {"<text>:2: type Pair: type Speed used but not declared", "<text>:3: node n: type Speed used but not declared"}},
    // Only "_" + name + a period or execution-time suffix may stay undeclared.
    {"UserSuppliedConstants", nullptr, R"(
node n(a : int) returns (x : int; y : bool);
let
  x = _T_period + _T_min_exec_time + _T_max_exec_time + _period + T_period + _T_period_2;
  y = _T_release_clk;
tel
)", {"variable _period used", "variable T_period used", "variable _T_period_2 used",
     "variable _T_release_clk used"}},
    {"ConstantUsesUndeclared", nullptr, "const c = d + 1;\n",
     {"<text>:1: constant c: variable d used but not declared"}},
    {"BranchesDiffer", nullptr, R"(
node n(a : int) returns (x : int; y : int);
let
  x, y = if a > 0 then (a, a) else a;
tel
)", {"node n: the branches of an if give 2 and 1 values"}},
    {"ArrowSidesDiffer", nullptr, R"(
node n(a : int) returns (x : int; y : int);
let
  x, y = (0, 0) -> pre (x, y, a);
tel
)", {"node n: the two sides of '->' give 2 and 3 values"}},
    {"CondactWrapperArity", nullptr, R"(
node t(x : int) returns (y : bool);
let
tel;
node condact_t(clk:bool;   x1:int;
   def1:bool  )
returns
  (   y1:bool  );
let
  y1 =
     if clk then current(t(x1, x1 when clk))
       else ((def1)
           -> pre (y1));
tel;
)", {"<text>:11: node condact_t: call of t passes 2 inputs, t has 1 input"}},
    {"ScadeCondactArity", nullptr, R"(
node t(x : int; z : int) returns (y : bool);
let
tel;
node p(c : bool) returns (o : bool; w : bool);
let
  o = condact(c, t(1), t_y_dft);
  w = condact(c, t(1, 2));
tel;
const t_y_dft = true;
)", {"<text>:7: node p: call of t passes 1 input, t has 2 inputs",
     "<text>:8: node p: condact needs a clock, a node call and default values"}},
    {"ScadeCondactMissingDefaults", nullptr, R"(
node t(x : int) returns (y : bool; z : bool);
let
tel;
node p(c : bool) returns (o : bool; w : bool);
let
  o, w = condact(c, t(1), true);
tel;
)", {"<text>:7: node p: condact of t passes 1 value after the call, t needs 2 default values"}},
    // An array pattern in brackets receives a single array value.
    {"ArrayPatternCountsOnce", "library_arrays.lus", R"(
node qs(alea_1, alea_2 : bool) returns (qs_1, qs_2 : bool);
let 
  qs_1, qs_2 = qsg_generic(2, 2, [alea_1, alea_2]);
tel
)", {"left-hand side has 2 variables but the right-hand side gives 1 value"}},
    {"EmptyLeftHandSide", nullptr, R"(
node s(a : bool) returns (dummy_out:bool);
let
  dummy_out=true;
tel;
node top(a : bool)
returns (   dummy_out:bool)
let
  
     = s
  (
     a
  );
tel;
)", {"<text>:10: node top: equation without left-hand side"}},
    {"EmptyParameterDeclaration", nullptr, R"(
node top(a : bool)
returns (   ;
-- we output the scheduler clocks to see what is going on (cf --show-scheduling-vars option).
  b : bool);
let
  b = a;
tel;
)", {"<text>:3: empty declaration in a parameter list"}},
    // Reading resumes at the next declaration after a syntax error.
    {"SyntaxErrorThenMoreChecks", nullptr, R"(
node broken(a : int) returns (x : int);
let
  x a;
tel
node m(a : int) returns (x : int);
let
  x = broken(a) + q;
tel
)", {"<text>:4: syntax error: expected '=', found 'a'", "<text>:8: node m: variable q used but not declared"}},
    {"UnterminatedComment", nullptr, "const c = 1; (* open\n\n", {"<text>:1: unterminated comment"}},
    {"NodeWithoutBody", nullptr, "node n(a : int) returns (x : int);\n", {"<text>:1: node n has no body"}},
    {"NodeUsedAsVariable", nullptr, std::string(callee) + R"(
node n(a : int) returns (x : int);
let
  x = f;
tel
)", {"node n: variable f used but not declared"}},
    {"SizeOfUndeclaredConstant", nullptr, R"(
node n(a : bool^k) returns (x : bool);
let
  x = a[0];
tel
)", {"node n: variable k used but not declared"}},
};
INSTANTIATE_TEST_SUITE_P(Faulty, Snippets, ::testing::ValuesIn(faulty), case_name);

// ---------------------------------------------------------------- robustness

TEST(LustreCheck, DeepNestingIsReportedNotFatal) {
  const std::string deep(20000, '(');
  const auto r = check_lustre_text("node n(a : int) returns (x : int);\nlet\n  x = " + deep + "a;\ntel\n");
  ASSERT_EQ(r.problems.size(), 1u) << joined(r.problems);
  EXPECT_NE(r.problems[0].find("nested more than"), std::string::npos);
}

TEST(LustreCheck, DeepButBoundedNestingIsAccepted) {
  std::string open, close;
  for (int i = 0; i < 4000; ++i) {
    open += "(if a then a else  ";
    close += ")";
  }
  const auto r =
      check_lustre_text("node n(a : bool) returns (x : bool);\nlet\n  x = " + open + "a" + close + ";\ntel\n");
  EXPECT_TRUE(r.ok()) << joined(r.problems);
}

TEST(LustreCheck, GarbageIsReportedNotFatal) {
  const std::string inputs[] = {"node", "node n(", "node n(a : int) returns", "let tel", "\x01\xff",
                                "const c = ;", "type", "include", "include \"x", "x = 1;", "(*", "'a"};
  for (const std::string& in : inputs) EXPECT_FALSE(check_lustre_text(in).ok()) << in;
}

// ---------------------------------------------------------------- files

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lustre-check-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

// Six files tied by include lines, shaped as the generator writes them.
TEST(LustreCheck, TypicalSixFileProgramIsWellFormed) {
  expect_problems(check_lustre_program(data_path("typical/out.lus")), {});
}

// Every expected end-to-end output kept with the test data is well formed.
TEST(LustreCheck, ExpectedOutputsAreWellFormed) {
  const fs::path root = fs::path(VORQUEL_SOURCE_DIR) / "tests/data/golden";
  if (!fs::is_directory(root)) GTEST_SKIP() << "no expected outputs";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(root)) {
    const fs::path top = entry.path() / "out.lus";
    if (!fs::is_regular_file(top)) continue;
    ++checked;
    const auto r = check_lustre_program(top.string());
    EXPECT_TRUE(r.ok()) << top << "\n" << joined(r.problems);
  }
  if (checked == 0) GTEST_SKIP() << "no expected outputs";
}

TEST_F(Files, IncludesAreReadOnceRelativeToTheMainFile) {
  // The include cycle and the repeated include would declare everything
  // twice if a file were read twice.
  write("main.lus", "include \"lib.lus\"\ninclude \"lib.lus\";\nnode m(a : int) returns (x : int);\nlet\n  x = f(a);\ntel\n");
  write("lib.lus", "include \"main.lus\"\nnode f(a : int) returns (x : int);\nlet\n  x = a;\ntel\n");
  const fs::path saved = fs::current_path();
  fs::current_path(fs::temp_directory_path());
  const auto r = check_lustre_program(path("main.lus"));
  fs::current_path(saved);
  expect_problems(r, {});
}

TEST_F(Files, ProblemsNameTheirFile) {
  write("main.lus", "include \"lib.lus\"\ninclude \"missing.lus\"\n");
  write("lib.lus", "node f(a : int) returns (x : int);\nlet\n  x = b;\ntel\n");
  expect_problems(check_lustre_program(path("main.lus")),
                  {path("main.lus") + ":2: cannot read included file \"missing.lus\"",
                   path("lib.lus") + ":3: node f: variable b used but not declared"});
}

TEST_F(Files, MissingMainFile) {
  expect_problems(check_lustre_program(path("none.lus")), {"cannot read the file"});
}

}  // namespace
}  // namespace vorquel::testing
