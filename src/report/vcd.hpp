// The timeline as a Value Change Dump, for waveform viewers: one scope per
// processor, one per thread below it (nested along the instance path), and
// per thread the signals dispatch, dispatched, has_cpu, activate, release
// and miss; schedul_ok at the top. One time step is one tick.
#pragma once

#include <string>

#include "report/report_input.hpp"
#include "report/timeline.hpp"

namespace vorquel {

// `date` is written in the header as it is.
std::string vcd_text(const Report_input& in, const Timeline& tl, const std::string& date);

}  // namespace vorquel
