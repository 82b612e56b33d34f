// Writes a model as textual AADL version 2: one package per model package,
// written so that reading the text back gives the same model (the packages
// last first, as the reader lists them).
#pragma once

#include <string>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

std::string model_to_aadl_text(const Model& model);

}  // namespace vorquel
