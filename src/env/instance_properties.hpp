// Properties of a sub-component as AADL gives them to the instance.
#pragma once

#include <string_view>

#include "aadl/aadl_ast.hpp"
#include "env/env.hpp"

namespace vorquel {

// The component type of an implementation (null for a type, or when the
// type is not declared).
const Component* type_of_implementation(const Env& env, const Component& c);

// The association of that name that holds for the sub-component s of c,
// looked up where AADL takes it from: a contained association of c, the
// sub-component's own, then its classifier (an implementation, then its
// type, into which the reader has folded the ancestors). Null: none.
const Property_association* instance_property(const Env& env, const Component& c, const Subcomponent& s,
                                              const Component& classifier, std::string_view name);

}  // namespace vorquel
