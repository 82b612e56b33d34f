// Well-known property associations: Period, Compute_Execution_Time,
// Dispatch_Protocol, Actual_Processor_Binding, Required_Access and
// Provided_Access. Units are ignored; numbers are taken as written.
// A missing property raises Not_found; a wrong shape is an internal error.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

enum class Dispatch_protocol { Periodic, Aperiodic, Sporadic, Background };
enum class Access_mode { Read, Write, Read_write, By_method };

Integer get_period(const Component& c);
Integer get_period(const std::vector<Property_association>& props);
std::pair<Integer, Integer> get_compute_execution_time(const Component& c);
Dispatch_protocol get_dispatch_protocol(const Component& c);
Dispatch_protocol string_to_dispatch_protocol(const std::string& text);

// (processor, (bound sub-component, name of c)), in reverse association order.
using Processor_binding = std::pair<Ident, std::pair<Ident, Ident>>;
std::vector<Processor_binding> get_processor_binding(const Component& c);

Access_mode get_required_access_mode(const std::vector<Property_association>& props);
Access_mode get_provided_access_mode(const std::vector<Property_association>& props);
Access_mode string_to_access_mode(const std::string& text);

}  // namespace vorquel
