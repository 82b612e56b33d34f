// The in-memory AADL model, as read from .aaxl files. Values are immutable
// once built; normalisation builds updated copies.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/diagnostics.hpp"
#include "base/ident.hpp"

namespace vorquel {

// Where an element of the model was written: the file (shared by every
// element read from it), line and column from 1. Empty for elements built
// by the program. A position is not part of the model's value: two models
// that differ only in where they were read from compare equal.
struct Source_pos {
  std::shared_ptr<const std::string> file;
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  bool operator==(const Source_pos&) const { return true; }
};

// The location a diagnostic names, if the position has one.
inline std::optional<Source_location> location_of(const Source_pos& p) {
  if (!p.file) return std::nullopt;
  return Source_location{*p.file, static_cast<int>(p.line), static_cast<int>(p.column)};
}

// A virtual processor (a partition of a processor) is read from the textual
// form only.
enum class Category {
  Data, Subprogram, Thread, Thread_group, Process, Processor, Memory, Bus, Device, System, Virtual_processor
};
const char* category_to_string(Category c);

enum class Component_kind { Type, Implementation };
enum class In_out { In, Out, InOut };
enum class Access_kind { Provided, Required };

// ---- property values -------------------------------------------------------
struct C_bool { bool value; bool operator==(const C_bool&) const = default; };
struct C_int { long long value; std::optional<Ident> unit; bool operator==(const C_int&) const = default; };
struct C_real { double value; std::optional<Ident> unit; bool operator==(const C_real&) const = default; };
struct C_string { std::string value; bool operator==(const C_string&) const = default; };
using Property_constant = std::variant<C_bool, C_int, C_real, C_string>;
// Pe_constant is the only property_expression form.
struct Pe_constant { Property_constant constant; bool operator==(const Pe_constant&) const = default; };
using Property_expression = Pe_constant;

struct Int_bound { long long value; std::optional<Ident> unit; bool operator==(const Int_bound&) const = default; };
struct Real_bound { double value; std::optional<Ident> unit; bool operator==(const Real_bound&) const = default; };

struct Pv_expression { Property_expression expression; bool operator==(const Pv_expression&) const = default; };
struct Pv_int_range { Int_bound min; Int_bound max; std::optional<long long> delta; bool operator==(const Pv_int_range&) const = default; };
struct Pv_real_range { Real_bound min; Real_bound max; std::optional<double> delta; bool operator==(const Pv_real_range&) const = default; };
struct Pv_enum { Ident literal; bool operator==(const Pv_enum&) const = default; };
struct Pv_reference { Ident element; bool operator==(const Pv_reference&) const = default; };
using Property_value = std::variant<Pv_expression, Pv_int_range, Pv_real_range, Pv_enum, Pv_reference>;

struct Property_association {
  Ident name;
  std::vector<Property_value> values;
  std::optional<Ident> applies_to;
  Source_pos pos = {};
  bool operator==(const Property_association&) const = default;
};

// ---- features ----------------------------------------------------------------
struct Feat_data_port { In_out direction; std::optional<Ident> classifier; bool operator==(const Feat_data_port&) const = default; };
struct Feat_event_data_port { In_out direction; std::optional<Ident> classifier; bool operator==(const Feat_event_data_port&) const = default; };
struct Feat_event_port { In_out direction; bool operator==(const Feat_event_port&) const = default; };
struct Feat_port_group { std::optional<Ident> classifier; bool operator==(const Feat_port_group&) const = default; };
struct Feat_server_subprogram_spec { bool operator==(const Feat_server_subprogram_spec&) const = default; };
struct Feat_data_subprogram_spec { bool operator==(const Feat_data_subprogram_spec&) const = default; };
struct Feat_subcomponent_access { Access_kind access; Category category; std::optional<Ident> classifier; bool operator==(const Feat_subcomponent_access&) const = default; };
struct Feat_parameter { In_out direction; std::optional<Ident> classifier; bool operator==(const Feat_parameter&) const = default; };
using Feature_kind = std::variant<Feat_data_port, Feat_event_data_port, Feat_event_port, Feat_port_group,
                                  Feat_server_subprogram_spec, Feat_data_subprogram_spec,
                                  Feat_subcomponent_access, Feat_parameter>;

struct Feature {
  Ident name;
  Feature_kind kind;
  std::vector<Property_association> properties;
  Source_pos pos = {};
  bool operator==(const Feature&) const = default;
};

struct Subcomponent {
  Ident name;
  Category category;
  std::optional<Ident> classifier;
  std::vector<Property_association> properties;
  Source_pos pos = {};
  bool operator==(const Subcomponent&) const = default;
};

enum class Connection_kind {
  Data_connection, Event_connection, Event_data_connection, Port_group_connection,
  Parameter_connection, Bus_access_connection, Data_access_connection
};
enum class Connection_arrow { Immediate, Delayed };

struct Connection {
  std::optional<Ident> name;
  Connection_kind kind;
  Ident src;
  Connection_arrow arrow;
  Ident dst;
  std::vector<Property_association> properties;
  Source_pos pos = {};
  bool operator==(const Connection&) const = default;
};

struct Call {
  Ident name;
  Ident called;
  std::vector<Property_association> properties;
  Source_pos pos = {};
  bool operator==(const Call&) const = default;
};

struct Call_sequence {
  std::optional<Ident> name;
  std::vector<Call> calls;
  bool operator==(const Call_sequence&) const = default;
};

// Payload of a type refinement: never built by the reader.
struct Refinement { Ident refined; bool operator==(const Refinement&) const = default; };

struct Component {
  Ident name;
  Component_kind kind;
  Category category;
  std::optional<Ident> extends;
  std::vector<Feature> features;
  std::optional<Refinement> refines;
  std::vector<Subcomponent> subcomponents;
  std::vector<Call_sequence> call_sequences;
  std::vector<Connection> connections;
  std::vector<Property_association> properties;
  bool normalized = false;
  Source_pos pos = {};
  bool operator==(const Component&) const = default;
};

struct Port_group {
  Ident name;
  std::optional<Ident> extends;
  std::vector<Feature> features;
  std::optional<Ident> inverse;
  bool normalized = false;
  Source_pos pos = {};
  bool operator==(const Port_group&) const = default;
};

using Declaration = std::variant<Component, Port_group>;

inline const Ident& declaration_name(const Declaration& d) {
  return std::visit([](const auto& x) -> const Ident& { return x.name; }, d);
}
inline const Source_pos& declaration_pos(const Declaration& d) {
  return std::visit([](const auto& x) -> const Source_pos& { return x.pos; }, d);
}

struct Package {
  Ident name;
  std::vector<Declaration> public_part;
  std::vector<Declaration> private_part;
  bool operator==(const Package&) const = default;
};

using Model = std::vector<Package>;

}  // namespace vorquel
