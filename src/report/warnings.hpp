// Models that are legal but surely not what was meant: the warnings that
// the scheduled system calls for.
#pragma once

#include <vector>

#include "base/diagnostics.hpp"
#include "report/report_input.hpp"

namespace vorquel {

// In the order of the processors:
//   - an immediate connection between two threads of one processor with the
//     same period whose receiver has the higher priority: the receiver reads
//     the value of the previous period, as through a delayed connection;
//     with --immediate-first (`immediate_first`), the immediate connections
//     that form a cycle among such threads, whose order then stays the usual
//     one;
//   - a processor loaded above 100 % (maximum execution time over period);
//   - a thread whose maximum execution time exceeds its period.
std::vector<Diagnostic> scheduling_warnings(const Report_input& in, bool immediate_first);

}  // namespace vorquel
