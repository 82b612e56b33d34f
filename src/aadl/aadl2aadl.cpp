#include "aadl/aadl2aadl.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "driver/misc.hpp"

namespace vorquel {

Ident qualify(const std::string& package, const Ident& name) {
  if (name.is_scope()) return name;
  return Ident::scope(package, name);
}

namespace {

// Qualifies names with one package, each distinct name once: the names
// that many declarations repeat (classifiers above all) share one
// identifier.
class Qualifier {
 public:
  explicit Qualifier(const std::string& package) : package_(package) {}
  Ident operator()(const Ident& name) {
    if (name.is_scope()) return name;
    auto [it, fresh] = done_.try_emplace(name, name);
    if (fresh) it->second = qualify(package_, name);
    return it->second;
  }
  const std::string& package() const { return package_; }

 private:
  const std::string& package_;
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

Component normalize_names(Qualifier& q, Component c) {
  c.name = q(c.name);
  for (auto& f : c.features) qualify_feature(q, f);
  std::reverse(c.features.begin(), c.features.end());
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

Component component_normalize_names(const std::string& package, Component c) {
  Qualifier q(package);
  return normalize_names(q, std::move(c));
}

Component component_normalize(const std::string& package, const Component& c) {
  component_extends(c);
  component_refine_types(c);
  Component res = component_normalize_names(package, c);
  res.normalized = true;
  return res;
}

void port_group_extends(const Port_group& g) {
  if (g.extends) not_yet_implemented("Inheritance is not yet implemented.");
}

Port_group port_group_inverse(Port_group g) { return g; }

// The classifiers of the port group's features are qualified as for a
// component, so that the record type built from them names declared types;
// the features keep their order.
Port_group port_group_normalize_names(const std::string& package, Port_group g) {
  Qualifier q(package);
  g.name = q(g.name);
  qualify_opt(q, g.inverse);
  for (auto& f : g.features) qualify_feature(q, f);
  return g;
}

Port_group port_group_normalize(const std::string& package, const Port_group& g) {
  port_group_extends(g);
  Port_group res = port_group_normalize_names(package, port_group_inverse(g));
  res.normalized = true;
  return res;
}

Declaration declaration_normalize(const std::string& package, const Declaration& d) {
  if (const auto* c = std::get_if<Component>(&d)) return component_normalize(package, *c);
  return port_group_normalize(package, std::get<Port_group>(d));
}

Env normalize_package(const Env& env, const Package& p) {
  if (!p.name.is_simple()) not_yet_implemented("normalize_package");
  const std::string package(p.name.head());
  Env res = env;
  for (const auto* part : {&p.public_part, &p.private_part})
    for (const auto& d : *part)
      res.extend(std::make_shared<const Declaration>(declaration_normalize(package, d)));
  return res;
}

Env normalize_package(const Env& env, Package&& p) {
  if (!p.name.is_simple()) not_yet_implemented("normalize_package");
  const std::string package(p.name.head());
  Qualifier q(package);
  Env res = env;
  for (auto* part : {&p.public_part, &p.private_part})
    for (auto& d : *part) {
      if (auto* c = std::get_if<Component>(&d)) {
        component_extends(*c);
        component_refine_types(*c);
        Component normalized = normalize_names(q, std::move(*c));
        normalized.normalized = true;
        res.extend(std::make_shared<const Declaration>(std::move(normalized)));
      } else {
        res.extend(std::make_shared<const Declaration>(port_group_normalize(package, std::get<Port_group>(d))));
      }
    }
  return res;
}

}  // namespace vorquel
