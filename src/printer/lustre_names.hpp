// Generated names against the reserved words of Lustre.
//
// A generated name that is exactly a keyword of Lustre V4 or V6 (a port
// named "pre", a component named "node") is written with a trailing "_"
// wherever it is declared or used. Names that merely contain a keyword
// ("_pre_activate_clk", "K__pre") are left alone.
#pragma once

#include <string>
#include <string_view>

namespace vorquel {

bool is_lustre_keyword(std::string_view text);

// "bool", "int", "real": keywords that name the predefined types, written
// as they are where a type is expected.
bool is_predefined_type(std::string_view text);

// The text written for a generated name.
std::string lustre_name(std::string_view text);

// The warning for an AADL name written differently because its
// generated name is a keyword (aadl_name as the user wrote it).
std::string keyword_warning(std::string_view aadl_name, std::string_view text);

// Whether the text can name the top-level node: a letter then letters,
// digits and "_", and not a keyword.
bool is_valid_node_name(std::string_view text);

}  // namespace vorquel
