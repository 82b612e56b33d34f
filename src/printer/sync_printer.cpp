#include "printer/sync_printer.hpp"

// Not written yet.
