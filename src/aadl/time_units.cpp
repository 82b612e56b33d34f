#include "aadl/time_units.hpp"

#include <array>
#include <cctype>
#include <functional>

#include "base/diagnostics.hpp"

namespace vorquel {

namespace {

constexpr std::array<Time_unit, 7> time_units{{
    {"ps", 1LL},
    {"ns", 1000LL},
    {"us", 1000000LL},
    {"ms", 1000000000LL},
    {"sec", 1000000000000LL},
    {"min", 60000000000000LL},
    {"hr", 3600000000000000LL},
}};

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Calls f on every property association of a declaration, with the AADL
// name of the element that holds it ("K::T.i", "K::T.i t1").
using Visit = std::function<void(Property_association&, const std::string& where)>;

std::string aadl_name(const Ident& package, const Ident& name) { return aadl_name(package) + "::" + aadl_name(name); }

void each_association(const Ident& package, Declaration& d, const Visit& f) {
  auto all = [&](std::vector<Property_association>& props, const std::string& where) {
    for (auto& a : props) f(a, where);
  };
  if (auto* c = std::get_if<Component>(&d)) {
    const std::string name = aadl_name(package, c->name);
    all(c->properties, name);
    for (auto& x : c->features) all(x.properties, name + " feature " + to_string(x.name));
    for (auto& x : c->subcomponents) all(x.properties, name + " sub-component " + to_string(x.name));
    for (auto& s : c->call_sequences)
      for (auto& x : s.calls) all(x.properties, name + " call " + to_string(x.name));
    for (auto& x : c->connections) all(x.properties, name + " connection");
  } else {
    auto& g = std::get<Port_group>(d);
    const std::string name = aadl_name(package, g.name);
    for (auto& x : g.features) all(x.properties, name + " feature " + to_string(x.name));
  }
}

void each_association(Model& model, const Visit& f) {
  for (auto& p : model) {
    for (auto& d : p.public_part) each_association(p.name, d, f);
    for (auto& d : p.private_part) each_association(p.name, d, f);
  }
}

// Every (value, unit) pair of one association.
template <class F>
void each_number(Property_association& a, F f) {
  for (auto& v : a.values) {
    if (auto* e = std::get_if<Pv_expression>(&v)) {
      if (auto* i = std::get_if<C_int>(&e->expression.constant)) f(i->value, i->unit);
      else if (auto* r = std::get_if<C_real>(&e->expression.constant)) f(r->value, r->unit);
    } else if (auto* r = std::get_if<Pv_int_range>(&v)) {
      f(r->min.value, r->min.unit);
      f(r->max.value, r->max.unit);
    } else if (auto* r = std::get_if<Pv_real_range>(&v)) {
      f(r->min.value, r->min.unit);
      f(r->max.value, r->max.unit);
    }
  }
}

// Located at the association.
[[noreturn]] void time_error(const Property_association& a, const std::string& where, const std::string& what) {
  fail_located("*** Error: " + where + ": " + what + "\n", location_of(a.pos), where + ": " + what);
}

bool is_named(const Property_association& a, std::string_view name) {
  return a.name.is_simple() && a.name.head() == name;
}

// The properties whose values become ticks of the generated scheduler.
bool is_scheduling_time(const Property_association& a) {
  return is_named(a, "Period") || is_named(a, "Compute_Execution_Time");
}

std::string with_unit(long long n, const std::optional<Ident>& unit) {
  return std::to_string(n) + (unit ? " " + to_string(*unit) : "");
}

// Periods above 0; execution times not negative, ranges in order.
void check_times(const Property_association& a, const std::string& where) {
  if (a.values.empty()) return;
  const auto* e = std::get_if<Pv_expression>(&a.values.front());
  const C_int* n = e ? std::get_if<C_int>(&e->expression.constant) : nullptr;
  if (is_named(a, "Period")) {
    if (n && n->value <= 0) time_error(a, where, "Period is " + with_unit(n->value, n->unit) + "; a period must be above 0.");
  } else if (is_named(a, "Compute_Execution_Time")) {
    if (n && n->value < 0)
      time_error(a, where, "Compute_Execution_Time is " + with_unit(n->value, n->unit) + "; an execution time cannot be negative.");
    if (const auto* r = std::get_if<Pv_int_range>(&a.values.front())) {
      const std::string range = with_unit(r->min.value, r->min.unit) + " .. " + with_unit(r->max.value, r->max.unit);
      if (r->min.value < 0 || r->max.value < 0)
        time_error(a, where, "Compute_Execution_Time is " + range + "; an execution time cannot be negative.");
      if (r->min.value > r->max.value)
        time_error(a, where, "Compute_Execution_Time is " + range + "; its minimum is above its maximum.");
    }
  }
}

}  // namespace

const Time_unit* find_time_unit(const Ident& unit) {
  if (!unit.is_simple()) return nullptr;
  for (const auto& u : time_units)
    if (same_text_ignoring_case(unit.head(), u.name)) return &u;
  return nullptr;
}

std::optional<Time_unit> convert_time_units(Model& model) {
  const Time_unit* finest = nullptr;
  bool several = false;
  // Only the times the scheduler counts choose the tick: a processor's
  // Clock_Period in ns must not make a model of periods in ms count in ns.
  each_association(model, [&](Property_association& a, const std::string&) {
    if (!is_scheduling_time(a)) return;
    each_number(a, [&](auto, const std::optional<Ident>& unit) {
      const Time_unit* u = unit ? find_time_unit(*unit) : nullptr;
      if (u == nullptr) return;
      if (finest != nullptr && u != finest) several = true;
      if (finest == nullptr || u->ps < finest->ps) finest = u;
    });
  });
  const Ident tick = Ident::simple(finest ? finest->name : "ps");
  each_association(model, [&](Property_association& a, const std::string& where) {
    if (several && is_scheduling_time(a)) {
      each_number(a, [&](auto& value, std::optional<Ident>& unit) {
        const Time_unit* u = unit ? find_time_unit(*unit) : nullptr;
        if (u == nullptr || u == finest) return;
        const long long factor = u->ps / finest->ps;
        if constexpr (std::is_integral_v<std::decay_t<decltype(value)>>) {
          long long scaled;
          if (__builtin_mul_overflow(value, factor, &scaled))
            time_error(a, where, to_string(a.name) + " value " + with_unit(value, unit) + " is too large in " +
                                  finest->name + ", the finest time unit of the model.");
          value = scaled;
        } else {
          value *= static_cast<double>(factor);
        }
        unit = tick;
      });
    }
    check_times(a, where);
  });
  if (finest == nullptr) return std::nullopt;
  return *finest;
}

}  // namespace vorquel
