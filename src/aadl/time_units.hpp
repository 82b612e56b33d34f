// Time values of a model in one unit. Periods and execution times are
// written in whatever unit each property chose (Period in ms next to
// Compute_Execution_Time in us is common); the generated scheduler counts
// ticks, so they are converted to the finest unit among them (finer when a
// real value needs it) and one tick is one of that unit. Other time values
// (a processor's clock period) keep their units: the scheduler does not
// count them. A model of whole numbers in one unit or none is left as it is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

struct Time_unit {
  const char* name;  // "ps", "ns", "us", "ms", "sec", "min", "hr"
  long long ps;      // its length in picoseconds
};

// The standard time unit that a unit identifier names (case-insensitive),
// or nullptr for any other unit.
const Time_unit* find_time_unit(const Ident& unit);

// Rewrites every Period and Compute_Execution_Time value whose unit is a
// time unit into ticks, and checks the periods and execution times on the
// way: a Period must be above 0, and a Compute_Execution_Time must not be
// negative nor a range whose minimum is above its maximum. One tick is the
// finest time unit that these properties use, or a finer one when a real
// value of a textual model (0.5 ms) is no whole number of it; at ps, such
// values are rounded to the nearest. A count of ticks that a Lustre int
// cannot hold is a warning. A Deadline that is a whole number of ticks is
// converted too, so that it compares with its Period. Returns the unit of one tick (none when the
// model gives its time values without units).
std::optional<Time_unit> convert_time_units(Model& model, std::vector<Diagnostic>& warnings);

}  // namespace vorquel
