// Identifier shortening for the SCADE dialect.
#pragma once

#include <string>
#include <string_view>

#include "aadl/ident.hpp"

namespace vorquel {

// prefix + to_string(id) + suffix; in the SCADE dialect a text of 31
// characters or more is replaced by its 30-character short form.
std::string build_ident(std::string_view prefix, const Ident& id, std::string_view suffix);
std::string build_ident(std::string_view text);
std::string give_short_name(const std::string& s);
void reset_short_names();  // for tests

}  // namespace vorquel
