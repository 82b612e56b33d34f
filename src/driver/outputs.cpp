#include "driver/outputs.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "base/diagnostics.hpp"

namespace vorquel {

std::string check_file_name(const std::string& name) {
  // lstat: a dangling symbolic link counts as existing, so that we never
  // create a file through it.
  struct stat st;
  if (::lstat(name.c_str(), &st) == 0) return name + ".new";
  return name;
}

std::string_view without_header_comment(std::string_view text) {
  if (!text.starts_with("-- ")) return text;
  const auto end = text.find("\n\n");
  return end == std::string_view::npos ? text : text.substr(end + 2);
}

namespace {

bool ends_with_new(const std::string& name) { return name.ends_with(".new"); }

std::string directory_of(const std::string& name) {
  const auto slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string file_part(const std::string& name) {
  const auto slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool exists(const std::string& name) {
  struct stat st;
  return ::lstat(name.c_str(), &st) == 0;
}

bool is_directory(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> contents(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

// Renames without replacing: a file that appeared under the name since the
// run chose it stays as it is. File systems without the no-replace rename
// get a link and an unlink, which fail the same way.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

Staged_outputs::~Staged_outputs() {
  for (auto& e : entries_) {
    if (e.placed) continue;
    e.channel->close();
    ::unlink(e.temporary.c_str());
  }
}

Channel& Staged_outputs::open(const std::string& name, Placing placing) {
  std::string temporary = directory_of(name) + "." + file_part(name) + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) fail(file_error(errno, name));
  // mkostemp creates the file for its owner alone; outputs get the usual
  // permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0644 & ~mask);
  entries_.push_back(Entry{name, std::move(temporary), placing, std::make_unique<Channel>(fd, name, true), false, {}});
  return *entries_.back().channel;
}

const std::string& Staged_outputs::temporary_name(const Channel& c) const {
  for (const auto& e : entries_)
    if (e.channel.get() == &c) return e.temporary;
  internal_error("a channel that is not an output of the run");
}

Staged_outputs::Not_in_place Staged_outputs::commit() {
  std::string errors;
  for (auto& e : entries_)
    if (int err = e.channel->close(); err != 0) errors += file_error(err, e.name);
  if (!errors.empty()) fail(std::move(errors));

  // Where each file goes (empty: dropped, the user's file being the same).
  std::vector<std::string> targets;
  Not_in_place notes;
  for (const auto& e : entries_) {
    std::string target = e.name;
    if (e.placing == Placing::Beside && ends_with_new(e.name)) {
      notes.diverted.push_back(e.name);
    } else if (e.placing == Placing::Keep_user && exists(e.name)) {
      const auto mine = contents(e.temporary);
      const auto theirs = contents(e.name);
      if (mine && theirs && without_header_comment(*mine) == without_header_comment(*theirs)) {
        target.clear();
      } else {
        target += ".new";
        notes.kept.push_back(e.name + " is kept: this run's version, which differs, is " + target);
      }
    }
    // A directory under the name would fail the rename half way through.
    if (!target.empty() && is_directory(target)) fail(file_error(EISDIR, target));
    targets.push_back(std::move(target));
  }

  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = entries_[i];
    const std::string& target = targets[i];
    int err = 0;
    if (target.empty()) {
      ::unlink(e.temporary.c_str());
    } else if (e.placing == Placing::Replace || ends_with_new(target)) {
      if (::rename(e.temporary.c_str(), target.c_str()) != 0) err = errno;
    } else if ((err = rename_no_replace(e.temporary, target)) == 0) {
      e.created = target;
    }
    if (err != 0) {
      // The files this run created are taken back: a failed run leaves
      // nothing behind.
      for (auto& done : entries_)
        if (!done.created.empty()) ::unlink(done.created.c_str());
      fail(file_error(err, target));
    }
    e.placed = true;
  }
  return notes;
}

}  // namespace vorquel
