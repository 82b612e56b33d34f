// Whole translated models, printed definition by definition in the order of
// the main run, compared byte for byte with the files under
// tests/data/printer/. Set VORQUEL_UPDATE_GOLDEN=1 to rewrite them (then read
// every difference before keeping it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "printer_fixture.hpp"

namespace vorquel::testing {
namespace {

Sync_definition node_def(Node n) { return Sync_definition{Node_def{std::make_shared<const Node>(std::move(n))}}; }

Env add(const Env& env, Category cat, Component_kind kind, const std::string& name, Sync_definition def) {
  return with(env, component(name, cat, kind), std::move(def));
}

Pattern labelled(const std::vector<std::pair<std::string, std::string>>& items) {
  PTuple t;
  for (const auto& [label, name] : items) t.items.push_back(Pattern_item{id(label), pvar(name)});
  return Pattern{std::move(t)};
}

Expression args(const std::vector<std::pair<std::string, Expression>>& items) {
  Tuple t;
  for (const auto& [label, e] : items) t.items.push_back(Tuple_item{id(label), e});
  return make_expr(std::move(t));
}

// What the translation makes of a thread (or subprogram) type instance s of
// classifier c with one output o: the condact call and the delayed outputs.
void condact_instance(Node& n, const std::string& s, const std::string& c,
                      const std::vector<std::pair<std::string, Expression>>& inputs,
                      const std::vector<std::string>& outputs, const std::vector<std::string>& delayed) {
  std::vector<std::pair<std::string, std::string>> out_items, res_items;
  for (const auto& o : outputs) {
    out_items.push_back({c + "." + o, s + "." + o});
    res_items.push_back({c + "." + o, s + "." + o + "_condact"});
  }
  std::vector<Ident> delayed_ids;
  for (const auto& d : delayed) delayed_ids.push_back(id(d));
  n.equations.push_back(
      {labelled(res_items), make_expr(Call_expr{v("_" + s + "_activate_clk"), v(c), args(inputs)})});
  n.equations.push_back({labelled(out_items),
                         make_expr(DelayedOutputs{id(c), id("_" + s + "_release_clk"), id("_" + s + "_dispatch_clk"),
                                                  labelled(out_items), labelled(res_items), delayed_ids})});
}

// The typical model: thread type T (x -> y) run twice in P.i, t1.y feeding
// t2.x and t2.y feeding t1.x through a delayed connection; S.i calls P.i.
Env typical_model() {
  Env env;
  env = add(env, Category::Processor, Component_kind::Type, "K::CPU", Skipped{id("K::CPU")});
  env = add(env, Category::Process, Component_kind::Type, "K::P", node_def(Node{id("K::P"), {}, {}, {}, {}, {}, {}, {}}));
  env = add(env, Category::System, Component_kind::Type, "K::S", node_def(Node{id("K::S"), {}, {}, {}, {}, {}, {}, {}}));
  env = add(env, Category::Thread, Component_kind::Type, "K::T",
            node_def(Node{id("K::T"), {typed("x", "K::int")}, {}, {typed("y", "K::int")}, {}, {}, {}, {}}));
  env = add(env, Category::Data, Component_kind::Type, "K::int", TypeDef{id("K::int"), std::nullopt});

  auto six_clocks = clocks({"_t1_activate_clk", "_t1_dispatch_clk", "_t1_release_clk", "_t2_activate_clk",
                            "_t2_dispatch_clk", "_t2_release_clk"});
  Node pi{id("K::P.i"), {}, six_clocks, {}, {}, {}, {}, {}};
  pi.locals = {{id("_t2_activate_clk"), tbool()}, typed("t2.y_condact", "K::int"), typed("t2.y", "K::int"),
               {id("_t1_activate_clk"), tbool()}, typed("t1.y_condact", "K::int"), typed("t1.y", "K::int")};
  condact_instance(pi, "t2", "K::T", {{"K::T.x", v("t1.y")}}, {"y"}, {"t2.y"});
  condact_instance(pi, "t1", "K::T", {{"K::T.x", v("t2.y")}}, {"y"}, {});
  env = add(env, Category::Process, Component_kind::Implementation, "K::P.i", node_def(pi));

  Node si{id("K::S.i"), {}, six_clocks, {}, {}, {}, {}, {}};
  si.equations.push_back({ptuple({}), call("K::P.i", {})});
  env = add(env, Category::System, Component_kind::Implementation, "K::S.i", node_def(si));
  return env;
}

// A model with a port group, a data type next to its implementation, a
// thread type instantiated directly next to its implementation, subprogram
// calls, a data sub-component, an event merge and names long enough to be
// shortened in the SCADE dialect.
Env rich_model() {
  const std::string sensor = "Pkg::Wheel_speed_acquisition_thread";
  Env env;
  Port_group flow{id("Pkg::Flow"), std::nullopt, {}, std::nullopt, true};
  env = with(env, flow, Sync_definition{TypeDef{id("Pkg::Flow"), record({{"speed", named("Pkg::Speed")},
                                                                          {"valid", named("bool")}})}});
  env = add(env, Category::Data, Component_kind::Type, "Pkg::Speed", TypeDef{id("Pkg::Speed"), std::nullopt});
  env = add(env, Category::Data, Component_kind::Implementation, "Pkg::Speed.impl",
            TypeDef{id("Pkg::Speed.impl"), std::nullopt});
  env = add(env, Category::Data, Component_kind::Type, "Pkg::Gain_real", TypeDef{id("Pkg::Gain_real"), std::nullopt});
  env = add(env, Category::Memory, Component_kind::Type, "Pkg::Ram", Skipped{id("Pkg::Ram")});
  env = add(env, Category::Device, Component_kind::Type, "Pkg::Wheel",
            node_def(Node{id("Pkg::Wheel"), {}, {}, {typed("pulse", "bool")}, {}, {}, {}, {}}));

  // Subprogram type with four inputs and two outputs.
  env = add(env, Category::Subprogram, Component_kind::Type, "Pkg::Filter",
            node_def(Node{id("Pkg::Filter"),
                          {typed("a", "Pkg::Speed"), typed("b", "Pkg::Speed"), typed("k", "Pkg::Gain_real"),
                           typed("on", "bool")},
                          {},
                          {typed("f", "Pkg::Speed"), typed("ok", "bool")},
                          {}, {}, {}, {}}));

  // Thread type: two inputs, a port group output.
  env = add(env, Category::Thread, Component_kind::Type, sensor,
            node_def(Node{id(sensor), {typed("cmd", "bool"), typed("raw", "Pkg::Speed")}, {},
                          {typed("flow", "Pkg::Flow")}, {}, {}, {}, {}}));

  // Its implementation: two calls of Filter.
  Node impl{id(sensor + ".impl"), {typed("cmd", "bool"), typed("raw", "Pkg::Speed")},
            clocks({"_c1_activate_clk", "_c1_dispatch_clk", "_c1_release_clk", "_c2_activate_clk",
                    "_c2_dispatch_clk", "_c2_release_clk"}),
            {typed("flow", "Pkg::Flow")}, {}, {}, {}, {}};
  impl.locals = {{id("_c1_activate_clk"), tbool()}, {id("_c1_dispatch_clk"), tbool()},
                 typed("c1.f", "Pkg::Speed"),       typed("c1.ok", "bool"),
                 typed("c1.f_condact", "Pkg::Speed"), typed("c1.ok_condact", "bool"),
                 {id("_c1_release_clk"), tbool()},  typed("c2.f", "Pkg::Speed"),
                 typed("c2.ok", "bool"),            typed("c2.f_condact", "Pkg::Speed"),
                 typed("c2.ok_condact", "bool"),    {id("_c2_release_clk"), tbool()}};
  condact_instance(impl, "c1", "Pkg::Filter",
                   {{"Pkg::Filter.a", v("raw")},
                    {"Pkg::Filter.b", v("raw")},
                    {"Pkg::Filter.k", make_expr(Imm{Imm_real{-0.5}})},
                    {"Pkg::Filter.on", v("cmd")}},
                   {"f", "ok"}, {"c1.ok"});
  condact_instance(impl, "c2", "Pkg::Filter",
                   {{"Pkg::Filter.a", v("c1.f")},
                    {"Pkg::Filter.b", v("raw")},
                    {"Pkg::Filter.k", make_expr(Imm{Imm_real{2.0}})},
                    {"Pkg::Filter.on", v("c1.ok")}},
                   {"f", "ok"}, {});
  env = add(env, Category::Thread, Component_kind::Implementation, sensor + ".impl", node_def(impl));

  // Process: s1 a direct instance of the thread type, s2 of its
  // implementation, d a data sub-component written by s1.
  env = add(env, Category::Process, Component_kind::Type, "Pkg::Ctrl",
            node_def(Node{id("Pkg::Ctrl"), {typed("cmd", "bool"), typed("ev", "bool")}, {},
                          {typed("alarm", "bool")}, {}, {}, {}, {}}));
  Node ctrl{id("Pkg::Ctrl.impl"), {typed("cmd", "bool"), typed("ev", "bool")},
            clocks({"_s1_activate_clk", "_s1_dispatch_clk", "_s1_release_clk", "_c1_activate_clk",
                    "_c1_dispatch_clk", "_c1_release_clk", "_c2_activate_clk", "_c2_dispatch_clk",
                    "_c2_release_clk"}),
            {typed("alarm", "bool")}, {}, {}, {}, {}};
  ctrl.locals = {typed("d", "Pkg::Speed"), typed("s1.flow", "Pkg::Flow"), typed("s1.flow_condact", "Pkg::Flow"),
                 {id("_s1_activate_clk"), tbool()}, typed("s2.flow", "Pkg::Flow")};
  ctrl.equations.push_back(
      {pvar("d"), make_expr(Arrow{v("Pkg::Speed_init"),
                                  make_expr(If{make_expr(Pre{v("_s1_release_clk")}), v("s1.flow"),
                                               make_expr(Pre{v("d")})})})});
  condact_instance(ctrl, "s1", sensor,
                   {{sensor + ".cmd", make_expr(Or{v("cmd"), v("ev")})}, {sensor + ".raw", v("d")}}, {"flow"},
                   {});
  ctrl.equations.push_back({labelled({{sensor + ".impl.flow", "s2.flow"}}),
                            call(sensor + ".impl", {v("cmd"), v("d")})});
  ctrl.equations.push_back({pvar("alarm"), v("s2.flow")});
  env = add(env, Category::Process, Component_kind::Implementation, "Pkg::Ctrl.impl", node_def(ctrl));

  // System: calls the process twice (the second call numbers the oracles).
  env = add(env, Category::System, Component_kind::Type, "Pkg::Top",
            node_def(Node{id("Pkg::Top"), {typed("cmd", "bool")}, {}, {typed("alarm", "bool")}, {}, {}, {}, {}}));
  Node top{id("Pkg::Top.impl"), {typed("cmd", "bool")}, ctrl.oracles, {typed("alarm", "bool")},
           {typed("p1.alarm", "bool"), typed("p2.alarm", "bool")}, {}, {}, {}};
  top.equations.push_back({labelled({{"Pkg::Ctrl.impl.alarm", "p1.alarm"}}),
                           call("Pkg::Ctrl.impl", {v("cmd"), imm_bool(false)})});
  top.equations.push_back({labelled({{"Pkg::Ctrl.impl.alarm", "p2.alarm"}}),
                           call("Pkg::Ctrl.impl", {v("cmd"), v("p1.alarm")})});
  top.equations.push_back({pvar("alarm"), make_expr(Or{v("p1.alarm"), v("p2.alarm")})});
  env = add(env, Category::System, Component_kind::Implementation, "Pkg::Top.impl", node_def(top));
  return env;
}

// The definition pass of the main run: implementations and port groups in
// key order, devices never, component types after the scheduler (in
// decreasing key order) unless an implementation of theirs was printed and
// nothing printed refers to them.
void print_model(Lustre_writer& w, const Options& options, const Env& env) {
  print_predef_nodes(w);
  std::vector<const Sync_definition*> printed;
  std::vector<Deferred_type> deferred;
  std::set<Ident> implemented;
  env.iter([&](const Ident& k, const Entry& e) {
    if (!e.def) return;
    const auto* c = std::get_if<Component>(e.decl.get());
    if (c && c->category == Category::Device) return;
    if (c && c->kind == Component_kind::Type) {
      deferred.insert(deferred.begin(), Deferred_type{k, &*e.def, false});
      return;
    }
    print_sync_definition(w, options, env, *e.def);
    printed.push_back(&*e.def);
    if (c) implemented.insert(type_name_of_implementation_name(k));
  });
  for (auto& d : deferred) d.implemented = implemented.count(d.name) != 0;
  auto chosen = deferred_types_to_print(printed, deferred);
  for (std::size_t i = 0; i < deferred.size(); ++i)
    if (chosen[i]) print_sync_definition(w, options, env, *deferred[i].def);
}

class Printer_golden : public Printer_test {
 protected:
  void check(const std::string& dir, const std::string& file, const std::string& actual) {
    std::string path = source_path("tests/data/printer/" + dir + "/" + file);
    if (std::getenv("VORQUEL_UPDATE_GOLDEN")) {
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      write_file(path, actual);
      return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is missing";
    EXPECT_EQ(actual, read_file(path)) << "differs from " << path;
  }

  void check_six(const std::string& dir) {
    check(dir, "nodes.lus", text(Nodes));
    check(dir, "fillme_nodes.lus", text(Fillme_nodes));
    check(dir, "fillme_types.lus", text(Fillme_types));
    check(dir, "fillme_const.lus", text(Fillme_const));
    EXPECT_EQ(text(Scheduler), "");
    EXPECT_EQ(text(Top), "");
  }
};

TEST_F(Printer_golden, TypicalLustre) {
  print_model(w(), options_, typical_model());
  check_six("typical");
}

TEST_F(Printer_golden, TypicalFakeBody) {
  options_.gen_fake_body = true;
  print_model(w(), options_, typical_model());
  check_six("typical_fake_body");
}

TEST_F(Printer_golden, TypicalScade) {
  options_.dialect = Dialect::Scade;
  open_channels(true);
  print_model(w(), options_, typical_model());
  check("typical_scade", "all.lus", text());
}

TEST_F(Printer_golden, RichLustre) {
  options_.verbosity = 2;
  print_model(w(), options_, rich_model());
  check_six("rich");
}

TEST_F(Printer_golden, RichScadeFakeBody) {
  options_.dialect = Dialect::Scade;
  options_.gen_fake_body = true;
  open_channels(true);
  print_model(w(), options_, rich_model());
  check("rich_scade_fake_body", "all.lus", text());
}

}  // namespace
}  // namespace vorquel::testing
