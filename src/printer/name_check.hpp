// The names of the program, checked before anything is written.
//
// Every declaration becomes a Lustre node or type named by the flat text of
// its identifier, and every port, local and clock a variable named the same
// way; names that are keywords take a trailing "_" (lustre_names.hpp). Two
// different AADL names that come out as one Lustre name would declare it
// twice: the run stops instead, naming both.
#pragma once

#include <string>
#include <vector>

#include "base/diagnostics.hpp"

#include "env/env.hpp"

namespace vorquel {

// Stops (a user error) when the output base name, written as the top-level node's
// name, is not a Lustre name. A base with a directory part is left alone.
void check_output_base_name(const std::string& base);

// Adds a warning to `warnings`, once per name, for the names written with a
// trailing "_"; stops (a user error) at the first two declarations, or two
// variables of one node, that share a Lustre name, or at a declaration
// named like the top-level node. `env` is the translated environment.
void check_lustre_names(const Env& env, const std::string& base, std::vector<Diagnostic>& warnings);


}  // namespace vorquel
