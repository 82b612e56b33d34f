#include "aadl/property.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <unordered_set>

#include "aadl/aadl_text_lexer.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "base/diagnostics.hpp"
#include "base/util.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

namespace {

// Property names are compared as Simple identifiers, case-sensitively.
bool is_property(const Property_association& a, std::string_view name) {
  return a.name.is_simple() && a.name.head() == name;
}

// First association of that name; later duplicates are ignored.
const Property_association* find_property(const std::vector<Property_association>& props,
                                          std::string_view name) {
  for (const auto& a : props)
    if (is_property(a, name)) return &a;
  return nullptr;
}

const C_int* as_int_constant(const Property_value& v) {
  const auto* e = std::get_if<Pv_expression>(&v);
  return e ? std::get_if<C_int>(&e->expression.constant) : nullptr;
}

// A property association that the model gets wrong: a located error.
[[noreturn]] void bad_property(const Property_association& a, std::string_view what) {
  fail_at(location_of(a.pos), "property " + aadl_name(a.name) + ": " + std::string(what));
}

// A Period or execution time that is no integer time. A name there, in a
// textual model, is a property constant that no input declares: the reader
// replaced those that one declares by their values.
[[noreturn]] void bad_time(const Property_association& a, std::string_view what) {
  const auto* e = std::get_if<Pv_enum>(&a.values.front());
  if (e && read_from_text(a.pos))
    bad_property(a, "property constant " + aadl_name(e->literal) + " is not declared in the inputs");
  bad_property(a, what);
}

// The single enumeration literal of an association, as text.
std::string single_enum_text(const Property_association& a, std::string_view what) {
  if (a.values.size() != 1) bad_property(a, "give exactly one value");
  const auto* e = std::get_if<Pv_enum>(&a.values.front());
  if (e == nullptr) bad_property(a, std::string("the value must be an enumeration literal (") + std::string(what) + ")");
  return to_string(e->literal);
}

Access_mode access_mode_of(const Property_association& a, std::string_view what) {
  const std::string text = single_enum_text(a, what);
  for (const char* known : {"read", "write", "read_write", "by_method"})
    if (text == known) return string_to_access_mode(text);
  bad_property(a, text + " is not an access mode; write read, write, read_write or by_method");
}

}  // namespace

// ---- reading properties -------------------------------------------------------

std::optional<Integer> find_period(const Component& c) { return find_period(c.properties); }

std::optional<Integer> find_period(const std::vector<Property_association>& props) {
  const Property_association* found = find_property(props, "Period");
  if (!found) return std::nullopt;
  const auto& a = *found;
  if (a.values.size() != 1) bad_property(a, "give exactly one value, a time such as 10 ms");
  const C_int* n = as_int_constant(a.values.front());
  if (n == nullptr) bad_time(a, "the value must be an integer time, such as 10 ms");
  return Integer::literal(n->value);
}

std::pair<Integer, Integer> get_compute_execution_time(const Component& c) {
  const Property_association* a = find_property(c.properties, "Compute_Execution_Time");
  if (!a)
    return {Integer::of_name(make_new_ident(c.name, "_min_exec_time")),
            Integer::of_name(make_new_ident(c.name, "_max_exec_time"))};
  if (a->values.empty()) bad_property(*a, "give a time range, such as 1 ms .. 3 ms");
  const Property_value& v = a->values.front();
  if (const auto* r = std::get_if<Pv_int_range>(&v)) {
    if (r->delta) bad_property(*a, "a time range takes no delta");
    return {Integer::literal(r->min.value), Integer::literal(r->max.value)};
  }
  const C_int* n = as_int_constant(v);
  if (n == nullptr) bad_time(*a, "the value must be an integer time or range, such as 1 ms .. 3 ms");
  return {Integer::literal(n->value), Integer::literal(n->value)};
}

std::optional<Dispatch_protocol> find_dispatch_protocol(const Component& c) {
  const Property_association* a = find_property(c.properties, "Dispatch_Protocol");
  if (!a) return std::nullopt;
  const std::string text = single_enum_text(*a, "Dispatch_Protocol");
  for (const char* known : {"Periodic", "Aperiodic", "Sporadic", "Background"})
    if (text == known) return string_to_dispatch_protocol(text);
  fail_located("*** " + text + " is not a valid dispatch protocol.", location_of(a->pos),
               "property Dispatch_Protocol: " + text + " is not a dispatch protocol; write Periodic, Aperiodic, "
               "Sporadic or Background");
}

const Property_association* find_association(const std::vector<Property_association>& props, std::string_view name,
                                             const std::optional<Ident>& applies_to) {
  for (const auto& a : props)
    if (is_property(a, name) && a.applies_to == applies_to) return &a;
  return nullptr;
}

std::optional<long long> single_integer(const Property_association& a) {
  const C_int* n = a.values.size() == 1 ? as_int_constant(a.values.front()) : nullptr;
  return n ? std::optional<long long>(n->value) : std::nullopt;
}

std::string enumeration_text(const Property_association& a) { return single_enum_text(a, to_string(a.name)); }

namespace {

struct Base_type {
  std::string_view name;
  std::string_view lustre;
};
constexpr Base_type base_types[] = {
    {"Integer", "int"},     {"Integer_8", "int"},  {"Integer_16", "int"}, {"Integer_32", "int"},
    {"Integer_64", "int"},  {"Unsigned_8", "int"}, {"Unsigned_16", "int"}, {"Unsigned_32", "int"},
    {"Unsigned_64", "int"}, {"Natural", "int"},    {"Float", "real"},     {"Float_32", "real"},
    {"Float_64", "real"},   {"Boolean", "bool"},
};

const Base_type* find_base_type(std::string_view name) {
  for (const auto& t : base_types)
    if (same_name(t.name, name)) return &t;
  return nullptr;
}

}  // namespace

std::optional<std::string> base_types_lustre_type(std::string_view type_name) {
  const Base_type* t = find_base_type(type_name);
  return t ? std::optional<std::string>(t->lustre) : std::nullopt;
}

std::optional<std::string> base_types_name(std::string_view type_name) {
  const Base_type* t = find_base_type(type_name);
  return t ? std::optional<std::string>(t->name) : std::nullopt;
}

std::optional<std::string> data_representation_type(const Component& c) {
  for (const auto& a : c.properties) {
    if (a.applies_to || !same_name(a.name.last(), "Data_Representation") || a.values.size() != 1) continue;
    const auto* e = std::get_if<Pv_enum>(&a.values.front());
    if (!e) return std::nullopt;
    const std::string_view v = e->literal.last();
    if (same_name(v, "Integer")) return "int";
    if (same_name(v, "Float") || same_name(v, "Fixed")) return "real";
    if (same_name(v, "Boolean")) return "bool";
    return std::nullopt;
  }
  return std::nullopt;
}

Dispatch_protocol string_to_dispatch_protocol(const std::string& text) {
  if (text == "Periodic") return Dispatch_protocol::Periodic;
  if (text == "Aperiodic") return Dispatch_protocol::Aperiodic;
  if (text == "Sporadic") return Dispatch_protocol::Sporadic;
  if (text == "Background") return Dispatch_protocol::Background;
  fail("*** " + text + " is not a valid dispatch protocol.");
}

std::vector<Processor_binding> get_processor_binding(const Component& c) {
  std::vector<const Property_association*> bindings;
  for (const auto& a : c.properties)
    if (is_property(a, "Actual_Processor_Binding")) bindings.push_back(&a);
  if (bindings.empty()) return {};
  std::unordered_set<Ident> subcomponents;
  for (const auto& s : c.subcomponents) subcomponents.insert(s.name);
  std::vector<Processor_binding> result;
  result.reserve(bindings.size());
  // Checked in the associations' order (the first faulty one is the one
  // reported), listed last first.
  for (const Property_association* it : bindings) {
    const Property_association& a = *it;
    if (a.values.empty()) bad_property(a, "give the processor, as reference (cpu)");
    const auto* p = std::get_if<Pv_reference>(&a.values.front());
    if (p == nullptr) bad_property(a, "the value must be a reference to a processor, such as reference (cpu)");
    if (!a.applies_to) bad_property(a, "say which sub-component it binds (applies to ...)");
    const Ident& t = *a.applies_to;
    if (!subcomponents.count(t))
      bad_property(a, aadl_name(c.name) + " has no sub-component " + aadl_name(t) + " to bind");
    result.push_back({p->element, {t, c.name}});
  }
  std::reverse(result.begin(), result.end());
  return result;
}

std::optional<Access_mode> find_required_access_mode(const std::vector<Property_association>& props) {
  const Property_association* a = find_property(props, "Required_Access");
  if (!a) return std::nullopt;
  return access_mode_of(*a, "Required_Access");
}

std::optional<Access_mode> find_provided_access_mode(const std::vector<Property_association>& props) {
  const Property_association* a = find_property(props, "Provided_Access");
  if (!a) return std::nullopt;
  return access_mode_of(*a, "Provided_Access");
}

Access_mode string_to_access_mode(const std::string& text) {
  if (text == "read") return Access_mode::Read;
  if (text == "write") return Access_mode::Write;
  if (text == "read_write") return Access_mode::Read_write;
  if (text == "by_method") return Access_mode::By_method;
  internal_error("invalid access mode \"" + text + "\"");
}

// ---- reading property values ------------------------------------------------

namespace {
// Strips a leading '+' and tells whether the text is then an optional '-'
// followed by a digit (or by a '.' when allowed): a plain decimal number.
bool starts_as_number(std::string_view& text, bool allow_point) {
  bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  std::string_view body = !plus && !text.empty() && text.front() == '-' ? text.substr(1) : text;
  if (body.empty()) return false;
  unsigned char c = static_cast<unsigned char>(body.front());
  return std::isdigit(c) || (allow_point && c == '.');
}
}  // namespace

std::optional<long long> read_decimal_integer(std::string_view text) {
  if (!starts_as_number(text, false)) return std::nullopt;
  long long n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

std::optional<double> read_real(std::string_view text) {
  // Only plain decimal notation: no "inf", "nan" or hexadecimal forms.
  if (!starts_as_number(text, true)) return std::nullopt;
  double x = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return x;
}

namespace {

// An unreadable value: an error that the reader locates.
[[noreturn]] void bad_value(std::string what) { fail_at(std::nullopt, std::move(what)); }

std::string_view required_text(const std::optional<std::string_view>& text, std::string_view kind) {
  if (!text) bad_value(std::string(kind) + " without value");
  return *text;
}

// Integer written as a name: converted like a name, printed back, then read.
long long aadl_ident_opt_to_int(const std::optional<std::string_view>& text, const Name_conversion& name_of) {
  std::string printed = to_string(name_of(required_text(text, "IntegerValue")));
  auto n = read_decimal_integer(printed);
  if (!n) bad_value("value \"" + printed + "\" is not an integer");
  return *n;
}

long long to_int(std::string_view text) {
  auto n = read_decimal_integer(text);
  if (!n) bad_value("value \"" + std::string(text) + "\" is not an integer");
  return *n;
}

double to_real(std::string_view text) {
  auto x = read_real(text);
  if (!x) bad_value("value \"" + std::string(text) + "\" is not a real number");
  return *x;
}

std::optional<Ident> unit_of(const std::optional<std::string_view>& unit, const Name_conversion& name_of) {
  if (!unit) return std::nullopt;
  return name_of(*unit);
}

Ident ident_or_unknown(const std::optional<std::string_view>& text, const Name_conversion& name_of) {
  return text ? name_of(*text) : Ident("unknown_enum_value");
}

const Aaxl_bound& bound(const std::optional<Aaxl_bound>& b, std::string_view which) {
  if (!b) bad_value("range value without " + std::string(which));
  return *b;
}

// The two bounds of a range, each value read with `read`.
template <class Bound, class Read>
std::pair<Bound, Bound> parse_minmax(const Aaxl_property_value& v, const Name_conversion& name_of, Read read) {
  const Aaxl_bound& lo = bound(v.minimum, "minimum");
  const Aaxl_bound& hi = bound(v.maximum, "maximum");
  return {Bound{read(lo.value), unit_of(lo.unit_literal, name_of)},
          Bound{read(hi.value), unit_of(hi.unit_literal, name_of)}};
}

std::pair<Int_bound, Int_bound> parse_minmax_int(const Aaxl_property_value& v, const Name_conversion& name_of) {
  return parse_minmax<Int_bound>(v, name_of, to_int);
}

std::pair<Real_bound, Real_bound> parse_minmax_real(const Aaxl_property_value& v, const Name_conversion& name_of) {
  return parse_minmax<Real_bound>(v, name_of, to_real);
}

Property_value constant(Property_constant c) { return Pv_expression{Pe_constant{std::move(c)}}; }

}  // namespace

Property_value parse_property_expression(const Aaxl_property_value& v) {
  return parse_property_expression(v, [](std::string_view text) { return aaxl_string_to_ident(text); });
}

Property_value parse_property_expression(const Aaxl_property_value& v, const Name_conversion& name_of) {
  std::string_view kind = v.type;
  if (auto colon = kind.rfind(':'); colon != std::string_view::npos) kind.remove_prefix(colon + 1);

  if (kind == "IntegerValue") return constant(C_int{aadl_ident_opt_to_int(v.value, name_of), unit_of(v.unit_literal, name_of)});
  if (kind == "RealValue") return constant(C_real{to_real(required_text(v.value, "RealValue")), unit_of(v.unit_literal, name_of)});
  if (kind == "StringValue")
    return constant(C_string{to_string(name_of(required_text(v.value, "StringValue")))});
  if (kind == "BooleanValue") {
    // true or false in any case; any other text stops the run as before.
    if (v.value) {
      std::string text(*v.value);
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (text == "true" || text == "false") return constant(C_bool{text == "true"});
      bad_value("boolean value \"" + std::string(*v.value) + "\": write true or false");
    }
    bad_value("boolean value without its text: write true or false");
  }
  if (kind == "EnumValue") return Pv_enum{ident_or_unknown(v.enum_literal, name_of)};
  if (kind == "ReferenceValue") return Pv_reference{ident_or_unknown(v.reference_element, name_of)};
  if (kind == "IntegerRangeValue") {
    auto [lo, hi] = parse_minmax_int(v, name_of);
    return Pv_int_range{std::move(lo), std::move(hi), opt_map(to_int, v.delta)};
  }
  if (kind == "RealRangeValue") {
    auto [lo, hi] = parse_minmax_real(v, name_of);
    return Pv_real_range{std::move(lo), std::move(hi), opt_map(to_real, v.delta)};
  }
  bad_value("unknown property value kind \"" + std::string(v.type) + "\"");
}

}  // namespace vorquel
