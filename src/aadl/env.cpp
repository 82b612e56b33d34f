#include "aadl/env.hpp"

// Not written yet.
