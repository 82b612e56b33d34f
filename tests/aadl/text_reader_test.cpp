// The textual AADL reader: syntax cases with the model they give (compact
// form) or the located error they stop with, the public models, and the
// fuzz findings.
#include <gtest/gtest.h>

#include <filesystem>

#include "aadl/aadl_text_reader.hpp"
#include "loader_test_util.hpp"

namespace vorquel {
namespace {

using namespace vorquel::testing;
namespace fs = std::filesystem;

struct Read : Outcome {
  Model model;
};

Read read(const std::string& text, const std::string& file = "m.aadl") {
  Read r;
  static_cast<Outcome&>(r) = capture([&] { r.model = parse_aadl_source_text(0, file, text); });
  return r;
}

std::string pkg(const std::string& body) { return "package K public\n" + body + "\nend K;\n"; }

// What a case gives: the model's compact form, or the error message.
std::string result(const Read& r) {
  if (r.ending == Ending::Failure) return r.message;
  if (r.ending != Ending::Ok) return "ending " + std::to_string(static_cast<int>(r.ending)) + ": " + r.message;
  return show(r.model);
}

struct Case {
  std::string text;
  std::string expected;
  std::string warning = "";  // expected on standard error
};

void check(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    Read r = read(c.text);
    EXPECT_EQ(result(r), c.expected) << c.text;
    EXPECT_EQ(r.err, c.warning) << c.text;
  }
}

TEST(TextReader, PropertyValues) {
  auto thread = [](const std::string& props) { return pkg("thread T properties " + props + " end T;"); };
  check({
      {thread("Period => 8ms; Compute_Execution_Time => 0 ms..10MS;"),
       "package K\n  public Thread type T properties [Period = [int 8 ms]; "
       "Compute_Execution_Time = [int_range 0 ms .. 10 ms]]\n"},
      {thread("Byte_Count => 16#FF#; x => 2#1#e3; y => 400_000 bitsps; z => -5;"),
       "package K\n  public Thread type T properties [Byte_Count = [int 255 -]; x = [int 8 -]; "
       "y = [int 400000 bitsps]; z = [int -5 -]]\n"},
      {thread("a => 1.5 .. 2 delta 0.5; b => 1 .. 3 delta 1; c => 2.5e2 V;"),
       "package K\n  public Thread type T properties [a = [real_range 1.5 - .. 2 - delta 0.5]; "
       "b = [int_range 1 - .. 3 - delta 1]; c = [real 250 V]]\n"},
      {thread("dispatch_protocol => PERIODIC; Thread_Properties::priority => 3; "
              "Deployment::Execution_Platform => Native; s => \"a \"\"b\"\"\"; t => TRUE;"),
       "package K\n  public Thread type T properties [Dispatch_Protocol = [enum Periodic]; Priority = [int 3 -]; "
       "Deployment::Execution_Platform = [enum Native]; s = [string a \"b\"]; t = [bool true]]\n"},
      {thread("Source_Text => (); l => (1, 2 ms); c => classifier (K::T); v => value (Max);"),
       "package K\n  public Thread type T properties [Source_Text =; l = [int 1 -] [int 2 ms]; c = [ref K::T]; "
       "v = [enum Max]]\n"},
      {thread("r => [a => 1;]; n => 0 .. Max; Period => 1 ms;"),
       "package K\n  public Thread type T properties [Period = [int 1 ms]]\n",
       "m.aadl:2:21: warning: property association r dropped: a record value has no place in the model\n"
       "m.aadl:2:37: warning: property association n dropped: a range of named values has no place in the "
       "model\n"},
      // Property constants, followed case-insensitively, with or without their set.
      {"property set PS is with Q; R : type record (c : Time; d : aadlinteger;); C : constant Time => 20 ms; "
       "Lo : constant Time => C; X : aadlinteger applies to (all); "
       "L : constant list of Time => (1 ms, 2 ms); end PS;\n" +
           thread("Period => ps::c; Compute_Execution_Time => lo .. PS::C; x => PS::X; l => L; "
                  "Dispatch_Protocol => Periodic;"),
       "package K\n  public Thread type T properties [Period = [int 20 ms]; Compute_Execution_Time = "
       "[int_range 20 ms .. 20 ms]; x = [enum PS::X]; l = [int 1 ms] [int 2 ms]; Dispatch_Protocol = [enum Periodic]]\n"},
      {thread("p => 5 applies to a.B, c;"),
       "package K\n  public Thread type T properties [p@a.B = [int 5 -]; p@c = [int 5 -]]\n"},
  });
}

const std::string kTwoWay =
    "thread T features i : in data port; o : out data port; b : in out data port; end T; process P features "
    "pi : in data port; po : out data port; end P; process implementation P.i subcomponents a : thread T; "
    "b : thread T; connections ";

TEST(TextReader, Declarations) {
  check({
      // Loose declarations first (last first), then the packages last first.
      {"data A end A; package P public end P; package Q private data B end B; end Q; data C end C;",
       "package m\n  public Data type C\n  public Data type A\npackage Q\n  private Data type B\npackage P\n"},
      // Names keep the spelling of their declaration; classifiers get their package.
      {pkg("data D end D; thread T features o : OUT DATA PORT d; e : in event port; "
           "g : feature group inverse of G; r : requires data access d {Access_Right => read_only;}; "
           "q : provides bus access; end T; feature group G features x : in event data port D; end G;"),
       "package K\n  public Data type D\n  public Thread type T features [o: data_port out K::D; "
       "e: event_port in; g: port_group K::G; r: access required Data K::D {Required_Access = [enum read]}; "
       "q: access provided Bus -]\n  public port group G features [x: event_data_port in K::D]\n"},
      // Access_Right names the model's access modes (a data access without
      // one takes AADL's default, read_write, where it is translated).
      {pkg("data D end D; thread T features r : requires data access D; p : provides data access D "
           "{Access_Right => write_only;}; end T;"),
       "package K\n  public Data type D\n  public Thread type T features [r: access required Data K::D; "
       "p: access provided Data K::D {Provided_Access = [enum write]}]\n"},
      {pkg("thread T features i : in event port; o : out event port; d : out data port; end T;"
           "process P end P; process implementation P.i subcomponents A : thread t; b : thread T; "
           "connections c1 : port a.O -> B.I; port A.d ->> b.d; c3 : port a.d -> b.d {timing => Sampled;}; "
           "c4 : data port a.d -> b.d { Timing => delayed; Latency => 1 ms; }; "
           "properties Actual_Processor_Binding => reference (x.y) applies to a; end P.i;"),
       "package K\n  public Thread type T features [i: event_port in; o: event_port out; d: data_port out -]\n"
       "  public Process type P\n  public Process impl P.i subcomponents [A: Thread K::T; b: Thread K::T] "
       "connections [c1: event A.o -> b.i; -: data A.d ->> b.d; c3: data A.d -> b.d; "
       "c4: data A.d ->> b.d {Latency = [int 1 ms]}] properties [Actual_Processor_Binding@A = [ref x.y]]\n"},
      {pkg("subprogram S end S; thread T end T; thread implementation T.i calls main : { a : subprogram s; "
           "b : subprogram K::S {Priority => 1;}; }; end T.i;"),
       "package K\n  public Subprogram type S\n  public Thread type T\n  public Thread impl T.i calls "
       "[(a: K::S; b: K::S {Priority = [int 1 -]})]\n"},
      // A call through the subprogram that a data type provides.
      {pkg("subprogram S end S; data B features get : provides subprogram access S; end B; thread T end T; "
           "thread implementation T.i calls main : { a : subprogram B.get; }; end T.i;"),
       "package K\n  public Subprogram type S\n  public Data type B features [get: access provided Subprogram K::S]\n"
       "  public Thread type T\n  public Thread impl T.i calls [(a: K::S)]\n"},
      {pkg("with Base_Types; data D extends Base_Types::Integer end D; thread T features "
           "i : in data port Base_Types::Float; end T;"),
       "package K\n  public Data type D\n  public Thread type T features [i: data_port in Base_Types::Float]\n"},
      // Bidirectional connections take the direction their features give.
      {pkg(kTwoWay + "c1 : port a.i <-> b.o; c2 : port a.b <-> b.i; c3 : port po <-> a.b; c4 : port a.b <-> pi; "
                     "end P.i;"),
       "package K\n  public Thread type T features [i: data_port in -; o: data_port out -; b: data_port inout -]\n"
       "  public Process type P features [pi: data_port in -; po: data_port out -]\n"
       "  public Process impl P.i subcomponents [a: Thread K::T; b: Thread K::T] connections [c1: data b.o -> a.i; "
       "c2: data a.b -> b.i; c3: data a.b -> po; c4: data pi -> a.b]\n"},
      // Skipped categories, flows and annexes leave no trace.
      {pkg("abstract A end A; virtual bus V end V; system S features f : feature; flows x : flow sink f; "
           "properties none; annex EMV2 {** use types x; **}; end S;"),
       "package K\n  public System type S\n",
       "m.aadl:2:58: warning: abstract feature f skipped: the model has no place for it\n"
       "m.aadl:2:1: warning: abstract K::A skipped: the model has no place for this category\n"
       "m.aadl:2:19: warning: virtual bus K::V skipped: the model has no place for this category\n"},
  });
}

TEST(TextReader, Extensions) {
  Read r = read(read_file(source_path("tests/data/text/extends.aadl")), "extends.aadl");
  EXPECT_EQ(result(r),
            "package Base\n  public Thread type Worker features [i: data_port in -] properties [Period = [int 20 ms]; "
            "Priority = [int 1 -]]\n"
            "  public Thread type Fast features [i: data_port in Base::Word; e: event_port in] properties "
            "[Period = [int 5 ms]; Priority = [int 1 -]]\n"
            "  public Data type Word\n  public Process type Box\n"
            "  public Process impl Box.base subcomponents [a: Thread Base::Worker] connections [c: data a.i -> a.i]\n"
            "  public Process impl Box.more subcomponents [a: Thread Base::Fast; b: Thread Base::Fast] "
            "connections [c: data a.i ->> a.i]\n");
}

TEST(TextReader, LocatedErrors) {
  check({
      {pkg("thread T end T"), "*** m.aadl:3:1: error: 'end' found, expected ';'\n"},
      // The first error of the file is the one reported.
      {pkg("thread T end T x \"open"), "*** m.aadl:2:16: error: 'x' found, expected ';'\n"},
      {pkg("thread T end U;"), "*** m.aadl:2:14: error: the end of T names another declaration\n"},
      {pkg("with Nowhere;"),
       "*** m.aadl:2:6: error: with of Nowhere, which is neither among the input files nor a standard package\n"},
      {pkg("process P end P; process implementation P.i subcomponents t : thread Missing; end P.i;"),
       "*** m.aadl:2:70: error: no declaration named Missing\n"},
      {pkg("processor C end C; process P end P; process implementation P.i subcomponents c : system C; end P.i;"),
       "*** m.aadl:2:78: error: subcomponent c is declared a System but its classifier K::C is a Processor\n"},
      {pkg("thread T features a : requires process access P; end T;"),
       "*** m.aadl:2:32: error: 'process' found, expected 'data', 'bus', 'subprogram', 'subprogram group' or "
       "'virtual bus'\n"},
      {pkg("abstract A end A; system S end S; system implementation S.i subcomponents a : system A; end S.i;"),
       "*** m.aadl:2:86: error: A is a abstract declaration, which the model cannot hold\n"},
      {pkg("system S modes m : initial mode; end S;"), "*** m.aadl:2:10: error: in S: modes are not supported\n"},
      {pkg("system S end S; system implementation S.i subcomponents a : system S[2]; end S.i;"),
       "*** m.aadl:2:69: error: subcomponent arrays are not supported\n"},
      {pkg("system S prototypes p : data; end S;"), "*** m.aadl:2:10: error: in S: prototypes are not supported\n"},
      {pkg("Q renames package P;"), "*** m.aadl:2:1: error: renames are not supported\n"},
      {pkg("thread A extends B end A; thread B extends A end B;"), "*** m.aadl:2:1: error: K::A extends itself\n"},
      {pkg("thread T properties p => \"open; end T;"),
       "*** m.aadl:2:26: error: string without its closing quote on the same line\n"},
      {pkg("thread T annex a {** x"), "*** m.aadl:2:18: error: annex text '{**' without its closing '**}'\n"},
      {pkg("thread T properties p => " + std::string(200, '(') + "1" + std::string(200, ')') + "; end T;"),
       "*** m.aadl:2:126: error: values nested too deep\n"},
      {pkg("thread T properties p => 99999999999999999999; end T;"),
       "*** m.aadl:2:26: error: integer literal 99999999999999999999 out of range\n"},
      {std::string("package K public\n data \0D end D; end K;", 38), "*** m.aadl:2:7: error: NUL byte in the text\n"},
      {pkg("-- caf\xC3\xA9 \xC3\n"), "*** m.aadl:2:10: error: invalid UTF-8 byte sequence\n"},
      {pkg(kTwoWay + "c : port a.b <-> b.b; end P.i;"),
       "*** m.aadl:2:231: error: the direction of connection a.b <-> b.b is ambiguous: both ends are in out; write it "
       "with -> in the direction the data flows\n"},
      {pkg(kTwoWay + "c : port a.i <-> b.i; end P.i;"),
       "*** m.aadl:2:231: error: connection a.i <-> b.i joins features whose directions allow no flow either way\n"},
      {"property set PS is C : constant Time => 1 ms; end PS;\n" + pkg("thread T properties Period => PS::Missing; end T;"),
       "*** m.aadl:3:31: error: property constant PS::Missing is not declared in the inputs\n"},
      {"property set PS is X : aadlinteger applies to (all); end PS;\n" +
           pkg("thread T properties Period => ps::x; end T;"),
       "*** m.aadl:3:31: error: ps::x is a property of PS, not a property constant\n"},
      {"property set PS is X : constant Time => 2 ms; end PS; property set Q is X : constant Time => 1 ms; end Q;\n" +
           pkg("thread T properties Compute_Execution_Time => 0 ms .. X; end T;"),
       "*** m.aadl:3:55: error: property constant X is declared by several property sets (PS, Q); qualify it\n"},
      {"property set PS is C : constant Time => A; A : constant Time => C; end PS;\n" +
           pkg("thread T properties Period => C; end T;"),
       "*** m.aadl:1:41: error: property constant A is defined through itself\n"},
      {pkg("data D end D; data D end D;"), "*** m.aadl:2:15: error: D is declared twice in package K\n"},
  });
}

// The public models are read without error (their translation may stop on
// constructs the translation does not support).
TEST(TextReader, ReadsThePublishedModels) {
  const fs::path dir = VORQUEL_SOURCE_DIR "/../shared/models/aadlib";
  if (!fs::exists(dir)) GTEST_SKIP() << "no published models at " << dir;
  int models = 0;
  for (const auto& d : fs::directory_iterator(dir)) {
    if (!d.is_directory()) continue;
    std::vector<std::string> files;
    for (const auto& f : fs::directory_iterator(d.path()))
      if (f.path().extension() == ".aadl") files.push_back(f.path().string());
    Outcome o = capture([&] { read_model_files(0, files); });
    EXPECT_EQ(o.ending, Ending::Ok) << d.path() << ": " << o.message;
    ++models;
  }
  EXPECT_EQ(models, 9);
}

TEST(TextReader, SurvivesFuzzFindings) {
  const fs::path dir = source_path("tests/data/fuzz-seeds/text");
  if (!fs::exists(dir)) GTEST_SKIP();
  for (const auto& f : fs::directory_iterator(dir)) {
    Read r = read(read_file(f.path().string()));
    EXPECT_TRUE(r.ending == Ending::Ok || r.ending == Ending::Failure) << f.path() << ": " << result(r);
  }
}

}  // namespace
}  // namespace vorquel
