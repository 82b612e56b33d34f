// Identifiers: every name of the system (AADL qualified names, dotted port
// names, generated Lustre names) is an Ident, a non-empty chain of name parts
// joined by "." (Dot) or "::" (Scope); the last part is always Simple.
//
// An Ident is an immutable value: copies share one representation, and the
// flat text form (to_string) is computed once, when the identifier is built.
#pragma once

#include <compare>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorquel {

class Ident {
 public:
  enum class Sep : char { Dot, Scope };

  // Simple name.
  explicit Ident(std::string name);
  // Builders matching the three variants.
  static Ident simple(std::string name) { return Ident(std::move(name)); }
  static Ident dot(std::string head, const Ident& rest);
  static Ident scope(std::string head, const Ident& rest);

  // Kind of the outermost variant: Simple when there is one part.
  bool is_simple() const { return rep_->parts.size() == 1; }
  bool is_dot() const { return !is_simple() && rep_->seps[0] == Sep::Dot; }
  bool is_scope() const { return !is_simple() && rep_->seps[0] == Sep::Scope; }

  // First name part, and the rest of the chain (not for Simple).
  const std::string& head() const { return rep_->parts.front(); }
  Ident rest() const;

  const std::vector<std::string>& parts() const { return rep_->parts; }
  // seps()[i] joins parts()[i] and parts()[i+1].
  const std::vector<Sep>& seps() const { return rep_->seps; }
  const std::string& last() const { return rep_->parts.back(); }

  // Flat text: parts joined by "_" (Dot) and "__" (Scope). Cached.
  const std::string& str() const { return rep_->text; }

  friend bool operator==(const Ident& a, const Ident& b);
  friend std::strong_ordering operator<=>(const Ident& a, const Ident& b);

  std::size_t hash() const { return rep_->hash; }

 private:
  struct Rep {
    std::vector<std::string> parts;
    std::vector<Sep> seps;
    std::string text;
    std::size_t hash = 0;
  };
  Ident(std::vector<std::string> parts, std::vector<Sep> seps);
  std::shared_ptr<const Rep> rep_;
};

struct Ident_hash {
  std::size_t operator()(const Ident& i) const { return i.hash(); }
};

// integer: a period or execution-time bound, literal or named.
struct Integer {
  bool named = false;
  Ident name{"_"};   // meaningful when named
  long long value = 0;  // meaningful when !named
  static Integer literal(long long v) { return Integer{false, Ident("_"), v}; }
  static Integer of_name(Ident n) { return Integer{true, std::move(n), 0}; }
  friend bool operator==(const Integer& a, const Integer& b) {
    return a.named == b.named && (a.named ? a.name == b.name : a.value == b.value);
  }
};

// "FOO::BAR.f" -> Scope(FOO, Dot(BAR, Simple f)).  Empty text: internal error.
Ident of_string(std::string_view text);
inline const std::string& to_string(const Ident& i) { return i.str(); }
std::string integer_to_string(const Integer& i);

// Appends the suffix to the last name part.
Ident add_suffix(std::string_view suffix, const Ident& id);
// Simple("_" + to_string(id) + suffix).
Ident make_new_ident(const Ident& id, std::string_view suffix);
// prefix followed by "." and x (structure of the prefix kept).
Ident make_add_prefix(const Ident& prefix, const Ident& x);
// Whether a designates b or an element inside b, part by part.
bool is_prefix(const Ident& a, const Ident& b);
// Drops the last "." part: P.IMPL -> P, K::P.IMPL -> K::P. Simple: internal error.
Ident type_name_of_implementation_name(const Ident& id);
// The last part, as a Simple.
Ident feature_name_of_component_name(const Ident& id);

// AAXL references such as "/aadlSpec[@name=A]/aadlPackage[@name=K]/...[@name=T]".
std::vector<std::pair<std::string, std::string>> split_aaxl_ident(std::string_view text);
std::string aaxl_string_to_string(std::string_view text);
Ident aaxl_string_to_ident(std::string_view text);
Ident aaxl_string_to_long_ident(std::string_view text);
Ident connection_string_to_ident(std::string_view context, std::string_view text);

}  // namespace vorquel

template <>
struct std::hash<vorquel::Ident> {
  std::size_t operator()(const vorquel::Ident& i) const { return i.hash(); }
};
