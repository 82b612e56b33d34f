#include <gtest/gtest.h>

#include "aadl/property.hpp"
#include "base/util.hpp"
#include "loader_test_util.hpp"

namespace vorquel::testing {
namespace {

Property_value int_value(long long n, std::optional<Ident> unit = std::nullopt) {
  return Pv_expression{Pe_constant{C_int{n, std::move(unit)}}};
}
Property_value real_value(double x) { return Pv_expression{Pe_constant{C_real{x, std::nullopt}}}; }
Property_value enum_value(const std::string& s) { return Pv_enum{Ident(s)}; }
Property_value ref_value(const std::string& s) { return Pv_reference{Ident(s)}; }
Property_value range(long long lo, long long hi, std::optional<long long> delta = std::nullopt) {
  return Pv_int_range{{lo, std::nullopt}, {hi, std::nullopt}, delta};
}

Property_association assoc(const std::string& name, std::vector<Property_value> values,
                           std::optional<std::string> applies_to = std::nullopt) {
  return {of_string(name), std::move(values), opt_map([](const std::string& s) { return of_string(s); }, applies_to)};
}

Component thread(std::vector<Property_association> props, const std::string& name = "T") {
  Component c{of_string(name), Component_kind::Type, Category::Thread, std::nullopt, {}, std::nullopt, {}, {}, {}, {},
              false};
  c.properties = std::move(props);
  return c;
}

std::string show_integer(const Integer& i) { return i.named ? "named " + i.name.str() : std::to_string(i.value); }

// The value shown, or "not found" when absent.
template <class T, class Show>
std::string shown(const std::optional<T>& v, Show show) {
  return v ? show(*v) : "not found";
}
std::string show_enum(auto v) { return std::to_string(static_cast<int>(v)); }

template <class F>
std::string result_of(F f) {
  std::string r;
  auto o = capture([&] { r = f(); });
  switch (o.ending) {
    case Ending::Ok: return r;
    case Ending::Not_found: return "not found";
    case Ending::Internal: return "internal";
    // A malformed association: a user error that names the property.
    case Ending::Failure:
      return o.message.rfind("*** Error: property ", 0) == 0 ? "error" : "failure: " + o.message;
    default: return "other";
  }
}

TEST(Property, Period) {
  struct Case {
    const char* what;
    std::vector<Property_association> props;
    std::string expected;
  } cases[] = {
      {"a number with a unit", {assoc("Period", {int_value(10, Ident("ms"))})}, "10"},
      {"the first of two", {assoc("Other", {}), assoc("Period", {int_value(5)}), assoc("Period", {int_value(7)})}, "5"},
      {"absent", {assoc("period", {int_value(5)}), assoc("K::Period", {int_value(5)})}, "not found"},
      {"no value", {assoc("Period", {})}, "error"},
      {"two values", {assoc("Period", {int_value(1), int_value(2)})}, "error"},
      {"a range", {assoc("Period", {range(1, 2)})}, "error"},
      {"a real", {assoc("Period", {real_value(1.5)})}, "error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(result_of([&] { return shown(find_period(thread(c.props)), show_integer); }), c.expected) << c.what;
    EXPECT_EQ(result_of([&] { return shown(find_period(c.props), show_integer); }), c.expected) << c.what;
  }
}

TEST(Property, ComputeExecutionTime) {
  struct Case {
    const char* what;
    std::vector<Property_association> props;
    std::string expected;
  } cases[] = {
      {"absent: named bounds", {}, "named _K__T_i_min_exec_time, named _K__T_i_max_exec_time"},
      {"a single number", {assoc("Compute_Execution_Time", {int_value(5, Ident("ms"))})}, "5, 5"},
      {"a range, values after the first ignored",
       {assoc("Compute_Execution_Time", {range(1, 3), real_value(2)}), assoc("Compute_Execution_Time", {range(4, 5)})},
       "1, 3"},
      {"a range with a delta", {assoc("Compute_Execution_Time", {range(1, 3, 1)})}, "error"},
      {"no value", {assoc("Compute_Execution_Time", {})}, "error"},
      {"a real", {assoc("Compute_Execution_Time", {real_value(1)})}, "error"},
      {"a real range",
       {assoc("Compute_Execution_Time", {Pv_real_range{{1, std::nullopt}, {2, std::nullopt}, std::nullopt}})},
       "error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(result_of([&] {
                auto [lo, hi] = get_compute_execution_time(thread(c.props, "K::T.i"));
                return show_integer(lo) + ", " + show_integer(hi);
              }),
              c.expected)
        << c.what;
}

TEST(Property, DispatchProtocol) {
  struct Case {
    std::vector<Property_association> props;
    std::string expected;
  } cases[] = {
      {{assoc("Dispatch_Protocol", {enum_value("Periodic")})}, "0"},
      {{assoc("Dispatch_Protocol", {enum_value("Aperiodic")})}, "1"},
      {{assoc("Dispatch_Protocol", {enum_value("Sporadic")}), assoc("Dispatch_Protocol", {enum_value("x")})}, "2"},
      {{assoc("Dispatch_Protocol", {enum_value("Background")})}, "3"},
      {{assoc("Dispatch_Protocol", {enum_value("periodic")})}, "failure: *** periodic is not a valid dispatch protocol."},
      {{assoc("Dispatch_Protocol", {enum_value("unknown_enum_value")})},
       "failure: *** unknown_enum_value is not a valid dispatch protocol."},
      {{}, "not found"},
      {{assoc("Dispatch_Protocol", {})}, "error"},
      {{assoc("Dispatch_Protocol", {enum_value("Periodic"), enum_value("Periodic")})}, "error"},
      {{assoc("Dispatch_Protocol", {ref_value("Periodic")})}, "error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(result_of([&] { return shown(find_dispatch_protocol(thread(c.props)), show_enum<Dispatch_protocol>); }),
              c.expected);
}

TEST(Property, ProcessorBinding) {
  auto system = [](std::vector<Property_association> props) {
    Component c = thread(std::move(props), "S.i");
    c.kind = Component_kind::Implementation;
    c.category = Category::System;
    for (const char* s : {"p1", "p2", "cpu"}) c.subcomponents.push_back({Ident(s), Category::Process, std::nullopt, {}});
    return c;
  };
  auto show_bindings = [](const std::vector<Processor_binding>& bs) {
    std::string s;
    for (const auto& [p, b] : bs) {
      const std::string process = show(p);
      s += "(" + process + ", " + show(b.first) + ", " + show(b.second) + ")";
    }
    return s;
  };
  const std::string binding = "Actual_Processor_Binding";
  struct Case {
    const char* what;
    std::vector<Property_association> props;
    std::string expected;
  } cases[] = {
      {"none", {assoc("Period", {int_value(1)})}, ""},
      {"reverse order, values after the first ignored",
       {assoc(binding, {ref_value("cpu")}, "p1"), assoc("Other", {}), assoc(binding, {ref_value("cpu2"), int_value(3)}, "p2")},
       "(cpu2, p2, S.i)(cpu, p1, S.i)"},
      {"an unknown bound element", {assoc(binding, {ref_value("cpu")}, "p3")}, "error"},
      {"no applies to", {assoc(binding, {ref_value("cpu")})}, "error"},
      {"not a reference", {assoc(binding, {enum_value("cpu")}, "p1")}, "error"},
      {"no value", {assoc(binding, {}, "p1")}, "error"},
      // The first faulty association in list order is the one reported.
      {"unknown element before a malformed one",
       {assoc(binding, {ref_value("cpu")}, "p3"), assoc(binding, {enum_value("cpu")}, "p1")}, "error"},
      {"malformed before an unknown element",
       {assoc(binding, {enum_value("cpu")}, "p1"), assoc(binding, {ref_value("cpu")}, "p3")}, "error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(result_of([&] { return show_bindings(get_processor_binding(system(c.props))); }), c.expected) << c.what;
}

TEST(Property, AccessModes) {
  struct Case {
    std::vector<Property_association> props;
    std::string required, provided;
  } cases[] = {
      {{assoc("Required_Access", {enum_value("read")}), assoc("Provided_Access", {enum_value("write")})}, "0", "1"},
      {{assoc("Provided_Access", {enum_value("read_write")}), assoc("Required_Access", {enum_value("by_method")})},
       "3", "2"},
      {{assoc("Required_Access", {enum_value("Read")})}, "error", "not found"},
      {{assoc("Required_Access", {}), assoc("Provided_Access", {int_value(1)})}, "error", "error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(result_of([&] { return shown(find_required_access_mode(c.props), show_enum<Access_mode>); }),
              c.required);
    EXPECT_EQ(result_of([&] { return shown(find_provided_access_mode(c.props), show_enum<Access_mode>); }),
              c.provided);
  }
}

TEST(Property, ReadsNumbers) {
  struct Case {
    const char* text;
    std::optional<long long> integer;
    std::optional<double> real;
  } cases[] = {
      {"42", 42, 42},
      {"-7", -7, -7},
      {"+3", 3, 3},
      {"007", 7, 7},
      {"9223372036854775807", 9223372036854775807LL, 9223372036854775807.0},
      {"9223372036854775808", std::nullopt, 9223372036854775808.0},
      {"1.5", std::nullopt, 1.5},
      {".5", std::nullopt, 0.5},
      {"-2.5e-1", std::nullopt, -0.25},
      {"1_000", std::nullopt, std::nullopt},
      {"0x10", std::nullopt, std::nullopt},
      {"+-1", std::nullopt, std::nullopt},
      {"--1", std::nullopt, std::nullopt},
      {" 1", std::nullopt, std::nullopt},
      {"1 ", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt},
      {"inf", std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt},
      {"1e999", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read_decimal_integer(c.text), c.integer) << c.text;
    EXPECT_EQ(read_real(c.text), c.real) << c.text;
  }
}

}  // namespace
}  // namespace vorquel::testing
