// Checking an AAXL document against the accepted structure, and the
// positions and quotes that the reader's messages use. Private to the reader.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorquel::aaxl {

using pugi::xml_attribute;
using pugi::xml_node;

// Line and column of the places of the document, computed from the text as
// read (the in-place parse overwrites some of its bytes).
class Positions {
 public:
  explicit Positions(std::string_view text) : begin_(text.data()), size_(text.size()) {
    if (size_ >= UINT32_MAX) return;
    const char* p = begin_;
    const char* end = begin_ + size_;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p)))) {
      newlines_.push_back(static_cast<std::uint32_t>(p - begin_));
      ++p;
    }
    usable_ = true;
  }

  // Line and column (from 1) of an offset in the text; {0, 0} if unknown.
  std::pair<std::uint32_t, std::uint32_t> line_column(std::size_t offset) const {
    if (!usable_ || offset > size_) return {0, 0};
    auto it = std::lower_bound(newlines_.begin(), newlines_.end(), offset);
    std::size_t line = static_cast<std::size_t>(it - newlines_.begin()) + 1;
    std::size_t line_start = it == newlines_.begin() ? 0 : *(it - 1) + 1;
    return {static_cast<std::uint32_t>(line), static_cast<std::uint32_t>(offset - line_start + 1)};
  }
  // Same for a pointer into the parsed buffer.
  std::pair<std::uint32_t, std::uint32_t> line_column(const char* p) const {
    if (p < begin_ || p >= begin_ + size_) return {0, 0};
    return line_column(static_cast<std::size_t>(p - begin_));
  }
  // "line L, column C: " for an offset in the text, or "".
  std::string at_offset(std::size_t offset) const {
    auto [line, column] = line_column(offset);
    if (line == 0) return "";
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
  }
  // Same for a pointer into the parsed buffer (names and values of nodes).
  std::string at(const char* p) const {
    if (p < begin_ || p >= begin_ + size_) return "";
    return at_offset(static_cast<std::size_t>(p - begin_));
  }
  std::string at(xml_node n) const { return at(n.type() == pugi::node_element ? n.name() : n.value()); }

 private:
  const char* begin_;
  std::size_t size_;
  std::vector<std::uint32_t> newlines_;
  bool usable_ = false;
};

// A text of the document as quoted in a message (long texts shortened).
inline std::string shown(std::string_view text) {
  constexpr std::size_t limit = 60;
  if (text.size() <= limit) return std::string(text);
  return std::string(text.substr(0, limit)) + "...";
}

inline bool is_blank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

inline bool is_comment(xml_node n) { return n.type() == pugi::node_element && std::strcmp(n.name(), "comment") == 0; }

// The first problem found, if any. XML problems (well-formedness) are
// reported as parsing errors, the others as an invalid document.
struct Problem {
  bool xml = false;
  std::string description;
};
// The first problem of the document under root (the root element included).
std::optional<Problem> check_document(const Positions& pos, xml_node root);

}  // namespace vorquel::aaxl
