#pragma once
#include "aadl/aadl_ast.hpp"

namespace vorquel {
// In <-> Out; InOut stays (features seen through an inverse port group).
In_out inv_in_out(In_out d);
}  // namespace vorquel
