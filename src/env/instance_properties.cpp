#include "env/instance_properties.hpp"

#include "aadl/property.hpp"

namespace vorquel {

const Component* type_of_implementation(const Env& env, const Component& c) {
  if (c.kind != Component_kind::Implementation) return nullptr;
  const Entry* e = env.find(type_name_of_implementation_name(c.name));
  return e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr;
}

const Property_association* instance_property(const Env& env, const Component& c, const Subcomponent& s,
                                              const Component& classifier, std::string_view name) {
  if (auto* a = find_association(c.properties, name, s.name)) return a;
  if (auto* a = find_association(s.properties, name)) return a;
  if (auto* a = find_association(classifier.properties, name)) return a;
  const Component* t = type_of_implementation(env, classifier);
  return t ? find_association(t->properties, name) : nullptr;
}

}  // namespace vorquel
