// Well-known property associations: Period, Compute_Execution_Time,
// Dispatch_Protocol, Actual_Processor_Binding, Required_Access and
// Provided_Access. Units are ignored; numbers are taken as written.
// A missing property is std::nullopt; a wrong shape is a user error located
// at the association.
//
// Also the reading of AAXL property values (propertyValue elements) into
// Property_value, used by the reader.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

enum class Dispatch_protocol { Periodic, Aperiodic, Sporadic, Background };
enum class Access_mode { Read, Write, Read_write, By_method };

std::optional<Integer> find_period(const Component& c);
std::optional<Integer> find_period(const std::vector<Property_association>& props);
// Named bounds "_<name>_min_exec_time" / "_<name>_max_exec_time" when the
// component has no Compute_Execution_Time.
std::pair<Integer, Integer> get_compute_execution_time(const Component& c);
std::optional<Dispatch_protocol> find_dispatch_protocol(const Component& c);
// The first association of that name given for the element `applies_to`
// (none: the holder's own associations).
const Property_association* find_association(const std::vector<Property_association>& props, std::string_view name,
                                             const std::optional<Ident>& applies_to = std::nullopt);
// The single integer of an association (its unit aside), if that is its value.
std::optional<long long> single_integer(const Property_association& a);
// The single enumeration literal of an association, as text.
std::string enumeration_text(const Property_association& a);
// The Lustre base type ("int", "real", "bool") of a data type of the
// standard data model: a type of the package Base_Types (any case), or the
// canonical spelling of its name through base_types_name.
std::optional<std::string> base_types_lustre_type(std::string_view type_name);
std::optional<std::string> base_types_name(std::string_view type_name);
// The same for a data component whose Data_Representation is Integer,
// Float, Fixed or Boolean.
std::optional<std::string> data_representation_type(const Component& c);
// A user error "*** <text> is not a valid dispatch protocol." (no line break)
// for a text other than the four protocol names.
Dispatch_protocol string_to_dispatch_protocol(const std::string& text);

// (processor, (bound sub-component, name of c)), in reverse association order.
// A located user error when a binding applies to no sub-component of c.
using Processor_binding = std::pair<Ident, std::pair<Ident, Ident>>;
std::vector<Processor_binding> get_processor_binding(const Component& c);

std::optional<Access_mode> find_required_access_mode(const std::vector<Property_association>& props);
std::optional<Access_mode> find_provided_access_mode(const std::vector<Property_association>& props);
Access_mode string_to_access_mode(const std::string& text);

// ---- reading AAXL property values -------------------------------------------

// The attribute texts of a minimum or maximum element.
struct Aaxl_bound {
  std::string_view value;
  std::optional<std::string_view> unit_literal;
};

// The attribute texts of one propertyValue element and its optional minimum
// and maximum children, as they stand in the document.
struct Aaxl_property_value {
  std::string_view type;  // xsi:type, "property:" + kind name
  std::optional<std::string_view> value;
  std::optional<std::string_view> unit_literal;
  std::optional<std::string_view> enum_literal;
  std::optional<std::string_view> reference_element;
  std::optional<std::string_view> delta;
  std::optional<Aaxl_bound> minimum;
  std::optional<Aaxl_bound> maximum;
};

// One property value. Unreadable numbers, missing values, boolean values
// other than true and false and unknown kinds are user errors without a
// location (the reader adds it).
Property_value parse_property_expression(const Aaxl_property_value& v);
// Same, with the name conversion of texts given (it must give what
// aaxl_string_to_ident gives; the reader passes a memoised one).
using Name_conversion = std::function<Ident(std::string_view)>;
Property_value parse_property_expression(const Aaxl_property_value& v, const Name_conversion& name_of);

// Decimal integer / real number forming the whole text; nullopt otherwise.
std::optional<long long> read_decimal_integer(std::string_view text);
std::optional<double> read_real(std::string_view text);

}  // namespace vorquel
