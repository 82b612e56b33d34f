// The writer of Lustre text, shared by the printer and the scheduler: pieces
// go straight to the current output channel in their final order.
// Identifiers, and the names assembled from several texts, go through the
// run's shortening table in the SCADE dialect, as one text each, so that
// every name is spelled alike in all the files; in the Lustre dialect they
// are written as they are, piece by piece.
#pragma once

#include <charconv>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/channel.hpp"
#include "base/ident.hpp"
#include "base/options.hpp"
#include "printer/lustre_names.hpp"
#include "printer/scade.hpp"
#include "sync/sync_ast.hpp"

namespace vorquel {

// The decimal text of a number, held in place.
class Decimal {
 public:
  explicit Decimal(long long n) : end_(std::to_chars(buf_, buf_ + sizeof buf_, n).ptr) {}
  std::string_view view() const { return std::string_view(buf_, static_cast<std::size_t>(end_ - buf_)); }

 private:
  char buf_[24];
  char* end_;
};

class Lustre_writer {
 public:
  // Starts on the nodes channel of the files.
  Lustre_writer(const Output_channels& files, Dialect dialect, Short_names& names)
      : files_(files), channel_(files.nodes), shorten_(dialect == Dialect::Scade), names_(names) {}
  // Every file is the one channel.
  Lustre_writer(Channel& channel, Dialect dialect, Short_names& names)
      : Lustre_writer(Output_channels{&channel, &channel, &channel, &channel, &channel, &channel}, dialect, names) {}

  bool scade() const { return shorten_; }
  const Output_channels& files() const { return files_; }
  Channel& channel() const { return *channel_; }
  // Subsequent writes go to c (one of the files, or another channel).
  void switch_to(Channel& c) { channel_ = &c; }

  [[gnu::always_inline]] void p(std::string_view s) { channel_->write(s); }
  // A text written in the code: its length is known without counting.
  template <std::size_t N>
  [[gnu::always_inline]] void p(const char (&s)[N]) {
    channel_->write(std::string_view(s, N - 1));
  }
  void pnl() { channel_->write('\n'); }
  void p_number(long long n) { p(Decimal(n).view()); }
  // The name of an identifier.
  void p_name(const Ident& id) { name(id.str()); }
  // A name assembled from several texts, shortened as one identifier.
  void p_joined(std::initializer_list<std::string_view> pieces);

  // The text as a name: shortened in the SCADE dialect.
  std::string build_ident(std::string_view text) {
    return shorten_ ? names_.shorten(text) : std::string(text);
  }
  // prefix + to_string(id) + suffix as one name.
  std::string build_ident(std::string_view prefix, const Ident& id, std::string_view suffix);
  // The name written for an identifier: shortened, or with a trailing "_"
  // when it is a keyword.
  std::string name_text(const Ident& id) { return lustre_name(build_ident(id.str())); }
  // The name of a type: the predefined ones are written as they are.
  void type_name(const Ident& id) {
    const std::string& s = id.str();
    if (is_predefined_type(s)) p(s);
    else name(s);
  }

  // Chained writes: w << "text" << n << id.
  Lustre_writer& operator<<(std::string_view s) {
    p(s);
    return *this;
  }
  template <std::size_t N>
  Lustre_writer& operator<<(const char (&s)[N]) {
    p(std::string_view(s, N - 1));
    return *this;
  }
  Lustre_writer& operator<<(const Ident& id) { return name(id.str()); }
  // A named period or execution-time bound is a constant of the user's.
  Lustre_writer& operator<<(const Integer& i) {
    if (i.named) return name(i.name.str());
    return *this << Decimal(i.value).view();
  }
  Lustre_writer& operator<<(int n) { return *this << Decimal(n).view(); }
  Lustre_writer& operator<<(const Type_expression& t) {
    type(t);
    return *this;
  }
  // A name that is a keyword takes a trailing "_" (a shortened one never is).
  Lustre_writer& name(std::string_view text) {
    if (shorten_) {
      p(names_.shorten(text));
    } else {
      p(text);
      if (is_lustre_keyword(text)) p("_");
    }
    return *this;
  }
  // The name made of the pieces, one after the other.
  template <class... Pieces>
  Lustre_writer& name(std::string_view first, Pieces... rest) {
    if (!shorten_) {
      p(first);
      (p(std::string_view(rest)), ...);
      return *this;
    }
    scratch_.assign(first);
    (scratch_.append(std::string_view(rest)), ...);
    p(names_.shorten(scratch_));
    return *this;
  }
  // prefix followed by the number, as one name.
  Lustre_writer& numbered(std::string_view prefix, int i) { return name(prefix, Decimal(i).view()); }

  // A type: its name, or the record of its fields ("[ t1,t2 ]" in Lustre,
  // "{ a : t1;b : t2 }" in SCADE).
  void type(const Type_expression& t);
  void record_type(const std::vector<Type_field>& fields);

 private:
  Output_channels files_;
  Channel* channel_;
  const bool shorten_;
  Short_names& names_;
  std::string scratch_;
};

}  // namespace vorquel
