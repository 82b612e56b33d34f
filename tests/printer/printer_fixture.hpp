// Helpers of the printer tests: output channels on temporary files, and
// builders of synchronous-model values.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "env/env.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "printer/sync_printer.hpp"
#include "test_util.hpp"

namespace vorquel::testing {

// The six output channels on six files of a fresh directory (or all on one
// file), the options, a fresh shortening table and a writer on the nodes
// channel: the printing state of one run.
class Printer_test : public ::testing::Test {
 protected:
  enum Which { Nodes, Fillme_nodes, Fillme_types, Fillme_const, Scheduler, Top };

  void SetUp() override { open_channels(false); }

  // Reopens the channels, emptied; one_file puts all six on one file.
  void open_channels(bool one_file) {
    calls_.clear();
    writer_.reset();
    files_.clear();
    dir_ = make_temp_dir("printer");
    int n = one_file ? 1 : 6;
    for (int i = 0; i < n; ++i) {
      std::string path = dir_ + "/out" + std::to_string(i);
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) throw std::runtime_error("cannot create " + path);
      files_.push_back({path, std::make_unique<Channel>(fd, path, true)});
    }
    auto ch = [&](int i) { return files_[one_file ? 0 : i].channel.get(); };
    channels_ = Output_channels{ch(Nodes), ch(Fillme_nodes), ch(Fillme_types), ch(Fillme_const), ch(Scheduler), ch(Top)};
    options_.one_file = one_file;
  }

  // The writer in the dialect of options_, on the channel it was left on.
  Lustre_writer& w() {
    if (!writer_ || writer_->scade() != (options_.dialect == Dialect::Scade)) {
      Channel& at = writer_ ? writer_->channel() : *channels_.nodes;
      writer_.emplace(channels_, options_.dialect, names_);
      writer_->switch_to(at);
    }
    return *writer_;
  }

  Options options_;
  Short_names names_;
  Call_numbers calls_;
  Output_channels channels_;

  // What was written so far on a channel's file.
  std::string text(Which w = Nodes) {
    auto& f = files_[files_.size() == 1 ? 0 : w];
    f.channel->flush();
    return read_file(f.path);
  }

  // Runs the printing action and returns what it wrote on the channel's file.
  template <class F>
  std::string printed(F f, Which w = Nodes) {
    std::size_t from = text(w).size();
    f();
    return text(w).substr(from);
  }

 private:
  struct File {
    std::string path;
    std::unique_ptr<Channel> channel;
  };
  std::string dir_;
  std::vector<File> files_;
  std::optional<Lustre_writer> writer_;
};

// ---- builders ----------------------------------------------------------------------

inline Ident id(const std::string& text) { return of_string(text); }
inline Type_expression named(const std::string& t) { return tnamed(id(t)); }
inline Type_expression record(std::vector<std::pair<std::string, Type_expression>> fields) {
  TRecord r;
  for (auto& [n, t] : fields) r.fields.push_back(Type_field{id(n), std::move(t)});
  return Type_expression{std::move(r)};
}
inline Typed_ident typed(const std::string& n, const std::string& t) { return {id(n), named(t)}; }
inline std::vector<Typed_ident> clocks(const std::vector<std::string>& names) {
  std::vector<Typed_ident> out;
  for (const auto& n : names) out.push_back({id(n), tbool()});
  return out;
}

inline Expression v(const std::string& n) { return var(id(n)); }
inline Expression imm_int(long long x) { return make_expr(Imm{Imm_int{x}}); }
inline Expression imm_bool(bool b) { return make_expr(Imm{Imm_bool{b}}); }
inline Expression tuple(std::vector<Expression> items) {
  Tuple t;
  for (auto& e : items) t.items.push_back(Tuple_item{Ident("lbl"), std::move(e)});
  return make_expr(std::move(t));
}
inline Expression call(const std::string& node, std::vector<Expression> args) {
  return make_expr(Call_expr{std::nullopt, v(node), tuple(std::move(args))});
}
inline Expression condact(const std::string& clk, const std::string& node, std::vector<Expression> args) {
  return make_expr(Call_expr{v(clk), v(node), tuple(std::move(args))});
}
inline Pattern pvar(const std::string& n) { return Pattern{PVar{id(n)}}; }
inline Pattern ptuple(const std::vector<std::string>& names) {
  PTuple t;
  for (const auto& n : names) t.items.push_back(Pattern_item{Ident("lbl"), pvar(n)});
  return Pattern{std::move(t)};
}

inline Component component(const std::string& name, Category cat, Component_kind kind) {
  Component c{id(name), kind, cat, std::nullopt, {}, std::nullopt, {}, {}, {}, {}, true};
  return c;
}

// Adds a declaration and its definition to the environment.
inline Env with(const Env& env, const Declaration& d, std::optional<Sync_definition> def) {
  Env e = env.add_decl(d);
  if (!def) return e;
  Entry entry = e.get(declaration_name(d));
  entry.def = std::move(def);
  return e.update(declaration_name(d), entry);
}
inline Env with_node(const Env& env, Category cat, Component_kind kind, Node n) {
  Component c{n.name, kind, cat, std::nullopt, {}, std::nullopt, {}, {}, {}, {}, true};
  return with(env, c, Sync_definition{Node_def{std::make_shared<const Node>(std::move(n))}});
}

}  // namespace vorquel::testing
