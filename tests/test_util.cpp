#include "test_util.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vorquel::testing {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream o(path, std::ios::binary);
  o << text;
}

namespace {

// The folders made by this test program, removed when it ends (by the
// process that made them: a forked child leaves them alone).
struct Made_folders {
  pid_t owner = getpid();
  std::vector<std::string> paths;
};

Made_folders& made_folders() {
  static auto* made = [] {
    auto* m = new Made_folders;
    std::atexit([] {
      Made_folders& f = made_folders();
      if (getpid() != f.owner) return;
      std::error_code ec;
      for (const auto& p : f.paths) std::filesystem::remove_all(p, ec);
    });
    return m;
  }();
  return *made;
}

}  // namespace

std::string make_temp_dir(const std::string& tag) {
  std::string tmpl = std::filesystem::temp_directory_path().string() + "/vorquel-" + tag + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp");
  made_folders().paths.emplace_back(buf.data());
  return buf.data();
}

std::string source_path(const std::string& rel) { return std::string(VORQUEL_SOURCE_DIR) + "/" + rel; }

Run_result run_vorquel(const std::vector<std::string>& args, const std::string& dir,
                       const std::vector<std::string>& env) {
  std::string out_path = make_temp_dir("run") + "/";
  std::string o = out_path + "stdout", e = out_path + "stderr";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    for (const auto& a : env) {
      auto eq = a.find('=');
      if (eq == std::string::npos) unsetenv(a.c_str());
      else setenv(a.substr(0, eq).c_str(), a.substr(eq + 1).c_str(), 1);
    }
    if (!freopen(o.c_str(), "w", stdout) || !freopen(e.c_str(), "w", stderr)) _exit(127);
    std::vector<char*> argv;
    std::string bin = VORQUEL_BINARY;
    argv.push_back(bin.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  Run_result r{WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), read_file(o), read_file(e)};
  std::filesystem::remove_all(out_path);
  return r;
}

}  // namespace vorquel::testing
