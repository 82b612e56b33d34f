// The fixed-priority processor arbiter: one Lustre node per thread count that
// gives the processor to the ready thread of smallest number (highest
// priority). The generator keeps no state and writes only through the writer.
#pragma once

#include "printer/lustre_writer.hpp"

namespace vorquel {

// Writes the node "cpu_from_dispatched_<n>" (inputs dispatched1..n, outputs
// cpu1..n, all bool); n >= 1.
void no_lock(int n, Lustre_writer& w);

}  // namespace vorquel
