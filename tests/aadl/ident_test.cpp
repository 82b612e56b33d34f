// Identifiers: parsing of names and AAXL references, the flat text form,
// the structural order and the structural operations.
#include "base/ident.hpp"

#include <gtest/gtest.h>

#include "base/diagnostics.hpp"

namespace vorquel {
namespace {

Ident S(const std::string& s) { return Ident(s); }
Ident D(const std::string& s, const Ident& r) { return Ident::dot(s, r); }
Ident C(const std::string& s, const Ident& r) { return Ident::scope(s, r); }

const std::string example_ref =
    "/aadlSpec[@name=Test_process_impl]/aadlPackage[@name=Test_process_impl]/aadlPublic/processImpl[@name=P.IMPL]";

TEST(Ident, OfString) {
  const std::vector<std::pair<std::string, Ident>> cases = {
      {"f", S("f")},
      {"FOO::BAR.f", C("FOO", D("BAR", S("f")))},
      {"::P.IMPL", D("P", S("IMPL"))},
      {"P.IMPL", D("P", S("IMPL"))},
      {"a.b.c", D("a", D("b", S("c")))},
      {"K::L::T", C("K", C("L", S("T")))},
      {"K::P.i::x", C("K", D("P", C("i", S("x"))))},
      {"x.", S("x")},
      {".x", S("x")},
      {"K::", S("K")},
      {"a:b", S("a:b")},  // a single colon separates nothing
  };
  for (const auto& [text, id] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(of_string(text), id);
    EXPECT_EQ(to_string(of_string(text)), to_string(id));
  }
  EXPECT_THROW(of_string(""), Fatal);
  EXPECT_THROW(of_string("::"), Fatal);
  EXPECT_THROW(of_string("."), Fatal);
}

TEST(Ident, ToString) {
  EXPECT_EQ(to_string(C("FOO", D("BAR", S("f")))), "FOO__BAR_f");
  EXPECT_EQ(to_string(S("f")), "f");
  EXPECT_EQ(integer_to_string(Integer::literal(-12)), "-12");
  EXPECT_EQ(integer_to_string(Integer::of_name(of_string("K::T.p"))), "K__T_p");
}

// Equal texts are not equal identifiers: a_b (Simple) and a.b (Dot) both
// print as a_b.
TEST(Ident, EqualityIsStructural) {
  EXPECT_NE(S("a_b"), D("a", S("b")));
  EXPECT_NE(D("a", S("b")), C("a", S("b")));
  EXPECT_EQ(of_string("K::P.i"), C("K", D("P", S("i"))));
  EXPECT_EQ(of_string("K::P.i").hash(), C("K", D("P", S("i"))).hash());
}

TEST(Ident, StructuralOrder) {
  // Each identifier is strictly below the next one.
  const std::vector<Ident> ascending = {
      S(""),
      S("B"),
      S("a"),
      S("ab"),           // a proper prefix comes first
      S("z"),
      S("\xe9"),         // bytes compare unsigned
      D("a", S("z")),    // Simple before Dot, whatever the text
      D("a", D("a", S("a"))),
      D("ab", S("a")),   // the first part decides before the rest
      D("b", S("a")),
      C("A", S("z")),    // Dot before Scope
      C("K", S("T")),
      C("K", D("P", S("i"))),
      C("K", C("A", S("a"))),
  };
  for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
    SCOPED_TRACE(to_string(ascending[i]) + " < " + to_string(ascending[i + 1]));
    EXPECT_LT(ascending[i], ascending[i + 1]);
    EXPECT_GT(ascending[i + 1], ascending[i]);
  }
  EXPECT_EQ(of_string("K::P.i") <=> C("K", D("P", S("i"))), std::strong_ordering::equal);
}

TEST(Ident, SuffixAndPrefix) {
  EXPECT_EQ(add_suffix("_in", D("t", S("x"))), D("t", S("x_in")));
  EXPECT_EQ(add_suffix("_2", C("K", D("P", S("i")))), C("K", D("P", S("i_2"))));
  EXPECT_EQ(add_suffix("_c", S("n")), S("n_c"));
  EXPECT_EQ(make_new_ident(of_string("K::T"), "_min_exec_time"), S("_K__T_min_exec_time"));
  EXPECT_EQ(make_add_prefix(S("p"), D("a", S("b"))), D("p", D("a", S("b"))));
  EXPECT_EQ(make_add_prefix(D("s", S("r")), S("x")), D("s", D("r", S("x"))));
  EXPECT_EQ(make_add_prefix(C("K", S("p")), S("x")), C("K", D("p", S("x"))));
}

TEST(Ident, IsPrefix) {
  struct Case {
    Ident a, b;
    bool prefix;
  };
  const std::vector<Case> cases = {
      {S("t1"), D("t1", S("out1")), true},
      {S("t1"), S("t1"), true},
      {S("t1"), C("t1", S("x")), true},  // a Simple only looks at the first part
      {S("t1"), D("t2", S("out1")), false},
      {D("a", S("b")), S("a"), false},
      {D("a", S("b")), D("a", D("b", S("c"))), true},
      {D("a", S("b")), C("a", S("b")), false},
      {C("a", S("b")), C("a", D("b", S("c"))), true},
      {D("a", S("b")), D("a", S("c")), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(to_string(c.a) + " / " + to_string(c.b));
    EXPECT_EQ(is_prefix(c.a, c.b), c.prefix);
  }
}

TEST(Ident, TypeAndFeatureNames) {
  EXPECT_EQ(type_name_of_implementation_name(of_string("P.IMPL")), S("P"));
  EXPECT_EQ(type_name_of_implementation_name(of_string("K::P.IMPL")), C("K", S("P")));
  EXPECT_EQ(type_name_of_implementation_name(of_string("a.b.c")), D("a", S("b")));
  EXPECT_THROW(type_name_of_implementation_name(S("P")), Fatal);
  EXPECT_THROW(type_name_of_implementation_name(of_string("K::P")), Fatal);
  EXPECT_EQ(feature_name_of_component_name(of_string("t1.out1")), S("out1"));
  EXPECT_EQ(feature_name_of_component_name(of_string("K::T")), S("T"));
}

TEST(Ident, AaxlReferences) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(split_aaxl_ident(example_ref), (Pairs{{"/aadlPublic/processImpl", "P.IMPL"},
                                                  {"/aadlPackage", "Test_process_impl"},
                                                  {"/aadlSpec", "Test_process_impl"},
                                                  {"", example_ref}}));
  EXPECT_EQ(split_aaxl_ident("plain"), (Pairs{{"", "plain"}}));
  EXPECT_EQ(split_aaxl_ident("/a[@name=x"), (Pairs{{"", "/a[@name=x"}}));  // no closing bracket

  EXPECT_EQ(aaxl_string_to_string(example_ref), "P.IMPL");
  EXPECT_EQ(aaxl_string_to_ident(example_ref), D("P", S("IMPL")));
  EXPECT_EQ(aaxl_string_to_ident("K::T.i"), of_string("K::T.i"));
  EXPECT_EQ(aaxl_string_to_long_ident(example_ref), C("Test_process_impl", D("P", S("IMPL"))));
  EXPECT_EQ(aaxl_string_to_long_ident("/aadlSpec[@name=AADL_Properties]/propertySet[@name=AADL_Properties]/"
                                      "propertyDefinition[@name=Period]"),
            S("Period"));
  EXPECT_EQ(aaxl_string_to_long_ident("T.i"), D("T", S("i")));
}

TEST(Ident, ConnectionEnds) {
  const std::string port = "/aadlSpec[@name=m]/aadlPackage[@name=K]/aadlPublic/threadType[@name=T]/features/"
                           "dataPort[@name=out1]";
  const std::string pkg = "/aadlSpec[@name=m]/aadlPackage[@name=K]/aadlPublic/processImpl[@name=P.i]";
  EXPECT_EQ(connection_string_to_ident(pkg + "/subcomponents/threadSubcomponent[@name=t1]", port),
            D("t1", S("out1")));
  EXPECT_EQ(connection_string_to_ident(pkg + "/callSequences/callSequence/call[@name=c1]", port),
            D("c1", S("out1")));
  EXPECT_EQ(connection_string_to_ident(pkg, port), S("out1"));
  EXPECT_EQ(connection_string_to_ident("", port), S("out1"));
}

}  // namespace
}  // namespace vorquel
