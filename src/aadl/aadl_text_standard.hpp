// The names that AADL predeclares: standard property sets and their
// properties, the enumeration literals of standard property types, and the
// packages and property sets that modelling tools supply without files.
#pragma once

#include <string_view>

namespace vorquel {

// The standard spelling of a predeclared property name, or "" (any case).
std::string_view standard_property_name(std::string_view name);
// The standard spelling of a predeclared enumeration literal, or "".
std::string_view standard_enum_literal(std::string_view literal);
// The standard spelling of a unit of the standard unit types, or "".
std::string_view standard_unit(std::string_view unit);
// Whether a property set prefix is a standard one, dropped from names.
bool is_standard_property_set(std::string_view set);
// Whether a package or property set is supplied by the language or by tools
// (accepted in `with` clauses and qualified names without a file).
bool is_supplied_package(std::string_view name);

}  // namespace vorquel
