// Small list and option helpers.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vorquel {

// Keeps the first occurrence of every element, in list order. Linear for
// hashable elements (identifiers), quadratic otherwise.
template <class T>
std::vector<T> remove_duplicates(const std::vector<T>& l) {
  std::vector<T> out;
  if constexpr (requires(const T& x) { std::hash<T>{}(x); }) {
    std::unordered_set<T> seen;
    for (const auto& x : l)
      if (seen.insert(x).second) out.push_back(x);
  } else {
    for (const auto& x : l)
      if (std::find(out.begin(), out.end(), x) == out.end()) out.push_back(x);
  }
  return out;
}

inline bool is_substring(std::string_view pattern, std::string_view text) {
  return text.find(pattern) != std::string_view::npos;
}

template <class F, class T>
auto opt_map(F f, const std::optional<T>& v) -> std::optional<decltype(f(*v))> {
  if (v) return f(*v);
  return std::nullopt;
}

}  // namespace vorquel
