// Scheduler generation for the top-level system.
#pragma once

#include <string>

#include "aadl/env.hpp"

namespace vorquel {

// The last system implementation in key order (announced at verbosity 1);
// none: the no-system message and exit status 2.
Ident get_a_system_impl(const Env& env);
// Writes the scheduler, the scheduled top-level node, the verification node
// and the scenario file.
void print_scheduler(int verbosity, const std::string& base, const Ident& top, const Env& env);

}  // namespace vorquel
