#include "aadl/aadl_text_lexer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

void text_error(const Pos& at, const std::string& what) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::User, "*** " + std::string(at.file) + ":" + std::to_string(at.line) +
                                                            ":" + std::to_string(at.col) + ": error: " + what + "\n");
  d.location = Source_location{std::string(at.file), static_cast<int>(at.line), static_cast<int>(at.col)};
  d.message = what;
  throw Fatal(std::move(d));
}

void text_warning(const Pos& at, const std::string& what) {
  err(std::string(at.file) + ":" + std::to_string(at.line) + ":" + std::to_string(at.col) + ": warning: " + what +
      "\n");
}

bool is_reserved_word(std::string_view word) {
  static constexpr std::array<std::string_view, 81> words = {
      "aadlboolean", "aadlinteger", "aadlreal", "aadlstring", "abstract", "access", "all", "and", "annex",
      "applies", "binding", "bus", "calls", "classifier", "compute", "connections", "constant", "data", "delta",
      "device", "end", "enumeration", "event", "extends", "false", "feature", "features", "flow", "flows",
      "group", "implementation", "in", "inherit", "initial", "internal", "inverse", "is", "list", "memory", "mode",
      "modes", "none", "not", "of", "or", "out", "package", "parameter", "path", "port", "private", "process",
      "processor", "properties", "property", "prototypes", "provides", "public", "range", "record", "reference",
      "refined", "renames", "requires", "self", "set", "sink", "source", "subcomponents", "subprogram", "system",
      "thread", "to", "true", "type", "units", "virtual", "with", "server", "refines", "value"};
  if (word.size() > 14) return false;
  for (auto w : words)
    if (word_is(word, w)) return true;
  return false;
}

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
int digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Offset of the first byte that does not start a well-formed UTF-8 sequence,
// or npos.
std::size_t invalid_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    else return i;
    if (i + 1 >= n || p[i + 1] < lo || p[i + 1] > hi) return i;
    for (std::size_t k = 2; k < len; ++k)
      if (i + k >= n || (p[i + k] & 0xC0) != 0x80) return i;
    i += len;
  }
  return std::string_view::npos;
}

}  // namespace

class Token_stream::Lexer {
 public:
  Lexer(std::string_view file, std::string_view text) : file_(file), s_(text) {}

  Token token() {
    skip_blanks();
    Token t{};
    t.line = line_;
    t.col = col();
    if (i_ >= s_.size()) {
      t.kind = Tok::End;
      return t;
    }
    next(t);
    return t;
  }

 private:
  std::string_view file_;
  std::string_view s_;
  std::size_t i_ = 0;
  std::uint32_t line_ = 1;
  std::size_t line_start_ = 0;

  std::uint32_t col() const { return static_cast<std::uint32_t>(i_ - line_start_ + 1); }
  Pos here() const { return Pos{file_, line_, col()}; }
  char at(std::size_t k) const { return k < s_.size() ? s_[k] : '\0'; }

  void newline_at(std::size_t k) {
    ++line_;
    line_start_ = k + 1;
  }

  void skip_blanks() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == '\n') {
        newline_at(i_);
        ++i_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++i_;
      } else if (c == '-' && at(i_ + 1) == '-') {
        const void* nl = std::memchr(s_.data() + i_, '\n', s_.size() - i_);
        i_ = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - s_.data()) : s_.size();
      } else {
        return;
      }
    }
  }

  [[noreturn]] void fail(const std::string& what) { text_error(here(), what); }

  void next(Token& t) {
    const char c = s_[i_];
    const std::size_t start = i_;
    if (is_letter(c)) {
      while (i_ < s_.size() && (is_letter(s_[i_]) || is_digit(s_[i_]) || s_[i_] == '_')) ++i_;
      t.kind = Tok::Word;
      t.text = s_.substr(start, i_ - start);
      return;
    }
    if (is_digit(c)) return number(t);
    if (c == '"' || c == '\'') return string(t, c);
    if (c == '{' && at(i_ + 1) == '*' && at(i_ + 2) == '*') return annex(t);
    static constexpr std::string_view compound[] = {"+=>", "->>", "<->", "::", "=>", "->", "..", "**}"};
    for (auto sym : compound)
      if (s_.substr(i_, sym.size()) == sym) {
        if (sym == "**}") break;
        i_ += sym.size();
        t.kind = Tok::Sym;
        t.text = sym;
        return;
      }
    if (std::strchr("()[]{},.:;=*+-", c) != nullptr && c != '\0') {
      ++i_;
      t.kind = Tok::Sym;
      t.text = s_.substr(start, 1);
      return;
    }
    if (c == '\0') fail("NUL byte in the text");
    if (static_cast<unsigned char>(c) >= 0x80) fail("non-ASCII character outside a string or a comment");
    if (static_cast<unsigned char>(c) < 0x20) fail("control character " + std::to_string(static_cast<int>(c)));
    fail(std::string("unexpected character '") + c + "'");
  }

  // numeral = digit ( '_'? digit )*, in the given base; the value saturates
  // (overflow is reported by the caller).
  std::string_view numeral(int base, bool& overflow, long double& value) {
    const std::size_t start = i_;
    while (true) {
      char c = at(i_);
      if (digit_value(c) >= base) break;
      value = value * base + digit_value(c);
      ++i_;
      if (at(i_) == '_' && digit_value(at(i_ + 1)) < base) ++i_;
    }
    if (value > 9.2e18L) overflow = true;
    return s_.substr(start, i_ - start);
  }

  void number(Token& t) {
    const std::size_t start = i_;
    bool overflow = false;
    long double value = 0;
    numeral(10, overflow, value);
    bool real = false;
    if (at(i_) == '.' && is_digit(at(i_ + 1))) {
      // Real: digits of the fraction, then the exponent with a sign allowed.
      real = true;
      ++i_;
      long double frac = 0;
      std::string_view f = numeral(10, overflow, frac);
      std::string digits;
      for (char ch : s_.substr(start, i_ - start))
        if (ch != '_') digits += ch;
      (void)f;
      if ((at(i_) == 'e' || at(i_) == 'E') &&
          (is_digit(at(i_ + 1)) || ((at(i_ + 1) == '+' || at(i_ + 1) == '-') && is_digit(at(i_ + 2))))) {
        digits += 'e';
        ++i_;
        if (at(i_) == '+' || at(i_) == '-') digits += s_[i_++];
        while (is_digit(at(i_)) || (at(i_) == '_' && is_digit(at(i_ + 1)))) {
          if (s_[i_] != '_') digits += s_[i_];
          ++i_;
        }
      }
      double x = std::strtod(digits.c_str(), nullptr);
      if (!std::isfinite(x)) fail("real literal " + std::string(s_.substr(start, i_ - start)) + " out of range");
      t.kind = Tok::Real;
      t.real = x;
    } else {
      int base = 10;
      if (at(i_) == '#') {
        if (overflow || value < 2 || value > 16) fail("base of a based literal must lie between 2 and 16");
        base = static_cast<int>(value);
        ++i_;
        value = 0;
        if (digit_value(at(i_)) >= base) fail("digit expected after '#'");
        numeral(base, overflow, value);
        if (at(i_) != '#') fail("'#' expected at the end of a based literal");
        ++i_;
      }
      // Exponent: only when a digit (or '+' then a digit) follows, so that a
      // unit glued to the number (10e_unit, 5ms) still reads as a unit.
      if ((at(i_) == 'e' || at(i_) == 'E') && (is_digit(at(i_ + 1)) || (at(i_ + 1) == '+' && is_digit(at(i_ + 2))))) {
        ++i_;
        if (at(i_) == '+') ++i_;
        long double e = 0;
        numeral(10, overflow, e);
        if (value == 0) e = 0;
        for (long double k = 0; k < e && !overflow; ++k) {
          value *= base;
          if (value > 9.2e18L) overflow = true;
        }
      }
      t.kind = Tok::Int;
      t.integer = overflow ? -1 : static_cast<long long>(value);
    }
    (void)real;
    // A unit glued to the number (5ms) starts a new word after it.
    t.text = s_.substr(start, i_ - start);
  }

  void string(Token& t, char quote) {
    const std::size_t start = ++i_;
    while (true) {
      char c = at(i_);
      if (i_ >= s_.size() || c == '\n') {
        i_ = start - 1;
        fail("string without its closing quote on the same line");
      }
      if (c == '\\' && i_ + 1 < s_.size() && s_[i_ + 1] != '\n') {
        i_ += 2;
        continue;
      }
      if (c == quote) {
        if (at(i_ + 1) == quote) {
          i_ += 2;
          continue;
        }
        break;
      }
      ++i_;
    }
    t.kind = Tok::String;
    t.text = s_.substr(start, i_ - start);
    ++i_;
  }

  void annex(Token& t) {
    const Pos open = here();
    const std::size_t start = i_ + 3;
    std::size_t end = s_.find("**}", start);
    if (end == std::string_view::npos) text_error(open, "annex text '{**' without its closing '**}'");
    for (std::size_t k = i_; k < end; ++k)
      if (s_[k] == '\n') newline_at(k);
    t.kind = Tok::Annex;
    t.text = s_.substr(start, end - start);
    i_ = end + 3;
  }
};

namespace {

// Line and column of an offset, for the checks made before lexing.
Pos pos_of(std::string_view file, std::string_view text, std::size_t offset) {
  std::uint32_t line = 1 + static_cast<std::uint32_t>(std::count(text.begin(), text.begin() + offset, '\n'));
  std::size_t nl = text.rfind('\n', offset == 0 ? 0 : offset - 1);
  std::size_t line_start = (nl == std::string_view::npos || nl >= offset) ? 0 : nl + 1;
  return Pos{file, line, static_cast<std::uint32_t>(offset - line_start + 1)};
}

}  // namespace

Token_stream::~Token_stream() = default;
Token Token_stream::next() { return lexer_->token(); }

void Token_stream::read(std::vector<Token>& into, std::size_t n) {
  if (error_) {
    into.push_back(Token{Tok::Error, 0, 0, {}, {0}});
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    try {
      into.push_back(lexer_->token());
    } catch (const Fatal& f) {
      error_ = f.diagnostic;
      into.push_back(Token{Tok::Error, 0, 0, {}, {0}});
      return;
    }
    if (into.back().kind == Tok::End) return;
  }
}

void Token_stream::raise_error() const { throw Fatal(*error_); }

Token_stream::Token_stream(std::string_view file, std::string_view text) {
  if (text.size() >= UINT32_MAX) text_error(Pos{file, 1, 1}, "the file is too large");
  if (const void* nul = std::memchr(text.data(), '\0', text.size()))
    text_error(pos_of(file, text, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data())),
               "NUL byte in the text");
  if (std::size_t bad = invalid_utf8(text); bad != std::string_view::npos)
    text_error(pos_of(file, text, bad), "invalid UTF-8 byte sequence");
  lexer_ = std::make_unique<Lexer>(file, text);
}

}  // namespace vorquel
