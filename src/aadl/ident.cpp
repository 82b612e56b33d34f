#include "aadl/ident.hpp"

#include <functional>

#include "driver/misc.hpp"

namespace vorquel {

Ident::Ident(std::string name) : Ident(std::vector<std::string>{std::move(name)}, {}) {}

Ident::Ident(std::vector<std::string> parts, std::vector<Sep> seps) {
  auto r = std::make_shared<Rep>();
  std::size_t len = 0;
  for (const auto& p : parts) len += p.size() + 2;
  r->text.reserve(len);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) r->text += seps[i - 1] == Sep::Dot ? "_" : "__";
    r->text += parts[i];
  }
  std::size_t h = std::hash<std::string>{}(r->text);
  for (auto s : seps) h = h * 31 + (s == Sep::Dot ? 1 : 2);
  r->hash = h;
  r->parts = std::move(parts);
  r->seps = std::move(seps);
  rep_ = std::move(r);
}

Ident Ident::dot(std::string head, const Ident& rest) {
  std::vector<std::string> parts{std::move(head)};
  parts.insert(parts.end(), rest.parts().begin(), rest.parts().end());
  std::vector<Sep> seps{Sep::Dot};
  seps.insert(seps.end(), rest.seps().begin(), rest.seps().end());
  return Ident(std::move(parts), std::move(seps));
}

Ident Ident::scope(std::string head, const Ident& rest) {
  std::vector<std::string> parts{std::move(head)};
  parts.insert(parts.end(), rest.parts().begin(), rest.parts().end());
  std::vector<Sep> seps{Sep::Scope};
  seps.insert(seps.end(), rest.seps().begin(), rest.seps().end());
  return Ident(std::move(parts), std::move(seps));
}

Ident Ident::rest() const {
  VQ_ASSERT(!is_simple(), "rest of a simple identifier");
  return Ident(std::vector<std::string>(parts().begin() + 1, parts().end()),
               std::vector<Sep>(seps().begin() + 1, seps().end()));
}

bool operator==(const Ident& a, const Ident& b) {
  if (a.rep_ == b.rep_) return true;
  return a.rep_->hash == b.rep_->hash && a.rep_->parts == b.rep_->parts && a.rep_->seps == b.rep_->seps;
}

// Structural order: variant (Simple < Dot < Scope), then the first name part
// as a byte string, then the rest.
std::strong_ordering operator<=>(const Ident& a, const Ident& b) {
  if (a.rep_ == b.rep_) return std::strong_ordering::equal;
  const auto& pa = a.parts();
  const auto& pb = b.parts();
  for (std::size_t i = 0;; ++i) {
    int ka = i + 1 == pa.size() ? 0 : (a.seps()[i] == Ident::Sep::Dot ? 1 : 2);
    int kb = i + 1 == pb.size() ? 0 : (b.seps()[i] == Ident::Sep::Dot ? 1 : 2);
    if (ka != kb) return ka <=> kb;
    int c = pa[i].compare(pb[i]);
    if (c != 0) return c < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
    if (ka == 0) return std::strong_ordering::equal;
  }
}

namespace {

// Splits at every occurrence of sep; a separator at the very start or the
// very end produces no piece.
std::vector<std::string_view> split_at(std::string_view text, std::string_view sep) {
  std::vector<std::string_view> pieces;
  std::size_t pos = 0;
  while (true) {
    std::size_t i = text.find(sep, pos);
    if (i == std::string_view::npos) {
      pieces.push_back(text.substr(pos));
      break;
    }
    pieces.push_back(text.substr(pos, i - pos));
    pos = i + sep.size();
  }
  if (!pieces.empty() && pieces.front().empty() && text.size() >= sep.size() &&
      text.substr(0, sep.size()) == sep)
    pieces.erase(pieces.begin());
  if (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  return pieces;
}

}  // namespace

Ident of_string(std::string_view text) {
  std::vector<std::string> parts;
  std::vector<Ident::Sep> seps;
  for (auto scope_piece : split_at(text, "::")) {
    auto names = split_at(scope_piece, ".");
    if (names.empty()) continue;
    if (!parts.empty()) seps.push_back(Ident::Sep::Scope);
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i > 0) seps.push_back(Ident::Sep::Dot);
      parts.emplace_back(names[i]);
    }
  }
  VQ_ASSERT(!parts.empty(), "of_string of an empty text");
  // Ident's constructor from parts is private: build through the variants.
  Ident id(parts.back());
  for (std::size_t i = parts.size() - 1; i-- > 0;)
    id = seps[i] == Ident::Sep::Dot ? Ident::dot(parts[i], id) : Ident::scope(parts[i], id);
  return id;
}

std::string integer_to_string(const Integer& i) {
  return i.named ? i.name.str() : std::to_string(i.value);
}

namespace {
Ident rebuild(std::vector<std::string> parts, const std::vector<Ident::Sep>& seps) {
  Ident id(parts.back());
  for (std::size_t i = parts.size() - 1; i-- > 0;)
    id = seps[i] == Ident::Sep::Dot ? Ident::dot(parts[i], id) : Ident::scope(parts[i], id);
  return id;
}
}  // namespace

Ident add_suffix(std::string_view suffix, const Ident& id) {
  auto parts = id.parts();
  parts.back() += suffix;
  return rebuild(std::move(parts), id.seps());
}

Ident make_new_ident(const Ident& id, std::string_view suffix) {
  std::string s = "_";
  s += id.str();
  s += suffix;
  return Ident(std::move(s));
}

Ident make_add_prefix(const Ident& prefix, const Ident& x) {
  auto parts = prefix.parts();
  parts.insert(parts.end(), x.parts().begin(), x.parts().end());
  auto seps = prefix.seps();
  seps.push_back(Ident::Sep::Dot);
  seps.insert(seps.end(), x.seps().begin(), x.seps().end());
  return rebuild(std::move(parts), seps);
}

bool is_prefix(const Ident& a, const Ident& b) {
  const auto& pa = a.parts();
  const auto& pb = b.parts();
  for (std::size_t i = 0;; ++i) {
    if (i >= pb.size() || pa[i] != pb[i]) return false;
    if (i + 1 == pa.size()) return true;  // Simple s: b's part matches
    // a is Dot/Scope here: b must have the same variant at this level.
    if (i + 1 == pb.size() || a.seps()[i] != b.seps()[i]) return false;
  }
}

Ident type_name_of_implementation_name(const Ident& id) {
  VQ_ASSERT(!id.is_simple() && id.seps().back() == Ident::Sep::Dot,
            "type_name_of_implementation_name of " + id.str());
  auto parts = id.parts();
  parts.pop_back();
  auto seps = id.seps();
  seps.pop_back();
  return rebuild(std::move(parts), seps);
}

Ident feature_name_of_component_name(const Ident& id) { return Ident(id.last()); }

std::vector<std::pair<std::string, std::string>> split_aaxl_ident(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> rev{{"", std::string(text)}};
  std::size_t pos = 0;
  while (true) {
    std::size_t i = text.find("[@name", pos);
    if (i == std::string_view::npos) break;
    std::size_t j = text.find(']', i);
    if (j == std::string_view::npos) break;
    std::size_t start = std::min(i + 7, j);
    rev.emplace_back(std::string(text.substr(pos, i - pos)), std::string(text.substr(start, j - start)));
    pos = j + 1;
  }
  return {rev.rbegin(), rev.rend()};
}

namespace {
// Name of the last "[@name" reference, or the whole text.
std::string_view last_name(std::string_view text) {
  std::size_t pos = 0;
  std::string_view name = text;
  while (true) {
    std::size_t i = text.find("[@name", pos);
    if (i == std::string_view::npos) break;
    std::size_t j = text.find(']', i);
    if (j == std::string_view::npos) break;
    std::size_t start = std::min(i + 7, j);
    name = text.substr(start, j - start);
    pos = j + 1;
  }
  return name;
}
}  // namespace

std::string aaxl_string_to_string(std::string_view text) { return std::string(last_name(text)); }

Ident aaxl_string_to_ident(std::string_view text) { return of_string(last_name(text)); }

Ident aaxl_string_to_long_ident(std::string_view text) {
  auto pairs = split_aaxl_ident(text);
  std::string package;
  for (std::size_t k = 1; k < pairs.size(); ++k) {
    const auto& path = pairs[k].first;
    // "//aadlPackage[...]" is the same-document form written by the modeller.
    if (path.rfind("/aadlPackage", 0) == 0 || path.rfind("//aadlPackage", 0) == 0) {
      package = pairs[k].second;
      break;
    }
  }
  const std::string& name = pairs.front().second;
  if (package.empty()) return of_string(name);
  return of_string(package + "::" + name);
}

Ident connection_string_to_ident(std::string_view context, std::string_view text) {
  std::string_view n = last_name(text);
  auto pairs = split_aaxl_ident(context);
  const auto& [p, c] = pairs.front();
  if (p.rfind("/subcomponents", 0) == 0 || p.rfind("/call", 0) == 0) {
    std::string s = c;
    s += '.';
    s += n;
    return of_string(s);
  }
  return of_string(n);
}

}  // namespace vorquel
