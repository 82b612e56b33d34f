// Layout: a summary, then per processor its table and its timeline, then
// the architecture. The timeline is drawn tick by tick: column t is the
// instant t of the generated scheduler; a bar covers the ticks at which the
// thread holds the processor, a triangle below marks a dispatch, a bar end
// mark a release, and a red cross a dispatch lost to a missed deadline.
#include "report/report_html.hpp"

#include <algorithm>
#include <cstdio>

namespace vorquel {

namespace {

std::string esc(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      default: r += c;
    }
  }
  return r;
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

const char* verdict_class(Verdict v) {
  switch (v) {
    case Verdict::Meets: return "ok";
    case Verdict::Misses: return "miss";
    case Verdict::Unknown: return "unknown";
  }
  return "unknown";
}

const char* palette[] = {"#4a6fa5", "#d08c2d", "#3f8f5f", "#8a5aa8", "#2f8f9a", "#a5584a", "#6c7a2e", "#9a3f74"};

const char* css = R"(
body { font-family: "Helvetica Neue", Helvetica, Arial, sans-serif; color: #1d2733; margin: 24px 32px; font-size: 14px; }
h1 { font-size: 22px; margin: 0 0 4px 0; }
h2 { font-size: 17px; margin: 28px 0 8px 0; border-bottom: 2px solid #d6dde8; padding-bottom: 3px; }
h3 { font-size: 15px; margin: 18px 0 6px 0; }
.sub { color: #5b6776; margin: 0 0 14px 0; }
dl.summary { display: grid; grid-template-columns: max-content auto; gap: 3px 16px; margin: 8px 0 12px 0; }
dl.summary dt { color: #5b6776; }
dl.summary dd { margin: 0; }
p.note { background: #f4f6fa; border-left: 3px solid #8a9bb5; padding: 6px 10px; margin: 8px 0; max-width: 980px; }
ul.warnings li { color: #8a5a00; }
table { border-collapse: collapse; margin: 6px 0 8px 0; }
th, td { border: 1px solid #d6dde8; padding: 4px 9px; text-align: right; }
th { background: #eef2f7; font-weight: 600; }
td.name, th.name { text-align: left; font-family: Menlo, Consolas, monospace; }
td.ok { color: #1f7a3a; font-weight: 600; }
td.miss { color: #c0262d; font-weight: 700; }
td.unknown { color: #7a7a7a; }
p.verdict { margin: 4px 0 10px 0; }
span.ok { color: #1f7a3a; font-weight: 600; }
span.miss { color: #c0262d; font-weight: 700; }
span.unknown { color: #7a7a7a; font-weight: 600; }
svg.timeline { display: block; margin: 6px 0 4px 0; max-width: 100%; height: auto; }
svg.arch { max-width: 100%; height: auto; }
.legend { color: #5b6776; font-size: 12px; }
@media print {
  body { margin: 0; font-size: 11px; }
  section.processor, section.architecture { break-inside: avoid; }
  svg.timeline, svg.arch { max-width: 100%; height: auto; }
}
)";

struct Geometry {
  long long ticks;
  double cell;
  double left = 150;
  double lane = 26;
  double top = 22;
  double x(long long t) const { return left + cell * static_cast<double>(t); }
};

// An axis step that keeps labels at least ~28 px apart.
long long axis_step(double cell) {
  for (long long s : {1, 2, 5, 10, 20, 25, 50, 100, 200, 500})
    if (cell * static_cast<double>(s) >= 28) return s;
  return 1000;
}

void timeline_svg(std::string& h, const Report_processor& p, const Processor_trace& tr, const Timeline& tl) {
  Geometry g{tl.ticks, std::clamp(900.0 / static_cast<double>(tl.ticks), 2.0, 26.0)};
  const double width = g.x(tl.ticks) + 20;
  const double height = g.top + g.lane * static_cast<double>(p.threads.size()) + 24;
  h += "<svg class=\"timeline\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
       num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) + "\" font-family=\"Helvetica, Arial, "
       "sans-serif\" font-size=\"11\">\n";
  const double bottom = g.top + g.lane * static_cast<double>(p.threads.size());
  // Grid and axis.
  const long long step = axis_step(g.cell);
  for (long long t = 0; t < tl.ticks; t += step) {
    h += "<line x1=\"" + num(g.x(t)) + "\" y1=\"" + num(g.top - 4) + "\" x2=\"" + num(g.x(t)) + "\" y2=\"" +
         num(bottom) + "\" stroke=\"#e3e8ef\"/>";
    h += "<text x=\"" + num(g.x(t)) + "\" y=\"" + num(g.top - 8) + "\" text-anchor=\"middle\" fill=\"#5b6776\">" +
         std::to_string(t) + "</text>\n";
  }
  for (std::size_t i = 0; i < p.threads.size(); ++i) {
    const Report_thread& th = p.threads[i];
    const Thread_trace& t = tr.threads[i];
    const double y = g.top + g.lane * static_cast<double>(i);
    const char* color = palette[i % (sizeof palette / sizeof *palette)];
    if (i % 2 == 1)
      h += "<rect x=\"" + num(g.left) + "\" y=\"" + num(y) + "\" width=\"" + num(g.cell * tl.ticks) + "\" height=\"" +
           num(g.lane) + "\" fill=\"#f7f9fc\"/>";
    h += "<text x=\"" + num(g.left - 8) + "\" y=\"" + num(y + g.lane / 2 + 4) +
         "\" text-anchor=\"end\" font-family=\"Menlo, Consolas, monospace\">" + esc(th.path) + " (" +
         std::to_string(th.priority) + ")</text>\n";
    h += "<line x1=\"" + num(g.left) + "\" y1=\"" + num(y + g.lane - 5) + "\" x2=\"" + num(g.x(tl.ticks)) +
         "\" y2=\"" + num(y + g.lane - 5) + "\" stroke=\"#b8c2d0\"/>\n";
    const double bar_top = y + 5, bar_h = g.lane - 12;
    for (std::size_t j = 0; j < t.jobs.size(); ++j) {
      const Job& job = t.jobs[j];
      std::string title = esc(th.path) + " job " + std::to_string(j + 1) + ": dispatched at " +
                          std::to_string(job.dispatch);
      if (job.release)
        title += ", released at " + std::to_string(*job.release) + " (response time " +
                 std::to_string(*job.release - job.dispatch) + ")";
      else
        title += ", not released";
      if (job.miss) title += ", deadline missed at " + std::to_string(*job.miss);
      h += "<g class=\"job\"><title>" + title + "</title>";
      for (const auto& [first, last] : job.runs)
        h += "<rect class=\"exec\" x=\"" + num(g.x(first)) + "\" y=\"" + num(bar_top) + "\" width=\"" +
             num(g.cell * static_cast<double>(last - first + 1)) + "\" height=\"" + num(bar_h) + "\" fill=\"" +
             color + "\" stroke=\"#ffffff\" stroke-width=\"0.5\"/>";
      h += "</g>\n";
    }
    for (long long k = 0; k < tl.ticks; ++k) {
      const double cx = g.x(k);
      if (t.dispatch[k] && !t.miss[k])
        h += "<path class=\"dispatch\" d=\"M" + num(cx) + " " + num(y + g.lane - 5) + " l-3.5 5 h7 z\" fill=\"#1d2733\"/>";
      if (t.activate[k])
        h += "<path class=\"activate\" d=\"M" + num(cx) + " " + num(bar_top - 3) + " v" + num(bar_h + 3) +
             "\" stroke=\"#1d2733\" stroke-width=\"1.2\"/>";
      if (t.release[k])
        h += "<path class=\"release\" d=\"M" + num(cx + g.cell) + " " + num(bar_top - 3) + " v" + num(bar_h + 3) +
             " m-3 0 h6\" stroke=\"#1d2733\" stroke-width=\"1.6\" fill=\"none\"/>";
      if (t.miss[k])
        h += "<g class=\"miss\"><title>" + esc(th.path) + ": deadline missed at tick " + std::to_string(k) +
             " (the dispatch is lost)</title><path d=\"M" + num(cx - 4) + " " + num(y + 3) + " l8 8 m0 -8 l-8 8\" "
             "stroke=\"#c0262d\" stroke-width=\"2\"/><path d=\"M" + num(cx) + " " + num(y) + " v" + num(g.lane) +
             "\" stroke=\"#c0262d\" stroke-width=\"1.5\" stroke-dasharray=\"3 2\"/></g>";
    }
    h += "\n";
  }
  h += "<text x=\"" + num(g.left) + "\" y=\"" + num(bottom + 18) + "\" fill=\"#5b6776\">tick</text>\n";
  h += "</svg>\n";
}

void legend(std::string& h) {
  h += "<p class=\"legend\">Bars: ticks at which the thread holds the processor (hover a job for its times). "
       "&#9650; dispatch &#160; | activation (inputs read) &#160; &#8869; release (outputs delivered) &#160; "
       "<span style=\"color:#c0262d\">&#10007;</span> missed deadline: a dispatch while the previous job still "
       "runs, which the generated program loses. The number after a thread is its priority (1 = highest). "
       "Tick 0 is the first instant of the generated program.</p>\n";
}

}  // namespace

std::string percent(double fraction) { return num(fraction * 100) + " %"; }

std::string response_text(const Thread_analysis& a) {
  if (a.response) return std::to_string(*a.response);
  if (a.beyond_deadline) return a.deadline ? "> " + std::to_string(*a.deadline) : "never";
  return "unknown";
}

std::string semantics_sentence() {
  return "A job holds the processor at the earliest from the tick after its dispatch and must be released before "
         "the next dispatch of its thread: a response time equal to the period is a missed deadline, exactly as "
         "the generated program's schedul_ok counts it (a later call of a call sequence, dispatched by the release "
         "of the call before it, may be released at the next dispatch of its sequence).";
}

std::string drift_sentence() {
  return "The processors run on quasi-synchronous clocks in the generated program and may drift apart (up to two "
         "ticks of one between two ticks of another); the analysis and the timeline assume that they tick "
         "together.";
}

std::string report_html(const Report_input& in, const std::vector<Processor_analysis>& analyses,
                        const Timeline& tl, const Report_pictures& pictures) {
  std::string h;
  h += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
  h += "<title>Schedulability report: " + esc(in.system) + "</title>\n<style>" + css + "</style>\n</head>\n<body>\n";
  h += "<h1>Schedulability report: " + esc(in.system) + "</h1>\n";
  h += "<p class=\"sub\">Fixed-priority preemptive scheduling as generated (rate-monotonic priorities), "
       "worst-case execution times, synchronous start.</p>\n";

  // Summary.
  std::size_t threads = 0;
  Verdict overall = Verdict::Meets;
  for (const auto& a : analyses) {
    threads += a.threads.size();
    if (a.verdict == Verdict::Misses) overall = Verdict::Misses;
    else if (a.verdict == Verdict::Unknown && overall == Verdict::Meets) overall = Verdict::Unknown;
  }
  h += "<section class=\"summary\">\n<h2>Summary</h2>\n<dl class=\"summary\">\n";
  h += "<dt>Top-level system</dt><dd>" + esc(in.system) + "</dd>\n";
  h += "<dt>Processors</dt><dd>" + std::to_string(in.processors.size()) + " (" + std::to_string(threads) +
       " threads and calls)</dd>\n";
  h += "<dt>Time unit</dt><dd>" + esc(in.tick_unit) + "</dd>\n";
  h += "<dt>Hyperperiod</dt><dd>" + (tl.hyperperiod ? std::to_string(*tl.hyperperiod) + " ticks" : "unknown") +
       "</dd>\n";
  h += "<dt>Verdict</dt><dd><span class=\"" + std::string(verdict_class(overall)) + "\">" +
       (overall == Verdict::Meets    ? "every thread meets its deadline"
        : overall == Verdict::Misses ? "deadlines are missed"
                                     : "unknown (named periods or execution times)") +
       "</span>";
  if (tl.first_miss) h += "; schedul_ok turns false at tick " + std::to_string(*tl.first_miss);
  h += "</dd>\n</dl>\n";
  h += "<p class=\"note\">" + esc(semantics_sentence()) + "</p>\n";
  if (in.processors.size() > 1) h += "<p class=\"note\">" + esc(drift_sentence()) + "</p>\n";
  if (in.warnings.empty()) {
    h += "<p>No warning.</p>\n";
  } else {
    h += "<h3>Warnings</h3>\n<ul class=\"warnings\">\n";
    for (const auto& w : in.warnings) h += "<li>" + esc(w) + "</li>\n";
    h += "</ul>\n";
  }
  h += "</section>\n";

  // Processors.
  for (std::size_t k = 0; k < in.processors.size(); ++k) {
    const Report_processor& p = in.processors[k];
    const Processor_analysis& a = analyses[k];
    h += "<section class=\"processor\">\n<h2>Processor " + esc(p.name) + "</h2>\n";
    h += "<table>\n<tr><th class=\"name\">thread</th><th>period</th><th>execution time</th><th>priority</th>"
         "<th>utilisation</th><th>response time</th><th>deadline</th><th>verdict</th></tr>\n";
    for (std::size_t i = 0; i < p.threads.size(); ++i) {
      const Report_thread& t = p.threads[i];
      const Thread_analysis& ta = a.threads[i];
      h += "<tr><td class=\"name\">" + esc(t.path) + "</td><td>" + esc(t.period.text) + "</td><td>[" +
           esc(t.min_exec.text) + ", " + esc(t.max_exec.text) + "]</td><td>" + std::to_string(t.priority) +
           "</td><td>" + (ta.utilisation ? percent(*ta.utilisation) : "unknown") + "</td><td>" +
           esc(response_text(ta)) + "</td><td>" + (ta.deadline ? std::to_string(*ta.deadline) : "unknown") +
           "</td><td class=\"" + verdict_class(ta.verdict) + "\">" + verdict_text(ta.verdict) + "</td></tr>\n";
    }
    h += "</table>\n<p class=\"verdict\">Utilisation <b>" + (a.utilisation ? percent(*a.utilisation) : "unknown") +
         "</b>; Liu-Layland bound for " + std::to_string(a.tasks) + (a.tasks == 1 ? " task " : " tasks ") +
         percent(a.liu_layland);
    if (a.utilisation)
      h += *a.utilisation <= a.liu_layland ? " (under the bound)" : *a.utilisation > 1 ? " (over 100 %)"
                                                                                          : " (over the bound)";
    h += "; exact response-time analysis: <span class=\"" + std::string(verdict_class(a.verdict)) + "\">" +
         (a.verdict == Verdict::Meets ? "schedulable" : a.verdict == Verdict::Misses ? "not schedulable" : "unknown") +
         "</span>.</p>\n";
    const Processor_trace& tr = tl.processors[k];
    h += "<h3>Timeline</h3>\n";
    if (!tr.simulated) {
      h += "<p class=\"note\">No timeline: " + esc(tr.why_not) + ".</p>\n";
    } else {
      h += "<p class=\"legend\">Ticks 0 to " + std::to_string(tl.ticks - 1);
      if (tl.capped)
        h += tl.hyperperiod ? ", cut at " + std::to_string(tl.ticks - 1) + " ticks of a hyperperiod of " +
                                  std::to_string(*tl.hyperperiod)
                            : ", cut at " + std::to_string(tl.ticks - 1) + " ticks (hyperperiod unknown)";
      else
        h += ", one hyperperiod";
      h += ", every job with its maximum execution time.</p>\n";
      timeline_svg(h, p, tr, tl);
    }
    h += "</section>\n";
  }
  legend(h);

  h += "<section class=\"architecture\">\n<h2>Architecture</h2>\n";
  if (pictures.architecture_svg) h += *pictures.architecture_svg + "\n";
  if (!pictures.architecture_note.empty()) h += "<p class=\"note\">" + esc(pictures.architecture_note) + "</p>\n";
  h += "<p class=\"legend\">Solid arrows: immediate connections; dashed: delayed connections; dotted: processor "
       "bindings. The graph is also in " + esc(pictures.dot_file) + ".</p>\n</section>\n";
  h += "</body>\n</html>\n";
  return h;
}

}  // namespace vorquel
