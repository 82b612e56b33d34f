// Periods and execution-time bounds that the model leaves to the user.
//
// A thread or subprogram without Period or Compute_Execution_Time gets named
// bounds (_<C>_period, _<C>_min_exec_time, _<C>_max_exec_time) that the
// scheduler writes as constants. Nothing else declares them: they are
// declared in the constants channel, once each, after everything else.
#pragma once

#include <vector>

#include "base/ident.hpp"
#include "printer/lustre_writer.hpp"

namespace vorquel {

struct Processor_entry;  // scheduler.hpp

struct Named_constant {
  Ident name;
  long long fake_value;  // the value written with --gen-fake-body
};

// The named periods and execution-time bounds that the scheduler of the
// tree writes, each once, sorted by the byte order of their flat names.
std::vector<Named_constant> used_named_constants(const std::vector<Processor_entry>& tree);

// Declares them in the constants channel: imported constants
// ("const <name> : int ;-- XXX fixme!"), or with --gen-fake-body constants
// of their fake value. The writer is left on the channel it was on.
void print_named_constants(Lustre_writer& w, bool fake, const std::vector<Named_constant>& constants);

}  // namespace vorquel
