// Recursive-descent parser of textual AADL (version 2, and the version 1
// forms that cannot be mistaken for anything else). Keywords are recognised
// by their place: every word is lexed alike.
#include <string>

#include "aadl/aadl_text_syntax.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

namespace {

// Values nest (lists of lists); deeper than this is no model.
constexpr int max_depth = 100;

class Parser {
 public:
  Parser(int verbosity, S_file& f) : verbosity_(verbosity), f_(f), stream_(f.name, f.text) {}

  void file() {
    while (!at_end()) {
      if (word("package")) {
        f_.packages.push_back(package());
      } else if (word("property") && word_at(1, "set")) {
        property_set();
      } else if (word("annex")) {
        annex();
      } else if (word("with")) {
        ++k_;
        std::vector<S_ref> ignored;
        with_list(ignored);
      } else {
        declaration(f_.loose);
      }
    }
  }

 private:
  int verbosity_;
  S_file& f_;
  Token_stream stream_;
  // The tokens read so far but not yet released; toks_[0] is the token
  // number base_ of the text. k_ counts from the start of the text.
  mutable std::vector<Token> toks_;
  mutable std::size_t base_ = 0;
  std::size_t k_ = 0;
  int depth_ = 0;

  // ---- tokens ----------------------------------------------------------------
  const Token& tok(std::size_t ahead = 0) const {
    const std::size_t i = k_ + ahead - base_;
    if (i < toks_.size() && toks_[i].kind != Tok::Error) [[likely]]
      return toks_[i];
    return more(i);
  }
  const Token& more(std::size_t i) const {
    while (toks_.size() <= i) {
      if (!toks_.empty() && (toks_.back().kind == Tok::End || toks_.back().kind == Tok::Error)) {
        i = toks_.size() - 1;
        break;
      }
      const_cast<Token_stream&>(stream_).read(toks_, 256);
    }
    if (toks_[i].kind == Tok::Error) stream_.raise_error();
    return toks_[i];
  }
  // Forgets the tokens before the current one: the parser never goes back
  // past the statement it is in.
  void release() {
    const std::size_t done = k_ - base_;
    if (done < 4096 || done > toks_.size()) return;
    toks_.erase(toks_.begin(), toks_.begin() + static_cast<std::ptrdiff_t>(done));
    base_ = k_;
  }
  // The token just consumed.
  const Token& prev() const { return toks_[k_ - 1 - base_]; }
  bool at_end() const { return tok().kind == Tok::End; }
  Pos pos(const Token& t) const { return Pos{f_.name, t.line, t.col}; }
  Pos pos() const { return pos(tok()); }
  bool word_at(std::size_t ahead, std::string_view kw) const {
    const Token& t = tok(ahead);
    return t.kind == Tok::Word && word_is(t.text, kw);
  }
  bool word(std::string_view kw) const { return word_at(0, kw); }
  bool sym_at(std::size_t ahead, std::string_view s) const {
    const Token& t = tok(ahead);
    return t.kind == Tok::Sym && t.text.size() == s.size() && t.text[0] == s[0] && (s.size() == 1 || t.text == s);
  }
  bool sym(std::string_view s) const { return sym_at(0, s); }
  bool accept_word(std::string_view kw) {
    if (!word(kw)) return false;
    ++k_;
    return true;
  }
  bool accept_sym(std::string_view s) {
    if (!sym(s)) return false;
    ++k_;
    return true;
  }

  static std::string describe(const Token& t) {
    switch (t.kind) {
      case Tok::End: return "the end of the file";
      case Tok::String: return "a string";
      case Tok::Annex: return "an annex text";
      default: {
        std::string s(t.text.substr(0, 40));
        return "'" + s + "'";
      }
    }
  }
  [[noreturn]] void expected(const std::string& what) const {
    text_error(pos(), describe(tok()) + " found, expected " + what);
  }
  [[noreturn]] void unsupported(const Pos& at, const std::string& what) const {
    text_error(at, what + " not supported");
  }
  void expect_word(std::string_view kw) {
    if (!accept_word(kw)) expected("'" + std::string(kw) + "'");
  }
  void expect_sym(std::string_view s) {
    if (!accept_sym(s)) expected("'" + std::string(s) + "'");
  }
  std::string_view name(const char* what = "a name") {
    if (tok().kind != Tok::Word) expected(what);
    ++k_;
    return prev().text;
  }
  void note(const Pos& at, const std::string& what) const {
    if (verbosity_ >= 1)
      out("# " + std::string(at.file) + ":" + std::to_string(at.line) + ":" + std::to_string(at.col) + ": " + what +
          "\n");
  }

  // Tokens up to the ';' that ends a statement, brackets balanced.
  void skip_statement() {
    int depth = 0;
    while (true) {
      if (at_end()) expected("';'");
      if (tok().kind == Tok::Sym) {
        char c = tok().text[0];
        if (tok().text.size() == 1) {
          if (c == '(' || c == '[' || c == '{') ++depth;
          else if (c == ')' || c == ']' || c == '}') --depth;
          else if (c == ';' && depth <= 0) {
            ++k_;
            return;
          }
        }
      }
      ++k_;
    }
  }

  // `none ;` standing for an empty section.
  bool none() {
    if (!word("none") || !sym_at(1, ";")) return false;
    k_ += 2;
    return true;
  }

  // ---- names -------------------------------------------------------------------
  S_ref classifier() {
    S_ref r;
    r.pos = pos();
    std::string_view n = name("a classifier name");
    while (sym("::")) {
      ++k_;
      if (!r.package.empty()) r.package += "::";
      r.package += n;
      n = name("a classifier name");
    }
    r.type = n;
    if (sym(".") && tok(1).kind == Tok::Word) {
      k_ += 1;
      r.impl = name();
    }
    return r;
  }
  // Optional classifier after a feature or subcomponent kind.
  S_ref opt_classifier() {
    if (tok().kind == Tok::Word && !word("applies")) return classifier();
    return S_ref{};
  }

  S_path path() {
    S_path p;
    p.pos = pos();
    p.text = name("a name");
    while (sym(".") && tok(1).kind == Tok::Word) {
      ++k_;
      p.text += '.';
      p.text += name();
    }
    if (sym("[")) unsupported(pos(), "array indices are");
    return p;
  }

  void with_list(std::vector<S_ref>& into) {
    do {
      S_ref r = classifier();
      if (!r.impl.empty()) text_error(r.pos, "'.' found in a package name");
      into.push_back(r);
    } while (accept_sym(","));
    expect_sym(";");
  }

  // ---- units -------------------------------------------------------------------
  S_package package() {
    S_package p;
    p.pos = pos();
    expect_word("package");
    S_ref n = classifier();
    if (!n.impl.empty()) text_error(n.pos, "'.' found in a package name");
    p.name = n.package.empty() ? std::string(n.type) : n.package + "::" + std::string(n.type);
    std::vector<S_decl>* section = nullptr;
    while (true) {
      if (accept_word("public")) section = &p.public_part;
      else if (accept_word("private")) section = &p.private_part;
      else if (word("properties")) package_properties();
      else if (word("end")) break;
      else if (!section) expected("'public', 'private' or 'end'");
      else if (word("with")) {
        ++k_;
        with_list(p.withs);
      } else if (word("renames") || word_at(1, "renames")) unsupported(pos(), "renames are");
      else if (word("annex")) annex();
      else declaration(*section);
    }
    expect_word("end");
    S_ref e = classifier();
    const std::string end_name = e.package.empty() ? std::string(e.type) : e.package + "::" + std::string(e.type);
    const bool same = e.impl.empty() && same_name(end_name, p.name);
    if (!same) text_error(e.pos, "the end of package " + p.name + " names another package");
    expect_sym(";");
    return p;
  }

  void package_properties() {
    const Pos at = pos();
    ++k_;
    if (none()) return;
    while (tok().kind == Tok::Word && !word("end") && !word("public") && !word("private")) {
      S_assoc a = association();
      (void)a;
    }
    note(at, "package properties ignored");
  }

  // property set N is { with ... ; } { ID : declaration ; } end N ;
  // The values of constants are kept; property types and definitions only
  // by their names.
  void property_set() {
    const Pos at = pos();
    k_ += 2;
    S_property_set set;
    set.pos = pos();
    set.name = name("the name of the property set");
    expect_word("is");
    auto at_set_end = [&] {
      return word("end") && tok(1).kind == Tok::Word && same_name(tok(1).text, set.name) && sym_at(2, ";");
    };
    while (!at_set_end()) {
      release();
      if (at_end()) text_error(at, "property set " + std::string(set.name) + " without its end");
      if (tok().kind == Tok::Word && sym_at(1, ":") && word_at(2, "constant")) {
        set.names.push_back(property_constant());
        continue;
      }
      if (tok().kind == Tok::Word && sym_at(1, ":")) set.names.push_back(S_property_name{tok().text, pos(), {}});
      // A property type or definition, a `with` clause: up to its ';' (or
      // the end of the set, should the ';' be missing).
      int depth = 0;
      while (!at_end() && !(depth == 0 && at_set_end())) {
        if (sym("(") || sym("[") || sym("{")) ++depth;
        else if (sym(")") || sym("]") || sym("}")) --depth;
        ++k_;
        if (depth <= 0 && prev().kind == Tok::Sym && prev().text == ";") break;
      }
    }
    k_ += 3;
    f_.property_sets.push_back(std::move(set));
  }

  // ID : constant type => value ;
  S_property_name property_constant() {
    S_property_name d;
    d.pos = pos();
    d.name = tok().text;
    k_ += 3;
    // The type (`Time`, `aadlinteger units Time_Units`, `list of Time`)
    // does not change the value.
    int depth = 0;
    while (depth > 0 || !sym("=>")) {
      if (at_end() || (depth == 0 && sym(";"))) expected("'=>' and the value of the constant");
      if (sym("(")) ++depth;
      else if (sym(")")) --depth;
      ++k_;
    }
    ++k_;
    d.constant = value();
    expect_sym(";");
    return d;
  }

  // annex ID ( {** ... **} | none ) [in modes (...)] ;
  void annex() {
    const Pos at = pos();
    ++k_;
    std::string_view n = name("the name of the annex");
    if (tok().kind == Tok::Annex) ++k_;
    else expect_word("none");
    if (word("in") && word_at(1, "modes")) unsupported(pos(), "modes are");
    expect_sym(";");
    note(at, "annex " + std::string(n) + " skipped");
  }

  // A category, also in features, subcomponents and values.
  std::optional<S_category> category() {
    S_category c;
    c.pos = pos();
    const std::size_t start = k_;
    auto take = [&](Category cat) {
      c.category = cat;
      return c;
    };
    auto skipped = [&]() {
      const Token& first = toks_[start - base_];
      const Token& last = prev();
      c.words = std::string_view(first.text.data(), last.text.data() + last.text.size() - first.text.data());
      return c;
    };
    if (accept_word("data")) return take(Category::Data);
    if (accept_word("thread")) return accept_word("group") ? take(Category::Thread_group) : take(Category::Thread);
    if (accept_word("process")) return take(Category::Process);
    if (accept_word("processor")) return take(Category::Processor);
    if (accept_word("memory")) return take(Category::Memory);
    if (accept_word("bus")) return take(Category::Bus);
    if (accept_word("device")) return take(Category::Device);
    if (accept_word("system")) return take(Category::System);
    if (accept_word("subprogram")) {
      if (accept_word("group")) return skipped();
      return take(Category::Subprogram);
    }
    if (accept_word("abstract")) return skipped();
    if (word("virtual") && word_at(1, "processor")) {
      k_ += 2;
      return take(Category::Virtual_processor);
    }
    if (word("virtual") && word_at(1, "bus")) {
      k_ += 2;
      return skipped();
    }
    return std::nullopt;
  }

  void declaration(std::vector<S_decl>& into) {
    release();
    if ((word("feature") || word("port")) && word_at(1, "group")) {
      into.push_back(group_type());
      return;
    }
    const Pos at = pos();
    auto cat = category();
    if (!cat) expected("a declaration (a category such as 'thread', or 'feature group')");
    S_component c;
    c.category = *cat;
    c.pos = at;
    if (accept_word("implementation")) {
      c.kind = Component_kind::Implementation;
      c.type_name = name("the name of the implemented type");
      expect_sym(".");
      c.impl_name = name("the name of the implementation");
      if (accept_word("extends")) c.extends = classifier();
      if (sym("(")) unsupported(pos(), "prototype bindings are");
      implementation_body(c);
      expect_word("end");
      const Pos end_at = pos();
      std::string_view t = name();
      expect_sym(".");
      std::string_view i = name();
      if (!same_name(t, c.type_name) || !same_name(i, c.impl_name))
        text_error(end_at, "the end of " + std::string(c.type_name) + "." + std::string(c.impl_name) +
                               " names another implementation");
    } else {
      c.type_name = name("the name of the declaration");
      if (accept_word("extends")) c.extends = classifier();
      if (sym("(")) unsupported(pos(), "prototype bindings are");
      type_body(c);
      end_of(c.type_name);
    }
    expect_sym(";");
    into.push_back(std::move(c));
  }

  void end_of(std::string_view n) {
    expect_word("end");
    const Pos at = pos();
    std::string_view e = name();
    if (!same_name(e, n)) text_error(at, "the end of " + std::string(n) + " names another declaration");
  }

  // `owner`: the declaration that holds the section, named in the message.
  void prototypes(const std::string& owner) {
    const Pos at = pos();
    ++k_;
    if (!none()) unsupported(at, "in " + owner + ": prototypes are");
  }

  void modes(const std::string& owner) {
    const Pos at = pos();
    ++k_;
    if (!none()) unsupported(at, "in " + owner + ": modes are");
  }

  static std::string owner_name(const S_component& c) {
    std::string n(c.type_name);
    if (!c.impl_name.empty()) n += "." + std::string(c.impl_name);
    return n;
  }

  // Statements named `ID :` that the model has no place for (flows, the
  // 2.2 feature sections).
  void skip_named_statements() {
    if (none()) return;
    while (tok().kind == Tok::Word && sym_at(1, ":")) skip_statement();
  }

  void type_body(S_component& c) {
    while (true) {
      if (word("prototypes")) prototypes(owner_name(c));
      else if (accept_word("features")) features(c.features);
      else if (accept_word("flows")) skip_named_statements();
      else if (word("modes")) modes(owner_name(c));
      else if (word("requires") && word_at(1, "modes")) unsupported(pos(), "in " + owner_name(c) + ": modes are");
      else if (accept_word("properties")) properties(c.properties);
      else if (word("annex")) annex();
      else if (word("end")) return;
      else expected("'features', 'flows', 'properties', 'annex' or 'end'");
    }
  }

  void implementation_body(S_component& c) {
    while (true) {
      if (word("prototypes")) prototypes(owner_name(c));
      else if (accept_word("subcomponents")) subcomponents(c.subcomponents);
      else if ((word("internal") || word("processor")) && word_at(1, "features")) {
        k_ += 2;
        skip_named_statements();
      } else if (word("refines") && word_at(1, "type")) {
        k_ += 2;
        std::vector<S_feature> dropped;
        features(dropped);
      } else if (accept_word("calls")) calls(c.call_sequences);
      else if (accept_word("connections")) connections(c.connections);
      else if (accept_word("flows")) skip_named_statements();
      else if (word("modes")) modes(owner_name(c));
      else if (accept_word("properties")) properties(c.properties);
      else if (word("annex")) annex();
      else if (word("end")) return;
      else expected("'subcomponents', 'calls', 'connections', 'flows', 'properties', 'annex' or 'end'");
    }
  }

  S_group group_type() {
    S_group g;
    g.pos = pos();
    k_ += 2;
    g.name = name("the name of the feature group type");
    if (accept_word("extends")) g.extends = classifier();
    if (sym("(")) unsupported(pos(), "prototype bindings are");
    while (true) {
      if (word("prototypes")) prototypes(std::string(g.name));
      else if (accept_word("features")) features(g.features);
      else if (word("inverse") && word_at(1, "of")) {
        k_ += 2;
        g.inverse = classifier();
      } else if (accept_word("properties")) {
        std::vector<S_assoc> dropped;
        properties(dropped);
      } else if (word("annex")) annex();
      else if (word("end")) break;
      else expected("'features', 'inverse of', 'properties' or 'end'");
    }
    end_of(g.name);
    expect_sym(";");
    return g;
  }

  // ---- features ------------------------------------------------------------------
  void features(std::vector<S_feature>& into) {
    if (none()) return;
    while (tok().kind == Tok::Word && sym_at(1, ":")) into.push_back(feature());
  }

  S_feature feature() {
    S_feature f;
    f.pos = pos();
    f.name = name();
    expect_sym(":");
    if (word("refined") && word_at(1, "to")) {
      k_ += 2;
      f.refined = true;
    }
    if (accept_word("in")) {
      f.has_direction = true;
      f.direction = accept_word("out") ? In_out::InOut : In_out::In;
    } else if (accept_word("out")) {
      f.has_direction = true;
      f.direction = In_out::Out;
    }
    using K = S_feature_kind;
    if (word("data") && word_at(1, "port")) k_ += 2, f.kind = K::Data_port;
    else if (word("event") && word_at(1, "port")) k_ += 2, f.kind = K::Event_port;
    else if (word("event") && word_at(1, "data") && word_at(2, "port")) k_ += 3, f.kind = K::Event_data_port;
    else if (accept_word("parameter")) f.kind = K::Parameter;
    else if ((word("feature") || word("port")) && word_at(1, "group")) {
      k_ += 2;
      f.kind = K::Group;
      if (word("inverse") && word_at(1, "of")) k_ += 2;
    } else if (accept_word("feature")) f.kind = K::Abstract;
    else if (!f.has_direction && (word("requires") || word("provides"))) {
      f.kind = K::Access;
      f.access = word("requires") ? Access_kind::Required : Access_kind::Provided;
      ++k_;
      const std::size_t at = k_;
      auto cat = category();
      const bool accessible = cat && (!cat->category || *cat->category == Category::Data ||
                                      *cat->category == Category::Bus || *cat->category == Category::Subprogram);
      if (!accessible) {
        k_ = at;
        expected("'data', 'bus', 'subprogram', 'subprogram group' or 'virtual bus'");
      }
      f.accessed = *cat;
      expect_word("access");
    } else if (!f.has_direction && word("server") && word_at(1, "subprogram")) k_ += 2, f.kind = K::Server_subprogram;
    else if (!f.has_direction && accept_word("subprogram")) f.kind = K::Data_subprogram;
    else expected("a feature ('in data port', 'out event port', 'feature group', 'requires data access', ...)");
    if (f.kind == K::Data_port || f.kind == K::Event_port || f.kind == K::Event_data_port) {
      if (!f.has_direction && !f.refined) expected("a direction before the port");
    }
    if (f.kind != K::Event_port) f.classifier = opt_classifier();
    if (sym("[")) unsupported(pos(), "feature arrays are");
    if (sym("{")) property_block(f.properties);
    expect_sym(";");
    return f;
  }

  // ---- subcomponents, calls, connections ---------------------------------------------
  void subcomponents(std::vector<S_subcomponent>& into) {
    if (none()) return;
    while (tok().kind == Tok::Word && sym_at(1, ":")) {
      release();
      S_subcomponent s;
      s.pos = pos();
      s.name = name();
      ++k_;
      if (word("refined") && word_at(1, "to")) {
        k_ += 2;
        s.refined = true;
      }
      auto cat = category();
      if (!cat) expected("the category of the subcomponent");
      s.category = *cat;
      s.classifier = opt_classifier();
      if (sym("(")) unsupported(pos(), "prototype bindings are");
      if (sym("[")) unsupported(pos(), "subcomponent arrays are");
      if (sym("{")) property_block(s.properties);
      if (word("in") && word_at(1, "modes")) unsupported(pos(), "modes are");
      expect_sym(";");
      into.push_back(std::move(s));
    }
  }

  void calls(std::vector<S_call_sequence>& into) {
    if (none()) return;
    while ((tok().kind == Tok::Word && sym_at(1, ":") && sym_at(2, "{")) || sym("{")) {
      if (!sym("{")) k_ += 2;
      expect_sym("{");
      S_call_sequence seq;
      while (!sym("}")) {
        S_call c;
        c.pos = pos();
        c.name = name("a call name or '}'");
        expect_sym(":");
        expect_word("subprogram");
        c.called = classifier();
        if (sym("{")) property_block(c.properties);
        expect_sym(";");
        seq.calls.push_back(std::move(c));
      }
      ++k_;
      std::vector<S_assoc> dropped;
      if (sym("{")) property_block(dropped);
      if (word("in") && word_at(1, "modes")) unsupported(pos(), "modes are");
      expect_sym(";");
      into.push_back(std::move(seq));
    }
  }

  // The kind words of a connection, or nullopt.
  std::optional<S_connection_kind> connection_kind() {
    using K = S_connection_kind;
    if (word("port") && word_at(1, "group")) return k_ += 2, K::Group;
    if (accept_word("port")) return K::Port;
    if (word("data") && word_at(1, "port")) return k_ += 2, K::Data_port;
    if (word("event") && word_at(1, "port")) return k_ += 2, K::Event_port;
    if (word("event") && word_at(1, "data") && word_at(2, "port")) return k_ += 3, K::Event_data_port;
    if (word("feature") && word_at(1, "group")) return k_ += 2, K::Group;
    if (accept_word("feature")) return K::Feature;
    if (accept_word("parameter")) return K::Parameter;
    if (word("data") && word_at(1, "access")) return k_ += 2, K::Data_access;
    if (word("bus") && word_at(1, "access")) return k_ += 2, K::Bus_access;
    if (word("subprogram") && word_at(1, "access")) return k_ += 2, K::Other_access;
    if (word("subprogram") && word_at(1, "group") && word_at(2, "access")) return k_ += 3, K::Other_access;
    if (word("virtual") && word_at(1, "bus") && word_at(2, "access")) return k_ += 3, K::Other_access;
    return std::nullopt;
  }

  bool connection_start() const {
    if (tok().kind != Tok::Word) return false;
    if (sym_at(1, ":")) return true;
    for (auto w : {"port", "data", "event", "feature", "parameter", "bus", "subprogram", "virtual"})
      if (word(w)) return true;
    return false;
  }

  void connections(std::vector<S_connection>& into) {
    if (none()) return;
    while (connection_start()) {
      release();
      S_connection c;
      c.pos = pos();
      if (sym_at(1, ":")) {
        c.name = name();
        ++k_;
      }
      if (word("refined") && word_at(1, "to")) {
        k_ += 2;
        c.refined = true;
        if (c.name.empty()) text_error(c.pos, "a refined connection needs its name");
      }
      auto kind = connection_kind();
      if (!kind) expected("a connection kind ('port', 'data port', 'feature group', 'data access', ...)");
      c.kind = *kind;
      if (!c.refined) {
        c.src = path();
        if (accept_sym("->>")) c.delayed = true;
        else if (accept_sym("<->")) c.bidirectional = true;
        else if (!accept_sym("->")) expected("'->', '->>' or '<->'");
        c.dst = path();
      }
      if (sym("{")) property_block(c.properties);
      if (word("in") && word_at(1, "modes")) unsupported(pos(), "modes are");
      expect_sym(";");
      into.push_back(std::move(c));
    }
  }

  // ---- properties ------------------------------------------------------------------------
  bool association_start() const {
    return tok().kind == Tok::Word && (sym_at(1, "=>") || sym_at(1, "+=>") || sym_at(1, "::"));
  }

  void properties(std::vector<S_assoc>& into) {
    if (none()) return;
    while (association_start()) {
      release();
      S_assoc a = association();
      if (!a.in_binding) into.push_back(std::move(a));
    }
  }

  void property_block(std::vector<S_assoc>& into) {
    expect_sym("{");
    while (!sym("}")) {
      if (!association_start()) expected("a property association or '}'");
      S_assoc a = association();
      if (!a.in_binding) into.push_back(std::move(a));
    }
    ++k_;
  }

  S_assoc association() {
    S_assoc a;
    a.pos = pos();
    a.name = name();
    if (accept_sym("::")) {
      a.set = a.name;
      a.name = name("a property name");
    }
    if (!accept_sym("=>") && !accept_sym("+=>")) expected("'=>'");
    accept_word("constant");
    a.value = value();
    if (word("in") && word_at(1, "modes")) unsupported(pos(), "modes are");
    if (sym(",")) unsupported(pos(), "values for several modes are");
    while (true) {
      if (word("applies") && word_at(1, "to")) {
        k_ += 2;
        do a.applies_to.push_back(path());
        while (accept_sym(","));
      } else if (word("in") && word_at(1, "binding")) {
        const Pos at = pos();
        k_ += 2;
        expect_sym("(");
        while (!accept_sym(")")) {
          if (at_end()) expected("')'");
          ++k_;
        }
        text_warning(at, "property association with 'in binding' ignored");
        a.in_binding = true;
      } else {
        break;
      }
    }
    expect_sym(";");
    return a;
  }

  struct Depth {
    explicit Depth(Parser& p) : p_(p) {
      if (++p_.depth_ > max_depth) text_error(p_.pos(), "values nested too deep");
    }
    ~Depth() { --p_.depth_; }
    Parser& p_;
  };

  S_value value() {
    Depth guard(*this);
    S_value v;
    v.pos = pos();
    using K = S_value::Kind;
    if (sym("(")) {
      ++k_;
      if (tok().kind == Tok::Word && sym_at(1, "=>")) {
        skip_balanced(1);
        v.kind = K::Unsupported;
        v.text = "record value";
        return v;
      }
      v.kind = K::List;
      if (accept_sym(")")) return v;
      do v.items.push_back(value());
      while (accept_sym(","));
      expect_sym(")");
      return v;
    }
    if (sym("[")) {
      ++k_;
      skip_balanced(1);
      v.kind = K::Unsupported;
      v.text = "record value";
      return v;
    }
    if (tok().kind == Tok::String) {
      v.kind = K::String;
      v.text = unquote(tok().text, tok().text.data()[-1]);
      ++k_;
      return v;
    }
    if (word("true") || word("false")) {
      v.kind = K::Bool;
      v.boolean = word("true");
      ++k_;
      return v;
    }
    if (accept_word("reference")) {
      v.kind = K::Reference;
      if (accept_sym("(")) {
        v.path = path();
        expect_sym(")");
      } else {
        v.path = path();
      }
      return v;
    }
    if (word("classifier") && sym_at(1, "(")) {
      k_ += 2;
      v.kind = K::Classifier;
      v.ref = classifier();
      expect_sym(")");
      return v;
    }
    if (word("compute") && sym_at(1, "(")) {
      k_ += 1;
      skip_balanced(0);
      v.kind = K::Unsupported;
      v.text = "computed value";
      return v;
    }
    if (word("value") && sym_at(1, "(")) {
      k_ += 2;
      v = term();
      expect_sym(")");
      return v;
    }
    if (word("access") && tok(1).kind == Tok::Word) ++k_;  // v1: access read_only
    // v1 classifier values: a category and a classifier.
    if (tok(1).kind == Tok::Word && !word_at(1, "applies") && !word_at(1, "in")) {
      const std::size_t start = k_;
      if (auto cat = category(); cat && tok().kind == Tok::Word) {
        v.kind = K::Classifier;
        v.ref = classifier();
        return v;
      }
      k_ = start;
    }
    S_value lo = term();
    if (!accept_sym("..")) return lo;
    v.kind = K::Range;
    v.items.push_back(std::move(lo));
    v.items.push_back(term());
    if (accept_word("delta")) v.items.push_back(term());
    return v;
  }

  // Tokens up to the bracket that closes an open one (`open` already read).
  void skip_balanced(int open) {
    int depth = open;
    do {
      if (at_end()) expected("a closing bracket");
      if (tok().kind == Tok::Sym && tok().text.size() == 1) {
        char c = tok().text[0];
        if (c == '(' || c == '[' || c == '{') ++depth;
        else if (c == ')' || c == ']' || c == '}') --depth;
      }
      ++k_;
    } while (depth > 0);
  }

  static std::string unquote(std::string_view s, char quote) {
    std::string r;
    r.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == quote && i + 1 < s.size() && s[i + 1] == quote) ++i;
      else if (s[i] == '\\' && i + 1 < s.size()) {
        char c = s[++i];
        r += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        continue;
      }
      r += s[i];
    }
    return r;
  }

  // ['+' | '-'] ( number [unit] | named )
  S_value term() {
    S_value v;
    v.pos = pos();
    bool negative = false;
    if (accept_sym("-")) negative = true;
    else accept_sym("+");
    using K = S_value::Kind;
    const Token& t = tok();
    if (t.kind == Tok::Int) {
      if (t.integer < 0) text_error(pos(), "integer literal " + std::string(t.text.substr(0, 40)) + " out of range");
      v.kind = K::Int;
      v.integer = negative ? -t.integer : t.integer;
      ++k_;
    } else if (t.kind == Tok::Real) {
      v.kind = K::Real;
      v.real = negative ? -t.real : t.real;
      ++k_;
    } else if (t.kind == Tok::Word) {
      v.kind = K::Named;
      v.ref.type = name();
      if (accept_sym("::")) {
        v.ref.package = v.ref.type;
        v.ref.type = name("a name");
      }
      v.ref.pos = v.pos;
      if (negative) {
        v.kind = K::Unsupported;
        v.text = "negated constant";
      }
      return v;
    } else {
      expected("a property value");
    }
    if (tok().kind == Tok::Word && !is_reserved_word(tok().text)) {
      ++k_;
      v.unit = prev().text;
    }
    return v;
  }
};

}  // namespace

void parse_aadl_syntax(int verbosity, S_file& file) { Parser(verbosity, file).file(); }

}  // namespace vorquel
