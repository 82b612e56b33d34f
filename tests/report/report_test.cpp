// The report against what it describes: response times on published task
// sets, the timeline against a simulation of the generated program, and the
// files (HTML, VCD, graph) read back by a parser.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <filesystem>
#include <limits>
#include <map>
#include <sstream>

#include "env/aadl2aadl.hpp"
#include "aadl/aadl_loader.hpp"
#include "driver/options.hpp"
#include "report/analysis.hpp"
#include "report/report_html.hpp"
#include "report/report_input.hpp"
#include "report/timeline.hpp"
#include "test_util.hpp"
#include "translation/vorquel.hpp"

namespace vorquel {
namespace {

using namespace vorquel::testing;
namespace fs = std::filesystem;

Report_input load_input(const std::string& file) {
  Model m = parse_aadl(0, source_path(file));
  Env env;
  for (auto& p : m) env = normalize_package(env, std::move(p));
  const Ident top = of_string("K::S.i");
  const Env t = translate(Options{}, top, env);
  return make_report_input(top, compute_si_tree(top, t), t);
}

const Report_thread* find_thread(const Report_input& in, const std::string& path, std::size_t* k, std::size_t* i) {
  for (*k = 0; *k < in.processors.size(); ++*k)
    for (*i = 0; *i < in.processors[*k].threads.size(); ++*i)
      if (in.processors[*k].threads[*i].path == path) return &in.processors[*k].threads[*i];
  return nullptr;
}

// Continuous-time analysis gives the same numbers on these sets, except
// where a response time equals the period: the generated program loses the
// dispatch at that tick, so the thread misses.
TEST(Report, ResponseTimesOfPublishedTaskSets) {
  struct Row {
    std::string path, response;
    Verdict verdict;
  };
  struct Case {
    std::string file;
    std::vector<Row> rows;
    std::optional<long long> first_miss;
  } cases[] = {
      {"tests/data/report/rm3.aaxl",
       {{"p1.t1", "3", Verdict::Meets}, {"p1.t2", "5", Verdict::Meets}, {"p1.t3", "20", Verdict::Meets}},
       std::nullopt},
      // Lehoczky's example: the second task misses at its first deadline.
      {"tests/data/report/lehoczky.aaxl",
       {{"p1.t1", "26", Verdict::Meets}, {"p1.t2", "> 100", Verdict::Misses}},
       100},
      // 100 % with harmonic periods: the last job ends exactly at its
      // period, which the generated scheduler counts as a miss.
      {"tests/data/report/harmonic100.aaxl",
       {{"p1.t1", "1", Verdict::Meets}, {"p1.t2", "3", Verdict::Meets}, {"p1.t3", "16", Verdict::Misses}},
       16},
      {"tests/data/report/single_fits.aaxl", {{"p1.t", "4", Verdict::Meets}}, std::nullopt},
      {"tests/data/report/single_misses.aaxl", {{"p1.t", "5", Verdict::Misses}}, 5},
      // A later call may end at the next dispatch of its sequence.
      {"tests/data/report/calls.aaxl",
       {{"p.f", "1", Verdict::Meets}, {"p.th.c1", "3", Verdict::Meets}, {"p.th.c3", "10", Verdict::Meets}},
       std::nullopt},
      {"examples/typical.aaxl", {{"p.t2", "3", Verdict::Meets}, {"p.t1", "6", Verdict::Meets}}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Report_input in = load_input(c.file);
    const Timeline tl = simulate_timeline(in);
    EXPECT_EQ(tl.first_miss, c.first_miss);
    for (const auto& row : c.rows) {
      SCOPED_TRACE(row.path);
      std::size_t k = 0, i = 0;
      const Report_thread* t = find_thread(in, row.path, &k, &i);
      ASSERT_NE(t, nullptr);
      const Processor_analysis a = analyse_processor(in.processors[k]);
      EXPECT_EQ(response_text(a.threads[i]), row.response);
      EXPECT_EQ(a.threads[i].verdict, row.verdict);
      // The first job of the timeline (the critical instant) agrees.
      const auto& jobs = tl.processors[k].threads[i].jobs;
      ASSERT_FALSE(jobs.empty());
      std::size_t first = i;
      while (first > 0 && in.processors[k].threads[first].follows_call) --first;
      const long long start = tl.processors[k].threads[first].jobs.front().dispatch;
      if (a.threads[i].response && row.verdict == Verdict::Meets) {
        EXPECT_EQ(jobs.front().release, start + *a.threads[i].response);
      }
    }
  }
}

TEST(Report, UtilisationAndBounds) {
  const Report_input in = load_input("tests/data/report/rm3.aaxl");
  const Processor_analysis a = analyse_processor(in.processors[0]);
  ASSERT_TRUE(a.utilisation);
  EXPECT_NEAR(*a.utilisation, 0.7167, 1e-3);
  EXPECT_NEAR(a.liu_layland, 0.7798, 1e-3);
  EXPECT_EQ(a.verdict, Verdict::Meets);

  // Named values make the rows that depend on them unknown, not guessed.
  Report_processor p{"cpu", {}};
  p.threads.push_back(Report_thread{"p.a", "_a", "", "", 1, Quantity::literal(10), Quantity::literal(1),
                                    Quantity::literal(2), false});
  p.threads.push_back(Report_thread{"p.b", "_b", "", "", 2, Quantity::named("K__P"), Quantity::literal(1),
                                    Quantity::literal(2), false});
  p.threads.push_back(Report_thread{"p.c", "_c", "", "", 3, Quantity::literal(40), Quantity::literal(1),
                                    Quantity::literal(2), false});
  const Processor_analysis u = analyse_processor(p);
  EXPECT_EQ(u.threads[0].verdict, Verdict::Meets);
  EXPECT_EQ(u.threads[1].verdict, Verdict::Unknown);
  EXPECT_EQ(u.threads[2].verdict, Verdict::Unknown);
  EXPECT_FALSE(u.utilisation);
  EXPECT_EQ(u.verdict, Verdict::Unknown);
  Report_input named{"K::S.i", "", {}, {p}, {}};
  EXPECT_FALSE(simulate_timeline(named).processors[0].simulated);
}

// Values the generated program handles in its own way: an execution time
// below 1 is never reached by consume's counter, so the job holds the
// processor for ever and starves everything below it; values near the
// limits of 64 bits do not overflow the analysis.
TEST(Report, ExtremeExecutionTimes) {
  auto thread = [](const char* path, long long period, long long cost, int priority) {
    return Report_thread{path, path, "", "", priority, Quantity::literal(period), Quantity::literal(1),
                         Quantity::literal(cost), false};
  };
  const long long big = std::numeric_limits<long long>::max() / 2;
  struct Case {
    std::vector<Report_thread> threads;
    std::vector<Verdict> verdicts;
  } cases[] = {
      {{thread("a", 10, 0, 1), thread("b", 20, 1, 2)}, {Verdict::Misses, Verdict::Misses}},
      {{thread("a", big, big - 1, 1)}, {Verdict::Meets}},
      {{thread("a", big, big - 1, 1), thread("b", big + 1, big, 2)}, {Verdict::Meets, Verdict::Misses}},
  };
  for (const auto& c : cases) {
    const Processor_analysis a = analyse_processor(Report_processor{"cpu", c.threads});
    for (std::size_t i = 0; i < c.verdicts.size(); ++i) EXPECT_EQ(a.threads[i].verdict, c.verdicts[i]) << i;
  }
  const Timeline tl = simulate_timeline(Report_input{"S", "", {}, {Report_processor{"cpu", cases[0].threads}}, {}});
  EXPECT_EQ(tl.first_miss, 10);
  for (bool cpu : tl.processors[0].threads[1].cpu) EXPECT_FALSE(cpu);
}

// ---- agreement with the generated program ----------------------------------

struct Sim_row {
  std::map<std::string, std::string> out;  // output name -> T/F/value
};

std::vector<std::string> split(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

// "a$1:int, b:bool" -> names without the "$n" the simulator adds.
std::vector<std::pair<std::string, std::string>> declared(const std::string& list) {
  std::vector<std::pair<std::string, std::string>> r;
  std::stringstream ss(list);
  for (std::string item; std::getline(ss, item, ',');) {
    item.erase(0, item.find_first_not_of(' '));
    const auto colon = item.find(':');
    std::string name = item.substr(0, colon);
    name = name.substr(0, name.find('$'));
    r.emplace_back(name, colon == std::string::npos ? "" : item.substr(colon + 1));
  }
  return r;
}

std::string run_command(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ::pclose(p);
  return out;
}

std::string line_after(const std::string& text, const std::string& prefix) {
  auto at = text.find(prefix);
  if (at == std::string::npos) return "";
  at += prefix.size();
  return text.substr(at, text.find('\n', at) - at);
}

TEST(Report, TimelineIsWhatTheGeneratedProgramDoes) {
  const std::string tools = std::string(VORQUEL_SOURCE_DIR) + "/../shared/tools/lustre-check";
  if (!fs::exists(tools + "/simulate.sh")) GTEST_SKIP() << "no Lustre simulator at " << tools;
  for (const char* file : {"examples/typical.aaxl", "tests/data/report/single_fits.aaxl",
                           "tests/data/report/single_misses.aaxl", "tests/data/report/rm3.aaxl",
                           "tests/data/report/harmonic100.aaxl", "tests/data/report/calls.aaxl",
                           "tests/data/report/three_cpus.aaxl"}) {
    SCOPED_TRACE(file);
    const Report_input in = load_input(file);
    const Timeline tl = simulate_timeline(in);
    const std::string dir = make_temp_dir("report-sim");
    auto r = run_vorquel({"--gen-fake-body", "--show-scheduling-vars", "--check-schedulability", source_path(file)},
                         dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string sim = "cd " + dir + " && " + tools + "/simulate.sh";
    const std::string header = run_command(sim + " --steps 0 out.lus out 2>&1");
    const auto inputs = declared(line_after(header, "input(s): "));
    ASSERT_FALSE(inputs.empty()) << header;

    // Every job takes its maximum execution time; the processors all tick.
    std::map<std::string, long long> max_exec;
    for (const auto& p : in.processors)
      for (const auto& t : p.threads) max_exec[t.release_clock + "_min_max"] = *t.max_exec.value;
    std::string values;
    for (long long t = 0; t < tl.ticks; ++t) {
      for (const auto& [name, type] : inputs) {
        if (max_exec.count(name)) values += std::to_string(max_exec[name]) + " ";
        else if (name.rfind("alea", 0) == 0) values += "T ";
        else values += type == "bool" ? "F " : "0 ";
      }
      values += "\n";
    }
    write_file(dir + "/in.txt", values);
    const std::string run =
        run_command(sim + " --steps " + std::to_string(tl.ticks) + " --input in.txt out.lus out 2>&1");
    const auto outputs = declared(line_after(run, "output(s): "));
    std::vector<Sim_row> rows;
    std::istringstream lines(run);
    for (std::string l; std::getline(lines, l);) {
      const auto bar = l.rfind(" | ");
      if (l.find(" | ") == std::string::npos || l.rfind("step", 0) == 0) continue;
      const auto v = split(l.substr(bar + 3));
      if (v.size() != outputs.size()) continue;
      Sim_row row;
      for (std::size_t j = 0; j < v.size(); ++j) row.out[outputs[j].first] = v[j];
      rows.push_back(std::move(row));
    }
    ASSERT_EQ(static_cast<long long>(rows.size()), tl.ticks) << run;
    auto b = [](bool x) { return std::string(x ? "T" : "F"); };
    for (std::size_t k = 0; k < in.processors.size(); ++k)
      for (std::size_t i = 0; i < in.processors[k].threads.size(); ++i) {
        const Report_thread& th = in.processors[k].threads[i];
        const Thread_trace& tr = tl.processors[k].threads[i];
        for (long long t = 0; t < tl.ticks; ++t) {
          const auto& o = rows[t].out;
          ASSERT_EQ(o.at(th.activation_clock), b(tr.activate[t])) << th.path << " tick " << t;
          ASSERT_EQ(o.at(th.release_clock), b(tr.release[t])) << th.path << " tick " << t;
          ASSERT_EQ(o.at(th.label + "_has_cpu_on_" + in.processors[k].name), b(tr.cpu[t])) << th.path << " tick " << t;
        }
      }
    for (long long t = 0; t < tl.ticks; ++t)
      ASSERT_EQ(rows[t].out.at("schedul_ok"), b(!tl.first_miss || t < *tl.first_miss)) << "tick " << t;
  }
}

// ---- the files -----------------------------------------------------------------

TEST(Report, FilesReadBack) {
  const std::string dir = make_temp_dir("report-files");
  const std::string model = source_path("tests/data/report/three_cpus.aaxl");
  auto r = run_vorquel({"--report", model}, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("  p3.c1   6       [1, 2]     2         33.3 %       6         6         MISSES\n"),
            std::string::npos)
      << r.out;
  const Report_input in = load_input("tests/data/report/three_cpus.aaxl");
  const Timeline tl = simulate_timeline(in);

  // The HTML is well-formed, with one job group per job and one bar per
  // stretch of ticks on the processor.
  pugi::xml_document doc;
  const auto parsed = doc.load_file((dir + "/out_report.html").c_str());
  ASSERT_TRUE(parsed) << parsed.description() << " at " << parsed.offset;
  std::size_t jobs = 0, runs = 0;
  for (const auto& p : tl.processors)
    for (const auto& t : p.threads)
      for (const auto& j : t.jobs) ++jobs, runs += j.runs.size();
  EXPECT_EQ(doc.select_nodes("//*[local-name()='g'][@class='job']").size(), jobs);
  EXPECT_EQ(doc.select_nodes("//*[local-name()='rect'][@class='exec']").size(), runs);
  EXPECT_EQ(doc.select_nodes("//*[local-name()='svg'][@class='timeline']").size(), 3u);
  if (!run_command("command -v dot").empty()) {
    EXPECT_EQ(doc.select_nodes("//*[local-name()='svg'][@class='arch']").size(), 1u);
  }

  // The VCD: header, a scope per processor and thread, and the values of
  // has_cpu over time are those of the timeline.
  const std::string vcd = read_file(dir + "/out.vcd");
  for (const char* s : {"$timescale", "$scope module cpu2 $end\n$scope module p2 $end\n$scope module b1 $end",
                        "$enddefinitions $end", "$dumpvars"})
    EXPECT_NE(vcd.find(s), std::string::npos) << s;
  std::map<std::string, std::string> code_of;  // "cpu2.p2.b3.has_cpu" -> code
  std::vector<std::string> scope;
  std::map<std::string, std::vector<char>> wave;
  long long now = -1;
  std::istringstream in_vcd(vcd);
  for (std::string w; in_vcd >> w;) {
    if (w == "$scope") {
      std::string kind, name;
      in_vcd >> kind >> name;
      scope.push_back(name);
    } else if (w == "$upscope") {
      scope.pop_back();
    } else if (w == "$var") {
      std::string type, size, code, name;
      in_vcd >> type >> size >> code >> name;
      std::string path;
      for (std::size_t j = 1; j < scope.size(); ++j) path += scope[j] + ".";
      code_of[path + name] = code;
    } else if (w[0] == '#') {
      now = std::stoll(w.substr(1));
    } else if ((w[0] == '0' || w[0] == '1') && now >= 0) {
      auto& v = wave[w.substr(1)];
      v.resize(static_cast<std::size_t>(now), v.empty() ? '?' : v.back());
      v.push_back(w[0]);
    }
  }
  auto& c1 = wave[code_of.at("cpu3.p3.c1.has_cpu")];
  c1.resize(static_cast<std::size_t>(tl.ticks), c1.back());
  std::string expected;
  for (bool x : tl.processors[2].threads[1].cpu) expected += x ? '1' : '0';
  EXPECT_EQ(std::string(c1.begin(), c1.end()), expected);

  // The graph names every thread; a second run diverts the report to .new.
  const std::string dot = read_file(dir + "/out.dot");
  EXPECT_NE(dot.find("\"p2.b3\" [shape=box"), std::string::npos);
  EXPECT_NE(dot.find("\"cpu2\" -> \"p2\" [style=dotted"), std::string::npos);
  r = run_vorquel({"--report", model}, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
  ASSERT_EQ(r.status, 0);
  for (const char* f : {"/out_report.html.new", "/out.vcd.new", "/out.dot.new"}) EXPECT_TRUE(fs::exists(dir + f)) << f;
}

// Without Graphviz the report is written all the same and says what is missing.
TEST(Report, WithoutGraphviz) {
  const std::string dir = make_temp_dir("report-nodot");
  const std::string bin = make_temp_dir("report-path");
  fs::create_symlink(run_command("command -v cp | tr -d '\\n'"), bin + "/cp");
  auto r = run_vorquel({"--report", source_path("examples/typical.aaxl")}, dir,
                       {"AADL_SCHEMA_DIR=" + source_path("aadl-schema"), "PATH=" + bin});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string html = read_file(dir + "/out_report.html");
  EXPECT_NE(html.find("The architecture diagram needs Graphviz"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir + "/out.dot"));
}

}  // namespace
}  // namespace vorquel
