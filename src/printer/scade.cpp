#include "printer/scade.hpp"

#include <unordered_map>

#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

namespace {

constexpr std::size_t short_length = 30;

// The run-wide shortening table: long text -> its short form.
struct Short_names {
  std::unordered_map<std::string, std::string> table;
  unsigned long long counter = 0;
};

Short_names& short_names() {
  static Short_names s;
  return s;
}

}  // namespace

std::string give_short_name(const std::string& s) {
  std::string n = std::to_string(short_names().counter++);
  std::size_t keep = n.size() < short_length ? short_length - n.size() : 0;
  std::string r = s.substr(0, keep);
  r += n;
  return r;
}

std::string build_ident(std::string_view text) {
  if (options().dialect != Dialect::Scade || text.size() <= short_length) return std::string(text);
  auto& table = short_names().table;
  std::string key(text);
  auto it = table.find(key);
  if (it != table.end()) return it->second;
  std::string short_form = give_short_name(key);
  table.emplace(std::move(key), short_form);
  return short_form;
}

std::string build_ident(std::string_view prefix, const Ident& id, std::string_view suffix) {
  const std::string& body = to_string(id);
  std::string s;
  s.reserve(prefix.size() + body.size() + suffix.size());
  s.append(prefix).append(body).append(suffix);
  return build_ident(s);
}

void reset_short_names() {
  short_names().table.clear();
  short_names().counter = 0;
}

}  // namespace vorquel
