// The fixed-priority processor arbiter.
#pragma once

#include <functional>
#include <string_view>

namespace vorquel {

using Emit = std::function<void(std::string_view)>;
void no_lock(int n, const Emit& emit);

}  // namespace vorquel
