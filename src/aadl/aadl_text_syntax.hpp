// The syntax of a textual AADL file as parsed, before names are resolved:
// names are kept as written (views into the file's text) with their places.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "aadl/aadl_ast.hpp"
#include "aadl/aadl_text_lexer.hpp"

namespace vorquel {

// A classifier as written: P::Q::T, T, T.impl, P::T.impl.
struct S_ref {
  std::string package;  // the package path joined by "::", may be empty
  std::string_view type;
  std::string_view impl;  // empty for a type
  Pos pos;
  bool present() const { return !type.empty(); }
};

// A dotted path as written (a.b.c): connection ends, applies to, references.
struct S_path {
  std::string text;  // the parts joined by "."

  Pos pos;
};

struct S_value {
  enum class Kind { Int, Real, String, Bool, Named, Reference, Classifier, List, Range, Unsupported };
  Kind kind = Kind::Int;
  Pos pos;
  long long integer = 0;
  double real = 0;
  bool boolean = false;
  std::string text;       // String: the content, quotes undone; Unsupported: what it is
  std::string_view unit;  // Int, Real
  S_ref ref;              // Named (package: the property set), Classifier
  S_path path;            // Reference
  std::vector<S_value> items;  // List; Range: low, high and the optional delta
};

struct S_assoc {
  std::string_view set;  // property set qualifier, may be empty
  std::string_view name;
  Pos pos;
  S_value value;
  std::vector<S_path> applies_to;
  bool in_modes = false;
  bool in_binding = false;
};

enum class S_feature_kind {
  Data_port, Event_port, Event_data_port, Parameter, Group, Access, Server_subprogram, Data_subprogram, Abstract
};

// The categories the model has no place for are kept as their words.
struct S_category {
  std::optional<Category> category;
  std::string_view words;  // "virtual processor", "abstract", ... when unsupported
  Pos pos;
};

struct S_feature {
  std::string_view name;
  Pos pos;
  bool refined = false;
  S_feature_kind kind = S_feature_kind::Data_port;
  bool has_direction = false;
  In_out direction = In_out::In;
  Access_kind access = Access_kind::Provided;
  S_category accessed;  // Access
  S_ref classifier;
  std::vector<S_assoc> properties;
};

struct S_subcomponent {
  std::string_view name;
  Pos pos;
  bool refined = false;
  S_category category;
  S_ref classifier;
  std::vector<S_assoc> properties;
};

struct S_call {
  std::string_view name;
  Pos pos;
  S_ref called;
  std::vector<S_assoc> properties;
};

struct S_call_sequence {
  std::vector<S_call> calls;
};

enum class S_connection_kind {
  Port, Data_port, Event_port, Event_data_port, Feature, Group, Parameter, Data_access, Bus_access, Other_access
};

struct S_connection {
  std::string_view name;  // may be empty
  Pos pos;
  bool refined = false;
  S_connection_kind kind = S_connection_kind::Port;
  S_path src;
  S_path dst;
  bool delayed = false;        // ->>
  bool bidirectional = false;  // <->
  std::vector<S_assoc> properties;
};

struct S_component {
  S_category category;
  Component_kind kind = Component_kind::Type;
  std::string_view type_name;
  std::string_view impl_name;  // implementations
  Pos pos;
  S_ref extends;
  std::vector<S_feature> features;
  std::vector<S_subcomponent> subcomponents;
  std::vector<S_call_sequence> call_sequences;
  std::vector<S_connection> connections;
  std::vector<S_assoc> properties;
};

struct S_group {
  std::string_view name;
  Pos pos;
  S_ref extends;
  std::vector<S_feature> features;
  S_ref inverse;
};

using S_decl = std::variant<S_component, S_group>;

struct S_package {
  std::string name;  // parts joined by "::"
  Pos pos;
  std::vector<S_decl> public_part;
  std::vector<S_decl> private_part;
  std::vector<S_ref> withs;  // package names (type holds the last part)
};

// A name that a property set declares: a property constant, with its value
// as written, or anything else (a property, a property type).
struct S_property_name {
  std::string_view name;
  Pos pos;
  std::optional<S_value> constant;
};

struct S_property_set {
  std::string_view name;
  Pos pos;
  std::vector<S_property_name> names;
};

struct S_file {
  std::string name;
  std::string text;  // every view of the tree points into it
  std::vector<S_package> packages;  // document order
  std::vector<S_decl> loose;        // declarations outside any package, document order
  std::vector<S_property_set> property_sets;
};

// Parses the text of file.name (already in file.text) into file.
// Unsupported constructs and syntax errors: located errors.
void parse_aadl_syntax(int verbosity, S_file& file);

}  // namespace vorquel
