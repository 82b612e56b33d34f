// Graphviz is run as a separate program when present: the report never
// depends on it, and a machine without it still gets everything but the
// drawing (the graph file is written in any case).
#include "report/report.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "report/architecture_dot.hpp"
#include "report/report_html.hpp"
#include "report/vcd.hpp"

extern char** environ;

namespace vorquel {

namespace {

// Rows of cells, columns padded to their widest cell.
std::string table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width;
  for (const auto& r : rows)
    for (std::size_t i = 0; i < r.size(); ++i) {
      if (width.size() <= i) width.push_back(0);
      width[i] = std::max(width[i], r[i].size());
    }
  std::string s;
  for (const auto& r : rows) {
    std::string line = " ";
    for (std::size_t i = 0; i < r.size(); ++i) {
      line += " " + r[i];
      if (i + 1 < r.size()) line += std::string(width[i] - r[i].size() + 1, ' ');
    }
    s += line + "\n";
  }
  return s;
}

void write_file(Channel& c, const std::string& text) {
  c.write(text);
  if (int e = c.flush()) fail(file_error(e, c.name()));
}

constexpr std::size_t max_drawn_components = 400;

std::size_t component_count(const std::vector<Arch_component>& list) {
  std::size_t n = list.size();
  for (const auto& c : list) n += component_count(c.children);
  return n;
}
std::size_t component_count(const Architecture& a) { return component_count(a.components); }

std::string now_text() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

}  // namespace

std::string report_text(const Report_input& in, const std::vector<Processor_analysis>& analyses,
                        const Timeline& tl) {
  std::string s = "\nSchedulability report of " + in.system + "\n";
  s += "  time unit: " + in.tick_unit + "\n";
  s += "  hyperperiod: " + (tl.hyperperiod ? std::to_string(*tl.hyperperiod) + " ticks" : "unknown") + "\n";
  for (const auto& w : in.warnings) s += "  warning: " + w + "\n";
  if (in.processors.size() > 1) s += "  " + drift_sentence() + "\n";
  for (std::size_t k = 0; k < in.processors.size(); ++k) {
    const Report_processor& p = in.processors[k];
    const Processor_analysis& a = analyses[k];
    s += "\nProcessor " + p.name + "\n";
    std::vector<std::vector<std::string>> rows = {
        {"thread", "period", "execution", "priority", "utilisation", "response", "deadline", "verdict"}};
    for (std::size_t i = 0; i < p.threads.size(); ++i) {
      const Report_thread& t = p.threads[i];
      const Thread_analysis& ta = a.threads[i];
      rows.push_back({t.path, t.period.text, "[" + t.min_exec.text + ", " + t.max_exec.text + "]",
                      std::to_string(t.priority), ta.utilisation ? percent(*ta.utilisation) : "unknown",
                      response_text(ta), ta.deadline ? std::to_string(*ta.deadline) : "unknown",
                      verdict_text(ta.verdict)});
    }
    s += table(rows);
    s += "  utilisation " + (a.utilisation ? percent(*a.utilisation) : std::string("unknown")) +
         ", Liu-Layland bound (" + std::to_string(a.tasks) + (a.tasks == 1 ? " task) " : " tasks) ") +
         percent(a.liu_layland) + ", response-time analysis: " +
         (a.verdict == Verdict::Meets ? "schedulable" : a.verdict == Verdict::Misses ? "not schedulable" : "unknown") +
         "\n";
  }
  if (tl.first_miss) s += "\n  schedul_ok turns false at tick " + std::to_string(*tl.first_miss) + "\n";
  return s;
}

std::optional<std::string> render_dot(const std::string& dot_file, std::string& why, const std::string& shown) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string svg_name = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/vorquel-dot-XXXXXX";
  int out = ::mkstemp(svg_name.data());
  if (out < 0) {
    why = "The architecture diagram could not be drawn: " + std::string(std::strerror(errno)) + ".";
    return std::nullopt;
  }
  struct Remove {
    std::string name;
    ~Remove() { ::unlink(name.c_str()); }
  } remove{svg_name};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // A relative name that starts with '-' must not read as an option.
  std::string program = "dot", format = "-Tsvg", input = dot_file.front() == '/' ? dot_file : "./" + dot_file;
  char* argv[] = {program.data(), format.data(), input.data(), nullptr};
  pid_t pid;
  const int spawned = ::posix_spawnp(&pid, "dot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out);
  if (spawned != 0) {
    why = spawned == ENOENT ? "The architecture diagram needs Graphviz: the dot program is not on PATH."
                            : "The architecture diagram could not be drawn: " + std::string(std::strerror(spawned)) +
                                  ".";
    return std::nullopt;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    why = "The architecture diagram could not be drawn: Graphviz's dot failed on " + (shown.empty() ? dot_file : shown) + ".";
    return std::nullopt;
  }
  std::ifstream f(svg_name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  std::string svg = ss.str();
  // The element alone: no XML declaration, no document type.
  const auto start = svg.find("<svg");
  if (start == std::string::npos) {
    why = "The architecture diagram could not be drawn: Graphviz's dot wrote no SVG.";
    return std::nullopt;
  }
  svg.erase(0, start);
  svg.insert(4, " class=\"arch\"");
  return svg;
}

void write_report(const Report_input& in, const Report_files& files, int verbosity) {
  std::vector<Processor_analysis> analyses;
  for (const auto& p : in.processors) analyses.push_back(analyse_processor(p));
  const Timeline tl = simulate_timeline(in);

  write_file(*files.dot_out, architecture_dot(in));
  Report_pictures pictures;
  pictures.dot_file = files.dot;
  // Graphviz's layout grows much faster than the graph: a large system is
  // left to the graph file rather than holding the run for minutes.
  const std::size_t components = component_count(in.architecture);
  if (components <= max_drawn_components)
    pictures.architecture_svg = render_dot(files.dot_path, pictures.architecture_note, files.dot);
  else
    pictures.architecture_note = "The architecture has " + std::to_string(components) +
                                 " components, too many to draw here (at most " +
                                 std::to_string(max_drawn_components) + "); the graph is in " + files.dot + ".";
  write_file(*files.vcd_out, vcd_text(in, tl, now_text()));
  write_file(*files.html_out, report_html(in, analyses, tl, pictures));
  if (verbosity >= 1) {
    out("#\t" + files.html + "  (the schedulability report)\n");
    out("#\t" + files.vcd + "  (its timeline, as waveforms)\n");
    out("#\t" + files.dot + "  (the architecture, a Graphviz graph)\n");
  }
  out(report_text(in, analyses, tl));
}

}  // namespace vorquel
