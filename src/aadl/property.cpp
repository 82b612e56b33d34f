#include "aadl/property.hpp"

// Not written yet.
