#include "base/ident.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <optional>

#include "base/diagnostics.hpp"

namespace vorquel {

Ident::Rep* Ident::allocate(std::size_t count) {
  VQ_ASSERT(count >= 1 && count < UINT32_MAX, "identifier with no name part");
  void* block = ::operator new(sizeof(Rep) + count * sizeof(std::uint32_t) + (count - 1) * sizeof(Sep));
  return new (block) Rep{1, static_cast<std::uint32_t>(count), 0, std::string()};
}

void Ident::destroy(Rep* r) noexcept {
  r->~Rep();
  ::operator delete(r);
}

Ident::Ident(Rep* filled) : rep_(filled) {
  if (filled->text.size() >= UINT32_MAX) {
    destroy(filled);
    rep_ = nullptr;
    internal_error("identifier longer than 4 GB");
  }
  std::size_t h = std::hash<std::string_view>{}(filled->text);
  const Sep* seps = filled->seps();
  for (std::size_t i = 0; i + 1 < filled->count; ++i) h = h * 31 + (seps[i] == Sep::Dot ? 1 : 2);
  filled->hash = h;
}

namespace {
// Frees a block under construction when filling it fails.
template <class Rep, class Destroy>
struct Block_guard {
  Rep* r;
  Destroy destroy;
  ~Block_guard() {
    if (r) destroy(r);
  }
  Rep* release() { return std::exchange(r, nullptr); }
};
}  // namespace

Ident::Ident(std::string name) : Ident([&] {
    Rep* r = allocate(1);
    r->text = std::move(name);
    r->begins()[0] = 0;
    return r;
  }()) {}

void Ident::append_parts(Rep* r, std::size_t& filled, Sep sep, const Ident& id, std::size_t from, std::size_t to) {
  if (from >= to) return;
  if (filled > 0) {
    r->seps()[filled - 1] = sep;
    r->text.append(sep_length(sep), '_');
  }
  const Rep* s = id.rep_;
  const std::uint32_t* b = s->begins();
  const std::size_t end = to < s->count ? b[to] - sep_length(s->seps()[to - 1]) : s->text.size();
  const std::size_t shift = r->text.size();
  r->text.append(s->text, b[from], end - b[from]);
  for (std::size_t i = from; i < to; ++i) {
    r->begins()[filled] = static_cast<std::uint32_t>(shift + b[i] - b[from]);
    if (i + 1 < to) r->seps()[filled] = s->seps()[i];
    ++filled;
  }
}

Ident Ident::joined(std::string_view head, Sep sep, const Ident& rest) {
  const std::size_t n = rest.part_count();
  Rep* r = allocate(n + 1);
  Block_guard<Rep, void (*)(Rep*) noexcept> guard{r, destroy};
  r->text.reserve(head.size() + 2 + rest.str().size());
  r->text = head;
  r->begins()[0] = 0;
  std::size_t filled = 1;
  append_parts(r, filled, sep, rest, 0, n);
  return Ident(guard.release());
}

Ident Ident::dot(std::string_view head, const Ident& rest) { return joined(head, Sep::Dot, rest); }

Ident Ident::scope(std::string_view head, const Ident& rest) { return joined(head, Sep::Scope, rest); }

Ident Ident::dot(std::string_view head, std::string_view name) {
  Rep* r = allocate(2);
  Block_guard<Rep, void (*)(Rep*) noexcept> guard{r, destroy};
  r->text.reserve(head.size() + 1 + name.size());
  r->text.append(head).append(1, '_').append(name);
  r->begins()[0] = 0;
  r->begins()[1] = static_cast<std::uint32_t>(head.size() + 1);
  r->seps()[0] = Sep::Dot;
  return Ident(guard.release());
}

Ident Ident::rest() const {
  VQ_ASSERT(!is_simple(), "rest of a simple identifier");
  const std::size_t n = part_count();
  Rep* r = allocate(n - 1);
  Block_guard<Rep, void (*)(Rep*) noexcept> guard{r, destroy};
  r->text.reserve(rep_->text.size() - rep_->begins()[1]);
  std::size_t filled = 0;
  append_parts(r, filled, Sep::Dot, *this, 1, n);
  return Ident(guard.release());
}

std::vector<std::string> Ident::parts() const {
  std::vector<std::string> l;
  l.reserve(part_count());
  for (std::size_t i = 0; i < part_count(); ++i) l.emplace_back(part(i));
  return l;
}

std::vector<Ident::Sep> Ident::seps() const { return std::vector<Sep>(rep_->seps(), rep_->seps() + part_count() - 1); }

bool operator==(const Ident& a, const Ident& b) {
  if (a.rep_ == b.rep_) return true;
  const Ident::Rep& x = *a.rep_;
  const Ident::Rep& y = *b.rep_;
  return x.hash == y.hash && x.count == y.count && x.text == y.text &&
         std::equal(x.begins(), x.begins() + x.count, y.begins()) &&
         std::equal(x.seps(), x.seps() + x.count - 1, y.seps());
}

// Structural order: variant (Simple < Dot < Scope), then the first name part
// as a byte string, then the rest.
std::strong_ordering operator<=>(const Ident& a, const Ident& b) {
  if (a.rep_ == b.rep_) return std::strong_ordering::equal;
  const Ident::Rep& x = *a.rep_;
  const Ident::Rep& y = *b.rep_;
  const unsigned char* tx = reinterpret_cast<const unsigned char*>(x.text.data());
  const unsigned char* ty = reinterpret_cast<const unsigned char*>(y.text.data());
  for (std::size_t i = 0;; ++i) {
    const bool last_x = i + 1 == x.count, last_y = i + 1 == y.count;
    const int ka = last_x ? 0 : (x.seps()[i] == Ident::Sep::Dot ? 1 : 2);
    const int kb = last_y ? 0 : (y.seps()[i] == Ident::Sep::Dot ? 1 : 2);
    if (ka != kb) return ka <=> kb;
    // The parts, as unsigned bytes; names are short, so a plain loop.
    const std::size_t bx = x.begins()[i], by = y.begins()[i];
    const std::size_t ex = last_x ? x.text.size() : x.begins()[i + 1] - Ident::sep_length(x.seps()[i]);
    const std::size_t ey = last_y ? y.text.size() : y.begins()[i + 1] - Ident::sep_length(y.seps()[i]);
    const std::size_t lx = ex - bx, ly = ey - by, common = lx < ly ? lx : ly;
    for (std::size_t k = 0; k < common; ++k)
      if (tx[bx + k] != ty[by + k]) return tx[bx + k] <=> ty[by + k];
    if (lx != ly) return lx <=> ly;
    if (ka == 0) return std::strong_ordering::equal;
  }
}

namespace {

// Calls f on every piece of the text between occurrences of sep; a
// separator at the very start or the very end produces no piece.
template <class F>
void for_each_piece(std::string_view text, std::string_view sep, F f) {
  std::size_t pos = text.substr(0, sep.size()) == sep ? sep.size() : 0;
  while (true) {
    std::size_t i = text.find(sep, pos);
    if (i == std::string_view::npos) {
      if (pos < text.size()) f(text.substr(pos));
      return;
    }
    f(text.substr(pos, i - pos));
    pos = i + sep.size();
  }
}

// Calls f(piece, separator before it) on every name piece of a text in
// of_string's reading; the first piece comes with Dot.
template <class F>
void for_each_name_piece(std::string_view text, F f) {
  bool first_scope = true;
  for_each_piece(text, "::", [&](std::string_view scope_piece) {
    bool first_name = true;
    for_each_piece(scope_piece, ".", [&](std::string_view name) {
      f(name, first_name && !first_scope ? Ident::Sep::Scope : Ident::Sep::Dot);
      first_name = false;
    });
    // A scope piece with no name piece adds no boundary.
    if (!first_name) first_scope = false;
  });
}

}  // namespace

Ident of_string(std::string_view text) {
  std::size_t count = 0;
  for_each_name_piece(text, [&](std::string_view, Ident::Sep) { ++count; });
  VQ_ASSERT(count > 0, "of_string of an empty text");
  Ident::Rep* r = Ident::allocate(count);
  Block_guard<Ident::Rep, void (*)(Ident::Rep*) noexcept> guard{r, Ident::destroy};
  r->text.reserve(text.size());
  std::size_t filled = 0;
  for_each_name_piece(text, [&](std::string_view name, Ident::Sep sep) {
    if (filled > 0) {
      r->seps()[filled - 1] = sep;
      r->text.append(Ident::sep_length(sep), '_');
    }
    r->begins()[filled++] = static_cast<std::uint32_t>(r->text.size());
    r->text.append(name);
  });
  return Ident(guard.release());
}

std::string integer_to_string(const Integer& i) {
  return i.named ? i.name.str() : std::to_string(i.value);
}

Ident add_suffix(std::string_view suffix, const Ident& id) {
  const std::size_t n = id.part_count();
  Ident::Rep* r = Ident::allocate(n);
  Block_guard<Ident::Rep, void (*)(Ident::Rep*) noexcept> guard{r, Ident::destroy};
  r->text.reserve(id.str().size() + suffix.size());
  r->text = id.str();
  r->text.append(suffix);
  std::copy(id.rep_->begins(), id.rep_->begins() + n, r->begins());
  std::copy(id.rep_->seps(), id.rep_->seps() + n - 1, r->seps());
  return Ident(guard.release());
}

Ident make_new_ident(const Ident& id, std::string_view suffix) {
  std::string s;
  s.reserve(1 + id.str().size() + suffix.size());
  s += '_';
  s += id.str();
  s += suffix;
  return Ident(std::move(s));
}

Ident make_add_prefix(const Ident& prefix, const Ident& x) {
  const std::size_t np = prefix.part_count(), nx = x.part_count();
  Ident::Rep* r = Ident::allocate(np + nx);
  Block_guard<Ident::Rep, void (*)(Ident::Rep*) noexcept> guard{r, Ident::destroy};
  r->text.reserve(prefix.str().size() + 1 + x.str().size());
  std::size_t filled = 0;
  Ident::append_parts(r, filled, Ident::Sep::Dot, prefix, 0, np);
  Ident::append_parts(r, filled, Ident::Sep::Dot, x, 0, nx);
  return Ident(guard.release());
}

Ident make_add_prefix(const Ident& prefix, std::string_view name) {
  const std::size_t np = prefix.part_count();
  Ident::Rep* r = Ident::allocate(np + 1);
  Block_guard<Ident::Rep, void (*)(Ident::Rep*) noexcept> guard{r, Ident::destroy};
  r->text.reserve(prefix.str().size() + 1 + name.size());
  std::size_t filled = 0;
  Ident::append_parts(r, filled, Ident::Sep::Dot, prefix, 0, np);
  r->seps()[filled - 1] = Ident::Sep::Dot;
  r->text += '_';
  r->begins()[filled++] = static_cast<std::uint32_t>(r->text.size());
  r->text.append(name);
  return Ident(guard.release());
}

bool is_prefix(const Ident& a, const Ident& b) {
  const std::size_t na = a.part_count(), nb = b.part_count();
  for (std::size_t i = 0;; ++i) {
    if (i >= nb || a.part(i) != b.part(i)) return false;
    if (i + 1 == na) return true;  // Simple s: b's part matches
    // a is Dot/Scope here: b must have the same variant at this level.
    if (i + 1 == nb || a.sep(i) != b.sep(i)) return false;
  }
}

Ident type_name_of_implementation_name(const Ident& id) {
  VQ_ASSERT(!id.is_simple() && id.sep(id.part_count() - 2) == Ident::Sep::Dot,
            "type_name_of_implementation_name of " + id.str());
  const std::size_t n = id.part_count();
  Ident::Rep* r = Ident::allocate(n - 1);
  Block_guard<Ident::Rep, void (*)(Ident::Rep*) noexcept> guard{r, Ident::destroy};
  std::size_t filled = 0;
  Ident::append_parts(r, filled, Ident::Sep::Dot, id, 0, n - 1);
  return Ident(guard.release());
}

Ident feature_name_of_component_name(const Ident& id) { return Ident(std::string(id.last())); }

namespace {

// One "[@name=...]" reference of an AAXL text: the path before it (since the
// end of the previous reference) and the name.
struct Aaxl_ref {
  std::string_view path;
  std::string_view name;
};

// Calls f on every reference, in text order, as split_aaxl_ident reads them.
template <class F>
void for_each_ref(std::string_view text, F f) {
  std::size_t pos = 0;
  while (true) {
    std::size_t i = text.find("[@name", pos);
    if (i == std::string_view::npos) return;
    std::size_t j = text.find(']', i);
    if (j == std::string_view::npos) return;
    std::size_t start = std::min(i + 7, j);
    f(Aaxl_ref{text.substr(pos, i - pos), text.substr(start, j - start)});
    pos = j + 1;
  }
}

// The last reference, or ("", whole text) when there is none: the first
// pair of split_aaxl_ident.
Aaxl_ref last_ref(std::string_view text) {
  Aaxl_ref last{std::string_view(), text};
  for_each_ref(text, [&](const Aaxl_ref& r) { last = r; });
  return last;
}

// Name of the last "[@name" reference, or the whole text.
std::string_view last_name(std::string_view text) { return last_ref(text).name; }

}  // namespace

std::vector<std::pair<std::string, std::string>> split_aaxl_ident(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> rev{{"", std::string(text)}};
  for_each_ref(text, [&](const Aaxl_ref& r) { rev.emplace_back(std::string(r.path), std::string(r.name)); });
  return {rev.rbegin(), rev.rend()};
}

std::string aaxl_string_to_string(std::string_view text) { return std::string(last_name(text)); }

Ident aaxl_string_to_ident(std::string_view text) { return of_string(last_name(text)); }

Ident aaxl_string_to_long_ident(std::string_view text) {
  // The package is named by the latest package reference before the last
  // reference. "//aadlPackage[...]" is the same-document form written by
  // the modeller.
  std::string_view package, name = text;
  std::optional<Aaxl_ref> previous;
  for_each_ref(text, [&](const Aaxl_ref& r) {
    if (previous && (previous->path.starts_with("/aadlPackage") || previous->path.starts_with("//aadlPackage")))
      package = previous->name;
    previous = r;
    name = r.name;
  });
  if (package.empty()) return of_string(name);
  std::string qualified;
  qualified.reserve(package.size() + 2 + name.size());
  qualified.append(package).append("::").append(name);
  return of_string(qualified);
}

namespace {
// Whether of_string reads the text as one name part.
bool is_one_part(std::string_view text) {
  return !text.empty() && text.find_first_of(".:") == std::string_view::npos;
}
}  // namespace

Ident connection_string_to_ident(std::string_view context, std::string_view text) {
  std::string_view n = last_name(text);
  const Aaxl_ref c = last_ref(context);
  if (c.path.starts_with("/subcomponents") || c.path.starts_with("/call")) {
    // The usual names have no separator in them: Dot(c, Simple n).
    if (is_one_part(c.name) && is_one_part(n)) return Ident::dot(c.name, n);
    std::string s;
    s.reserve(c.name.size() + 1 + n.size());
    s.append(c.name).append(1, '.').append(n);
    return of_string(s);
  }
  if (is_one_part(n)) return Ident(std::string(n));
  return of_string(n);
}

std::string aadl_name(const Ident& id) {
  std::string s(id.part(0));
  for (std::size_t i = 1; i < id.part_count(); ++i) {
    s += id.sep(i - 1) == Ident::Sep::Dot ? "." : "::";
    s += id.part(i);
  }
  return s;
}

}  // namespace vorquel
