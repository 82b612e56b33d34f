#include "aadl/aadl_text_constants.hpp"

#include "aadl/aadl_text_standard.hpp"

namespace vorquel {

namespace {

// Constants defined by constants deeper than this go round in a circle.
constexpr int max_constant_depth = 200;

}  // namespace

void Property_constants::add(const S_file& f) {
  for (const auto& set : f.property_sets) {
    sets_.insert(lower_case(set.name));
    for (const auto& n : set.names) {
      auto [it, fresh] =
          names_.try_emplace(lower_case(set.name) + "::" + lower_case(n.name), Set_name{std::string(set.name), &n});
      if (fresh && n.constant) constants_by_name_[lower_case(n.name)].push_back(&it->second);
    }
  }
}

bool Property_constants::declares_set(std::string_view name) const { return sets_.count(lower_case(name)) != 0; }

const S_value& Property_constants::resolved(const S_value& v, bool time, int depth) const {
  if (v.kind != S_value::Kind::Named) return v;
  const S_ref& r = v.ref;
  auto written = [&] { return r.package.empty() ? std::string(r.type) : r.package + "::" + std::string(r.type); };
  if (depth > max_constant_depth) text_error(v.pos, "property constant " + written() + " is defined through itself");
  const Set_name* found = nullptr;
  if (!r.package.empty()) {
    auto it = names_.find(lower_case(r.package) + "::" + lower_case(r.type));
    if (it != names_.end()) found = &it->second;
    if (time && !found && (declares_set(r.package) || !is_supplied_package(r.package)))
      text_error(v.pos, "property constant " + written() + " is not declared in the inputs");
    if (found && !found->decl->constant) {
      if (!time) return v;
      text_error(v.pos, written() + " is a property of " + found->set + ", not a property constant");
    }
  } else if (time || standard_enum_literal(r.type).empty()) {
    auto it = constants_by_name_.find(lower_case(r.type));
    if (it != constants_by_name_.end() && it->second.size() == 1) found = it->second.front();
    if (it != constants_by_name_.end() && it->second.size() > 1 && time) {
      std::string sets;
      for (const Set_name* n : it->second) sets += (sets.empty() ? "" : ", ") + n->set;
      text_error(v.pos, "property constant " + written() + " is declared by several property sets (" + sets +
                            "); qualify it");
    }
  }
  if (found) return resolved(*found->decl->constant, time, depth + 1);
  return v;
}

}  // namespace vorquel
