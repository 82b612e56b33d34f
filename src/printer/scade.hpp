// Identifier shortening for the SCADE dialect.
//
// In the SCADE dialect a name of 31 characters or more is replaced by a
// 30-character short form, the same one for the same text during the whole
// run; the table belongs to the run and is shared by all its writers.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace vorquel {

class Short_names {
 public:
  // The text itself when it has 30 characters or fewer, else its short form.
  std::string shorten(std::string_view text);
  // A fresh short name: the first 30 - d characters of s followed by the d
  // digits of the run-wide counter, which then moves on by one.
  std::string give_short_name(const std::string& s);

 private:
  std::unordered_map<std::string, std::string> table_;  // long text -> its short form
  unsigned long long counter_ = 0;
};

}  // namespace vorquel
