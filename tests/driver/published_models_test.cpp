// The published models of ../shared/models/aadlib: each translates into a
// program that the independent Lustre front end accepts, or stops with a
// message that names its first unsupported construct and where it is. The
// expectations come from reading the models.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using namespace vorquel::testing;

const std::string shared = VORQUEL_SOURCE_DIR "/../shared/";

int check_status(const std::string& file) {
  const std::string command = shared + "tools/lustre-check/check.sh '" + file + "' >/dev/null 2>&1";
  const int w = std::system(command.c_str());
  return WIFEXITED(w) ? WEXITSTATUS(w) : -1;
}

struct Expectation {
  std::string model;
  // Empty: the model translates and the front end accepts it. Otherwise
  // pieces that the message of the stop holds, in order.
  std::vector<std::string> stop;
};

TEST(PublishedModels, TranslateOrStopNamingTheConstruct) {
  if (!fs::exists(shared + "models/aadlib") || !fs::exists(shared + "tools/lustre-check/check.sh"))
    GTEST_SKIP() << "the published models or the Lustre front end are absent";
  const std::vector<Expectation> table = {
      // Periodic threads given by their implementations, no scheduling protocol.
      {"air-hello", {}},
      // CPU.B, which the car binds, schedules with EDF.
      {"car", {"processor CPU_B", "Car::CPU.B", "EDF"}},
      // Feature groups of the I2C bus print as tuple types, beyond the front end: see below.
      {"fcs", {}},
      // Pstep1.aperiodic holds an aperiodic thread.
      {"flow_analysis-sampled-periodic", {"thread Tstep1", "Pstep1.aperiodic", "Aperiodic"}},
      // PumpCtrl and WaterAlarm are sporadic threads (their types say so).
      {"minepump", {"Sporadic dispatch protocol"}},
      // The mailbox is a required data access without an access right.
      {"mosart", {"data access mbx", "MoDeVVa__display", "Required_Access"}},
      // Thread implementations without calls, periodic, on a processor of fixed priorities.
      {"radar", {}},
      {"rma", {}},
      // The shared buffers are required data accesses without an access right.
      {"satellite", {"data access ICB_AOCS_ACQ_features", "AOCS_CYCL", "Required_Access"}},
  };
  // Front-end gaps, not faults of the program: record types written as tuples.
  const std::vector<std::string> tuple_types = {"fcs"};
  const std::string dir = make_temp_dir("published");
  for (const auto& e : table) {
    SCOPED_TRACE(e.model);
    std::vector<std::string> args = {"--one-file", "--gen-fake-body", "-o", "m"};
    std::vector<std::string> files;
    for (const auto& f : fs::directory_iterator(shared + "models/aadlib/" + e.model))
      if (f.path().extension() == ".aadl") files.push_back(f.path().string());
    std::sort(files.begin(), files.end());
    args.insert(args.end(), files.begin(), files.end());
    fs::remove(fs::path(dir) / "m.lus");
    const Run_result r = run_vorquel(args, dir, {"AADL_SCHEMA_DIR=" + source_path("aadl-schema")});
    if (e.stop.empty()) {
      EXPECT_EQ(r.status, 0) << r.out.substr(0, 1000) << r.err.substr(0, 1000);
      if (std::find(tuple_types.begin(), tuple_types.end(), e.model) == tuple_types.end())
        EXPECT_EQ(check_status(dir + "/m.lus"), 0);
      continue;
    }
    EXPECT_EQ(r.status, 2);
    std::size_t at = 0;
    for (const auto& piece : e.stop) {
      at = r.out.find(piece, at);
      ASSERT_NE(at, std::string::npos) << piece << " not in " << r.out;
    }
  }
}

}  // namespace
}  // namespace vorquel
