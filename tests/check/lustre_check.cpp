// Structural checker of generated Lustre programs.
//
// Three steps: every file is cut into tokens and read into a light syntax tree
// (declarations, equations, expressions); the global tables of nodes, types
// and constants are built from all files; then every node body is checked
// against those tables. Syntax errors are reported with their line and the
// reading goes on at the next declaration, so one run reports every problem.
#include "lustre_check.hpp"

#include <pthread.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace vorquel::testing {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- problems

class Problems {
 public:
  explicit Problems(std::vector<std::string>& list) : list_(list) {}
  void add(std::string_view file, int line, const std::string& what) {
    std::string p(file);
    p += ':';
    p += std::to_string(line);
    p += ": ";
    p += what;
    list_.push_back(std::move(p));
  }

 private:
  std::vector<std::string>& list_;
};

std::string count_of(std::size_t n, std::string_view word) {
  std::string s = std::to_string(n);
  s += ' ';
  s += word;
  if (n != 1) s += 's';
  return s;
}

// ---------------------------------------------------------------- tokens

enum class Tk { Ident, Number, String, Char, Sym, End };

struct Token {
  Tk kind = Tk::End;
  std::string_view text;
  int line = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ident_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_ident_char(char c) { return is_ident_start(c) || is_digit(c); }

bool is_keyword(std::string_view w) {
  static const std::unordered_set<std::string_view> words = {
      "node", "function", "unsafe", "extern", "type", "const", "include", "var",
      "let",  "tel",      "returns", "if",    "then",     "else", "pre",   "current", "when",
      "and",  "or",       "xor",    "not",    "true",     "false", "fby",  "mod",     "div",
      "assert", "int",    "bool",   "real"};
  return words.count(w) != 0;
}

bool is_base_type(std::string_view w) { return w == "int" || w == "bool" || w == "real"; }

// Names the user supplies by design: "_" + name + one of the suffixes.
bool is_user_supplied_constant(std::string_view w) {
  static constexpr std::string_view suffixes[] = {"_period", "_min_exec_time", "_max_exec_time"};
  if (w.empty() || w.front() != '_') return false;
  for (auto s : suffixes)
    if (w.size() >= s.size() + 2 && w.substr(w.size() - s.size()) == s) return true;
  return false;
}

// A comment that marks what the user is to fill in: "--", blanks, "XXX".
bool is_fill_me_comment(std::string_view comment) {
  std::size_t k = 2;
  while (k < comment.size() && (comment[k] == ' ' || comment[k] == '\t')) ++k;
  return comment.substr(k, 3) == "XXX";
}

// The lines of the fill-me comments go to `fill_me_lines`, in increasing order.
std::vector<Token> tokenize(std::string_view file, std::string_view s, Problems& pb, std::vector<int>& fill_me_lines) {
  std::vector<Token> toks;
  toks.reserve(s.size() / 5 + 1);
  const std::size_t n = s.size();
  auto at = [&](std::size_t k) { return k < n ? s[k] : '\0'; };
  int line = 1;
  std::size_t i = 0;
  while (i < n) {
    const char c = s[i];
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
      continue;
    }
    if (c == '-' && at(i + 1) == '-') {
      const std::size_t start = i;
      while (i < n && s[i] != '\n') ++i;
      if (is_fill_me_comment(s.substr(start, i - start))) fill_me_lines.push_back(line);
      continue;
    }
    if (c == '(' && at(i + 1) == '*') {
      const int first = line;
      bool closed = false;
      for (i += 2; i < n; ++i) {
        if (s[i] == '*' && at(i + 1) == ')') {
          i += 2;
          closed = true;
          break;
        }
        if (s[i] == '\n') ++line;
      }
      if (!closed) pb.add(file, first, "unterminated comment");
      continue;
    }
    const std::size_t start = i;
    if (is_ident_start(c)) {
      while (i < n && is_ident_char(s[i])) ++i;
      toks.push_back({Tk::Ident, s.substr(start, i - start), line});
      continue;
    }
    if (is_digit(c)) {
      while (i < n && is_digit(s[i])) ++i;
      if (at(i) == '.' && at(i + 1) != '.') {  // "2." and "0.5", but not the slice "0..n"
        ++i;
        while (i < n && is_digit(s[i])) ++i;
      }
      if ((at(i) == 'e' || at(i) == 'E') &&
          (is_digit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && is_digit(at(i + 2))))) {
        i += 2;
        while (i < n && is_digit(s[i])) ++i;
      }
      toks.push_back({Tk::Number, s.substr(start, i - start), line});
      continue;
    }
    if (c == '"') {
      ++i;
      while (i < n && s[i] != '"' && s[i] != '\n') ++i;
      if (at(i) != '"') {
        pb.add(file, line, "unterminated string");
        continue;
      }
      ++i;
      toks.push_back({Tk::String, s.substr(start + 1, i - start - 2), line});
      continue;
    }
    if (c == '\'' && at(i + 1) != '\0' && at(i + 2) == '\'') {
      toks.push_back({Tk::Char, s.substr(i + 1, 1), line});
      i += 3;
      continue;
    }
    static constexpr std::string_view pairs[] = {"->", "<=", ">=", "<>", "..", "=>"};
    const std::string_view two = s.substr(i, 2);
    if (std::find(std::begin(pairs), std::end(pairs), two) != std::end(pairs)) {
      toks.push_back({Tk::Sym, two, line});
      i += 2;
      continue;
    }
    if (std::string_view("()[]{},;:=<>+-*/^|.#").find(c) != std::string_view::npos) {
      toks.push_back({Tk::Sym, s.substr(i, 1), line});
      ++i;
      continue;
    }
    std::string what = "unexpected character ";
    if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f) {
      what += '\'';
      what += c;
      what += '\'';
    } else {
      what += "with code " + std::to_string(static_cast<unsigned char>(c));
    }
    pb.add(file, line, what);
    ++i;
  }
  toks.push_back({Tk::End, {}, line});
  return toks;
}

// ---------------------------------------------------------------- syntax tree

struct Expr {
  enum class K {
    Leaf,    // literal
    Var,     // tok: the variable
    Call,    // tok: the callee; kids: the arguments
    Tuple,   // (a, b, ...): as many values as its items together
    Array,   // [a, b, ...]: one value
    If,      // kids: condition, then, else
    Arrow,   // kids: first, then
    Unary,   // tok: the operator; kids: the operand
    Binary,  // tok: the operator; kids: left, right
    Index    // kids: the array, the index (and the end of a slice)
  };
  K k = K::Leaf;
  Token tok;
  std::vector<Expr> kids;
};

// A type as written: the named types it refers to and the expressions it
// contains (array sizes, clocks of parameters).
struct Type_ref {
  std::vector<Token> names;
  std::vector<Expr> exprs;
};

struct Var_decl {
  Token name;
  Type_ref type;
};

struct Equation {
  Token at;                   // first token of the equation
  bool is_assert = false;
  std::vector<Token> lhs;     // the variables it defines
  std::size_t lhs_values = 0; // values it expects: a bracketed group counts as one
  Expr rhs;
};

struct Node_decl {
  Token name;
  const std::string* file = nullptr;
  bool is_function = false;
  bool header_ok = false;  // the interface was read completely
  bool has_body = false;
  bool body_ok = false;    // the body was read completely
  bool fill_me = false;    // the body holds a fill-me comment
  std::vector<Var_decl> inputs, outputs, locals;
  std::vector<Equation> equations;
};

// A constant or a type declaration.
struct Global_decl {
  Token name;
  const std::string* file = nullptr;
  std::optional<Type_ref> type;  // its type, or for a type its definition
  std::optional<Expr> value;
};

struct Program {
  std::deque<std::string> texts;  // file contents, which the tokens point into
  std::deque<std::string> files;  // file names as reported
  std::vector<Node_decl> nodes;
  std::vector<Global_decl> consts, types;
};

struct Include {
  std::string name;
  int line;
};

// ---------------------------------------------------------------- parser

struct Syntax_error {
  int line;
  std::string what;
};

// Deeper nesting than any generated program has; guards the recursion, which
// runs on a stack large enough for it (see run_on_large_stack).
constexpr int max_nesting = 10000;

std::string describe(const Token& t) {
  switch (t.kind) {
    case Tk::End: return "end of file";
    case Tk::String: return "\"" + std::string(t.text) + "\"";
    default: return "'" + std::string(t.text) + "'";
  }
}

class Parser {
 public:
  Parser(std::vector<Token> toks, std::vector<int> fill_me_lines, const std::string* file, Program& prog,
         Problems& pb, std::vector<Include>& includes)
      : toks_(std::move(toks)),
        fill_me_lines_(std::move(fill_me_lines)),
        file_(file),
        prog_(prog),
        pb_(pb),
        includes_(includes) {}

  void run() {
    while (peek().kind != Tk::End) {
      try {
        declaration();
      } catch (const Syntax_error& e) {
        pb_.add(*file_, e.line, "syntax error: " + e.what);
        resync();
      }
    }
  }

 private:
  const Token& peek(std::size_t ahead = 0) const {
    return toks_[std::min(pos_ + ahead, toks_.size() - 1)];
  }
  const Token& next() {
    const Token& t = toks_[pos_];
    if (pos_ + 1 < toks_.size()) ++pos_;
    return t;
  }
  bool is(std::string_view text) const {
    const Token& t = peek();
    return (t.kind == Tk::Sym || t.kind == Tk::Ident) && t.text == text;
  }
  bool accept(std::string_view text) {
    if (!is(text)) return false;
    next();
    return true;
  }
  [[noreturn]] void fail(const std::string& what) const {
    throw Syntax_error{peek().line, what + ", found " + describe(peek())};
  }
  void expect(std::string_view text) {
    if (!accept(text)) fail("expected '" + std::string(text) + "'");
  }
  bool at_name() const { return peek().kind == Tk::Ident && !is_keyword(peek().text); }
  Token name(const char* what) {
    if (!at_name()) fail(std::string("expected ") + what);
    return next();
  }
  // A fault that does not stop the reading.
  void soft(int line, const std::string& what) { pb_.add(*file_, line, what); }

  // After a syntax error: skip to the next declaration.
  void resync() {
    while (peek().kind != Tk::End) {
      if (is("node") || is("function") || is("unsafe") || is("extern") || is("type") || is("include"))
        return;
      if (accept("tel")) {
        if (!accept(";")) accept(".");
        return;
      }
      next();
    }
  }

  void declaration() {
    if (accept("include")) {
      if (peek().kind != Tk::String) fail("expected a file name");
      const Token& f = next();
      includes_.push_back({std::string(f.text), f.line});
      accept(";");
    } else if (accept("type")) {
      type_section();
    } else if (accept("const")) {
      const_section();
    } else if (is("node") || is("function")) {
      node_decl();
    } else if (accept("unsafe") || accept("extern")) {
      if (!is("node") && !is("function")) fail("expected 'node' or 'function'");
      node_decl();
    } else if (!accept(";")) {
      fail("expected a declaration");
    }
  }

  void type_section() {
    do {
      Global_decl d;
      d.name = name("a type name");
      d.file = file_;
      if (accept("=")) d.type = type_expr();
      expect(";");
      prog_.types.push_back(std::move(d));
    } while (at_name());
  }

  void const_section() {
    do {
      std::vector<Token> names{name("a constant name")};
      while (accept(",")) names.push_back(name("a constant name"));
      std::optional<Type_ref> type;
      if (accept(":")) type = type_expr();
      std::optional<Expr> value;
      if (accept("=")) value = expr();
      expect(";");
      for (const Token& n : names) prog_.consts.push_back(Global_decl{n, file_, type, value});
    } while (at_name());
  }

  Type_ref type_expr() {
    Type_ref t;
    type_into(t);
    return t;
  }

  void type_into(Type_ref& t) {
    Nesting guard(*this);
    if (accept("[")) {  // tuple of types
      if (!is("]")) {
        do type_into(t);
        while (accept(","));
      }
      expect("]");
    } else if (accept("{")) {  // record: name : type, separated by ";" or ","
      while (!is("}")) {
        name("a field name");
        expect(":");
        type_into(t);
        if (!accept(";") && !accept(",")) break;
      }
      expect("}");
    } else {
      const Token& n = peek();
      if (n.kind != Tk::Ident || (is_keyword(n.text) && !is_base_type(n.text))) fail("expected a type");
      next();
      if (!is_base_type(n.text)) t.names.push_back(n);
    }
    while (accept("^")) t.exprs.push_back(primary());
  }

  // "(" groups of "[const] a, b : type [when clk]" separated by ";" ")".
  void params(std::vector<Var_decl>& out) {
    expect("(");
    while (!is(")")) {
      if (is(";")) {
        soft(next().line, "empty declaration in a parameter list");
        continue;
      }
      accept("const");
      std::vector<Token> names{name("a parameter name")};
      while (accept(",")) names.push_back(name("a parameter name"));
      expect(":");
      Type_ref type = type_expr();
      if (accept("when")) type.exprs.push_back(primary());
      for (const Token& n : names) out.push_back({n, type});
      if (!accept(";")) break;
    }
    expect(")");
  }

  void node_decl() {
    const bool is_function = next().text == "function";
    const Token node_name = name("a node name");
    Node_decl& nd = prog_.nodes.emplace_back();
    nd.name = node_name;
    nd.file = file_;
    nd.is_function = is_function;
    params(nd.inputs);
    expect("returns");
    params(nd.outputs);
    nd.header_ok = true;
    const bool semicolon = accept(";");
    if (!is("var") && !is("let")) {
      if (!semicolon) fail("expected ';', 'var' or 'let'");
      if (!is_function) soft(node_name.line, "node " + std::string(node_name.text) + " has no body");
      nd.body_ok = true;
      return;
    }
    nd.has_body = true;
    if (accept("var")) {
      while (at_name()) {
        std::vector<Token> names{name("a variable name")};
        while (accept(",")) names.push_back(name("a variable name"));
        expect(":");
        Type_ref type = type_expr();
        if (accept("when")) type.exprs.push_back(primary());
        for (const Token& n : names) nd.locals.push_back({n, type});
        if (!accept(";") && !is("let")) fail("expected ';'");
      }
    }
    const int let_line = peek().line;
    expect("let");
    while (!is("tel")) {
      if (peek().kind == Tk::End) fail("expected 'tel'");
      nd.equations.push_back(equation());
    }
    const int tel_line = next().line;
    const auto marker = std::lower_bound(fill_me_lines_.begin(), fill_me_lines_.end(), let_line);
    nd.fill_me = marker != fill_me_lines_.end() && *marker <= tel_line;
    if (!accept(";")) accept(".");
    nd.body_ok = true;
  }

  Equation equation() {
    Equation eq;
    eq.at = peek();
    if (accept("assert")) {
      eq.is_assert = true;
    } else {
      if (!is("=")) {  // an empty left-hand side is reported by the checker
        const bool paren = accept("(");
        do {
          if (accept("[")) {
            do eq.lhs.push_back(name("a variable"));
            while (accept(","));
            expect("]");
          } else {
            eq.lhs.push_back(name("a variable"));
          }
          ++eq.lhs_values;
        } while (accept(","));
        if (paren) expect(")");
      }
      expect("=");
    }
    eq.rhs = expr();
    if (!accept(";") && !is("tel")) fail("expected ';'");
    return eq;
  }

  // ---- expressions
  //
  // Binary operators by precedence climbing, loosest first: "->" and "=>"
  // (right-associative), "or"/"xor", "and", comparisons, "+"/"-", "*"/"/"/
  // "mod"/"div". Prefix "not" takes an additive operand; prefix "-", "pre"
  // and "current" bind tighter; tighter still are "when", "^", "|" and "fby",
  // then indexing and slices. "if" extends as far to the right as it can.

  struct Nesting {
    explicit Nesting(Parser& p) : p_(p) {
      if (++p_.depth_ > max_nesting) {
        --p_.depth_;
        p_.fail("expression nested more than " + std::to_string(max_nesting) + " levels deep");
      }
    }
    ~Nesting() { --p_.depth_; }
    Parser& p_;
  };

  static Expr make(Expr::K k, Token tok, std::vector<Expr> kids) {
    Expr e;
    e.k = k;
    e.tok = tok;
    e.kids = std::move(kids);
    return e;
  }
  static Expr make(Expr::K k, Token tok, Expr a, Expr b) {
    std::vector<Expr> kids;
    kids.reserve(2);
    kids.push_back(std::move(a));
    kids.push_back(std::move(b));
    return make(k, tok, std::move(kids));
  }
  static Expr make(Expr::K k, Token tok, Expr a) {
    std::vector<Expr> kids;
    kids.push_back(std::move(a));
    return make(k, tok, std::move(kids));
  }

  static constexpr int additive_level = 6;

  int binary_level(const Token& t) const {
    if (t.kind != Tk::Sym && t.kind != Tk::Ident) return 0;
    const std::string_view w = t.text;
    if (w == "->") return 1;
    if (w == "=>") return 2;
    if (w == "or" || w == "xor") return 3;
    if (w == "and") return 4;
    if (w == "=" || w == "<>" || w == "<" || w == "<=" || w == ">" || w == ">=") return 5;
    if (w == "+" || w == "-") return additive_level;
    if (w == "*" || w == "/" || w == "mod" || w == "div") return 7;
    return 0;
  }

  Expr expr() {
    Nesting guard(*this);
    return binary(1);
  }

  Expr if_expr() {
    const Token at = next();
    std::vector<Expr> kids;
    kids.push_back(expr());
    expect("then");
    kids.push_back(expr());
    expect("else");
    kids.push_back(expr());
    return make(Expr::K::If, at, std::move(kids));
  }

  Expr binary(int min_level) {
    Expr l = prefix();
    for (;;) {
      const int level = binary_level(peek());
      if (level == 0 || level < min_level) return l;
      const Token op = next();
      Expr r = is("if") ? if_expr() : binary(level <= 2 ? level : level + 1);
      l = make(level == 1 ? Expr::K::Arrow : Expr::K::Binary, op, std::move(l), std::move(r));
    }
  }

  Expr prefix() {
    if (is("if")) return if_expr();
    if (is("not")) {
      Nesting guard(*this);
      const Token op = next();
      return make(Expr::K::Unary, op, binary(additive_level));
    }
    if (is("-") || is("pre") || is("current")) {
      Nesting guard(*this);
      const Token op = next();
      return make(Expr::K::Unary, op, prefix());
    }
    return tight();
  }

  Expr tight() {
    Expr l = postfix();
    while (is("when") || is("^") || is("|") || is("fby")) {
      const Token op = next();
      Expr r;
      if (op.text == "when" && is("not")) {
        const Token neg = next();
        r = make(Expr::K::Unary, neg, postfix());
      } else {
        r = postfix();
      }
      l = make(Expr::K::Binary, op, std::move(l), std::move(r));
    }
    return l;
  }

  Expr postfix() {
    Expr e = primary();
    while (is("[")) {
      const Token at = next();
      std::vector<Expr> kids;
      kids.push_back(std::move(e));
      kids.push_back(expr());
      if (accept("..")) kids.push_back(expr());
      expect("]");
      e = make(Expr::K::Index, at, std::move(kids));
    }
    return e;
  }

  std::vector<Expr> expr_list(std::string_view close) {
    std::vector<Expr> items;
    if (is(close)) return items;
    do items.push_back(expr());
    while (accept(","));
    return items;
  }

  Expr primary() {
    const Token& t = peek();
    switch (t.kind) {
      case Tk::Number:
      case Tk::String:
      case Tk::Char: return make(Expr::K::Leaf, next(), std::vector<Expr>{});
      case Tk::End: fail("expected an expression");
      default: break;
    }
    if (is("true") || is("false")) return make(Expr::K::Leaf, next(), std::vector<Expr>{});
    if (is("if")) return if_expr();
    if (at_name()) {
      const Token n = next();
      if (!accept("(")) return make(Expr::K::Var, n, std::vector<Expr>{});
      Expr call = make(Expr::K::Call, n, expr_list(")"));
      expect(")");
      return call;
    }
    if (is("(")) {
      const Token at = next();
      std::vector<Expr> items = expr_list(")");
      if (items.empty()) fail("expected an expression");
      expect(")");
      return make(Expr::K::Tuple, at, std::move(items));
    }
    if (is("[")) {
      const Token at = next();
      std::vector<Expr> items = expr_list("]");
      expect("]");
      return make(Expr::K::Array, at, std::move(items));
    }
    fail("expected an expression");
  }

  std::vector<Token> toks_;
  std::vector<int> fill_me_lines_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  const std::string* file_;
  Program& prog_;
  Problems& pb_;
  std::vector<Include>& includes_;
};

// ---------------------------------------------------------------- checks

class Checker {
 public:
  Checker(const Program& prog, Problems& pb) : prog_(prog), pb_(pb) {}

  void run() {
    register_globals();
    for (const Global_decl& t : prog_.types) {
      enter(t.file, "type " + std::string(t.name.text));
      if (t.type) check_type(*t.type);
    }
    for (const Global_decl& c : prog_.consts) {
      enter(c.file, "constant " + std::string(c.name.text));
      if (c.type) check_type(*c.type);
      if (c.value) walk(*c.value);
    }
    for (const Node_decl& n : prog_.nodes)
      if (n.header_ok) check_node(n);
  }

 private:
  enum class Role { Input, Output, Local };
  struct Slot {
    Role role;
    int line;
    bool defined = false;
  };

  template <typename Decl, typename Map>
  void register_decl(const Decl& d, Map& table, const char* kind) {
    const auto [it, fresh] = table.emplace(d.name.text, &d);
    if (fresh) return;
    pb_.add(*d.file, d.name.line,
            std::string(kind) + " " + std::string(d.name.text) + " declared twice (first at " +
                *it->second->file + ":" + std::to_string(it->second->name.line) + ")");
  }

  void register_globals() {
    for (const Node_decl& n : prog_.nodes) register_decl(n, nodes_, "node");
    for (const Global_decl& t : prog_.types) register_decl(t, types_, "type");
    for (const Global_decl& c : prog_.consts) register_decl(c, consts_, "constant");
    // "condact" is the dialect's own operator unless the program declares a node of that name.
    condact_is_operator_ = nodes_.count("condact") == 0;
  }

  void enter(const std::string* file, std::string context) {
    file_ = file;
    context_ = std::move(context);
    scope_.clear();
    reported_.clear();
  }

  void report(int line, const std::string& what) { pb_.add(*file_, line, context_ + ": " + what); }

  void check_node(const Node_decl& n) {
    enter(n.file, "node " + std::string(n.name.text));
    declare(n.inputs, Role::Input);
    declare(n.outputs, Role::Output);
    declare(n.locals, Role::Local);
    for (const auto* list : {&n.inputs, &n.outputs, &n.locals})
      for (const Var_decl& d : *list) check_type(d.type);
    if (!n.has_body || !n.body_ok) return;
    for (const Equation& eq : n.equations) check_equation(eq);
    for (const Var_decl& d : n.locals) {
      const Slot& s = scope_.at(d.name.text);
      // Only the declaration that won the name counts; duplicates are reported already.
      if (s.role == Role::Local && s.line == d.name.line && !s.defined)
        report(d.name.line, "local " + std::string(d.name.text) + " is never defined");
    }
    // Outputs may be left to the user only in a node marked to be filled
    // in, or in one whose equations define none of its outputs.
    if (n.fill_me) return;
    const auto defined = [&](const Var_decl& d) {
      const Slot& s = scope_.at(d.name.text);
      return s.role != Role::Output || s.line != d.name.line || s.defined;
    };
    const bool some_defined = std::any_of(n.outputs.begin(), n.outputs.end(), [&](const Var_decl& d) {
      const Slot& s = scope_.at(d.name.text);
      return s.role == Role::Output && s.line == d.name.line && s.defined;
    });
    if (some_defined)
      for (const Var_decl& d : n.outputs)
        if (!defined(d)) report(d.name.line, "output " + std::string(d.name.text) + " is never defined");
  }

  void declare(const std::vector<Var_decl>& list, Role role) {
    for (const Var_decl& d : list) {
      const auto [it, fresh] = scope_.emplace(d.name.text, Slot{role, d.name.line});
      if (!fresh)
        report(d.name.line, "name " + std::string(d.name.text) + " declared twice (first at line " +
                                std::to_string(it->second.line) + ")");
    }
  }

  void check_equation(const Equation& eq) {
    if (eq.is_assert) {
      walk(eq.rhs);
      return;
    }
    if (eq.lhs.empty()) report(eq.at.line, "equation without left-hand side");
    for (const Token& v : eq.lhs) define(v);
    const std::optional<std::size_t> values = walk(eq.rhs);
    if (!eq.lhs.empty() && values && *values != eq.lhs_values)
      report(eq.at.line, "left-hand side has " + count_of(eq.lhs_values, "variable") +
                             " but the right-hand side gives " + count_of(*values, "value"));
  }

  void define(const Token& v) {
    const std::string name(v.text);
    const auto it = scope_.find(v.text);
    if (it == scope_.end()) {
      report(v.line, "variable " + name + " defined but not declared");
    } else if (it->second.role == Role::Input) {
      report(v.line, "input " + name + " defined by an equation");
    } else if (it->second.defined) {
      report(v.line, "variable " + name + " defined by two equations");
    } else {
      it->second.defined = true;
    }
  }

  void use(const Token& v) {
    if (scope_.count(v.text) || consts_.count(v.text) || is_user_supplied_constant(v.text)) return;
    if (reported_.insert("v" + std::string(v.text)).second)
      report(v.line, "variable " + std::string(v.text) + " used but not declared");
  }

  void check_type(const Type_ref& t) {
    for (const Token& n : t.names)
      if (!types_.count(n.text) && reported_.insert("t" + std::string(n.text)).second)
        report(n.line, "type " + std::string(n.text) + " used but not declared");
    for (const Expr& e : t.exprs) walk(e);
  }

  // Checks an expression and returns how many values it gives, when known.
  std::optional<std::size_t> walk(const Expr& e) {
    switch (e.k) {
      case Expr::K::Leaf: return 1;
      case Expr::K::Var: use(e.tok); return 1;
      case Expr::K::Call: return call(e);
      case Expr::K::Tuple: return sum(e.kids.begin(), e.kids.end());
      case Expr::K::Array:
      case Expr::K::Index:
        for (const Expr& k : e.kids) walk(k);
        return 1;
      case Expr::K::If: {
        walk(e.kids[0]);
        return same_values(walk(e.kids[1]), walk(e.kids[2]), e.tok.line, "the branches of an if");
      }
      case Expr::K::Arrow:
        return same_values(walk(e.kids[0]), walk(e.kids[1]), e.tok.line, "the two sides of '->'");
      case Expr::K::Unary: return walk(e.kids[0]);
      case Expr::K::Binary: {
        const auto l = walk(e.kids[0]);
        walk(e.kids[1]);
        // A sampled or delayed tuple keeps its width; any other operator gives one value.
        if (e.tok.text == "when" || e.tok.text == "fby") return l;
        return 1;
      }
    }
    return std::nullopt;
  }

  template <typename It>
  std::optional<std::size_t> sum(It first, It last) {
    std::optional<std::size_t> total = 0;
    for (; first != last; ++first) {
      const auto v = walk(*first);
      if (v && total) *total += *v;
      else total.reset();
    }
    return total;
  }

  std::optional<std::size_t> same_values(std::optional<std::size_t> a, std::optional<std::size_t> b,
                                         int line, const char* what) {
    if (a && b && *a != *b)
      report(line, std::string(what) + " give " + std::to_string(*a) + " and " + std::to_string(*b) + " values");
    return a ? a : b;
  }

  const Node_decl* callee(const Token& name) {
    const auto it = nodes_.find(name.text);
    if (it != nodes_.end()) return it->second;
    if (reported_.insert("n" + std::string(name.text)).second)
      report(name.line, "call of undeclared node " + std::string(name.text));
    return nullptr;
  }

  void check_inputs(const Token& name, const Node_decl& n, std::size_t given) {
    if (given != n.inputs.size())
      report(name.line, "call of " + std::string(name.text) + " passes " + count_of(given, "input") + ", " +
                            std::string(name.text) + " has " + count_of(n.inputs.size(), "input"));
  }

  std::optional<std::size_t> call(const Expr& e) {
    if (condact_is_operator_ && e.tok.text == "condact") return condact_operator(e);
    const auto args = sum(e.kids.begin(), e.kids.end());
    const Node_decl* n = callee(e.tok);
    if (!n || !n->header_ok) return std::nullopt;
    if (args) check_inputs(e.tok, *n, *args);
    return n->outputs.size();
  }

  // condact(clock, N(inputs), further inputs..., one default per output of N)
  std::optional<std::size_t> condact_operator(const Expr& e) {
    if (e.kids.size() < 3 || e.kids[1].k != Expr::K::Call) {
      report(e.tok.line, "condact needs a clock, a node call and default values");
      sum(e.kids.begin(), e.kids.end());
      return std::nullopt;
    }
    walk(e.kids[0]);
    const Expr& inner = e.kids[1];
    const auto args = sum(inner.kids.begin(), inner.kids.end());
    const auto rest = sum(e.kids.begin() + 2, e.kids.end());
    const Node_decl* n = callee(inner.tok);
    if (!n || !n->header_ok) return std::nullopt;
    const std::size_t outs = n->outputs.size();
    if (rest && *rest < outs)
      report(inner.tok.line, "condact of " + std::string(inner.tok.text) + " passes " + count_of(*rest, "value") +
                                 " after the call, " + std::string(inner.tok.text) + " needs " +
                                 count_of(outs, "default value"));
    else if (args && rest)
      check_inputs(inner.tok, *n, *args + *rest - outs);
    return outs;
  }

  const Program& prog_;
  Problems& pb_;
  std::unordered_map<std::string_view, const Node_decl*> nodes_;
  std::unordered_map<std::string_view, const Global_decl*> types_, consts_;
  bool condact_is_operator_ = true;

  const std::string* file_ = nullptr;
  std::string context_;
  std::unordered_map<std::string_view, Slot> scope_;
  std::unordered_set<std::string> reported_;  // kind letter + name, one report per context
};

// ---------------------------------------------------------------- files

void parse_text(Program& prog, Problems& pb, const std::string* file, std::string_view text,
                std::vector<Include>& includes) {
  std::vector<int> fill_me_lines;
  std::vector<Token> toks = tokenize(*file, text, pb, fill_me_lines);
  Parser(std::move(toks), std::move(fill_me_lines), file, prog, pb, includes).run();
}

std::optional<std::string> read_whole(const fs::path& p) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return std::nullopt;
  std::ifstream in(p, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(ss).str();
}

std::string file_key(const fs::path& p) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(p, ec);
  return (ec ? p.lexically_normal() : c).string();
}

// Reads the main text and every file it includes (once each), then checks.
Check_result check_from(std::string main_name, std::string main_text, const fs::path& base_dir,
                        std::unordered_set<std::string> seen) {
  Check_result result;
  Problems pb(result.problems);
  Program prog;
  struct Pending {
    const std::string* file;
    const std::string* text;
  };
  std::deque<Pending> queue;
  queue.push_back({&prog.files.emplace_back(std::move(main_name)), &prog.texts.emplace_back(std::move(main_text))});
  while (!queue.empty()) {
    const Pending p = queue.front();
    queue.pop_front();
    std::vector<Include> includes;
    parse_text(prog, pb, p.file, *p.text, includes);
    for (const Include& inc : includes) {
      const fs::path path = fs::path(inc.name).is_absolute() ? fs::path(inc.name) : base_dir / inc.name;
      if (!seen.insert(file_key(path)).second) continue;
      std::optional<std::string> text = read_whole(path);
      if (!text) {
        pb.add(*p.file, inc.line, "cannot read included file \"" + inc.name + "\"");
        continue;
      }
      queue.push_back({&prog.files.emplace_back(path.lexically_normal().string()),
                       &prog.texts.emplace_back(std::move(*text))});
    }
  }
  Checker(prog, pb).run();
  return result;
}

// Runs the job on a thread with a stack large enough for max_nesting levels of
// the recursive reader and checker, and passes on what it throws.
template <typename Job>
void run_on_large_stack(Job& job) {
  struct Ctx {
    Job* job;
    std::exception_ptr error;
  } ctx{&job, nullptr};
  auto body = [](void* p) -> void* {
    auto* c = static_cast<Ctx*>(p);
    try {
      (*c->job)();
    } catch (...) {
      c->error = std::current_exception();
    }
    return nullptr;
  };
  pthread_attr_t attr;
  pthread_t thread;
  bool started = pthread_attr_init(&attr) == 0;
  if (started) {
    started = pthread_attr_setstacksize(&attr, std::size_t{512} << 20) == 0 &&
              pthread_create(&thread, &attr, body, &ctx) == 0;
    pthread_attr_destroy(&attr);
  }
  if (!started) {
    job();
    return;
  }
  pthread_join(thread, nullptr);
  if (ctx.error) std::rethrow_exception(ctx.error);
}

Check_result check_on_large_stack(std::string main_name, std::string main_text, const fs::path& base_dir,
                                  std::unordered_set<std::string> seen) {
  Check_result result;
  auto job = [&] { result = check_from(std::move(main_name), std::move(main_text), base_dir, std::move(seen)); };
  run_on_large_stack(job);
  return result;
}

}  // namespace

Check_result check_lustre_program(const std::string& main_file) {
  const fs::path main(main_file);
  std::optional<std::string> text = read_whole(main);
  if (!text) return Check_result{{main_file + ":0: cannot read the file"}};
  return check_on_large_stack(main_file, std::move(*text), main.parent_path(), {file_key(main)});
}

Check_result check_lustre_text(std::string text) {
  return check_on_large_stack("<text>", std::move(text), fs::path(), {});
}

}  // namespace vorquel::testing
