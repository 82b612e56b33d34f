#include "scheduler/cpu.hpp"

#include <charconv>
#include <string>

#include "base/diagnostics.hpp"

namespace vorquel {

namespace {
void append_number(std::string& s, int n) {
  char buf[16];
  s.append(buf, std::to_chars(buf, buf + sizeof buf, n).ptr);
}
}  // namespace

void no_lock(int n, Lustre_writer& w) {
  VQ_ASSERT(n >= 1, "an arbiter needs at least one thread");
  std::string line = "-- A fix priority scheduler for ";
  append_number(line, n);
  line += " threads.\nnode cpu_from_dispatched_";
  append_number(line, n);
  line += '(';
  for (int i = 1; i <= n; ++i) {
    line += i > 1 ? ",dispatched" : "dispatched";
    append_number(line, i);
  }
  line += " : bool)\nreturns (";
  for (int i = 1; i < n; ++i) {
    line += "cpu";
    append_number(line, i);
    line += ", ";
  }
  line += " cpu";
  append_number(line, n);
  line += " : bool);\nlet\n";
  w << line;
  // cpu_i holds when thread i is ready and no thread of higher priority runs.
  for (int i = 1; i <= n; ++i) {
    line = "  cpu";
    append_number(line, i);
    line += " = dispatched";
    append_number(line, i);
    for (int j = 1; j < i; ++j) {
      line += " and not cpu";
      append_number(line, j);
    }
    line += ";\n";
    w << line;
  }
  w << "tel\n";
}

}  // namespace vorquel
