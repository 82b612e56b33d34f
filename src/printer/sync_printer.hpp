// Printing of the synchronous model as Lustre (academic or SCADE dialect).
//
// Everything is written, piece by piece, to the current output channel,
// which this component owns and switches between the six output channels
// of channels(). Identifiers are written through build_ident (scade.hpp).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "env/env.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "sync/sync_ast.hpp"

namespace vorquel {

// ---- the current output channel ----------------------------------------------
Channel& current_oc();
void p(std::string_view text);
// A text written in the code: its length is known without counting.
template <std::size_t N>
inline void p(const char (&text)[N]) {
  p(std::string_view(text, N - 1));
}
void pnl();
// Calls f on every element and sep() between two consecutive ones.
template <class List, class F, class Sep>
void print_list(F&& f, Sep&& sep, const List& l) {
  bool first = true;
  for (const auto& x : l) {
    if (!first) sep();
    first = false;
    f(x);
  }
}
void switch_oc();            // nodes
void switch_oc_top();        // top
void switch_scheduler();     // scheduler
void switch_fillme_nodes();  // fill-me nodes
void switch_fillme_types();  // fill-me types
void switch_fillme_const();  // fill-me constants
void restore_current_oc(Channel& c);

// ---- types and values --------------------------------------------------------
// "int", "real" or "bool", from the first of "int", "integer", "real",
// "float", "double", "bool" found in the text ("bool" when none).
std::string ident_string_to_type_string(std::string_view text);
// "bool" -> "true", "int" -> "0", "real" -> "0.0"; any other text unchanged.
std::string str_type_to_default(std::string_view base_type);

// Type printing through a caller-supplied emitter (used by the scheduler).
void print_type_expression(const std::function<void(std::string_view)>& emit, const Type_expression& t);
void print_type_expression(const Type_expression& t);  // to the current channel
std::string type_expression_to_string(const Type_expression& t);
void print_record_type(const std::function<void(std::string_view)>& emit, const std::vector<Type_field>& fields);
// The form used in local declarations: records become bracketed lists of
// commented field names and types.
void print_type_expression_tuple(const Type_expression& t);
void print_record_type_dummy(const std::vector<Type_field>& fields);

// A constant of the type: "0", "0.0", "true", or "[v1,v2,...]" for a record;
// a port group type stands for its record.
std::string type_to_fake_value(const Env& env, const Type_expression& t);
void print_fake_value(const Env& env, const Type_expression& t);

// ---- model values ------------------------------------------------------------
std::string immediate_to_string(const Immediate& v);
void print_immediate(const Immediate& v);
void print_pattern(const Pattern& pat);
bool is_empty_expression(const Expression& e);
// The full text begins with "_" and ends with "_clk".
bool is_an_oracle_variable(const Ident& id);
const Node& get_node_from_ident_expr(const Env& env, const Expression& e);
// indent: written at the start of every continuation line.
void print_expression(const Env& env, std::string_view indent, const Expression& e);
// The default constants of the callee's outputs (" true" when it has none).
void print_default_value(const Env& env, const Ident& callee, std::string_view callee_name, std::string_view indent);
// Forgets the call numbers of the oracle arguments (done at every node).
void reset_call_numbers();

// ---- nodes and definitions -----------------------------------------------------
bool node_is_complete(const Node& n);
void print_node_interface(const Node& n);
void print_inputs_interface(const Node& n);
void print_outputs_interface(std::string_view prefix, const Node& n);
void print_node(const Env& env, const Node& n);
void print_default_const(const Env& env, const Node& n);
void print_interface_tuple(std::string_view prefix, const std::vector<Typed_ident>& l, bool dummy, bool last);
void print_tuple(std::string_view prefix, std::size_t count, bool flag);
void print_condact(const Node& n);

// Selects the fill-me nodes channel, then the nodes channel; writes nothing.
void print_predef_nodes();
// Prints one definition into the channel it belongs to, ending with "\n".
void print_sync_definition(const Env& env, const Sync_definition& d);

// ---- what printed text refers to -------------------------------------------------
// The names that the printed text of a definition needs declared elsewhere:
// the nodes it calls (plainly, under a clock, or for default values) and the
// named types of its inputs, oracles, outputs, locals, record fields and
// type definition. Unordered, possibly repeated.
std::vector<Ident> referenced_names(const Sync_definition& d);

// A component type held back until after the scheduler (the definition is
// the one held by the environment).
struct Deferred_type {
  Ident name;
  const Sync_definition* def;
  bool implemented;  // an implementation of it was printed
};
// For each deferred type, in order, whether to print it: always when it is
// not implemented; otherwise only when something printed refers to it —
// one of the definitions already printed, or a deferred type printed by
// this rule (transitively).
std::vector<bool> deferred_types_to_print(const std::vector<const Sync_definition*>& printed,
                                          const std::vector<Deferred_type>& deferred);

}  // namespace vorquel
