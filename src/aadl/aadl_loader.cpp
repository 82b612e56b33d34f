#include "aadl/aadl_loader.hpp"

// Not written yet.
