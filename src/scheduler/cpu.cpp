#include "scheduler/cpu.hpp"

#include <string>

#include "driver/misc.hpp"

namespace vorquel {

void no_lock(int n, const Emit& emit) {
  VQ_ASSERT(n >= 1, "an arbiter needs at least one thread");
  const std::string count = std::to_string(n);
  std::string line = "-- A fix priority scheduler for " + count + " threads.\n";
  line += "node cpu_from_dispatched_" + count + "(";
  for (int i = 1; i <= n; ++i) line += (i > 1 ? ",dispatched" : "dispatched") + std::to_string(i);
  line += " : bool)\nreturns (";
  for (int i = 1; i < n; ++i) line += "cpu" + std::to_string(i) + ", ";
  line += " cpu" + count + " : bool);\nlet\n";
  emit(line);
  // cpu_i holds when thread i is ready and no thread of higher priority runs.
  for (int i = 1; i <= n; ++i) {
    line = "  cpu" + std::to_string(i) + " = dispatched" + std::to_string(i);
    for (int j = 1; j < i; ++j) line += " and not cpu" + std::to_string(j);
    line += ";\n";
    emit(line);
  }
  emit("tel\n");
}

}  // namespace vorquel
