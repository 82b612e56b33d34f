#include "aadl/aadl2aadl.hpp"

// Not written yet.
