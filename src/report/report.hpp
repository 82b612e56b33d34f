// The schedulability report of a run (option --report): the HTML report,
// the timeline as a Value Change Dump and the architecture graph, written
// beside the other outputs, and the tables as plain text on standard output.
#pragma once

#include <string>
#include <vector>

#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "env/env.hpp"
#include "report/analysis.hpp"
#include "report/report_input.hpp"
#include "report/timeline.hpp"

namespace vorquel {

// The report's files: their names as messages give them, the channels that
// write them, and the file the dot program reads the graph from.
struct Report_files {
  std::string html, vcd, dot;
  Channel* html_out = nullptr;
  Channel* vcd_out = nullptr;
  Channel* dot_out = nullptr;
  std::string dot_path;
};

// The tables, as printed on standard output.
std::string report_text(const Report_input& in, const std::vector<Processor_analysis>& analyses,
                        const Timeline& tl);

// The architecture drawn by Graphviz's dot program from the graph file, as
// an <svg> element; nothing, with the reason in `why`, when dot is not on
// PATH or fails.
// `shown`: the name the reason gives the graph file (dot_file when empty).
std::optional<std::string> render_dot(const std::string& dot_file, std::string& why, const std::string& shown = "");

// Writes the report of a scheduled system (its tick unit and warnings
// filled in by the run). A file that cannot be written is a user error with
// the system's message.
void write_report(const Report_input& in, const Report_files& files, int verbosity);

}  // namespace vorquel
