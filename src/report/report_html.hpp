// The report as one self-contained HTML file: inline CSS and SVG, no script,
// no external resource. The text is well-formed XML, so that XML tools read
// it too, and it prints on paper one section per page region.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/analysis.hpp"
#include "report/report_input.hpp"
#include "report/timeline.hpp"

namespace vorquel {

struct Report_pictures {
  // The architecture drawn by Graphviz (an <svg> element), or nothing with
  // the reason, e.g. that the dot program is missing.
  std::optional<std::string> architecture_svg;
  std::string architecture_note;
  std::string dot_file;  // the name of the graph file written beside the report
};

std::string report_html(const Report_input& in, const std::vector<Processor_analysis>& analyses,
                        const Timeline& tl, const Report_pictures& pictures);

// Shared with the plain-text tables.
std::string percent(double fraction);
std::string response_text(const Thread_analysis& a);
std::string semantics_sentence();
std::string drift_sentence();

}  // namespace vorquel
