// Identifiers: every name of the system (AADL qualified names, dotted port
// names, generated Lustre names) is an Ident, a non-empty chain of name parts
// joined by "." (Dot) or "::" (Scope); the last part is always Simple.
//
// An Ident is an immutable value: copies share one representation, and the
// flat text form (to_string) is computed once, when the identifier is built.
// The representation is a single block: the flat text, the hash, and where
// each name part starts in the text, with the separators between them; the
// parts are views into the text. The program is single-threaded, so the
// count of the copies that share a block is a plain counter.
#pragma once

#include <compare>
#include <cstdint>
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
  static Ident dot(std::string_view head, const Ident& rest);
  // Dot(head, Simple name).
  static Ident dot(std::string_view head, std::string_view name);
  static Ident scope(std::string_view head, const Ident& rest);

  Ident(const Ident& o) noexcept : rep_(o.rep_) {
    if (rep_) ++rep_->refs;
  }
  Ident(Ident&& o) noexcept : rep_(std::exchange(o.rep_, nullptr)) {}
  Ident& operator=(const Ident& o) noexcept {
    Ident copy(o);
    std::swap(rep_, copy.rep_);
    return *this;
  }
  Ident& operator=(Ident&& o) noexcept {
    Ident moved(std::move(o));
    std::swap(rep_, moved.rep_);
    return *this;
  }
  ~Ident() { release(rep_); }

  // Kind of the outermost variant: Simple when there is one part.
  bool is_simple() const { return rep_->count == 1; }
  bool is_dot() const { return !is_simple() && sep(0) == Sep::Dot; }
  bool is_scope() const { return !is_simple() && sep(0) == Sep::Scope; }

  // Number of name parts, the i-th part, and the separator that joins the
  // parts i and i+1.
  std::size_t part_count() const { return rep_->count; }
  std::string_view part(std::size_t i) const {
    const std::uint32_t* b = rep_->begins();
    const std::size_t end = i + 1 < rep_->count ? b[i + 1] - sep_length(rep_->seps()[i]) : rep_->text.size();
    return std::string_view(rep_->text).substr(b[i], end - b[i]);
  }
  Sep sep(std::size_t i) const { return rep_->seps()[i]; }

  // First name part, and the rest of the chain (not for Simple).
  std::string_view head() const { return part(0); }
  Ident rest() const;
  std::string_view last() const { return part(rep_->count - 1); }

  // Copies of the name parts and of the separators (seps()[i] joins
  // parts()[i] and parts()[i+1]).
  std::vector<std::string> parts() const;
  std::vector<Sep> seps() const;

  // Flat text: parts joined by "_" (Dot) and "__" (Scope). Cached.
  const std::string& str() const { return rep_->text; }

  friend bool operator==(const Ident& a, const Ident& b);
  friend std::strong_ordering operator<=>(const Ident& a, const Ident& b);

  std::size_t hash() const { return rep_->hash; }

 private:
  // Followed in the same block by `count` part offsets into `text` and
  // `count - 1` separators.
  struct Rep {
    std::uint32_t refs;
    std::uint32_t count;
    std::size_t hash;
    std::string text;
    std::uint32_t* begins() { return reinterpret_cast<std::uint32_t*>(this + 1); }
    const std::uint32_t* begins() const { return reinterpret_cast<const std::uint32_t*>(this + 1); }
    Sep* seps() { return reinterpret_cast<Sep*>(begins() + count); }
    const Sep* seps() const { return reinterpret_cast<const Sep*>(begins() + count); }
  };
  static std::size_t sep_length(Sep s) { return s == Sep::Dot ? 1 : 2; }
  static Rep* allocate(std::size_t count);
  static void release(Rep* r) noexcept {
    if (r && --r->refs == 0) destroy(r);
  }
  static void destroy(Rep* r) noexcept;
  // Takes the block over once its text, offsets and separators are filled in.
  explicit Ident(Rep* filled);
  // The parts [from, to) of id appended to the block being filled, after the
  // parts already there (sep joins them to those).
  static void append_parts(Rep* r, std::size_t& filled, Sep sep, const Ident& id, std::size_t from, std::size_t to);
  static Ident joined(std::string_view head, Sep sep, const Ident& rest);

  friend Ident of_string(std::string_view text);
  friend Ident add_suffix(std::string_view suffix, const Ident& id);
  friend Ident make_add_prefix(const Ident& prefix, const Ident& x);
  friend Ident make_add_prefix(const Ident& prefix, std::string_view name);
  friend Ident type_name_of_implementation_name(const Ident& id);

  Rep* rep_;
};

// integer: a period or execution-time bound, literal or named.
struct Integer {
  // The name held by a literal: one shared identifier.
  static const Ident& no_name() {
    static const Ident underscore("_");
    return underscore;
  }
  bool named = false;
  Ident name = no_name();  // meaningful when named
  long long value = 0;  // meaningful when !named
  static Integer literal(long long v) { return Integer{false, no_name(), v}; }
  static Integer of_name(Ident n) { return Integer{true, std::move(n), 0}; }
  friend bool operator==(const Integer& a, const Integer& b) {
    return a.named == b.named && (a.named ? a.name == b.name : a.value == b.value);
  }
};

// "FOO::BAR.f" -> Scope(FOO, Dot(BAR, Simple f)).  Empty text: internal error.
Ident of_string(std::string_view text);
inline const std::string& to_string(const Ident& i) { return i.str(); }
// The name as AADL writes it, for messages: K__S_i is K::S.i.
std::string aadl_name(const Ident& id);

// Position of needle in text at or after `from`, npos when absent. A plain
// scan for the needle's last character, which in names is a rare one: quicker
// than std::string_view::find on texts as short as names.
inline std::size_t find_in(std::string_view text, std::string_view needle, std::size_t from = 0) {
  const std::size_t n = needle.size();
  if (n == 0) return from <= text.size() ? from : std::string_view::npos;
  const char last = needle[n - 1];
  for (std::size_t end = from + n; end <= text.size(); ++end) {
    if (text[end - 1] != last) continue;
    std::size_t k = 1;
    while (k < n && text[end - 1 - k] == needle[n - 1 - k]) ++k;
    if (k == n) return end - n;
  }
  return std::string_view::npos;
}

std::string integer_to_string(const Integer& i);

// Appends the suffix to the last name part.
Ident add_suffix(std::string_view suffix, const Ident& id);
// Simple("_" + to_string(id) + suffix).
Ident make_new_ident(const Ident& id, std::string_view suffix);
// prefix followed by "." and x (structure of the prefix kept).
Ident make_add_prefix(const Ident& prefix, const Ident& x);
// The same for x = Simple(name).
Ident make_add_prefix(const Ident& prefix, std::string_view name);
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
