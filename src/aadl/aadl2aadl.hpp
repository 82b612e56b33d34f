// Normalisation: qualifies names with their package and stores every
// declaration of a package in the environment.
#pragma once

#include <string>

#include "aadl/aadl_ast.hpp"
#include "aadl/env.hpp"

namespace vorquel {

Env normalize_package(const Env& env, const Package& p);
Declaration declaration_normalize(const std::string& package, const Declaration& d);
Component component_normalize(const std::string& package, const Component& c);
Port_group port_group_normalize(const std::string& package, const Port_group& g);

}  // namespace vorquel
