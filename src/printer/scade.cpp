#include "printer/scade.hpp"

// Not written yet.
