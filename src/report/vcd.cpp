#include "report/vcd.hpp"

#include <cctype>

namespace vorquel {

namespace {

// Identifier codes: printable characters 33 to 126, as many as needed.
std::string code(std::size_t n) {
  std::string s;
  do {
    s += static_cast<char>(33 + n % 94);
    n /= 94;
  } while (n > 0);
  return s;
}

// Scope and signal names may hold no blank, and viewers read a dot as a
// step down the hierarchy.
std::string vcd_name(const std::string& s) {
  std::string r;
  for (char c : s) r += std::isgraph(static_cast<unsigned char>(c)) && c != '.' ? c : '_';
  return r.empty() ? "_" : r;
}

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t dot; (dot = path.find('.', start)) != std::string::npos; start = dot + 1)
    parts.push_back(path.substr(start, dot - start));
  parts.push_back(path.substr(start));
  return parts;
}

struct Signal {
  std::string code;
  const std::vector<bool>* values;  // null: schedul_ok
};

}  // namespace

std::string vcd_text(const Report_input& in, const Timeline& tl, const std::string& date) {
  std::string v;
  v += "$date " + date + " $end\n";
  v += "$version vorquel schedulability report $end\n";
  v += "$comment one time step is one tick of the generated scheduler (" + in.tick_unit +
       "); all processors tick together $end\n";
  v += "$timescale 1 s $end\n";
  v += "$scope module " + vcd_name(in.system) + " $end\n";
  std::vector<Signal> signals;
  auto var = [&](const std::string& name, const std::vector<bool>* values) {
    signals.push_back(Signal{code(signals.size()), values});
    v += "$var wire 1 " + signals.back().code + " " + name + " $end\n";
  };
  var("schedul_ok", nullptr);
  for (std::size_t k = 0; k < in.processors.size(); ++k) {
    const auto& tr = tl.processors[k];
    if (!tr.simulated) continue;
    v += "$scope module " + vcd_name(in.processors[k].name) + " $end\n";
    for (std::size_t i = 0; i < tr.threads.size(); ++i) {
      const auto parts = split_path(in.processors[k].threads[i].path);
      for (const auto& part : parts) v += "$scope module " + vcd_name(part) + " $end\n";
      const Thread_trace& t = tr.threads[i];
      var("dispatch", &t.dispatch);
      var("dispatched", &t.dispatched);
      var("has_cpu", &t.cpu);
      var("activate", &t.activate);
      var("release", &t.release);
      var("miss", &t.miss);
      for (std::size_t j = 0; j < parts.size(); ++j) v += "$upscope $end\n";
    }
    v += "$upscope $end\n";
  }
  v += "$upscope $end\n$enddefinitions $end\n";

  auto value = [&](const Signal& s, long long t) {
    if (s.values) return (*s.values)[t];
    return !tl.first_miss || t < *tl.first_miss;
  };
  for (long long t = 0; t < tl.ticks; ++t) {
    std::string changes;
    for (const auto& s : signals)
      if (t == 0 || value(s, t) != value(s, t - 1)) {
        changes += value(s, t) ? '1' : '0';
        changes += s.code;
        changes += '\n';
      }
    if (t == 0) {
      v += "#0\n$dumpvars\n";
      v += changes;
      v += "$end\n";
    } else if (!changes.empty()) {
      v += '#';
      v += std::to_string(t);
      v += '\n';
      v += changes;
    }
  }
  v += '#';
  v += std::to_string(tl.ticks);
  v += '\n';
  return v;
}

}  // namespace vorquel
