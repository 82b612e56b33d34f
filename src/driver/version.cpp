#include "driver/version.hpp"
