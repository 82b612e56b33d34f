#include <gtest/gtest.h>

#include "aadl/time_units.hpp"
#include "loader_test_util.hpp"

namespace vorquel::testing {
namespace {

Int_bound bound(long long n, const char* unit) {
  return {n, unit ? std::optional<Ident>(Ident(unit)) : std::nullopt};
}
Property_association period(long long n, const char* unit) {
  return {Ident("Period"), {Pv_expression{Pe_constant{C_int{n, bound(n, unit).unit}}}}, std::nullopt};
}
Property_association cet(long long lo, const char* lo_unit, long long hi, const char* hi_unit) {
  return {Ident("Compute_Execution_Time"), {Pv_int_range{bound(lo, lo_unit), bound(hi, hi_unit), std::nullopt}},
          std::nullopt};
}

// Real values read from a textual model, or (at no position) from the
// interchange form.
const Source_pos text_pos{std::make_shared<const std::string>("m.aadl"), 2, 3};
Property_association real_period(double x, const char* unit, Source_pos at = text_pos) {
  return {Ident("Period"), {Pv_expression{Pe_constant{C_real{x, Ident(unit)}}}}, std::nullopt, std::move(at)};
}
Property_association real_cet(double lo, double hi, const char* unit) {
  return {Ident("Compute_Execution_Time"), {Pv_real_range{{lo, Ident(unit)}, {hi, Ident(unit)}, std::nullopt}},
          std::nullopt, text_pos};
}

Model thread_model(std::vector<Property_association> props) {
  Component c{of_string("T"), Component_kind::Type, Category::Thread, std::nullopt, {}, std::nullopt, {}, {}, {}, {},
              false};
  c.properties = std::move(props);
  return {Package{Ident("K"), {Declaration(std::move(c))}, {}}};
}

// "tick: values" after conversion and the warnings, or the failure text.
std::string converted(std::vector<Property_association> props) {
  Model m = thread_model(std::move(props));
  std::string r;
  auto o = capture([&] {
    std::vector<Diagnostic> warnings;
    const auto tick = convert_time_units(m, warnings);
    r = tick ? tick->name : "none";
    r += ":";
    for (const auto& a : std::get<Component>(m.front().public_part.front()).properties) {
      if (const auto* e = std::get_if<Pv_expression>(&a.values.front())) {
        if (const auto* x = std::get_if<C_real>(&e->expression.constant)) {
          r += " real " + std::to_string(x->value) + x->unit->str();
          continue;
        }
        const auto& i = std::get<C_int>(e->expression.constant);
        r += " " + std::to_string(i.value) + (i.unit ? i.unit->str() : "");
      } else {
        const auto& x = std::get<Pv_int_range>(a.values.front());
        r += " " + std::to_string(x.min.value) + (x.min.unit ? x.min.unit->str() : "") + ".." +
             std::to_string(x.max.value) + (x.max.unit ? x.max.unit->str() : "");
      }
    }
    for (const auto& w : warnings) r += " | " + (w.location ? location_text(*w.location) + ": " : "") + w.text;
  });
  return o.ending == Ending::Ok ? r : o.message;
}

TEST(TimeUnits, ConvertedToTheFinestUnitOfTheModel) {
  struct Case {
    const char* what;
    std::vector<Property_association> props;
    std::string expected;
  } cases[] = {
      {"no unit", {period(10, nullptr), cet(1, nullptr, 3, nullptr)}, "none: 10 1..3"},
      {"one unit is left as written", {period(10, "ms"), cet(1, nullptr, 3, nullptr)}, "ms: 10ms 1..3"},
      {"sec and ms", {period(1, "sec"), cet(1, "ms", 3, "ms")}, "ms: 1000ms 1ms..3ms"},
      {"case-insensitive units", {period(2, "Ms"), cet(5, "US", 7, "us")}, "us: 2000us 5US..7us"},
      {"other time values do not choose the tick",
       {period(10, "ms"), cet(1, "ms", 2, "ms"), {Ident("Clock_Period"), {Pv_expression{Pe_constant{C_int{200, Ident("ns")}}}}, std::nullopt}},
       "ms: 10ms 1ms..2ms 200ns"},
      {"an hour in ps, more than a Lustre int", {period(1, "hr"), cet(1, "ps", 1, "ps")}, "ps: 3600000000000000ps 1ps..1ps | K::T: Period 1 hr is 3600000000000000 ticks of 1 ps, more than a Lustre int "
       "holds on the usual targets (2147483647)"},
      {"period 0", {period(0, "ms")}, "*** Error: K::T: Period is 0 ms; a period must be above 0.\n"},
      {"negative period after conversion", {period(-1, "sec"), cet(1, "ms", 2, "ms")},
       "*** Error: K::T: Period is -1000 ms; a period must be above 0.\n"},
      {"min above max", {period(10, nullptr), cet(3, nullptr, 1, nullptr)},
       "*** Error: K::T: Compute_Execution_Time is 3 .. 1; its minimum is above its maximum.\n"},
      {"negative bound", {period(10, nullptr), cet(-1, nullptr, 1, nullptr)},
       "*** Error: K::T: Compute_Execution_Time is -1 .. 1; an execution time cannot be negative.\n"},
      {"a deadline follows the tick",
       {period(10, "ms"), cet(1, "us", 2, "us"), {Ident("Deadline"), {Pv_expression{Pe_constant{C_int{10, Ident("ms")}}}}, std::nullopt}},
       "us: 10000us 1us..2us 10000us"},
      {"reals go finer until whole", {real_period(0.04, "sec"), real_cet(0.5, 1.5, "ms")}, "us: 40000us 500us..1500us"},
      {"whole reals in one unit", {real_period(40.0, "ms"), real_cet(1, 2, "ms")}, "ms: 40ms 1ms..2ms"},
      {"reals as written, not as stored", {real_period(3.3, "hr"), cet(1, "ms", 2, "ms")}, "ms: 11880000ms 1ms..2ms"},
      {"rounded at ps", {real_period(1, "ms"), real_cet(0.0015, 0.0025, "ns")}, "ps: 1000000000ps 2ps..3ps"},
      {"reals of the interchange form keep their reading", {real_period(0.5, "ms", {}), cet(1, "us", 2, "us")},
       "us: real 500.000000us 1us..2us"},
      {"overflow", {period(9000000, "hr"), cet(1, "ps", 1, "ps")},
       "*** Error: K::T: Period value 9000000 hr is too large in ps, the finest time unit of the model.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(converted(c.props), c.expected);
  }
}

}  // namespace
}  // namespace vorquel::testing
