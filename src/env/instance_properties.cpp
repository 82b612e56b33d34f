#include "env/instance_properties.hpp"

#include "aadl/property.hpp"

namespace vorquel {

const Property_association* instance_property(const Env& env, const Component& c, const Subcomponent& s,
                                              const Component& classifier, std::string_view name) {
  if (auto* a = find_association(c.properties, name, s.name)) return a;
  if (auto* a = find_association(s.properties, name)) return a;
  if (auto* a = find_association(classifier.properties, name)) return a;
  if (classifier.kind == Component_kind::Type) return nullptr;
  const Entry* type = env.find(type_name_of_implementation_name(classifier.name));
  const auto* t = type && type->decl ? std::get_if<Component>(type->decl.get()) : nullptr;
  return t ? find_association(t->properties, name) : nullptr;
}

}  // namespace vorquel
