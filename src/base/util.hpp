// Small text and option helpers.
#pragma once

#include <optional>
#include <string_view>

namespace vorquel {

inline bool is_substring(std::string_view pattern, std::string_view text) {
  return text.find(pattern) != std::string_view::npos;
}

template <class F, class T>
auto opt_map(F f, const std::optional<T>& v) -> std::optional<decltype(f(*v))> {
  if (v) return f(*v);
  return std::nullopt;
}

}  // namespace vorquel
