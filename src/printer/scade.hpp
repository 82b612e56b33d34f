// Identifier shortening for the SCADE dialect.
//
// Every identifier that the printer writes goes through build_ident. In the
// Lustre dialect it is the identity; in the SCADE dialect a text of 31
// characters or more is replaced by a 30-character short form, the same one
// for the same text during the whole run.
#pragma once

#include <string>
#include <string_view>

#include "base/ident.hpp"

namespace vorquel {

// prefix + to_string(id) + suffix, shortened in the SCADE dialect.
std::string build_ident(std::string_view prefix, const Ident& id, std::string_view suffix);
// The same for an already assembled text.
std::string build_ident(std::string_view text);
// A fresh short name: the first 30 - d characters of s followed by the d
// digits of the run-wide counter, which then moves on by one.
std::string give_short_name(const std::string& s);
// Empties the shortening table and restarts the counter (for tests).
void reset_short_names();

}  // namespace vorquel
