#include "env/aadl2aadl.hpp"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "base/channel.hpp"
#include "base/diagnostics.hpp"

namespace vorquel {

Ident qualify(const std::string& package, const Ident& name) {
  if (name.is_scope()) return name;
  return Ident::scope(package, name);
}

namespace {

// A package name of several parts (Buses::CAN) put in front of a name:
// Buses::CAN::N, the form in which the textual reader writes references.
Ident qualify(const Ident& package, const Ident& name) {
  if (name.is_scope()) return name;
  Ident res = name;
  for (std::size_t i = package.part_count(); i-- > 0;) res = Ident::scope(package.part(i), res);
  return res;
}

// Qualifies names with one package, each distinct name once: the names
// that many declarations repeat (classifiers above all) share one
// identifier.
class Qualifier {
 public:
  explicit Qualifier(Ident package) : package_(std::move(package)) {}
  Ident operator()(const Ident& name) {
    if (name.is_scope()) return name;
    auto [it, fresh] = done_.try_emplace(name, name);
    if (fresh) it->second = qualify(package_, name);
    return it->second;
  }
 private:
  const Ident package_;
  std::unordered_map<Ident, Ident> done_;
};

void qualify_opt(Qualifier& q, std::optional<Ident>& id) {
  if (id) id = q(*id);
}

// Qualifies the classifier a feature kind holds; kinds without one are kept.
void qualify_feature(Qualifier& q, Feature& f) {
  std::visit(
      [&](auto& k) {
        if constexpr (requires { k.classifier; }) qualify_opt(q, k.classifier);
      },
      f.kind);
}

// The classifiers of a port group's features are qualified as for a
// component, so that the record type built from them names declared types;
// the features keep their order.
Port_group normalize_names(Qualifier& q, Port_group g) {
  g.name = q(g.name);
  qualify_opt(q, g.inverse);
  for (auto& f : g.features) qualify_feature(q, f);
  return g;
}

Component normalize_names(Qualifier& q, Component c) {
  c.name = q(c.name);
  for (auto& f : c.features) qualify_feature(q, f);
  // Rebuilt rather than reversed in place: swapping features trips a false
  // -Wmaybe-uninitialized in GCC 12.
  c.features = std::vector<Feature>(std::make_move_iterator(c.features.rbegin()),
                                    std::make_move_iterator(c.features.rend()));
  for (auto& s : c.subcomponents) qualify_opt(q, s.classifier);
  std::reverse(c.subcomponents.begin(), c.subcomponents.end());
  for (auto& seq : c.call_sequences)
    for (auto& call : seq.calls) call.called = q(call.called);
  return c;
}

}  // namespace

void component_extends(const Component& c) {
  if (c.extends) not_yet_implemented("Inheritance is not yet implemented.");
}

void component_refine_types(const Component& c) {
  if (c.refines) not_yet_implemented("Type refinement is not yet implemented.");
}

Component component_normalize(const std::string& package, const Component& c) {
  return std::get<Component>(declaration_normalize(package, c));
}

void port_group_extends(const Port_group& g) {
  if (g.extends) not_yet_implemented("Inheritance is not yet implemented.");
}

Port_group port_group_inverse(Port_group g) { return g; }

namespace {

// Every step of a declaration's normalisation, in order.
Declaration normalized(Qualifier& q, Declaration d) {
  if (auto* c = std::get_if<Component>(&d)) {
    component_extends(*c);
    component_refine_types(*c);
    Component res = normalize_names(q, std::move(*c));
    res.normalized = true;
    return res;
  }
  auto& g = std::get<Port_group>(d);
  port_group_extends(g);
  Port_group res = normalize_names(q, port_group_inverse(std::move(g)));
  res.normalized = true;
  return res;
}

}  // namespace

Port_group port_group_normalize(const std::string& package, const Port_group& g) {
  return std::get<Port_group>(declaration_normalize(package, g));
}

Declaration declaration_normalize(const std::string& package, const Declaration& d) {
  Qualifier q{Ident(package)};
  return normalized(q, d);
}

Env normalize_package(const Env& env, const Package& p, int verbosity) {
  Package copy = p;
  return normalize_package(env, std::move(copy), verbosity);
}

Env normalize_package(const Env& env, Package&& p, int verbosity) {
  // A package name may have several parts (Buses::CAN), never a dotted one.
  for (std::size_t i = 0; i + 1 < p.name.part_count(); ++i)
    if (p.name.sep(i) != Ident::Sep::Scope) not_yet_implemented("normalize_package");
  Qualifier q(p.name);
  Env res = env;
  for (auto* part : {&p.public_part, &p.private_part})
    for (auto& d : *part) {
      auto decl = std::make_shared<const Declaration>(normalized(q, std::move(d)));
      // Announced once the name is known to be new, as extend checks it.
      if (verbosity >= 3 && !res.mem(declaration_name(*decl))) {
        out("*** Adding ");
        out(declaration_name(*decl).str());
        out("\n");
      }
      res.extend(std::move(decl));
    }
  return res;
}

}  // namespace vorquel
