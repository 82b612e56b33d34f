#include "scheduler/scheduler.hpp"

// Not written yet.
