#include "env/env.hpp"

#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>
#include <random>
#include <set>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"


// Model values are built with designated initializers; the fields left out
// are meant to take their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vorquel {
namespace {

Component comp(const std::string& name, std::vector<Subcomponent> subs = {}, std::vector<Feature> feats = {}) {
  return Component{.name = of_string(name),
                   .kind = subs.empty() ? Component_kind::Type : Component_kind::Implementation,
                   .category = Category::Process,
                   .features = std::move(feats),
                   .subcomponents = std::move(subs)};
}

Subcomponent sub(const std::string& name, std::optional<std::string> classifier) {
  return Subcomponent{.name = Ident(name),
                      .category = Category::Thread,
                      .classifier = classifier ? std::optional<Ident>(of_string(*classifier)) : std::nullopt};
}

Port_group group(const std::string& name) { return Port_group{.name = of_string(name)}; }

Feature data_port(const std::string& name) {
  return Feature{Ident(name), Feat_data_port{In_out::In, std::nullopt}, {}};
}

Sync_definition node_def(const std::string& name) {
  return Node_def{std::make_shared<const Node>(Node{.name = of_string(name)})};
}

// Runs f, returning what it wrote on standard output, the kind of error it
// raised ("" when none) and the text of that error.
template <class F>
std::tuple<std::string, std::string, std::string> run_captured(F f) {
  std_out().flush();
  ::testing::internal::CaptureStdout();
  std::string error, message;
  try {
    f();
  } catch (const Fatal& e) {
    error = is_not_found(e.diagnostic) ? "Not_found" : "Internal_error";
    message = e.diagnostic.text;
  }
  std_out().flush();
  return {::testing::internal::GetCapturedStdout(), error, message};
}

std::vector<std::string> keys(const Env& env) {
  std::vector<std::string> out;
  env.iter([&](const Ident& k, const Entry&) { out.push_back(k.str()); });
  return out;
}

class EnvTest : public ::testing::Test {};

TEST_F(EnvTest, OlderVersionsStayUnchanged) {
  const Env e0;
  const Env e1 = e0.add_decl(comp("K::A"));
  const Env e2 = e1.add_decl(comp("K::B"));
  const Env e3 = e2.update(of_string("K::A"), Entry{e2.get(of_string("K::A")).decl, node_def("K::A")});

  EXPECT_EQ(e0.size(), 0u);
  EXPECT_EQ(keys(e1), std::vector<std::string>{"K__A"});
  EXPECT_EQ(keys(e2), (std::vector<std::string>{"K__A", "K__B"}));
  EXPECT_FALSE(e1.mem(of_string("K::B")));
  EXPECT_FALSE(e2.get(of_string("K::A")).def.has_value());
  EXPECT_TRUE(e3.get(of_string("K::A")).def.has_value());
  // The declaration is shared, not copied, by the update.
  EXPECT_EQ(e2.get(of_string("K::A")).decl, e3.get(of_string("K::A")).decl);

  const Env m = e2.map([](const Entry& e) { return Entry{e.decl, node_def("X")}; });
  EXPECT_TRUE(m.get(of_string("K::B")).def.has_value());
  EXPECT_FALSE(e2.get(of_string("K::B")).def.has_value());
  EXPECT_EQ(keys(m), keys(e2));
}

TEST_F(EnvTest, TraversalFollowsStructuralIdentifierOrder) {
  // Simple before Dot before Scope, then by the first part, a prefix first.
  Env env;
  for (const char* n : {"K::b", "a.b", "z", "K::a.x", "a", "ab", "K::a", "a.a", "J::z"})
    env = env.add_decl(comp(n));
  EXPECT_EQ(keys(env), (std::vector<std::string>{"a", "ab", "z", "a_a", "a_b", "J__z", "K__a", "K__b", "K__a_x"}));
}

TEST_F(EnvTest, ManyKeysInRandomOrder) {
  std::vector<int> order(5000);
  for (int i = 0; i < (int)order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));

  Env env, half;
  std::set<Ident> expected, expected_half;
  for (std::size_t i = 0; i < order.size(); ++i) {
    Ident name = Ident::scope("P" + std::to_string(order[i] % 7), Ident("C" + std::to_string(order[i])));
    // Extending in place must never show through in a copy taken earlier.
    env.extend(std::make_shared<const Declaration>(
        Component{.name = name, .kind = Component_kind::Type, .category = Category::Data}));
    expected.insert(name);
    if (i + 1 == order.size() / 2) {
      half = env;
      expected_half = expected;
    }
  }
  auto check = [](const Env& e, const std::set<Ident>& want) {
    ASSERT_EQ(e.size(), want.size());
    auto it = want.begin();
    bool in_order = true;
    e.iter([&](const Ident& k, const Entry& entry) {
      in_order = in_order && k == *it && declaration_name(*entry.decl) == k;
      ++it;
    });
    EXPECT_TRUE(in_order);
    for (const auto& k : want) ASSERT_TRUE(e.mem(k)) << k.str();
  };
  check(env, expected);
  check(half, expected_half);
  EXPECT_FALSE(half.mem(*std::find_if(expected.begin(), expected.end(),
                                      [&](const Ident& k) { return !expected_half.count(k); })));
}

TEST_F(EnvTest, ExtendLeavesCopiesAlone) {
  Env a = Env().add_decl(comp("K::A", {sub("s", "K::T")}));
  const Env copy = a;
  a.extend(std::make_shared<const Declaration>(comp("K::B", {sub("s", "K::U")})));
  const Env after_b = a;
  a.extend(std::make_shared<const Declaration>(comp("K::C", {sub("s", "K::V")})));
  EXPECT_EQ(keys(copy), std::vector<std::string>{"K__A"});
  EXPECT_EQ(keys(after_b), (std::vector<std::string>{"K__A", "K__B"}));
  EXPECT_EQ(keys(a), (std::vector<std::string>{"K__A", "K__B", "K__C"}));
  auto locals = [](const Env& e) {
    int n = 0;
    e.iter_locals([&](const Local_key&, const Ident&) { ++n; });
    return n;
  };
  EXPECT_EQ(locals(copy), 1);
  EXPECT_EQ(locals(after_b), 2);
  EXPECT_EQ(locals(a), 3);

  // A failed extend changes nothing, not even the local names.
  EXPECT_THROW(a.extend(std::make_shared<const Declaration>(comp("K::A", {sub("x", "K::W")}))), Fatal);
  EXPECT_EQ(keys(a), (std::vector<std::string>{"K__A", "K__B", "K__C"}));
  EXPECT_EQ(locals(a), 3);
}

TEST_F(EnvTest, AddDeclTwiceIsAnInternalError) {
  const Env env = Env().add_decl(comp("K::A"));
  EXPECT_THROW(env.add_decl(comp("K::A")), Fatal);
  EXPECT_THROW(env.add_decl(Declaration(group("K::A"))), Fatal);
  // update has no such check.
  const Env u = env.update(of_string("K::A"), Entry{env.get(of_string("K::A")).decl, std::nullopt})
                    .update(of_string("K::New"), Entry{env.get(of_string("K::A")).decl, std::nullopt});
  EXPECT_EQ(u.size(), 2u);
}

TEST_F(EnvTest, LookupsByKind) {
  const Env env = Env()
                      .add_decl(comp("K::C", {}, {data_port("x"), data_port("y")}))
                      .add_decl(group("K::G"))
                      .update(of_string("K::D"), Entry{std::make_shared<const Declaration>(comp("K::D")),
                                                       TypeDef{of_string("K::D"), std::nullopt}})
                      .update(of_string("K::N"),
                              Entry{std::make_shared<const Declaration>(comp("K::N")), node_def("K::N")});
  const Ident C = of_string("K::C"), G = of_string("K::G"), D = of_string("K::D"), N = of_string("K::N"),
              missing = of_string("K::missing");

  struct Case {
    const char* what;
    std::function<void()> f;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"get missing", [&] { env.get(missing); }, "Not_found"},
      {"get_aadl missing", [&] { env.get_aadl(missing); }, "Not_found"},
      {"get_component missing", [&] { env.get_component(missing); }, "Not_found"},
      {"get_component of group", [&] { env.get_component(G); }, "Not_found"},
      {"get_component2 of group", [&] { env.get_component2(G); }, "Internal_error"},
      {"get_port_grp of component", [&] { env.get_port_grp(C); }, "Not_found"},
      {"get_port_grp missing", [&] { env.get_port_grp(missing); }, "Not_found"},
      {"get_node untranslated", [&] { env.get_node(C); }, "Not_found"},
      {"get_node missing", [&] { env.get_node(missing); }, "Not_found"},
      {"get_node of a type", [&] { env.get_node(D); }, "Internal_error"},
      {"get_node2 of a type", [&] { env.get_node2(D); }, "Internal_error"},
      {"get_feature missing component", [&] { env.get_feature(missing, Ident("x")); }, "Not_found"},
      {"get_feature of group", [&] { env.get_feature(G, Ident("x")); }, "Not_found"},
      {"get_feature missing feature", [&] { env.get_feature(C, Ident("z")); }, "Not_found"},
      {"get_component found", [&] { EXPECT_EQ(env.get_component2(C).name, C); }, ""},
      {"get_port_grp found", [&] { EXPECT_EQ(env.get_port_grp(G).name, G); }, ""},
      {"get_node found", [&] { EXPECT_EQ(env.get_node2(N).name, N); }, ""},
      {"get_feature found", [&] { EXPECT_EQ(env.get_feature(C, Ident("y")).name, Ident("y")); }, ""},
  };
  for (const auto& c : cases) {
    auto [text, error, message] = run_captured(c.f);
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_EQ(text, "") << c.what;
  }
}

TEST_F(EnvTest, FatalLookupMessages) {
  const Env empty;
  const Env env = empty.add_decl(comp("K::B")).add_decl(group("J::G")).add_decl(comp("A"));
  struct Case {
    const char* what;
    std::function<void()> f;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"component, empty env", [&] { empty.get_component2(of_string("K::X")); },
       "*** No component named K__X exists.\nExisting components are:\n\t"},
      {"component", [&] { env.get_component2(of_string("K::X")); },
       "*** No component named K__X exists.\nExisting components are:\n\tA\n\tJ__G\n\tK__B\n\t"},
      {"node, missing", [&] { env.get_node2(of_string("K::X.i")); }, "*** No component named K__X_i exists.\n"},
      {"node, untranslated", [&] { env.get_node2(of_string("K::B")); }, "*** No component named K__B exists.\n"},
  };
  for (const auto& c : cases) {
    auto [text, error, message] = run_captured(c.f);
    EXPECT_EQ(error, "Internal_error") << c.what;
    EXPECT_EQ(text, "") << c.what;
    EXPECT_EQ(message.substr(0, c.text.size()), c.text) << c.what;  // then the internal description
  }
}

TEST_F(EnvTest, LocalNames) {
  const Env env = Env()
                      .add_decl(comp("K::P.i", {sub("t1", "K::T"), sub("t2", "K::U.i"), sub("nothing", std::nullopt)}))
                      .add_decl(comp("K::Q.i", {sub("t1", "K::V")}))
                      .add_decl(group("K::t1"));
  EXPECT_EQ(env.get_comp_name_of_loc_id(of_string("K::P.i"), Ident("t1")), of_string("K::T"));
  EXPECT_EQ(env.get_comp_name_of_loc_id(of_string("K::P.i"), Ident("t2")), of_string("K::U.i"));
  EXPECT_EQ(env.get_comp_name_of_loc_id(of_string("K::Q.i"), Ident("t1")), of_string("K::V"));

  std::vector<std::string> listed;
  env.iter_locals([&](const Local_key& k, const Ident& v) {
    listed.push_back(k.first.str() + ":" + k.second.str() + "=" + v.str());
  });
  EXPECT_EQ(listed, (std::vector<std::string>{"t1:K__P_i=K__T", "t1:K__Q_i=K__V", "t2:K__P_i=K__U_i"}));

  // update and map leave the local names alone.
  const Env m = env.map([](const Entry& e) { return e; }).update(Ident("x"), env.get(of_string("K::t1")));
  EXPECT_EQ(m.get_comp_name_of_loc_id(of_string("K::Q.i"), Ident("t1")), of_string("K::V"));

  auto [text, error, message] = run_captured([&] { m.get_comp_name_of_loc_id(of_string("K::Q.i"), Ident("nothing")); });
  EXPECT_EQ(error, "Internal_error");
  const std::string listing =
      "*** No local identifier named nothing in component K__Q_i exists in table: \n"
      "\tt1:K__P_i -> K__T\n\tt1:K__Q_i -> K__V\n\tt2:K__P_i -> K__U_i\n";
  EXPECT_EQ(message.substr(0, listing.size()), listing);
}

}  // namespace
}  // namespace vorquel
