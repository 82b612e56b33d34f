// The architecture of the top-level system as a Graphviz graph: processes
// (and nested systems) as clusters holding their threads, processors,
// devices and the other sub-components as nodes, connections labelled with
// their ports (immediate solid, delayed dashed) and bindings dotted.
// Threads show their timing and priority.
#pragma once

#include <string>

#include "report/report_input.hpp"

namespace vorquel {

std::string architecture_dot(const Report_input& in);

}  // namespace vorquel
