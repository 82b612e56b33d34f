#include "driver/process.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "base/channel.hpp"

extern char** environ;

namespace vorquel {

namespace {

// A failing system call is reported on both standard streams.
void report_both(const std::string& text) {
  out(text);
  err(text);
}

void report_system_error(int error, const std::string& call, const std::string& arg) {
  report_both("*** << " + std::string(std::strerror(error)) + " >> in the system call: << " + call + " " + arg +
              " >>\n");
}

bool create_process(const std::string& program, const std::vector<std::string>& args, bool verbose, int out_fd,
                    bool wait) {
  if (verbose) {
    std::string line = "# " + program + " ";
    for (const auto& a : args) line += a + " ";
    line += "\n";
    err(line);
  }
  // The child writes straight to the descriptors: what we buffered so far
  // must come out first.
  std_out().flush();
  std_err().flush();

  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out_fd != 1) posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    report_system_error(rc, "create_process", program);
    return false;
  }
  if (!wait) return true;

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno == EINTR) continue;
    report_system_error(errno, "waitpid", program);
    return false;
  }
  // Only a clean exit with status 0 is a success: cp, for one, exits with 1
  // when it could not copy.
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    if (verbose) err("#     ... " + program + " exited normally.\n");
    return true;
  }
  if (WIFEXITED(status)) {
    err("*** Error: " + program + " exited abnormally.\n");
    return false;
  }
  err("*** Error: " + program + " exited ABnormally!\n");
  return false;
}

}  // namespace

bool my_create_process(const std::string& program, const std::vector<std::string>& args, bool verbose, int out_fd,
                       bool wait) {
  try {
    return create_process(program, args, verbose, out_fd, wait);
  } catch (const std::exception& e) {
    report_both(std::string(e.what()) + "\n");
    return false;
  }
}

}  // namespace vorquel
