// Tokens of textual AADL. Words (keywords and names alike) are one kind of
// token: AADL reserves few words in practice, and models written for one
// version of the language use the other version's keywords as names, so the
// parser tells keywords by their place.
//
// Reports: errors and warnings go through text_error and text_warning, which
// name the file, line and column.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.hpp"

namespace vorquel {

// A place in an input file (lines and columns from 1; columns count bytes).
struct Pos {
  std::string_view file;
  std::uint32_t line = 0;
  std::uint32_t col = 0;
};

// "*** file:line:col: error: what\n", raised as a located user error.
[[noreturn]] void text_error(const Pos& at, const std::string& what);
// "file:line:col: warning: what\n" on standard error.
void text_warning(const Pos& at, const std::string& what);

enum class Tok : std::uint8_t {
  Word,    // letters, digits and underscores, starting with a letter
  Int,     // integer literal (value in Token::integer)
  Real,    // real literal (value in Token::real)
  String,  // "..." or '...' (text without the quotes, escapes kept as written)
  Annex,   // {** ... **} (text between the brackets)
  Sym,     // delimiter: ( ) [ ] { } , . : ; = * + - :: => +=> -> ->> <-> ..
  End,
  Error,   // a lexical error here (Token_stream::error() has the message)
};

struct Token {
  Tok kind;
  std::uint32_t line;
  std::uint32_t col;
  std::string_view text;  // as written (for String and Annex: the content)
  union {
    long long integer;  // Int; -1 when the literal does not fit
    double real;        // Real
  };
};

// The tokens of a text, one after the other, End at the end (and ever
// after). Comments run from "--" to the end of the line. The text must
// outlive the tokens. Located errors: characters outside the language,
// unterminated strings or annex texts, malformed numbers, and (when the
// stream is made) NUL bytes and invalid UTF-8.
class Token_stream {
 public:
  Token_stream(std::string_view file, std::string_view text);
  ~Token_stream();
  Token next();
  // Appends the next tokens to `into`, at most n, fewer at the End token.
  // A lexical error gives an Error token, which is the last one: the error
  // is raised by whoever reaches it (with raise_error).
  void read(std::vector<Token>& into, std::size_t n);
  [[noreturn]] void raise_error() const;

 private:
  class Lexer;
  std::unique_ptr<Lexer> lexer_;
  std::optional<Diagnostic> error_;
};

// ASCII case-insensitive comparison of a word with a lower-case keyword.
inline bool word_is(std::string_view word, std::string_view lower_keyword) {
  if (word.size() != lower_keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_keyword[i]) return false;
  }
  return true;
}

inline std::string lower_case(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// Whether two names are the same name (AADL names ignore case).
inline bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The reserved words of the language (lower case).
bool is_reserved_word(std::string_view word);

}  // namespace vorquel
