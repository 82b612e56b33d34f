#include "aadl/time_units.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "aadl/aadl_text_reader.hpp"
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

// What a Lustre int holds on the usual targets (32 bits).
constexpr long long largest_lustre_int = 2147483647;

// The shortest decimal that gives back a real number: what the model wrote,
// as digits * 10^exponent (the sign aside).
struct Decimal {
  unsigned long long digits;
  int exponent;
};

Decimal decimal_of(double x) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(x), std::chars_format::scientific);
  (void)ec;
  *end = '\0';
  Decimal d{0, 0};
  const char* p = text;
  for (; *p != 'e'; ++p) {
    if (*p == '.') continue;
    d.digits = d.digits * 10 + static_cast<unsigned>(*p - '0');
    if (p != text) --d.exponent;
  }
  d.exponent += std::atoi(p + 1);
  return d;
}

// A real time value as a count of ps, exact when the decimal the model
// wrote is a whole number of ps, rounded to the nearest one otherwise.
struct Ps_count {
  long long ps;
  bool exact;
};

// nullopt when the count does not fit in 64 bits.
std::optional<Ps_count> real_in_ps(double value, const Time_unit& unit) {
  if (!std::isfinite(value) || std::fabs(value) * static_cast<double>(unit.ps) >= 9.2e18) return std::nullopt;
  const bool negative = value < 0;
  if (std::fabs(value) * static_cast<double>(unit.ps) < 0.5) return Ps_count{0, value == 0};
  const Decimal d = decimal_of(value);
  // Within those bounds, digits * unit * 10^exponent and 10^-exponent stay
  // below 10^33.
  __int128 n = static_cast<__int128>(d.digits) * unit.ps;
  bool exact = true;
  if (d.exponent >= 0) {
    for (int i = 0; i < d.exponent; ++i) n *= 10;
  } else {
    __int128 scale = 1;
    for (int i = 0; i < -d.exponent; ++i) scale *= 10;
    const __int128 rest = n % scale;
    n /= scale;
    exact = rest == 0;
    if (2 * rest >= scale) ++n;
  }
  const long long ps = static_cast<long long>(n);
  return Ps_count{negative ? -ps : ps, exact};
}

std::string real_text(double x) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, x);
  (void)ec;
  return std::string(text, end);
}

// The next finer standard time unit (ps has none).
const Time_unit& finer(const Time_unit& u) {
  for (std::size_t i = 1; i < time_units.size(); ++i)
    if (&time_units[i] == &u) return time_units[i - 1];
  return u;
}

}  // namespace

const Time_unit* find_time_unit(const Ident& unit) {
  if (!unit.is_simple()) return nullptr;
  for (const auto& u : time_units)
    if (same_text_ignoring_case(unit.head(), u.name)) return &u;
  return nullptr;
}

namespace {

// Real numbers of textual models become whole ticks; the interchange form
// keeps its reading of them (the scale only).
bool converts_reals(const Property_association& a) { return read_from_text(a.pos); }

// A real range whose bounds both carry a time unit.
bool timed(const Pv_real_range& r) {
  return r.min.unit && r.max.unit && find_time_unit(*r.min.unit) && find_time_unit(*r.max.unit);
}

// Every real of a textual time value, with its unit (a time unit).
template <class F>
void each_real_time(const Property_association& a, F f) {
  for (const auto& v : a.values) {
    if (const auto* e = std::get_if<Pv_expression>(&v)) {
      if (const auto* r = std::get_if<C_real>(&e->expression.constant))
        if (const Time_unit* u = r->unit ? find_time_unit(*r->unit) : nullptr) f(r->value, *r->unit, *u);
    } else if (const auto* r = std::get_if<Pv_real_range>(&v); r && timed(*r)) {
      f(r->min.value, *r->min.unit, *find_time_unit(*r->min.unit));
      f(r->max.value, *r->max.unit, *find_time_unit(*r->max.unit));
    }
  }
}

// The count of ticks of a real time value.
long long real_in_ticks(const Property_association& a, const std::string& where, double value, const Ident& unit,
                        const Time_unit& u, const Time_unit& tick) {
  const std::optional<Ps_count> n = real_in_ps(value, u);
  if (!n)
    time_error(a, where, to_string(a.name) + " value " + real_text(value) + " " + to_string(unit) +
                             " is too large to count in ps.");
  return n->ps / tick.ps;
}

// Real time values of textual models as whole ticks.
void convert_reals(Property_association& a, const std::string& where, const Time_unit& tick) {
  const Ident tick_name = Ident::simple(tick.name);
  for (auto& v : a.values) {
    if (auto* e = std::get_if<Pv_expression>(&v)) {
      const auto* r = std::get_if<C_real>(&e->expression.constant);
      const Time_unit* u = r && r->unit ? find_time_unit(*r->unit) : nullptr;
      if (u) e->expression.constant = C_int{real_in_ticks(a, where, r->value, *r->unit, *u, tick), tick_name};
    } else if (auto* r = std::get_if<Pv_real_range>(&v); r && timed(*r)) {
      std::optional<long long> delta;
      if (r->delta) delta = std::llround(*r->delta);  // kept for the message that refuses it
      const long long lo = real_in_ticks(a, where, r->min.value, *r->min.unit, *find_time_unit(*r->min.unit), tick);
      const long long hi = real_in_ticks(a, where, r->max.value, *r->max.unit, *find_time_unit(*r->max.unit), tick);
      v = Pv_int_range{{lo, tick_name}, {hi, tick_name}, delta};
    }
  }
}

// The tick: the finest time unit that the Period and
// Compute_Execution_Time values use, or finer until every real value of a
// textual model is a whole number of it (at ps, they are rounded).
const Time_unit* choose_tick(Model& model) {
  const Time_unit* finest = nullptr;
  // Only the times the scheduler counts choose the tick: a processor's
  // Clock_Period in ns must not make a model of periods in ms count in ns.
  each_association(model, [&](Property_association& a, const std::string&) {
    if (!is_scheduling_time(a)) return;
    each_number(a, [&](auto, const std::optional<Ident>& unit) {
      const Time_unit* u = unit ? find_time_unit(*unit) : nullptr;
      if (u != nullptr && (finest == nullptr || u->ps < finest->ps)) finest = u;
    });
  });
  if (finest == nullptr) return nullptr;
  const Time_unit* tick = finest;
  each_association(model, [&](Property_association& a, const std::string&) {
    if (!is_scheduling_time(a) || !converts_reals(a)) return;
    each_real_time(a, [&](double value, const Ident&, const Time_unit& u) {
      const std::optional<Ps_count> n = real_in_ps(value, u);
      // Too large: said when converted.
      while (n && tick->ps > 1 && (!n->exact || n->ps % tick->ps != 0)) tick = &finer(*tick);
    });
  });
  return tick;
}

// A Period or execution time whose count of ticks a Lustre int cannot hold
// on the usual targets: one warning per association, at its first such
// value. `written` is the value as the model gives it.
void warn_if_too_large(const Property_association& a, const std::string& where, const std::string& written,
                       const std::optional<Time_unit>& tick, std::vector<Diagnostic>& warnings) {
  for (const auto& v : a.values) {
    std::optional<long long> largest;
    if (const auto* e = std::get_if<Pv_expression>(&v)) {
      if (const auto* i = std::get_if<C_int>(&e->expression.constant)) largest = std::llabs(i->value);
    } else if (const auto* r = std::get_if<Pv_int_range>(&v)) {
      largest = std::max(std::llabs(r->min.value), std::llabs(r->max.value));
    }
    if (!largest || *largest <= largest_lustre_int) continue;
    const std::string ticks = std::to_string(*largest) + " ticks" + (tick ? " of 1 " + std::string(tick->name) : "");
    const std::string text = where + ": " + to_string(a.name) + " " + written + " is " + ticks +
                             ", more than a Lustre int holds on the usual targets (" +
                             std::to_string(largest_lustre_int) + ")";
    warnings.push_back(make_warning(text, location_of(a.pos)));
    return;
  }
}

// The values of an association as the model wrote them ("3 sec",
// "0.5 ms .. 1.5 ms").
std::string written_values(const Property_association& a) {
  auto bound = [](auto value, const std::optional<Ident>& unit) {
    std::string s;
    if constexpr (std::is_integral_v<decltype(value)>) s = std::to_string(value);
    else s = real_text(value);
    return unit ? s + " " + to_string(*unit) : s;
  };
  std::string text;
  for (const auto& v : a.values) {
    if (!text.empty()) text += ", ";
    if (const auto* e = std::get_if<Pv_expression>(&v)) {
      if (const auto* i = std::get_if<C_int>(&e->expression.constant)) text += bound(i->value, i->unit);
      else if (const auto* r = std::get_if<C_real>(&e->expression.constant)) text += bound(r->value, r->unit);
    } else if (const auto* r = std::get_if<Pv_int_range>(&v)) {
      text += bound(r->min.value, r->min.unit) + " .. " + bound(r->max.value, r->max.unit);
    } else if (const auto* r = std::get_if<Pv_real_range>(&v)) {
      text += bound(r->min.value, r->min.unit) + " .. " + bound(r->max.value, r->max.unit);
    }
  }
  return text;
}

// A Deadline in ticks when it is a whole number of them, so that it
// compares with its Period; left as written otherwise (a Deadline does not
// choose the tick).
void convert_deadline(Property_association& a, const Time_unit& tick) {
  for (auto& v : a.values) {
    auto* e = std::get_if<Pv_expression>(&v);
    if (e == nullptr) continue;
    auto& c = e->expression.constant;
    if (auto* i = std::get_if<C_int>(&c)) {
      const Time_unit* u = i->unit ? find_time_unit(*i->unit) : nullptr;
      long long scaled;
      if (u && u->ps >= tick.ps && !__builtin_mul_overflow(i->value, u->ps / tick.ps, &scaled))
        c = C_int{scaled, Ident::simple(tick.name)};
    } else if (auto* r = std::get_if<C_real>(&c); r && converts_reals(a)) {
      const Time_unit* u = r->unit ? find_time_unit(*r->unit) : nullptr;
      const std::optional<Ps_count> n = u ? real_in_ps(r->value, *u) : std::nullopt;
      if (n && n->exact && n->ps % tick.ps == 0) c = C_int{n->ps / tick.ps, Ident::simple(tick.name)};
    }
  }
}

}  // namespace

std::optional<Time_unit> convert_time_units(Model& model, std::vector<Diagnostic>& warnings) {
  const Time_unit* tick_unit = choose_tick(model);
  const std::optional<Time_unit> tick = tick_unit ? std::optional<Time_unit>(*tick_unit) : std::nullopt;
  each_association(model, [&](Property_association& a, const std::string& where) {
    if (tick_unit && is_named(a, "Deadline")) convert_deadline(a, *tick_unit);
    if (!is_scheduling_time(a)) return;
    const std::string written = written_values(a);
    if (tick_unit) {
      const Ident tick_name = Ident::simple(tick_unit->name);
      if (converts_reals(a)) convert_reals(a, where, *tick_unit);
      each_number(a, [&](auto& value, std::optional<Ident>& unit) {
        const Time_unit* u = unit ? find_time_unit(*unit) : nullptr;
        if (u == nullptr || u == tick_unit) return;
        const long long factor = u->ps / tick_unit->ps;
        if constexpr (std::is_integral_v<std::decay_t<decltype(value)>>) {
          long long scaled;
          if (__builtin_mul_overflow(value, factor, &scaled))
            time_error(a, where, to_string(a.name) + " value " + with_unit(value, unit) + " is too large in " +
                                     tick_unit->name + ", the finest time unit of the model.");
          value = scaled;
        } else {
          value *= static_cast<double>(factor);
        }
        unit = tick_name;
      });
    }
    check_times(a, where);
    warn_if_too_large(a, where, written, tick, warnings);
  });
  return tick;
}

}  // namespace vorquel
