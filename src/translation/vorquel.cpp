#include "translation/vorquel.hpp"

// Not written yet.
