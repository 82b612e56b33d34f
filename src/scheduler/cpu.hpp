// The fixed-priority processor arbiter: one Lustre node per thread count that
// gives the processor to the ready thread of smallest number (highest
// priority). The generator keeps no state and writes only through `emit`.
#pragma once

#include <functional>
#include <string_view>

namespace vorquel {

using Emit = std::function<void(std::string_view)>;

// Writes the node "cpu_from_dispatched_<n>" (inputs dispatched1..n, outputs
// cpu1..n, all bool); n >= 1.
void no_lock(int n, const Emit& emit);

}  // namespace vorquel
