// Normalisation: qualifies names with their package, rejects inheritance and
// type refinement, and stores every declaration of a package in the
// environment.
#pragma once

#include <string>

#include "aadl/aadl_ast.hpp"
#include "env/env.hpp"

namespace vorquel {

// Adds the public, then the private declarations of the package, normalised
// ("*** Adding" and the name of each at verbosity 3). A package whose name
// is not simple is not supported.
Env normalize_package(const Env& env, const Package& p, int verbosity = 0);
// The same, moving the declarations out of the package instead of copying
// them: the package keeps only the moved-from husks.
Env normalize_package(const Env& env, Package&& p, int verbosity = 0);
Declaration declaration_normalize(const std::string& package, const Declaration& d);
Component component_normalize(const std::string& package, const Component& c);
Port_group port_group_normalize(const std::string& package, const Port_group& g);

// package::name, unless the name is already package-qualified.
Ident qualify(const std::string& package, const Ident& name);

// The individual steps, in the order the two normalisations apply them.
void component_extends(const Component& c);       // rejects inheritance
void component_refine_types(const Component& c);  // rejects type refinement
void port_group_extends(const Port_group& g);     // rejects inheritance
Port_group port_group_inverse(Port_group g);      // unchanged

}  // namespace vorquel
