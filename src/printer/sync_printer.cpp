#include "printer/sync_printer.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "aadl/property.hpp"
#include "base/diagnostics.hpp"
#include "base/util.hpp"
#include "base/overloaded.hpp"
#include "printer/scade.hpp"

namespace vorquel {

namespace {

constexpr std::string_view dash_line = "\n----------------------------------------------------------------\n";

// ---- fake values ---------------------------------------------------------------

void fake_value(const Env& env, const Type_expression& t, std::string& out, std::vector<Ident>& expanding) {
  if (const auto* r = as_record(t)) {
    out += '[';
    bool first = true;
    for (const auto& f : r->fields) {
      if (!first) out += ',';
      first = false;
      fake_value(env, f.type, out, expanding);
    }
    out += ']';
    return;
  }
  const Ident& id = std::get<TNamed>(t.v).name;
  const Entry* e = env.find(id);
  if (e && e->decl && std::holds_alternative<Port_group>(*e->decl)) {
    const TypeDef* td = e->def ? std::get_if<TypeDef>(&*e->def) : nullptr;
    VQ_ASSERT(td && td->definition, "the port group " + to_string(id) + " has no record type");
    for (const auto& x : expanding)
      if (x == id) fail("*** Error: the port group " + to_string(id) + " contains itself.\n");
    expanding.push_back(id);
    fake_value(env, *td->definition, out, expanding);
    expanding.pop_back();
    return;
  }
  out += str_type_to_default(data_base_type(env, id));
}

// ---- expressions ---------------------------------------------------------------

const Node& node_of(const Env& env, const Ident& id) {
  const Entry* e = env.find(id);
  if (e == nullptr || !e->def) internal_error("no node named " + to_string(id) + " to call");
  return env.get_node(id);
}

// The defaults of the callee's outputs, the node being known.
void print_default_value_of(Lustre_writer& w, const Node& n, std::string_view indent);

// Prints expressions; ind is the current indent, extended in place for the
// sub-expressions and restored after them.
class Expr_printer {
 public:
  Expr_printer(Lustre_writer& w, Call_numbers& calls, const Env& env, std::string_view indent)
      : w_(w), calls_(calls), env_(env), ind_(indent) {}

  // The printer is reused for the equations of a node: each starts at its
  // own indent.
  void print(std::string_view indent, const Expression& e) {
    ind_.assign(indent);
    expr(e);
  }

  void expr(const Expression& e) {
    VQ_ASSERT(e != nullptr, "missing expression");
    std::visit(overloaded{
                   [&](const Imm& x) { print_immediate(w_, x.value); },
                   [&](const Var& x) { w_.p_name(x.name); },
                   [&](const Tuple& x) { tuple(x); },
                   [&](const Or& x) { or_chain(x); },
                   [&](const If& x) { if_chain(x); },
                   [&](const Arrow& x) {
                     w_.p("(");
                     operand(x.first);
                     w_.p(" -> ");
                     operand(x.then);
                     w_.p(")");
                   },
                   [&](const Pre& x) {
                     w_.p("pre(");
                     operand(x.operand);
                     w_.p(")");
                   },
                   [&](const Boxed<Call_expr>& x) { call(*x); },
                   [&](const Boxed<DelayedOutputs>& x) { delayed(*x); },
               },
               e->v);
  }

 private:
  Lustre_writer& w_;
  Call_numbers& calls_;
  const Env& env_;
  std::string ind_;
  // The node of the callee looked up last (calls of one node mostly go to
  // few callees).
  const Ident* last_callee_ = nullptr;
  const Node* last_node_ = nullptr;
  std::vector<const Ident*> outs_, results_;  // of the delayed outputs being printed

  const Node& callee_node(const Ident& id) {
    if (last_callee_ == nullptr || !(*last_callee_ == id)) {
      last_node_ = &node_of(env_, id);
      last_callee_ = &id;
    }
    return *last_node_;
  }

  // The name of a node as it is written; `scratch` holds a shortened one.
  std::string_view node_name(const Ident& id, std::string& scratch) {
    if (!w_.scade() && !is_lustre_keyword(to_string(id))) return to_string(id);
    scratch = w_.name_text(id);
    return scratch;
  }

  template <class F>
  void deeper(std::string_view extra, F f) {
    std::size_t n = ind_.size();
    ind_.append(extra);
    f();
    ind_.resize(n);
  }

  void operand(const Expression& e) {
    VQ_ASSERT(e != nullptr && !is_empty_expression(e), "empty expression as an operand");
    expr(e);
  }

  // Merged event connections and data written by many threads give chains
  // of "or" nested to the left and of "if" nested in their else branch, as
  // deep as the model is wide: they are walked in a loop, not recursively.
  void or_chain(const Or& top) {
    std::vector<const Or*> spine{&top};
    while (const auto* inner = std::get_if<Or>(&spine.back()->left->v)) spine.push_back(inner);
    for (std::size_t i = 0; i < spine.size(); ++i) w_.p("(");
    operand(spine.back()->left);
    for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
      w_.p(" or ");
      operand((*it)->right);
      w_.p(")");
    }
  }

  void if_chain(const If& top) {
    const If* x = &top;
    std::size_t depth = 0;
    while (true) {
      w_.p("(if ");
      operand(x->cond);
      w_.p(" then ");
      operand(x->then_branch);
      w_.p(" else  ");
      ++depth;
      VQ_ASSERT(x->else_branch != nullptr && !is_empty_expression(x->else_branch), "empty expression as an operand");
      const auto* inner = std::get_if<If>(&x->else_branch->v);
      if (inner == nullptr) break;
      x = inner;
    }
    operand(x->else_branch);
    for (std::size_t i = 0; i < depth; ++i) w_.p(")");
  }

  void tuple(const Tuple& t) {
    std::size_t kept = 0;
    for (const auto& it : t.items)
      if (!is_empty_expression(it.expr)) ++kept;
    bool one_per_line = kept > 3;
    bool first = true;
    for (const auto& it : t.items) {
      if (is_empty_expression(it.expr)) continue;
      if (!first) {
        w_.p(",");
        if (one_per_line) {
          w_.p("\n");
          w_.p(ind_);
        }
      }
      first = false;
      deeper("  ", [&] { expr(it.expr); });
    }
  }

  // The names the call passes for the callee's oracle inputs: those that
  // oracle propagation recorded in the call, or else the callee's names
  // numbered per call within the node ("_2" from the second call on).
  void oracle_args(const Node& callee, const Ident& callee_id, const Call_expr& c) {
    const bool stored = !c.oracle_args.empty();
    VQ_ASSERT(!stored || c.oracle_args.size() == callee.oracles.size(),
              "the call of " + to_string(callee_id) + " passes a different number of oracle inputs");
    bool one_per_line = callee.oracles.size() > 3;
    auto& table = calls_;
    for (std::size_t i = 0; i < callee.oracles.size(); ++i) {
      if (i > 0) {
        w_.p(",");
        if (one_per_line) {
          w_.p("\n");
          w_.p(ind_);
        }
      }
      if (stored) {
        w_.p_name(c.oracle_args[i]);
        continue;
      }
      const Ident& o = callee.oracles[i].first;
      auto [it, fresh] = table.try_emplace(Call_key{o, callee_id}, 2);
      if (fresh) {
        w_.p_name(o);
      } else {
        long long k = it->second++;
        w_.p_name(add_suffix("_" + std::to_string(k), o));
      }
    }
  }

  void call(const Call_expr& c) {
    VQ_ASSERT(c.node != nullptr && std::holds_alternative<Var>(c.node->v), "called node is not a name");
    VQ_ASSERT(c.args != nullptr && std::holds_alternative<Tuple>(c.args->v), "call arguments are not a tuple");
    const Ident& callee_id = std::get<Var>(c.node->v).name;
    const auto& args = std::get<Tuple>(c.args->v);
    const Node& callee = callee_node(callee_id);
    bool has_args = !args.items.empty();
    bool has_oracles = !callee.oracles.empty();

    if (!c.clock) {
      deeper("  ", [&] { expr(c.node); });
      w_.p("(");
      if (has_args) {
        deeper("  ", [&] { expr(c.args); });
        if (has_oracles) w_.p(", ");
      } else if (!has_oracles) {
        w_.p(" true (* dummy *)");
      }
      oracle_args(callee, callee_id, c);
      w_.p("\n");
      w_.p(ind_);
      w_.p(")");
      return;
    }

    VQ_ASSERT(*c.clock != nullptr && !is_empty_expression(*c.clock), "empty expression as a condact clock");
    std::string shortened;
    const std::string_view s = node_name(callee_id, shortened);
    w_.p("\n");
    w_.p(ind_);
    if (!w_.scade()) {
      w_.p("condact_");
      w_.p(s);
      w_.p("(");
      deeper("  ", [&] { expr(*c.clock); });
      w_.p(",");
      if (has_args) {
        expr(c.args);
      } else if (!has_oracles) {
        w_.p("\n");
        w_.p(ind_);
        w_.p("  true (* dummy *)");
      }
      if (has_args || !has_oracles) w_.p(", ");
      oracle_args(callee, callee_id, c);
      if (has_oracles) w_.p(", ");
    } else {
      // The dialect's own condact operator: the node call with all its
      // inputs (declared, then oracle), then the defaults.
      w_.p("condact");
      w_.p("(");
      deeper("  ", [&] { expr(*c.clock); });
      w_.p(",");
      w_.p(s);
      w_.p("(");
      if (has_args) {
        expr(c.args);
        if (has_oracles) w_.p(", ");
      } else if (!has_oracles) {
        w_.p("\n");
        w_.p(ind_);
        w_.p("  true (* dummy *)");
      }
      oracle_args(callee, callee_id, c);
      w_.p("), ");
    }
    w_.p(ind_);
    w_.p("  ");
    deeper(" ", [&] { print_default_value_of(w_, callee, ind_); });
    w_.p("\n");
    w_.p(ind_);
    w_.p(")");
  }

  // The variables of a pattern, left to right.
  static void pattern_vars(const Pattern& p, std::vector<const Ident*>& out) {
    if (const auto* v = std::get_if<PVar>(&p.v)) {
      out.push_back(&v->name);
      return;
    }
    for (const auto& it : std::get<PTuple>(p.v).items) pattern_vars(it.pattern, out);
  }

  void delayed(const DelayedOutputs& d) {
    std::vector<const Ident*>& outs = outs_;
    std::vector<const Ident*>& results = results_;
    outs.clear();
    results.clear();
    pattern_vars(d.outputs, outs);
    pattern_vars(d.results, results);
    VQ_ASSERT(outs.size() == results.size(), "delayed outputs and results differ in number");
    // Few sources as a rule: searched in place; many are indexed.
    std::unordered_set<std::string_view> delayed_sources;
    if (d.delayed_sources.size() > 8)
      for (const auto& s : d.delayed_sources) delayed_sources.insert(to_string(s));
    auto is_delayed_source = [&](const Ident& x) {
      if (d.delayed_sources.size() > 8) return delayed_sources.count(to_string(x)) != 0;
      return std::any_of(d.delayed_sources.begin(), d.delayed_sources.end(),
                         [&](const Ident& s) { return to_string(s) == to_string(x); });
    };

    w_.p("\n");
    w_.p(ind_);
    w_.p(" -- Delaying the output\n");
    w_.p(ind_);
    w_.p("(");
    // The node's name takes its short form before the names of its default
    // constants: short forms are numbered in the order of first use.
    if (w_.scade()) (void)w_.build_ident("", d.node, "");
    deeper("  ", [&] { print_default_value_of(w_, callee_node(d.node), ind_); });
    w_.p("\n");
    w_.p(ind_);
    w_.p(") -> pre (\n");
    if (outs.empty()) {
      // Nothing to publish: still close the parenthesis on an indented line.
      w_.p(ind_);
      w_.p("      )");
      return;
    }
    for (std::size_t i = 0; i < outs.size(); ++i) {
      w_.p(ind_);
      w_.p("      ");
      w_.p("if ");
      bool is_delayed = is_delayed_source(*outs[i]);
      w_.p_name(is_delayed ? d.dispatch_clock : d.release_clock);
      w_.p(" then ");
      w_.p_name(*results[i]);
      w_.p(" else ");
      w_.p_name(*outs[i]);
      w_.p(i + 1 == outs.size() ? ")" : ",\n");
    }
  }
};

bool is_thread_or_subprogram(const Env& env, const Ident& name) {
  const Entry* e = env.find(name);
  if (!e || !e->decl) return false;
  const auto* c = std::get_if<Component>(e->decl.get());
  return c && (c->category == Category::Thread || c->category == Category::Subprogram);
}

void print_typed(Lustre_writer& w, const Typed_ident& x) {
  w.p_name(x.first);
  w.p(" : ");
  w.type(x.second);
}

}  // namespace

// ---- types and values ------------------------------------------------------------

std::string ident_string_to_type_string(std::string_view text) {
  static constexpr std::pair<std::string_view, std::string_view> table[] = {
      {"int", "int"}, {"integer", "int"}, {"real", "real"}, {"float", "real"}, {"double", "real"}, {"bool", "bool"}};
  for (const auto& [pattern, type] : table)
    if (is_substring(pattern, text)) return std::string(type);
  return "bool";
}

std::string data_base_type(const Env& env, const Ident& name) {
  std::string head(name.head());
  for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (name.part_count() == 2 && name.is_scope() && head == "base_types")
    if (auto t = base_types_lustre_type(name.last())) return *t;
  // The data representation of the data component, else of its type.
  for (Ident n = name;;) {
    const Entry* e = env.find(n);
    const auto* c = e && e->decl ? std::get_if<Component>(&*e->decl) : nullptr;
    if (!c || c->category != Category::Data) break;
    if (auto t = data_representation_type(*c)) return *t;
    if (c->kind == Component_kind::Type) break;
    n = type_name_of_implementation_name(n);
  }
  // Otherwise the full name tells: shortening may cut off the very word
  // ("int", "real", ...) that does.
  return ident_string_to_type_string(to_string(name));
}

std::string str_type_to_default(std::string_view base_type) {
  if (base_type == "bool") return "true";
  if (base_type == "int") return "0";
  if (base_type == "real") return "0.0";
  return std::string(base_type);
}

void print_record_type_dummy(Lustre_writer& w, const std::vector<Type_field>& fields) {
  w.p("[");
  if (fields.empty()) {
    w.p("(* dummy var *) bool");
  } else {
    bool first = true;
    for (const auto& f : fields) {
      if (!first) w.p(",");
      first = false;
      w.p(" (* ");
      w.p_name(f.name);
      w.p(" : ");
      w.p(" *) ");
      print_type_expression_tuple(w, f.type);
    }
  }
  w.p("]");
}

void print_type_expression_tuple(Lustre_writer& w, const Type_expression& t) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    w.type_name(n->name);
    return;
  }
  print_record_type_dummy(w, as_record(t)->fields);
}

std::string type_to_fake_value(const Env& env, const Type_expression& t) {
  std::string out;
  std::vector<Ident> expanding;
  fake_value(env, t, out, expanding);
  return out;
}

void print_fake_value(Lustre_writer& w, const Env& env, const Type_expression& t) { w.p(type_to_fake_value(env, t)); }

// ---- model values ----------------------------------------------------------------

std::string immediate_to_string(const Immediate& v) {
  return std::visit(overloaded{
                        [](const Imm_bool& x) -> std::string { return x.value ? "true" : "false"; },
                        [](const Imm_int& x) -> std::string {
                          std::string s = std::to_string(x.value);
                          return x.value < 0 ? "(" + s + ")" : s;
                        },
                        [](const Imm_real& x) -> std::string {
                          char buf[64];
                          int len = std::snprintf(buf, sizeof buf, "%.12g", x.value);
                          std::string s(buf, static_cast<std::size_t>(len));
                          if (s.find_first_not_of("-0123456789") == std::string::npos) s += '.';
                          return x.value < 0.0 ? "(" + s + ")" : s;
                        },
                        [](const Imm_char& x) -> std::string { return std::string("'") + x.value + "'"; },
                        [](const Imm_string& x) -> std::string { return "\"" + x.value + "\""; },
                    },
                    v);
}

void print_immediate(Lustre_writer& w, const Immediate& v) { w.p(immediate_to_string(v)); }

void print_pattern(Lustre_writer& w, const Pattern& pat) {
  if (const auto* v = std::get_if<PVar>(&pat.v)) {
    w.p_name(v->name);
    return;
  }
  const auto& t = std::get<PTuple>(pat.v);
  if (t.items.empty()) {
    w.p("-- useless?");
    w.p("-- dummy_var");
    return;
  }
  bool first = true;
  for (const auto& it : t.items) {
    if (!first) w.p(",");
    first = false;
    print_pattern(w, it.pattern);
  }
}

bool is_empty_expression(const Expression& e) {
  if (!e) return false;
  const auto* t = std::get_if<Tuple>(&e->v);
  return t && t->items.empty();
}

bool is_an_oracle_variable(const Ident& id) {
  const std::string& s = to_string(id);
  if (s.size() < 4) return false;
  return s.front() == '_' && std::memcmp(s.data() + s.size() - 4, "_clk", 4) == 0;
}

void print_expression(Lustre_writer& w, Call_numbers& calls, const Env& env, std::string_view indent,
                      const Expression& e) {
  Expr_printer(w, calls, env, indent).expr(e);
}

namespace {
void print_default_value_of(Lustre_writer& w, const Node& n, std::string_view indent) {
  w.p("\n");
  w.p(indent);
  if (n.outputs.empty()) {
    w.p(" true");
    return;
  }
  bool first = true;
  for (const auto& o : n.outputs) {
    if (!first) {
      w.p(",\n");
      w.p(indent);
    }
    first = false;
    w.p_joined({to_string(n.name), "_", to_string(o.first), "_dft"});
    w.p(" ");
  }
}
}  // namespace

// ---- nodes and definitions ---------------------------------------------------------

namespace {

std::unordered_set<Ident> defined_variables(const Node& n) {
  std::unordered_set<Ident> defined;
  defined.reserve(n.equations.size());
  for (const auto& eq : n.equations)
    if (const auto* v = std::get_if<PVar>(&eq.lhs.v)) defined.insert(v->name);
  return defined;
}

std::vector<const Typed_ident*> undefined_outputs(const Node& n) {
  std::vector<const Typed_ident*> undefined;
  if (n.outputs.empty()) return undefined;
  auto defined = defined_variables(n);
  for (const auto& o : n.outputs)
    if (!defined.count(o.first)) undefined.push_back(&o);
  return undefined;
}

}  // namespace

bool node_is_complete(const Node& n) { return undefined_outputs(n).empty(); }

void print_inputs_interface(Lustre_writer& w, const Node& n) {
  bool broken = n.inputs.size() >= 2;
  if (broken) w.pnl();
  if (n.inputs.empty() && n.oracles.empty()) {
    w.p("dummy_in:bool");
  } else {
    auto sep = [&] { w.p(";\n   "); };
    print_list([&](const Typed_ident& x) { print_typed(w, x); }, sep, n.inputs);
    if (!n.inputs.empty() && !n.oracles.empty()) sep();
    print_list([&](const Typed_ident& x) { print_typed(w, x); }, sep, n.oracles);
  }
  if (broken) w.pnl();
}

void print_outputs_interface(Lustre_writer& w, std::string_view prefix, const Node& n) {
  if (n.outputs.empty()) {
    w.p(prefix);
    w.p("dummy_out:bool");
    return;
  }
  print_list(
      [&](const Typed_ident& o) {
        w.p(prefix);
        print_typed(w, o);
      },
      [&] { w.p(";\n   "); }, n.outputs);
}

void print_node_interface(Lustre_writer& w, const Node& n) {
  bool broken = n.inputs.size() >= 2;
  w.p("node ");
  w.p_name(n.name);
  if (broken) w.pnl();
  w.p("(");
  if (broken) w.pnl();
  print_inputs_interface(w, n);
  w.p(")");
  if (broken) w.pnl();
  w.p(" returns ");
  w.p("(");
  if (broken) w.pnl();
  print_outputs_interface(w, "", n);
  if (broken) w.pnl();
  w.p(");");
}

void print_node(Lustre_writer& w, const Options& options, const Env& env, const Node& n) {
  auto undefined = undefined_outputs(n);
  if (undefined.empty()) w.switch_to(*w.files().nodes);
  else w.switch_to(*w.files().fillme_nodes);

  w.p(dash_line);
  w.p("----- ");
  w.p(to_string(n.name));
  w.pnl();
  print_node_interface(w, n);

  bool any_local = false;
  for (const auto& l : n.locals) {
    if (is_an_oracle_variable(l.first)) continue;
    if (!any_local) {
      w.p("\nvar");
      w.pnl();
    } else {
      w.p(";\n");
    }
    any_local = true;
    w.p("   ");
    w.p_name(l.first);
    w.p(" : ");
    print_type_expression_tuple(w, l.second);
  }
  if (any_local) w.p(";");

  w.pnl();
  w.p("let");
  w.pnl();
  bool first = true;
  Call_numbers calls;  // numbered afresh in every node
  Expr_printer equations(w, calls, env, "");
  for (const auto& eq : n.equations) {
    if (!first) w.p(";\n");
    first = false;
    const auto* t = std::get_if<PTuple>(&eq.lhs.v);
    bool commented = t && t->items.empty();
    std::string_view prefix = commented ? "--" : "";
    w.p(prefix);
    w.p("  ");
    print_pattern(w, eq.lhs);
    w.p(" = ");
    equations.print(commented ? "--    " : "    ", eq.rhs);
  }
  if (!n.equations.empty()) w.p(";\n");

  if (n.outputs.empty()) {
    w.p("  dummy_out=true;");
    w.pnl();
  }
  if (options.gen_fake_body) {
    for (const auto* o : undefined) {
      w.p("   ");
      w.p_name(o->first);
      w.p(" = ");
      print_fake_value(w, env, o->second);
      w.p("; -- XXX Fix me!");
      w.pnl();
    }
  } else {
    w.p("-- XXX Fill me! \n");
    w.pnl();
  }
  w.p("tel;");
  w.pnl();
}

void print_default_const(Lustre_writer& w, const Env& env, const Node& n) {
  Channel& saved = w.channel();
  w.switch_to(*w.files().fillme_const);
  for (const auto& o : n.outputs) {
    w.p("const ");
    w.p_joined({to_string(n.name), "_", to_string(o.first), "_dft"});
    w.p(" = ");
    print_fake_value(w, env, o.second);
    w.p(" ;-- XXX fixme!\n");
  }
  w.switch_to(saved);
}

void print_interface_tuple(Lustre_writer& w, std::string_view prefix, const std::vector<Typed_ident>& l, bool dummy, bool last) {
  if (l.empty()) {
    if (dummy) {
      w.p(prefix);
      w.p("1:bool;");
    }
    return;
  }
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (i > 0) w.p(";\n");
    w.p("   ");
    w.p(prefix);
    w.p_number(static_cast<long long>(i + 1));
    w.p(":");
    w.type(l[i].second);
  }
  if (!last) w.p(";\n");
}

void print_tuple(Lustre_writer& w, std::string_view prefix, std::size_t count, bool flag) {
  if (count == 0 && !flag) return;
  std::size_t m = count > 1 ? count : 1;
  for (std::size_t i = 1; i <= m; ++i) {
    if (i > 1) w.p(", ");
    w.p(prefix);
    w.p_number(static_cast<long long>(i));
  }
}

void print_condact(Lustre_writer& w, const Node& n) {
  const std::string& name = to_string(n.name);
  std::size_t k = n.inputs.size();
  std::size_t m = n.outputs.size();
  bool has_oracles = !n.oracles.empty();

  w.p("node condact_");
  w.p(name);
  if (k >= 2) w.pnl();
  w.p("(");
  if (k >= 2) w.pnl();
  w.p("clk:bool;");
  if (k >= 2) w.pnl();
  print_interface_tuple(w, "x", n.inputs, !has_oracles, false);
  print_list(
      [&](const Typed_ident& o) {
        w.p("   ");
        print_typed(w, o);
      },
      [&] { w.p(";\n"); }, n.oracles);
  if (has_oracles) w.p(";\n");
  print_interface_tuple(w, "def", n.outputs, true, true);
  w.p("  )");
  w.pnl();
  w.p("returns\n  (");
  if (m >= 2) w.pnl();
  print_interface_tuple(w, "y", n.outputs, true, true);
  w.p("  );\n");
  w.p("let");
  w.pnl();
  w.pnl();
  w.p("  ");
  print_tuple(w, "y", m, true);
  w.p(" =");
  w.p("\n     if clk then current(");
  w.p_name(n.name);
  w.p("(");
  for (std::size_t i = 1; i <= k; ++i) {
    w.p("x");
    w.p_number(static_cast<long long>(i));
    w.p(i < k ? " when clk,\n      " : " when clk");
  }
  if (has_oracles && k >= 1) w.p(",\n      ");
  bool one_per_line = n.oracles.size() > 3;
  print_list(
      [&](const Typed_ident& o) {
        w.p_name(o.first);
        w.p(" when clk");
      },
      [&] { w.p(one_per_line ? ",\n      " : ","); }, n.oracles);
  if (!has_oracles && k == 0) w.p("true when clk (* dummy *) ");
  w.p("))");
  w.pnl();
  w.p("       else (");
  w.p("(");
  print_tuple(w, "def", m, true);
  w.p(")\n");
  w.p("           -> pre ");
  w.p("(");
  print_tuple(w, "y", m, true);
  w.p(")");
  w.p(");");
  w.p("\ntel;\n");
  w.p("-- End of node ");
  w.p("condact_");
  w.p(name);
}

void print_predef_nodes(Lustre_writer& w) {
  w.switch_to(*w.files().fillme_nodes);
  w.switch_to(*w.files().nodes);
}

void print_sync_definition(Lustre_writer& w, const Options& options, const Env& env, const Sync_definition& d) {
  std::visit(overloaded{
                 [&](const Node_def& nd) {
                   VQ_ASSERT(nd.node != nullptr, "missing node");
                   const Node& n = *nd.node;
                   print_node(w, options, env, n);
                   if (is_thread_or_subprogram(env, n.name)) {
                     print_default_const(w, env, n);
                     w.switch_to(*w.files().nodes);
                     if (!w.scade()) {
                       w.p(dash_line);
                       w.p("---------- Condact ");
                       w.p(to_string(n.name));
                       w.pnl();
                       print_condact(w, n);
                     }
                   }
                 },
                 [&](const TypeDef& t) {
                   w.switch_to(*w.files().fillme_types);
                   w.p("type ");
                   w.p_name(t.name);
                   if (t.definition) {
                     w.p(" = ");
                     w.type(*t.definition);
                     w.p(";");
                     w.p("const ");
                     w.p_joined({to_string(t.name), "_init"});
                     w.p(" = ");
                     print_fake_value(w, env, *t.definition);
                     w.p(";\n");
                   } else {
                     std::string base = data_base_type(env, t.name);
                     if (options.gen_fake_body) {
                       w.p(" = ");
                       w.p(base);
                       w.p("; -- XXX Fix me?\n");
                     } else {
                       w.p(";");
                     }
                     w.p("const ");
                     w.p_joined({to_string(t.name), "_init"});
                     w.p(" = ");
                     w.p(str_type_to_default(base));
                     w.p(";\n");
                   }
                   w.pnl();
                   w.switch_to(*w.files().nodes);
                 },
                 [&](const Skipped& s) {
                   if (options.verbosity >= 2) {
                     w.p("-- skipping ");
                     w.p(to_string(s.name));
                   }
                 },
             },
             d);
  w.pnl();
}

}  // namespace vorquel
