// The whole run, from the command line to the output files.
#pragma once

#include <string>
#include <vector>

namespace vorquel {

// Runs the translator with the given command line (argv[0] included) and
// returns the exit status. Never calls exit(): every stop is an exception
// caught here, so the run can also be driven in process (tests, fuzzing).
int run(const std::vector<std::string>& argv);

}  // namespace vorquel
