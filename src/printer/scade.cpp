#include "printer/scade.hpp"

namespace vorquel {

namespace {
constexpr std::size_t short_length = 30;
}  // namespace

std::string Short_names::give_short_name(const std::string& s) {
  std::string n = std::to_string(counter_++);
  std::size_t keep = n.size() < short_length ? short_length - n.size() : 0;
  std::string r = s.substr(0, keep);
  r += n;
  return r;
}

std::string Short_names::shorten(std::string_view text) {
  if (text.size() <= short_length) return std::string(text);
  std::string key(text);
  auto it = table_.find(key);
  if (it != table_.end()) return it->second;
  std::string short_form = give_short_name(key);
  table_.emplace(std::move(key), short_form);
  return short_form;
}

}  // namespace vorquel
