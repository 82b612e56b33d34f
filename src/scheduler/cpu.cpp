#include "scheduler/cpu.hpp"

// Not written yet.
