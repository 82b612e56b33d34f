// Child processes (the schema copy).
#pragma once

#include <string>
#include <vector>

namespace vorquel {

// Runs a program and waits for it (see main for the schema copy).
bool my_create_process(const std::string& program, const std::vector<std::string>& args,
                       bool verbose, int out_fd = 1, bool wait = true);

}  // namespace vorquel
