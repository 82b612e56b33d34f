// Command-line processing into the option values.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

// Command-line processing. Returns std::nullopt to go on with the run, or
// the exit status when the run ends here (help, version, errors). Messages
// go to standard output / standard error as documented.
std::optional<int> parse_command_line(const std::vector<std::string>& argv, Options& options);
std::string usage_text();

}  // namespace vorquel
