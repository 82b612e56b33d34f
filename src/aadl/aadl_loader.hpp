// The AAXL reader: one .aaxl file to the packages of the AADL model.
#pragma once

#include <string>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

// Reads, checks and maps one file. Within a file: the implicit package of
// loose declarations first (if any), then the packages in reverse document
// order.
Model parse_aadl(int verbosity, const std::string& file_name);
// Same, from text already in memory (file_name names the implicit package).
Model parse_aadl_text(int verbosity, const std::string& file_name, std::string text);

}  // namespace vorquel
