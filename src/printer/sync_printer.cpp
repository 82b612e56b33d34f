#include "printer/sync_printer.hpp"

#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "driver/misc.hpp"
#include "printer/lustre_names.hpp"
#include "printer/scade.hpp"

namespace vorquel {

namespace {

template <class... F>
struct overloaded : F... {
  using F::operator()...;
};
template <class... F>
overloaded(F...) -> overloaded<F...>;

constexpr std::string_view dash_line = "\n----------------------------------------------------------------\n";

bool scade() { return options().dialect == Dialect::Scade; }

// ---- printer state -------------------------------------------------------------

Channel* current_channel = nullptr;  // nullptr: the nodes channel

// Call numbers of oracle arguments, per (oracle input, called node); lives
// for one node.
struct Call_key {
  Ident oracle;
  Ident callee;
  friend bool operator==(const Call_key&, const Call_key&) = default;
};
struct Call_key_hash {
  std::size_t operator()(const Call_key& k) const { return k.oracle.hash() * 1000003u ^ k.callee.hash(); }
};
std::unordered_map<Call_key, long long, Call_key_hash>& call_numbers() {
  static std::unordered_map<Call_key, long long, Call_key_hash> t;
  return t;
}

// ---- names ---------------------------------------------------------------------

// The name of an identifier: its text, shortened in the SCADE dialect; a
// keyword takes a trailing "_".
void p_name(const Ident& id) {
  if (scade()) {
    const std::string s = build_ident("", id, "");
    p(s);
    if (is_lustre_keyword(s)) p("_");
    return;
  }
  const std::string& s = to_string(id);
  p(s);
  if (is_lustre_keyword(s)) p("_");
}

// A name assembled from several texts, shortened as one identifier.
void p_joined(std::initializer_list<std::string_view> pieces) {
  if (!scade()) {
    for (auto piece : pieces) p(piece);
    return;
  }
  std::string s;
  for (auto piece : pieces) s.append(piece);
  p(build_ident(s));
}

std::string name_text(const Ident& id) { return lustre_name(scade() ? build_ident("", id, "") : to_string(id)); }

// The name of a type: the predefined ones are written as they are.
void emit_type_name(const std::function<void(std::string_view)>& emit, const Ident& id) {
  const std::string& s = to_string(id);
  if (is_predefined_type(s) || (!scade() && !is_lustre_keyword(s))) emit(s);
  else emit(name_text(id));
}
void p_type_name(const Ident& id) {
  emit_type_name([](std::string_view s) { p(s); }, id);
}

void p_number(long long n) {
  char buf[24];
  int len = std::snprintf(buf, sizeof buf, "%lld", n);
  p(std::string_view(buf, static_cast<std::size_t>(len)));
}

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
      if (x == id) throw Failure("*** Error: the port group " + to_string(id) + " contains itself.\n");
    expanding.push_back(id);
    fake_value(env, *td->definition, out, expanding);
    expanding.pop_back();
    return;
  }
  // The base type comes from the full name: shortening may cut off the very
  // word ("int", "real", ...) that tells it.
  out += str_type_to_default(ident_string_to_type_string(to_string(id)));
}

// ---- expressions ---------------------------------------------------------------

const Node& node_of(const Env& env, const Ident& id) {
  const Node* n = nullptr;
  try {
    n = &env.get_node(id);
  } catch (const Not_found&) {
    internal_error("no node named " + to_string(id) + " to call");
  }
  return *n;
}

// Prints expressions; ind is the current indent, extended in place for the
// sub-expressions and restored after them.
// The defaults of the callee's outputs, the node being known.
void print_default_value_of(const Node& n, std::string_view indent);

class Expr_printer {
 public:
  Expr_printer(const Env& env, std::string_view indent) : env_(env), ind_(indent) {}

  // The printer is reused for the equations of a node: each starts at its
  // own indent.
  void print(std::string_view indent, const Expression& e) {
    ind_.assign(indent);
    expr(e);
  }

  void expr(const Expression& e) {
    VQ_ASSERT(e != nullptr, "missing expression");
    std::visit(overloaded{
                   [&](const Imm& x) { print_immediate(x.value); },
                   [&](const Var& x) { p_name(x.name); },
                   [&](const Tuple& x) { tuple(x); },
                   [&](const Or& x) { or_chain(x); },
                   [&](const If& x) { if_chain(x); },
                   [&](const Arrow& x) {
                     p("(");
                     operand(x.first);
                     p(" -> ");
                     operand(x.then);
                     p(")");
                   },
                   [&](const Pre& x) {
                     p("pre(");
                     operand(x.operand);
                     p(")");
                   },
                   [&](const Boxed<Call_expr>& x) { call(*x); },
                   [&](const Boxed<DelayedOutputs>& x) { delayed(*x); },
               },
               e->v);
  }

 private:
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
  static std::string_view node_name(const Ident& id, std::string& scratch) {
    if (!scade() && !is_lustre_keyword(to_string(id))) return to_string(id);
    scratch = name_text(id);
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
    for (std::size_t i = 0; i < spine.size(); ++i) p("(");
    operand(spine.back()->left);
    for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
      p(" or ");
      operand((*it)->right);
      p(")");
    }
  }

  void if_chain(const If& top) {
    const If* x = &top;
    std::size_t depth = 0;
    while (true) {
      p("(if ");
      operand(x->cond);
      p(" then ");
      operand(x->then_branch);
      p(" else  ");
      ++depth;
      VQ_ASSERT(x->else_branch != nullptr && !is_empty_expression(x->else_branch), "empty expression as an operand");
      const auto* inner = std::get_if<If>(&x->else_branch->v);
      if (inner == nullptr) break;
      x = inner;
    }
    operand(x->else_branch);
    for (std::size_t i = 0; i < depth; ++i) p(")");
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
        p(",");
        if (one_per_line) {
          p("\n");
          p(ind_);
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
    auto& table = call_numbers();
    for (std::size_t i = 0; i < callee.oracles.size(); ++i) {
      if (i > 0) {
        p(",");
        if (one_per_line) {
          p("\n");
          p(ind_);
        }
      }
      if (stored) {
        p_name(c.oracle_args[i]);
        continue;
      }
      const Ident& o = callee.oracles[i].first;
      auto [it, fresh] = table.try_emplace(Call_key{o, callee_id}, 2);
      if (fresh) {
        p_name(o);
      } else {
        const std::string k = std::to_string(it->second++);
        p_name(add_suffix("_" + k, o));
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
      p("(");
      if (has_args) {
        deeper("  ", [&] { expr(c.args); });
        if (has_oracles) p(", ");
      } else if (!has_oracles) {
        p(" true (* dummy *)");
      }
      oracle_args(callee, callee_id, c);
      p("\n");
      p(ind_);
      p(")");
      return;
    }

    VQ_ASSERT(*c.clock != nullptr && !is_empty_expression(*c.clock), "empty expression as a condact clock");
    std::string shortened;
    const std::string_view s = node_name(callee_id, shortened);
    p("\n");
    p(ind_);
    if (!scade()) {
      p("condact_");
      p(s);
      p("(");
      deeper("  ", [&] { expr(*c.clock); });
      p(",");
      if (has_args) {
        expr(c.args);
      } else if (!has_oracles) {
        p("\n");
        p(ind_);
        p("  true (* dummy *)");
      }
      if (has_args || !has_oracles) p(", ");
      oracle_args(callee, callee_id, c);
      if (has_oracles) p(", ");
    } else {
      // The dialect's own condact operator: the node call with all its
      // inputs (declared, then oracle), then the defaults.
      p("condact");
      p("(");
      deeper("  ", [&] { expr(*c.clock); });
      p(",");
      p(s);
      p("(");
      if (has_args) {
        expr(c.args);
        if (has_oracles) p(", ");
      } else if (!has_oracles) {
        p("\n");
        p(ind_);
        p("  true (* dummy *)");
      }
      oracle_args(callee, callee_id, c);
      p("), ");
    }
    p(ind_);
    p("  ");
    deeper(" ", [&] { print_default_value_of(callee, ind_); });
    p("\n");
    p(ind_);
    p(")");
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

    p("\n");
    p(ind_);
    p(" -- Delaying the output\n");
    p(ind_);
    p("(");
    // The node's name takes its short form before the names of its default
    // constants: short forms are numbered in the order of first use.
    if (scade()) (void)build_ident("", d.node, "");
    deeper("  ", [&] { print_default_value_of(callee_node(d.node), ind_); });
    p("\n");
    p(ind_);
    p(") -> pre (\n");
    if (outs.empty()) {
      // Nothing to publish: still close the parenthesis on an indented line.
      p(ind_);
      p("      )");
      return;
    }
    for (std::size_t i = 0; i < outs.size(); ++i) {
      p(ind_);
      p("      ");
      p("if ");
      bool is_delayed = is_delayed_source(*outs[i]);
      p_name(is_delayed ? d.dispatch_clock : d.release_clock);
      p(" then ");
      p_name(*results[i]);
      p(" else ");
      p_name(*outs[i]);
      p(i + 1 == outs.size() ? ")" : ",\n");
    }
  }
};

bool is_thread_or_subprogram(const Env& env, const Ident& name) {
  const Entry* e = env.find(name);
  if (!e || !e->decl) return false;
  const auto* c = std::get_if<Component>(e->decl.get());
  return c && (c->category == Category::Thread || c->category == Category::Subprogram);
}

void print_typed(const Typed_ident& x) {
  p_name(x.first);
  p(" : ");
  print_type_expression(x.second);
}

// ---- references ----------------------------------------------------------------

void type_refs(const Type_expression& t, std::vector<Ident>& out) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    out.push_back(n->name);
    return;
  }
  for (const auto& f : as_record(t)->fields) type_refs(f.type, out);
}

// Walks with an explicit stack: expressions can be nested as deep as the
// model is wide.
void expr_refs(const Expression& root, std::vector<Ident>& out, std::vector<const Expr*>& todo) {
  todo.clear();
  todo.push_back(root.get());
  auto push = [&](const Expression& e) {
    if (e) todo.push_back(e.get());
  };
  while (!todo.empty()) {
    const Expr* e = todo.back();
    todo.pop_back();
    if (e == nullptr) continue;
    std::visit(overloaded{
                   [&](const Imm&) {},
                   [&](const Var&) {},
                   [&](const Tuple& x) {
                     for (const auto& it : x.items) push(it.expr);
                   },
                   [&](const Or& x) {
                     push(x.left);
                     push(x.right);
                   },
                   [&](const If& x) {
                     push(x.cond);
                     push(x.then_branch);
                     push(x.else_branch);
                   },
                   [&](const Arrow& x) {
                     push(x.first);
                     push(x.then);
                   },
                   [&](const Pre& x) { push(x.operand); },
                   [&](const Boxed<Call_expr>& x) {
                     if (x->clock) push(*x->clock);
                     if (x->node && std::holds_alternative<Var>(x->node->v))
                       out.push_back(std::get<Var>(x->node->v).name);
                     push(x->args);
                   },
                   [&](const Boxed<DelayedOutputs>& x) { out.push_back(x->node); },
               },
               e->v);
  }
}

}  // namespace

// ---- the current output channel ----------------------------------------------------

Channel& current_oc() { return current_channel ? *current_channel : *channels().nodes; }
void p(std::string_view text) { current_oc().write(text); }
void pnl() { current_oc().write('\n'); }
void switch_oc() { current_channel = channels().nodes; }
void switch_oc_top() { current_channel = channels().top; }
void switch_scheduler() { current_channel = channels().scheduler; }
void switch_fillme_nodes() { current_channel = channels().fillme_nodes; }
void switch_fillme_types() { current_channel = channels().fillme_types; }
void switch_fillme_const() { current_channel = channels().fillme_const; }
void restore_current_oc(Channel& c) { current_channel = &c; }

// ---- types and values ------------------------------------------------------------

std::string ident_string_to_type_string(std::string_view text) {
  static constexpr std::pair<std::string_view, std::string_view> table[] = {
      {"int", "int"}, {"integer", "int"}, {"real", "real"}, {"float", "real"}, {"double", "real"}, {"bool", "bool"}};
  for (const auto& [pattern, type] : table)
    if (is_substring(pattern, text)) return std::string(type);
  return "bool";
}

std::string str_type_to_default(std::string_view base_type) {
  if (base_type == "bool") return "true";
  if (base_type == "int") return "0";
  if (base_type == "real") return "0.0";
  return std::string(base_type);
}

void print_record_type(const std::function<void(std::string_view)>& emit, const std::vector<Type_field>& fields) {
  if (!scade()) {
    emit("[ ");
    bool first = true;
    for (const auto& f : fields) {
      if (!first) emit(",");
      first = false;
      print_type_expression(emit, f.type);
    }
    emit(" ]");
    return;
  }
  emit("{ ");
  bool first = true;
  for (const auto& f : fields) {
    if (!first) emit(";");
    first = false;
    emit(name_text(f.name));
    emit(" : ");
    print_type_expression(emit, f.type);
  }
  emit(" }");
}

void print_type_expression(const std::function<void(std::string_view)>& emit, const Type_expression& t) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    emit_type_name(emit, n->name);
    return;
  }
  print_record_type(emit, as_record(t)->fields);
}

void print_type_expression(const Type_expression& t) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    p_type_name(n->name);
    return;
  }
  print_record_type([](std::string_view s) { p(s); }, as_record(t)->fields);
}

std::string type_expression_to_string(const Type_expression& t) {
  std::string s;
  print_type_expression([&s](std::string_view x) { s.append(x); }, t);
  return s;
}

void print_record_type_dummy(const std::vector<Type_field>& fields) {
  p("[");
  if (fields.empty()) {
    p("(* dummy var *) bool");
  } else {
    bool first = true;
    for (const auto& f : fields) {
      if (!first) p(",");
      first = false;
      p(" (* ");
      p_name(f.name);
      p(" : ");
      p(" *) ");
      print_type_expression_tuple(f.type);
    }
  }
  p("]");
}

void print_type_expression_tuple(const Type_expression& t) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    p_type_name(n->name);
    return;
  }
  print_record_type_dummy(as_record(t)->fields);
}

std::string type_to_fake_value(const Env& env, const Type_expression& t) {
  std::string out;
  std::vector<Ident> expanding;
  fake_value(env, t, out, expanding);
  return out;
}

void print_fake_value(const Env& env, const Type_expression& t) { p(type_to_fake_value(env, t)); }

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

void print_immediate(const Immediate& v) { p(immediate_to_string(v)); }

void print_pattern(const Pattern& pat) {
  if (const auto* v = std::get_if<PVar>(&pat.v)) {
    p_name(v->name);
    return;
  }
  const auto& t = std::get<PTuple>(pat.v);
  if (t.items.empty()) {
    p("-- useless?");
    p("-- dummy_var");
    return;
  }
  bool first = true;
  for (const auto& it : t.items) {
    if (!first) p(",");
    first = false;
    print_pattern(it.pattern);
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

const Node& get_node_from_ident_expr(const Env& env, const Expression& e) {
  VQ_ASSERT(e != nullptr && std::holds_alternative<Var>(e->v), "called node is not a name");
  return node_of(env, std::get<Var>(e->v).name);
}

void print_expression(const Env& env, std::string_view indent, const Expression& e) {
  Expr_printer(env, indent).expr(e);
}

void print_default_value(const Env& env, const Ident& callee, std::string_view, std::string_view indent) {
  print_default_value_of(node_of(env, callee), indent);
}

namespace {
void print_default_value_of(const Node& n, std::string_view indent) {
  p("\n");
  p(indent);
  if (n.outputs.empty()) {
    p(" true");
    return;
  }
  bool first = true;
  for (const auto& o : n.outputs) {
    if (!first) {
      p(",\n");
      p(indent);
    }
    first = false;
    p_joined({to_string(n.name), "_", to_string(o.first), "_dft"});
    p(" ");
  }
}
}  // namespace

void reset_call_numbers() { call_numbers().clear(); }

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

void print_inputs_interface(const Node& n) {
  bool broken = n.inputs.size() >= 2;
  if (broken) pnl();
  if (n.inputs.empty() && n.oracles.empty()) {
    p("dummy_in:bool");
  } else {
    auto sep = [] { p(";\n   "); };
    print_list(print_typed, sep, n.inputs);
    if (!n.inputs.empty() && !n.oracles.empty()) sep();
    print_list(print_typed, sep, n.oracles);
  }
  if (broken) pnl();
}

void print_outputs_interface(std::string_view prefix, const Node& n) {
  if (n.outputs.empty()) {
    p(prefix);
    p("dummy_out:bool");
    return;
  }
  print_list(
      [&](const Typed_ident& o) {
        p(prefix);
        print_typed(o);
      },
      [] { p(";\n   "); }, n.outputs);
}

void print_node_interface(const Node& n) {
  bool broken = n.inputs.size() >= 2;
  p("node ");
  p_name(n.name);
  if (broken) pnl();
  p("(");
  if (broken) pnl();
  print_inputs_interface(n);
  p(")");
  if (broken) pnl();
  p(" returns ");
  p("(");
  if (broken) pnl();
  print_outputs_interface("", n);
  if (broken) pnl();
  p(");");
}

void print_node(const Env& env, const Node& n) {
  auto undefined = undefined_outputs(n);
  if (undefined.empty()) switch_oc();
  else switch_fillme_nodes();
  reset_call_numbers();

  p(dash_line);
  p("----- ");
  p(to_string(n.name));
  pnl();
  print_node_interface(n);

  bool any_local = false;
  for (const auto& l : n.locals) {
    if (is_an_oracle_variable(l.first)) continue;
    if (!any_local) {
      p("\nvar");
      pnl();
    } else {
      p(";\n");
    }
    any_local = true;
    p("   ");
    p_name(l.first);
    p(" : ");
    print_type_expression_tuple(l.second);
  }
  if (any_local) p(";");

  pnl();
  p("let");
  pnl();
  bool first = true;
  Expr_printer equations(env, "");
  for (const auto& eq : n.equations) {
    if (!first) p(";\n");
    first = false;
    const auto* t = std::get_if<PTuple>(&eq.lhs.v);
    bool commented = t && t->items.empty();
    std::string_view prefix = commented ? "--" : "";
    p(prefix);
    p("  ");
    print_pattern(eq.lhs);
    p(" = ");
    equations.print(commented ? "--    " : "    ", eq.rhs);
  }
  if (!n.equations.empty()) p(";\n");

  if (n.outputs.empty()) {
    p("  dummy_out=true;");
    pnl();
  }
  if (options().gen_fake_body) {
    for (const auto* o : undefined) {
      p("   ");
      p_name(o->first);
      p(" = ");
      print_fake_value(env, o->second);
      p("; -- XXX Fix me!");
      pnl();
    }
  } else {
    p("-- XXX Fill me! \n");
    pnl();
  }
  p("tel;");
  pnl();
}

void print_default_const(const Env& env, const Node& n) {
  Channel& saved = current_oc();
  switch_fillme_const();
  for (const auto& o : n.outputs) {
    p("const ");
    p_joined({to_string(n.name), "_", to_string(o.first), "_dft"});
    p(" = ");
    print_fake_value(env, o.second);
    p(" ;-- XXX fixme!\n");
  }
  restore_current_oc(saved);
}

void print_interface_tuple(std::string_view prefix, const std::vector<Typed_ident>& l, bool dummy, bool last) {
  if (l.empty()) {
    if (dummy) {
      p(prefix);
      p("1:bool;");
    }
    return;
  }
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (i > 0) p(";\n");
    p("   ");
    p(prefix);
    p_number(static_cast<long long>(i + 1));
    p(":");
    print_type_expression(l[i].second);
  }
  if (!last) p(";\n");
}

void print_tuple(std::string_view prefix, std::size_t count, bool flag) {
  if (count == 0 && !flag) return;
  std::size_t m = count > 1 ? count : 1;
  for (std::size_t i = 1; i <= m; ++i) {
    if (i > 1) p(", ");
    p(prefix);
    p_number(static_cast<long long>(i));
  }
}

void print_condact(const Node& n) {
  const std::string& name = to_string(n.name);
  std::size_t k = n.inputs.size();
  std::size_t m = n.outputs.size();
  bool has_oracles = !n.oracles.empty();

  p("node condact_");
  p(name);
  if (k >= 2) pnl();
  p("(");
  if (k >= 2) pnl();
  p("clk:bool;");
  if (k >= 2) pnl();
  print_interface_tuple("x", n.inputs, !has_oracles, false);
  print_list(
      [](const Typed_ident& o) {
        p("   ");
        print_typed(o);
      },
      [] { p(";\n"); }, n.oracles);
  if (has_oracles) p(";\n");
  print_interface_tuple("def", n.outputs, true, true);
  p("  )");
  pnl();
  p("returns\n  (");
  if (m >= 2) pnl();
  print_interface_tuple("y", n.outputs, true, true);
  p("  );\n");
  p("let");
  pnl();
  pnl();
  p("  ");
  print_tuple("y", m, true);
  p(" =");
  p("\n     if clk then current(");
  p_name(n.name);
  p("(");
  for (std::size_t i = 1; i <= k; ++i) {
    p("x");
    p_number(static_cast<long long>(i));
    p(i < k ? " when clk,\n      " : " when clk");
  }
  if (has_oracles && k >= 1) p(",\n      ");
  bool one_per_line = n.oracles.size() > 3;
  print_list(
      [](const Typed_ident& o) {
        p_name(o.first);
        p(" when clk");
      },
      [&] { p(one_per_line ? ",\n      " : ","); }, n.oracles);
  if (!has_oracles && k == 0) p("true when clk (* dummy *) ");
  p("))");
  pnl();
  p("       else (");
  p("(");
  print_tuple("def", m, true);
  p(")\n");
  p("           -> pre ");
  p("(");
  print_tuple("y", m, true);
  p(")");
  p(");");
  p("\ntel;\n");
  p("-- End of node ");
  p("condact_");
  p(name);
}

void print_predef_nodes() {
  switch_fillme_nodes();
  switch_oc();
}

void print_sync_definition(const Env& env, const Sync_definition& d) {
  std::visit(overloaded{
                 [&](const Node_def& nd) {
                   VQ_ASSERT(nd.node != nullptr, "missing node");
                   const Node& n = *nd.node;
                   print_node(env, n);
                   if (is_thread_or_subprogram(env, n.name)) {
                     print_default_const(env, n);
                     switch_oc();
                     if (!scade()) {
                       p(dash_line);
                       p("---------- Condact ");
                       p(to_string(n.name));
                       pnl();
                       print_condact(n);
                     }
                   }
                 },
                 [&](const TypeDef& t) {
                   switch_fillme_types();
                   p("type ");
                   p_name(t.name);
                   if (t.definition) {
                     p(" = ");
                     print_type_expression(*t.definition);
                     p(";");
                     p("const ");
                     p_joined({to_string(t.name), "_init"});
                     p(" = ");
                     print_fake_value(env, *t.definition);
                     p(";\n");
                   } else {
                     std::string base = ident_string_to_type_string(to_string(t.name));
                     if (options().gen_fake_body) {
                       p(" = ");
                       p(base);
                       p("; -- XXX Fix me?\n");
                     } else {
                       p(";");
                     }
                     p("const ");
                     p_joined({to_string(t.name), "_init"});
                     p(" = ");
                     p(str_type_to_default(base));
                     p(";\n");
                   }
                   pnl();
                   switch_oc();
                 },
                 [&](const Skipped& s) {
                   if (options().verbosity >= 2) {
                     p("-- skipping ");
                     p(to_string(s.name));
                   }
                 },
             },
             d);
  pnl();
}

// ---- what printed text refers to ---------------------------------------------------

namespace {
// Appends the names that the definition refers to.
void collect_refs(const Sync_definition& d, std::vector<Ident>& out) {
  std::visit(overloaded{
                 [&](const Node_def& nd) {
                   if (!nd.node) return;
                   const Node& n = *nd.node;
                   for (const auto* l : {&n.inputs, &n.oracles, &n.outputs, &n.locals})
                     for (const auto& x : *l) type_refs(x.second, out);
                   std::vector<const Expr*> todo;  // one walk stack for all the equations
                   for (const auto& eq : n.equations) expr_refs(eq.rhs, out, todo);
                 },
                 [&](const TypeDef& t) {
                   if (t.definition) type_refs(*t.definition, out);
                 },
                 [&](const Skipped&) {},
             },
             d);
}
}  // namespace

std::vector<Ident> referenced_names(const Sync_definition& d) {
  std::vector<Ident> out;
  collect_refs(d, out);
  return out;
}

std::vector<bool> deferred_types_to_print(const std::vector<const Sync_definition*>& printed,
                                          const std::vector<Deferred_type>& deferred) {
  std::vector<bool> chosen(deferred.size(), false);
  std::unordered_map<Ident, std::vector<std::size_t>> held_back;  // implemented types by name
  for (std::size_t i = 0; i < deferred.size(); ++i) {
    if (deferred[i].implemented) held_back[deferred[i].name].push_back(i);
    else chosen[i] = true;
  }
  if (held_back.empty()) return chosen;
  // The definitions whose references are still to be matched against the
  // held-back types: the printed ones, then every type chosen.
  std::vector<const Sync_definition*> todo(printed.begin(), printed.end());
  for (std::size_t i = 0; i < deferred.size(); ++i)
    if (chosen[i]) todo.push_back(deferred[i].def);
  std::vector<Ident> refs;
  while (!todo.empty()) {
    const Sync_definition* d = todo.back();
    todo.pop_back();
    refs.clear();
    collect_refs(*d, refs);
    for (const auto& r : refs) {
      auto it = held_back.find(r);
      if (it == held_back.end()) continue;
      for (std::size_t i : it->second) {
        if (chosen[i]) continue;
        chosen[i] = true;
        todo.push_back(deferred[i].def);
      }
    }
  }
  return chosen;
}

}  // namespace vorquel
