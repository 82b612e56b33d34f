// The translation of AADL declarations into synchronous definitions.
#pragma once

#include "aadl/env.hpp"

namespace vorquel {

// Translates every declaration (callees first) and propagates the oracle
// inputs up to the top-level system.
Env translate(const Ident& top_level_system, const Env& env);

// Internal steps, exposed for tests.
Sync_definition sync_definition_of_component(const Env& env, const Component& c);
Sync_definition sync_definition_of_port_group(const Env& env, const Port_group& g);
Env propagate_oracles(const Ident& top_level_system, const Env& env);

}  // namespace vorquel
