// The option values of a run, as the command line sets them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorquel {

enum class Dialect { Lustre, Scade };

struct Options {
  std::vector<std::string> input_files;  // reverse command-line order
  std::string output_base_name = "out";
  bool v4_arrays = false;
  bool one_file = false;
  bool gen_random_func = false;
  bool show_scheduling_vars = false;
  bool check_schedulability = false;
  bool report = false;       // --report
  bool export_aadl = false;  // --export-aadl
  bool overwrite = false;    // --overwrite
  bool immediate_first = false;  // --immediate-first
  bool warnings = true;      // -w / --no-warnings clears it
  std::optional<std::string> toplevel_system;
  bool gen_fake_body = false;
  Dialect dialect = Dialect::Lustre;
  int verbosity = 0;
};

}  // namespace vorquel
