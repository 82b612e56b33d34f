#include "printer/lustre_names.hpp"

#include <algorithm>
#include <array>

namespace vorquel {

namespace {

// The reserved words of Lustre V4 and of Lustre V6, and those that Lustre
// front ends with contracts and imports reserve besides, merged and sorted.
constexpr std::array<std::string_view, 55> keywords = {
    "and", "assert", "assume", "body", "bool", "const", "contract", "current", "div", "else", "end",
    "ensure", "enum", "extern", "false", "fby", "floor", "function", "guarantee", "if", "import", "imported",
    "include", "int", "is", "let", "merge", "mod", "mode", "model", "needs", "node", "nor", "not",
    "of", "operator", "or", "package", "pre", "provides", "real", "require", "returns", "step",
    "struct", "tel", "then", "true", "type", "unsafe", "uses", "var", "when", "with", "xor",
};
static_assert(std::is_sorted(keywords.begin(), keywords.end()));

constexpr std::size_t longest_keyword = 9;  // "guarantee"

}  // namespace

bool is_lustre_keyword(std::string_view text) {
  if (text.empty() || text.size() > longest_keyword) return false;
  return std::binary_search(keywords.begin(), keywords.end(), text);
}

bool is_predefined_type(std::string_view text) { return text == "bool" || text == "int" || text == "real"; }

std::string lustre_name(std::string_view text) {
  std::string s(text);
  if (is_lustre_keyword(text)) s += '_';
  return s;
}

std::string keyword_warning(std::string_view aadl_name, std::string_view text) {
  std::string w = "the name ";
  w += aadl_name;
  w += " is a Lustre keyword; it is written ";
  w += text;
  w += "_";
  return w;
}

bool is_valid_node_name(std::string_view text) {
  if (text.empty() || is_lustre_keyword(text)) return false;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!letter(text.front())) return false;
  return std::all_of(text.begin(), text.end(), [&](char c) { return letter(c) || digit(c) || c == '_'; });
}

}  // namespace vorquel
