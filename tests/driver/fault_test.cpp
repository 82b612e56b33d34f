// The command as a user meets it when things go wrong: outputs that cannot
// be written, inputs that are missing or hostile, a schema folder that is
// not one, and inputs of unusual size. Every such run ends, quickly, with
// status 0 or with a message and status 2; earlier outputs are never
// touched. Nothing here measures time: the inputs are sized so that work
// that grows faster than the input would not end within the test timeout.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "test_util.hpp"

namespace vorquel {
namespace {

namespace fs = std::filesystem;
using testing::make_temp_dir;
using testing::read_file;
using testing::Run_result;
using testing::run_vorquel;
using testing::source_path;
using testing::write_file;

const std::string schema_dir = "AADL_SCHEMA_DIR=" + source_path("aadl-schema");
const std::string aborting = "*** Aborting...\n";

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
bool starts_with(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

// Every entry of a directory with its contents ("<dir>" for directories).
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    m[name] = e.is_directory() ? std::string("<dir>") : read_file(e.path().string());
  }
  return m;
}

// A temporary directory removed at the end of the test.
struct Temp_dir {
  std::string path;
  explicit Temp_dir(const std::string& tag) : path(make_temp_dir(tag)) {}
  ~Temp_dir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// The binary with standard output sent to a given file (run_vorquel keeps
// it in a temporary file), as the given user when not -1; standard error is
// returned, and standard output too when it went to a file we can read.
Run_result run_with(const std::vector<std::string>& args, const std::string& dir, const std::string& env,
                    const std::string& stdout_path, uid_t user = static_cast<uid_t>(-1),
                    rlim_t address_space = RLIM_INFINITY, rlim_t file_size = RLIM_INFINITY) {
  Temp_dir tmp("stderr");
  const std::string e = tmp / "stderr";
  const std::string o = stdout_path.empty() ? tmp / "stdout" : stdout_path;
  pid_t pid = fork();
  if (pid == 0) {
    int out_fd = ::open(o.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err_fd = ::open(e.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(127);
    if (user != static_cast<uid_t>(-1) && (setgid(user) != 0 || setuid(user) != 0)) _exit(126);
    const struct rlimit limit{address_space, address_space};
    if (address_space != RLIM_INFINITY && setrlimit(RLIMIT_AS, &limit) != 0) _exit(125);
    // Writes past the size limit then fail with EFBIG instead of killing.
    const struct rlimit size_limit{file_size, file_size};
    if (file_size != RLIM_INFINITY && (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &size_limit) != 0))
      _exit(125);
    if (chdir(dir.c_str()) != 0) _exit(127);
    putenv(const_cast<char*>(env.c_str()));
    std::vector<std::string> words{VORQUEL_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return Run_result{WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), stdout_path.empty() ? read_file(o) : "",
                    read_file(e)};
}

const std::string typical = source_path("examples/typical.aaxl");

// A name of the typical model renamed everywhere: as a name attribute and
// inside references.
std::string renamed(std::string text, const std::string& from, const std::string& to) {
  for (const auto& [a, b] : {std::pair{"name=\"" + from + "\"", "name=\"" + to + "\""},
                             std::pair{"[@name=" + from + "]", "[@name=" + to + "]"}}) {
    for (std::size_t pos = 0; (pos = text.find(a, pos)) != std::string::npos; pos += b.size())
      text.replace(pos, a.size(), b);
  }
  return text;
}

// ---- outputs that cannot be written ---------------------------------------

// A write that fails (files limited to 2000 bytes: the scheduler, or the
// one file, is larger) stops the run with the system's message naming the
// file; no output is left and an earlier file is untouched.
TEST(OutputFaults, WriteFails) {
  struct Case {
    std::vector<std::string> args;
    std::string earlier;  // a file already there, or none
    std::string failing;
  };
  const std::vector<Case> cases = {{{}, "", "schedule_out.lus"},
                                   {{}, "schedule_out.lus", "schedule_out.lus.new"},
                                   {{"--one-file"}, "out.lus", "out.lus.new"},
                                   {{"--overwrite"}, "schedule_out.lus", "schedule_out.lus"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    Temp_dir dir("full");
    if (!c.earlier.empty()) write_file(dir / c.earlier, "earlier run\n");
    const auto before = snapshot(dir.path);
    std::vector<std::string> args = c.args;
    args.push_back(typical);
    auto r = run_with(args, dir.path, schema_dir, "", static_cast<uid_t>(-1), RLIM_INFINITY, 2000);
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_TRUE(ends_with(r.out, "*** File too large (" + c.failing + ")\n" + aborting)) << r.out;
    EXPECT_EQ(snapshot(dir.path), before);
  }
}

// An output name that cannot be created: taken by a directory, in a
// folder that does not exist, or in a folder we may not write into.
TEST(OutputFaults, CannotCreate) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{typical}, "*** Is a directory (out_nodes.lus.new)\n"},
      {{"-o", "sub/x", typical}, "*** Error: the output directory sub does not exist.\n"
                                 "*** Create it, or choose another one with -o.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Temp_dir dir("create");
    write_file(dir / "out_nodes.lus", "");
    fs::create_directory(dir / "out_nodes.lus.new");
    const auto before = snapshot(dir.path);
    auto r = run_vorquel(c.args, dir.path, {schema_dir});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(ends_with(r.out, c.message + aborting)) << r.out;
    EXPECT_EQ(snapshot(dir.path), before);
  }
}

// Run as an unprivileged user when we are root (as in CI), since root
// writes anyway.
TEST(OutputFaults, ReadOnlyDirectory) {
  Temp_dir dir("readonly");
  fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const uid_t nobody = 65534;
  const uid_t user = ::geteuid() == 0 ? nobody : static_cast<uid_t>(-1);
  // A schema folder directly in /tmp is used in place: that user could not
  // replace the copy that earlier runs left there.
  Temp_dir schema("schema");
  fs::copy(source_path("aadl-schema"), schema.path, fs::copy_options::recursive);
  fs::permissions(schema.path, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  auto r = run_with({typical}, dir.path, "AADL_SCHEMA_DIR=" + schema.path, "", user);
  if (r.status == 126 || r.err.find("Permission denied") != std::string::npos)
    GTEST_SKIP() << "cannot run the program as an unprivileged user here: " << r.err;
  EXPECT_EQ(r.status, 2) << r.out << r.err;
  EXPECT_TRUE(ends_with(r.out, "*** Permission denied (fillme_out_nodes.lus)\n" + aborting)) << r.out;
  EXPECT_TRUE(snapshot(dir.path).empty());
}

// Messages that cannot be written make the run fail, too.
TEST(OutputFaults, StandardOutputFull) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Temp_dir dir("stdout");
  auto r = run_with({"-v", "1", typical}, dir.path, schema_dir, "/dev/full");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("*** No space left on device (standard output)\n"), std::string::npos) << r.err;
}

// ---- failing runs -------------------------------------------------------------

// A failing run leaves the files of an earlier run as they were and adds
// nothing, whatever stage stops it.
TEST(EarlyFailure, EarlierOutputsUntouched) {
  Temp_dir dir("earlier");
  auto first = run_vorquel({typical}, dir.path, {schema_dir});
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  write_file(dir / "bad.aaxl", "<core:AadlSpec xmlns:core=\"/tmp/aadl-schema/core\"><oops/></core:AadlSpec>\n");
  write_file(dir / "timing.aaxl", renamed(read_file(typical), "c1", "c1\" timing=\"Late"));
  std::string no_protocol = read_file(typical);
  const std::size_t from = no_protocol.find("<propertyAssociation propertyDefinition=\"/aadlSpec[@name=AADL_Properties]"
                                            "/propertySet[@name=AADL_Properties]/propertyDefinition[@name=Dispatch_Protocol]");
  const std::string end = "</propertyAssociation>";
  no_protocol.erase(from, no_protocol.find(end, from) + end.size() - from);
  write_file(dir / "no_protocol.aaxl", no_protocol);
  const auto before = snapshot(dir.path);

  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string out_start;
  };
  const std::vector<Case> cases = {
      {{"missing.aaxl"}, {schema_dir}, "*** Cannot read missing.aaxl: No such file or directory\n"},
      {{"bad.aaxl"}, {schema_dir}, "*** Invalid AAXL document"},
      {{"timing.aaxl"}, {schema_dir}, "*** aaxl error: \"Late\" instead of Delayed or Immediate.\n"},
      {{"-tc", "K::Nope.i", typical}, {schema_dir}, "*** No system implementation named K::Nope.i"},
      {{"no_protocol.aaxl"}, {schema_dir}, "*** Error: the thread K__T has no Dispatch_Protocol property.\n"},
      {{typical}, {"AADL_SCHEMA_DIR"}, "Environment variable AADL_SCHEMA_DIR is undefined.\n"},
      {{"--one-file", typical, "missing.aaxl"}, {schema_dir}, "*** Cannot read missing.aaxl"},
      // Stopped once the files are being written.
      {{"-tc", "K::P.i", typical}, {schema_dir}, "*** Cannot schedule this system"},
      {{"--overwrite", "--report", "-tc", "K::P.i", typical}, {schema_dir}, "*** Cannot schedule this system"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    auto r = run_vorquel(c.args, dir.path, c.env);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(starts_with(r.out, c.out_start)) << r.out;
    EXPECT_EQ(snapshot(dir.path), before);
  }
}

// ---- runs over the files of an earlier run ---------------------------------

// After a model change (the thread type renamed, so the nodes and
// constants to fill in change; the types do not), a run diverts every file to ".new"
// and says so; with --overwrite it replaces the generated files, keeps the
// user's fillme files, adds a fillme .new only where the text differs, and
// the program includes the user's files.
TEST(Rerun, AfterModelChange) {
  for (bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "--overwrite" : "plain");
    Temp_dir dir("rerun");
    ASSERT_EQ(run_vorquel({typical}, dir.path, {schema_dir}).status, 0);
    write_file(dir / "fillme_out_nodes.lus", read_file(dir / "fillme_out_nodes.lus") + "-- filled in\n");
    const auto first = snapshot(dir.path);
    write_file(dir / "changed.aaxl", renamed(read_file(typical), "T", "U"));
    std::vector<std::string> args{"changed.aaxl"};
    if (overwrite) args.insert(args.begin(), "--overwrite");
    auto r = run_vorquel(args, dir.path, {schema_dir});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto second = snapshot(dir.path);
    for (const auto& [name, text] : first) {
      SCOPED_TRACE(name);
      const bool fillme = starts_with(name, "fillme_");
      if (!overwrite || fillme) {
        EXPECT_EQ(second.at(name), text);
      }
      const bool has_new = second.count(name + ".new") != 0;
      EXPECT_EQ(has_new, !overwrite || name == "fillme_out_nodes.lus" || name == "fillme_out_const.lus");
    }
    if (overwrite) {
      EXPECT_NE(second.at("out_nodes.lus").find("K__U("), std::string::npos);
      EXPECT_NE(second.at("out_nodes.lus").find("include \"fillme_out_nodes.lus\"\n"), std::string::npos);
      EXPECT_NE(second.at("fillme_out_nodes.lus.new").find("node K__U("), std::string::npos);
      EXPECT_TRUE(ends_with(r.err, "vorquel: warning: fillme_out_nodes.lus is kept: this run's version, which differs, is "
                       "fillme_out_nodes.lus.new\nvorquel: warning: fillme_out_const.lus is kept: this run's "
                       "version, which differs, is fillme_out_const.lus.new\n")) << r.err;
    } else {
      EXPECT_NE(r.err.find("vorquel: warning: files of an earlier run are kept; this run wrote "
                           "fillme_out_nodes.lus.new, "), std::string::npos) << r.err;
      auto quiet = run_vorquel({"-w", "changed.aaxl"}, dir.path, {schema_dir});
      EXPECT_EQ(quiet.err, "");
    }
  }
}

// -o with a directory: every file in it, includes relative to it, the
// top-level node named by the last part.
TEST(Rerun, IntoDirectory) {
  Temp_dir dir("subdir");
  fs::create_directory(dir / "sub");
  auto r = run_vorquel({"-o", "sub/typ", typical}, dir.path, {schema_dir});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(snapshot(dir.path).size(), 1u);
  const auto files = snapshot(dir / "sub");
  std::vector<std::string> names;
  for (const auto& [name, text] : files) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"fillme_typ_const.lus", "fillme_typ_nodes.lus", "fillme_typ_types.lus",
                                              "schedule_typ.lus", "typ.lus", "typ.zbl", "typ_nodes.lus"}));
  EXPECT_NE(files.at("typ.lus").find("include \"schedule_typ.lus\"\ninclude \"typ_nodes.lus\"\n"),
            std::string::npos);
  EXPECT_NE(files.at("typ.lus").find("\nnode typ("), std::string::npos);
}

// ---- hostile inputs ---------------------------------------------------------

const std::string root_open =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<core:AadlSpec xmi:version=\"2.0\" "
    "xmlns:xmi=\"http://www.omg.org/XMI\" xmlns:core=\"/tmp/aadl-schema/core\" name=\"m\">\n";
const std::string root_close = "</core:AadlSpec>\n";

std::string repeated(const std::string& piece, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + piece.size());
  while (s.size() < bytes) s += piece;
  return s;
}

// Deeply nested elements: unknown ones, or comments (which the reader drops
// whatever they hold). 8 MB nest some 300,000 levels deep, far more than any
// recursion over the tree would survive.
std::string nested(const std::string& element, std::size_t bytes) {
  const std::size_t depth = bytes / (2 * element.size() + 5);
  return root_open + repeated("<" + element + ">", depth * (element.size() + 2)) +
         repeated("</" + element + ">", depth * (element.size() + 3)) + root_close;
}

constexpr std::size_t nested_size = 8u << 20;

TEST(BadInput, ClearMessage) {
  Temp_dir dir("input");
  fs::create_directory(dir / "folder.aaxl");
  write_file(dir / "empty.aaxl", "");
  std::string latin1 = read_file(typical);
  latin1.replace(latin1.find("name=\"T\""), 8, "name=\"T\xE9\"");
  write_file(dir / "latin1.aaxl", latin1);
  const char binary[] = "\x7f" "ELF\x02\x01\x01\x00\x00\x00\xff\xfe\x80\x81";
  write_file(dir / "binary.aaxl", std::string(binary, sizeof binary - 1));
  write_file(dir / "deep.aaxl", nested("aadlPackage", nested_size));
  write_file(dir / "deep_comment.aaxl", nested("comment", nested_size));
  write_file(dir / "unclosed.aaxl", root_open + repeated("<comment>", nested_size));
  ASSERT_EQ(mkfifo((dir / "pipe.aaxl").c_str(), 0644), 0);

  // Reading errors end with the abort line; the reader's parsing and
  // structure reports stop the run on their own.
  struct Case {
    std::string file;
    std::string out_start;  // the message, up to the parser's own wording
    bool aborts;
  };
  const std::vector<Case> cases = {
      {"missing.aaxl", "*** Cannot read missing.aaxl: No such file or directory\n", true},
      {"folder.aaxl", "*** Cannot read folder.aaxl: Is a directory\n", true},
      {"empty.aaxl", "*** XML parsing error if file empty.aaxl: ", false},
      {"latin1.aaxl", "*** XML parsing error if file latin1.aaxl: line 6, column 26: invalid UTF-8", false},
      {"binary.aaxl", "*** XML parsing error if file binary.aaxl: ", false},
      {"deep.aaxl", "*** Invalid AAXL document", false},
      {"deep_comment.aaxl", "*** No system found.", true},
      {"unclosed.aaxl", "*** XML parsing error if file unclosed.aaxl: ", false},
      {"pipe.aaxl", "*** XML parsing error if file pipe.aaxl: ", false},  // nobody writes to it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Run_result r = run_vorquel({c.file}, dir.path, {schema_dir});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(starts_with(r.out, c.out_start)) << r.out.substr(0, 300);
    EXPECT_EQ(ends_with(r.out, aborting), c.aborts) << r.out.substr(0, 300);
  }
  // Nothing was written beside the inputs.
  auto entries = fs::directory_iterator(dir.path);
  EXPECT_EQ(std::distance(fs::begin(entries), fs::end(entries)), 8);
}

// An input that never ends is read up to the size limit (1 GiB), then
// refused; on its own so that it runs beside the other cases.
TEST(BadInput, EndlessInput) {
  Temp_dir dir("endless");
  const Run_result r = run_vorquel({"/dev/zero"}, dir.path, {schema_dir});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.out, "*** Cannot read /dev/zero: File too large\n" + aborting);
  EXPECT_TRUE(snapshot(dir.path).empty());
}

// A run that runs out of memory says so, whether the shortage comes while
// it reads, parses or translates.
TEST(BadInput, OutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than any limit here allows";
#endif
  Temp_dir dir("memory");
  // Five million elements: some hundreds of megabytes once parsed.
  write_file(dir / "wide.aaxl", root_open + repeated("<x/>", 20u << 20) + root_close);
  for (rlim_t megabytes : {40, 80, 160}) {
    SCOPED_TRACE(megabytes);
    auto r = run_with({"wide.aaxl"}, dir.path, schema_dir, "", static_cast<uid_t>(-1), megabytes << 20);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(starts_with(r.out, "*** ")) << r.out.substr(0, 300);
    EXPECT_NE(r.out.find("emory"), std::string::npos) << r.out.substr(0, 300);
  }
}

// The reason of an input that is not UTF-8 is given where it is.
TEST(BadInput, NotUtf8Position) {
  Temp_dir dir("utf8");
  struct Case {
    std::string bytes;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"\xE9", "line 3, column 23: invalid UTF-8 byte sequence"},         // Latin-1 letter
      {"\xC3", "line 3, column 23: invalid UTF-8 byte sequence"},         // truncated sequence
      {"\xC0\xAF", "line 3, column 23: invalid UTF-8 byte sequence"},     // overlong form
      {"\xED\xA0\x80", "line 3, column 23: invalid UTF-8 byte sequence"}, // surrogate
      {"\xF4\x90\x80\x80", "line 3, column 23: invalid UTF-8 byte sequence"},  // past U+10FFFF
      {"\x80", "line 3, column 23: invalid UTF-8 byte sequence"},                 // lone continuation
  };
  for (const auto& c : cases) {
    std::string text = root_open + "  <aadlPackage name=\"K" + c.bytes + "\"><aadlPublic/></aadlPackage>\n" + root_close;
    write_file(dir / "in.aaxl", text);
    auto r = run_vorquel({"in.aaxl"}, dir.path, {schema_dir});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "*** XML parsing error if file in.aaxl: " + c.message + "\n");
  }
  // Correct multi-byte letters are names like any other; a document that
  // declares Latin-1 is read as such.
  for (const auto& [decl, letter] : {std::pair<std::string, std::string>{"UTF-8", "\xC3\xA9"},
                                     std::pair<std::string, std::string>{"UTF-8", "\xF0\x9F\x98\x80"},
                                     std::pair<std::string, std::string>{"ISO-8859-1", "\xE9"}}) {
    std::string text = renamed(read_file(typical), "T", "T" + letter);
    text.replace(text.find("encoding=\"ASCII\""), 16, "encoding=\"" + decl + "\"");
    write_file(dir / "ok.aaxl", text);
    auto r = run_vorquel({"ok.aaxl"}, dir.path, {schema_dir});
    EXPECT_EQ(r.status, 0) << decl << r.out << r.err;
  }
}

// ---- the schema folder ---------------------------------------------------------

TEST(SchemaFolder, NotAFolder) {
  Temp_dir dir("schema");
  write_file(dir / "plain", "not a folder\n");
  const std::string copy_failed = "Error in a system call (cp).\n" + aborting;
  struct Case {
    std::string value;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"AADL_SCHEMA_DIR", "Environment variable AADL_SCHEMA_DIR is undefined.\n" + aborting},
      {"AADL_SCHEMA_DIR=" + dir.path + "/nowhere", copy_failed},
      {"AADL_SCHEMA_DIR=", copy_failed},
      {"AADL_SCHEMA_DIR=" + dir.path + "/plain", copy_failed},
      // Copying a folder that holds /tmp into /tmp can only fail, after a
      // very long time: refused at once.
      {"AADL_SCHEMA_DIR=/", copy_failed},
      {"AADL_SCHEMA_DIR=/tmp", copy_failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const Run_result r = run_vorquel({typical}, dir.path, {c.value});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(snapshot(dir.path).size(), 1u);
  }
  EXPECT_FALSE(fs::exists("/tmp/plain") && read_file("/tmp/plain") == "not a folder\n");
}

// ---- sizes ----------------------------------------------------------------------

// Names of 10,000 characters, and names of hundreds of parts, go through
// every stage, in both dialects. Packages are named by one part only: a
// deeper one is refused as not supported.
TEST(Sizes, LongAndDeepNames) {
  const std::string long_name(10000, 'n');
  std::string dots, scopes;
  for (int i = 0; i < 300; ++i) {
    dots += ".d" + std::to_string(i);
    scopes += (i ? "::P" : "P") + std::to_string(i);
  }
  std::string model = read_file(typical);
  model = renamed(model, "T", "T" + long_name + dots);
  model = renamed(model, "x", "x" + long_name);
  model = renamed(model, "t1", "t1" + long_name + dots);
  model = renamed(model, "K", "K" + long_name);
  Temp_dir dir("names");
  write_file(dir / "m.aaxl", model);
  write_file(dir / "deep.aaxl", renamed(read_file(typical), "K", scopes));
  for (const std::string dialect : {"--lustre", "--scade"}) {
    SCOPED_TRACE(dialect);
    const Run_result r = run_vorquel({dialect, "-o", dialect.substr(2), "m.aaxl"}, dir.path, {schema_dir});
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 500) << r.err.substr(0, 500);
  }
  const std::string lustre = read_file(dir / "lustre_nodes.lus");
  EXPECT_NE(lustre.find("t1" + long_name + "_d0_d1_d2_"), std::string::npos);
  EXPECT_NE(read_file(dir / "fillme_lustre_nodes.lus").find("x" + long_name), std::string::npos);

  auto r = run_vorquel({"deep.aaxl"}, dir.path, {schema_dir});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "Misc.Error\n" + aborting);
  EXPECT_EQ(r.err, ">> Not yet implemented: normalize_package\nvorquel: error: not supported: normalize_package\n");
}

// Thousands of files on the command line: distinct packages, or the same
// file again and again (its declarations then clash).
TEST(Sizes, ThousandsOfFiles) {
  Temp_dir dir("many");
  const std::string model = read_file(typical);
  std::vector<std::string> files;
  for (int i = 0; i < 2000; ++i) {
    const std::string n = std::to_string(i);
    const std::string name = "m" + n + ".aaxl";
    write_file(dir / name, renamed(renamed(model, "K", "K" + n), "S.i", "S.i" + n));
    files.push_back(name);
  }
  Run_result r = run_vorquel(files, dir.path, {schema_dir});
  EXPECT_EQ(r.status, 0) << r.out.substr(0, 500) << r.err.substr(0, 500);

  std::vector<std::string> same(3000, files.front());
  same.insert(same.begin(), "--one-file");
  r = run_vorquel(same, dir.path, {schema_dir});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(ends_with(r.out, aborting)) << r.out.substr(0, 500);
}

}  // namespace
}  // namespace vorquel
