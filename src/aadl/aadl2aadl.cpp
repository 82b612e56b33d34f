#include "aadl/aadl2aadl.hpp"

#include "driver/misc.hpp"

// Placeholder until normalisation is written.
namespace vorquel {
Env normalize_package(const Env&, const Package&) { not_yet_implemented("normalize_package"); }
}  // namespace vorquel
