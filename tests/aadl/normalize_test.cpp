#include <gtest/gtest.h>

#include "env/aadl2aadl.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"


// Model values are built with designated initializers; the fields left out
// are meant to take their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vorquel {
namespace {

std::optional<Ident> opt(const char* s) { return s ? std::optional<Ident>(of_string(s)) : std::nullopt; }

Feature feature(const char* name, Feature_kind k) { return Feature{Ident(name), std::move(k), {}}; }

std::optional<Ident> classifier_of(const Feature& f) {
  return std::visit(
      [](const auto& k) -> std::optional<Ident> {
        if constexpr (requires { k.classifier; }) return k.classifier;
        else return std::nullopt;
      },
      f.kind);
}

std::string show(const std::optional<Ident>& id) { return id ? id->str() : "-"; }

// Names and classifiers of a feature list, "name:classifier" in list order.
std::vector<std::string> show(const std::vector<Feature>& fs) {
  std::vector<std::string> out;
  for (const auto& f : fs) out.push_back(f.name.str() + ":" + show(classifier_of(f)));
  return out;
}

const std::vector<Feature> features = {
    feature("f1", Feat_data_port{In_out::In, opt("int")}),
    feature("f2", Feat_event_port{In_out::Out}),
    feature("f3", Feat_port_group{opt("G")}),
    feature("f4", Feat_subcomponent_access{Access_kind::Required, Category::Data, opt("L::D")}),
    feature("f5", Feat_parameter{In_out::In, std::nullopt}),
    feature("f6", Feat_event_data_port{In_out::In, opt("D.i")}),
};

TEST(Normalize, Component) {
  const Component c{
      .name = of_string("P.i"),
      .kind = Component_kind::Implementation,
      .category = Category::Thread,
      .features = features,
      .subcomponents = {Subcomponent{Ident("s1"), Category::Data, opt("D.i"), {}},
                        Subcomponent{Ident("s2"), Category::Data, std::nullopt, {}},
                        Subcomponent{Ident("s3"), Category::Data, opt("L::D"), {}}},
      .call_sequences = {Call_sequence{std::nullopt, {Call{Ident("c1"), of_string("S1"), {}},
                                                      Call{Ident("c2"), of_string("L::S2"), {}}}},
                         Call_sequence{std::nullopt, {Call{Ident("c3"), of_string("S3.i"), {}}}}},
  };
  const Component n = component_normalize("K", c);
  EXPECT_TRUE(n.normalized);
  EXPECT_FALSE(c.normalized);
  EXPECT_EQ(n.name, of_string("K::P.i"));
  EXPECT_EQ(show(n.features),
            (std::vector<std::string>{"f6:K__D_i", "f5:-", "f4:L__D", "f3:K__G", "f2:-", "f1:K__int"}));
  std::vector<std::string> subs;
  for (const auto& s : n.subcomponents) subs.push_back(s.name.str() + ":" + show(s.classifier));
  EXPECT_EQ(subs, (std::vector<std::string>{"s3:L__D", "s2:-", "s1:K__D_i"}));
  std::vector<std::string> calls;
  for (const auto& seq : n.call_sequences) {
    for (const auto& call : seq.calls) calls.push_back(call.name.str() + ":" + call.called.str());
    calls.push_back("|");
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"c1:K__S1", "c2:L__S2", "|", "c3:K__S3_i", "|"}));

  // An already qualified name is kept as is.
  Component q = c;
  q.name = of_string("L::P.i");
  EXPECT_EQ(component_normalize("K", q).name, of_string("L::P.i"));
}

TEST(Normalize, PortGroupQualifiesItsFeaturesInOrder) {
  const Port_group g{.name = of_string("G"), .features = features, .inverse = opt("H")};
  const Port_group n = port_group_normalize("K", g);
  EXPECT_TRUE(n.normalized);
  EXPECT_EQ(n.name, of_string("K::G"));
  EXPECT_EQ(n.inverse, opt("K::H"));
  EXPECT_EQ(show(n.features),
            (std::vector<std::string>{"f1:K__int", "f2:-", "f3:K__G", "f4:L__D", "f5:-", "f6:K__D_i"}));
  EXPECT_FALSE(port_group_normalize("K", Port_group{.name = of_string("L::G")}).inverse.has_value());
  EXPECT_EQ(port_group_normalize("K", Port_group{.name = of_string("L::G")}).name, of_string("L::G"));
}

TEST(Normalize, Rejections) {
  Component ext{.name = Ident("A"), .kind = Component_kind::Type, .category = Category::Data, .extends = opt("B")};
  Component ref{.name = Ident("A"), .kind = Component_kind::Type, .category = Category::Data,
                .refines = Refinement{Ident("B")}};
  Component both = ext;
  both.refines = ref.refines;
  struct Case {
    Package p;
    std::string message;
  };
  const std::vector<Case> cases = {
      {Package{of_string("K.L"), {}, {}}, "normalize_package"},
      {Package{Ident("K"), {ext}, {}}, "Inheritance is not yet implemented."},
      {Package{Ident("K"), {}, {ref}}, "Type refinement is not yet implemented."},
      {Package{Ident("K"), {both}, {}}, "Inheritance is not yet implemented."},
      {Package{Ident("K"), {Port_group{.name = Ident("G"), .extends = opt("H")}}, {}},
       "Inheritance is not yet implemented."},
  };
  for (const auto& c : cases) {
    try {
      normalize_package(Env(), c.p);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const Fatal& f) {
      EXPECT_EQ(f.diagnostic.kind, Diagnostic_kind::Unsupported);
      EXPECT_EQ(f.diagnostic.text, c.message);
    }
  }
}

TEST(Normalize, PackagesIntoEnvironment) {
  auto type = [](const char* n) {
    return Component{.name = of_string(n), .kind = Component_kind::Type, .category = Category::Thread};
  };
  Component impl{.name = of_string("P.i"), .kind = Component_kind::Implementation, .category = Category::Process,
                 .subcomponents = {Subcomponent{Ident("t"), Category::Thread, opt("T"), {}},
                                   Subcomponent{Ident("u"), Category::Thread, std::nullopt, {}}}};
  const Package k{Ident("K"), {type("T"), impl}, {type("Z"), Port_group{.name = Ident("A")}}};
  const Package l{of_string("L::M"), {type("T")}, {}};

  std_out().flush();
  ::testing::internal::CaptureStdout();
  const Env env = normalize_package(normalize_package(Env(), k, 3), l, 3);
  std_out().flush();
  const std::string trace = ::testing::internal::GetCapturedStdout();

  // Public part, then private part, in list order.
  EXPECT_EQ(trace, "*** Adding K__T\n*** Adding K__P_i\n*** Adding K__Z\n*** Adding K__A\n*** Adding L__M__T\n");
  EXPECT_EQ(env.size(), 5u);
  EXPECT_TRUE(env.get_component(of_string("K::T")).normalized);
  EXPECT_TRUE(env.get_port_grp(of_string("K::A")).normalized);
  EXPECT_TRUE(env.mem(of_string("L::M::T")));
  EXPECT_EQ(env.get_comp_name_of_loc_id(of_string("K::P.i"), Ident("t")), of_string("K::T"));
  int locals = 0;
  env.iter_locals([&](const Local_key&, const Ident&) { ++locals; });
  EXPECT_EQ(locals, 1);

  // A name declared twice in one package.
  EXPECT_THROW(normalize_package(Env(), Package{Ident("K"), {type("T")}, {type("K::T")}}), Fatal);
}

}  // namespace
}  // namespace vorquel
