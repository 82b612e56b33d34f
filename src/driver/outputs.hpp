// The files of a run, written aside and put in place together.
//
// Every output is written to a temporary file in the directory it belongs
// to; only when the whole run has succeeded are the temporary files renamed
// to their names. A run that stops on the way removes them: it leaves no
// file behind and never touches the files already there.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/channel.hpp"

namespace vorquel {

// How a finished output takes its name when a file of that name exists.
enum class Placing {
  // The name, or the name with ".new" when it is taken (an older ".new" is
  // replaced).
  Beside,
  // The file of that name is replaced.
  Replace,
  // The file of that name is the user's and stays as it is; this run's text
  // goes to the name with ".new" only when it differs from the user's file,
  // the header comment aside.
  Keep_user,
};

// The name a Beside output takes now: name, or name + ".new" when something
// (a dangling symbolic link included) has that name.
std::string check_file_name(const std::string& name);

// A text without the header comment that opens the generated files (the
// lines up to the first empty line); the text itself when it has none.
std::string_view without_header_comment(std::string_view text);

class Staged_outputs {
 public:
  Staged_outputs() = default;
  Staged_outputs(const Staged_outputs&) = delete;
  Staged_outputs& operator=(const Staged_outputs&) = delete;
  // Removes the temporary files of a run that did not commit.
  ~Staged_outputs();

  // A channel on a new temporary file beside `name`; write errors name
  // `name`. For Beside, `name` is the final name already chosen by
  // check_file_name (it ends with ".new" when diverted). A file that cannot
  // be created is a user error.
  Channel& open(const std::string& name, Placing placing);
  // The temporary file behind a channel of open() (for a program that
  // reads an output before the run ends).
  const std::string& temporary_name(const Channel& c) const;

  // Closes every channel (a write error is a user error, and nothing is
  // put in place), then renames the files to their names. Returns what
  // did not take the name it was asked for.
  struct Not_in_place {
    std::vector<std::string> diverted;  // the ".new" names written beside files of an earlier run
    std::vector<std::string> kept;      // a line for each user's file kept, whose fresh version differs
  };
  Not_in_place commit();

 private:
  struct Entry {
    std::string name;
    std::string temporary;
    Placing placing;
    std::unique_ptr<Channel> channel;
    bool placed = false;   // renamed or dropped: no temporary file any more
    std::string created;   // the name it took where nothing was before
  };
  std::vector<Entry> entries_;
};

}  // namespace vorquel
