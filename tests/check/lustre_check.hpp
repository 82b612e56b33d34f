// Structural checker of generated Lustre programs, for the test suite.
//
// It reads a program (following its include lines) and reports, one line per
// problem: calls of nodes that are not declared exactly once, calls whose
// input or output count does not match the callee, variables used but not
// declared (in the node, nor as a global constant), names declared twice in
// one node, variables defined by two equations, local variables that no
// equation defines, and outputs that no equation defines in a node whose
// equations define some other output. Outputs may stay undefined in nodes
// left for the user to fill in: those with a "-- XXX" comment in their body,
// or with no equation for any output. The only names accepted without
// declaration are the constants that the user supplies: "_" + name +
// "_period", "_min_exec_time" or "_max_exec_time".
#pragma once

#include <string>
#include <vector>

namespace vorquel::testing {

struct Check_result {
  // Human-readable problems, "file:line: node X: ..."; empty when the program
  // is well formed.
  std::vector<std::string> problems;
  bool ok() const { return problems.empty(); }
  // The problems, a line each.
  std::string text() const {
    std::string s;
    for (const auto& p : problems) s += p + "\n";
    return s;
  }
};

// Checks the program whose main file is given. Include lines are resolved
// relative to the main file's directory; every file is read once.
Check_result check_lustre_program(const std::string& main_file);

// Checks a program given as text (reported as file "<text>"); include lines
// are resolved relative to the current directory.
Check_result check_lustre_text(std::string text);

}  // namespace vorquel::testing
