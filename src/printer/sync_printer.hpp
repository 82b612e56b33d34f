// Printing of the synchronous model as Lustre (academic or SCADE dialect).
//
// Everything is written, piece by piece, through the run's Lustre_writer,
// which the printer switches between the six output channels of the run.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/options.hpp"
#include "env/env.hpp"
#include "printer/lustre_writer.hpp"
#include "sync/sync_ast.hpp"

namespace vorquel {

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

// ---- types and values --------------------------------------------------------
// "int", "real" or "bool", from the first of "int", "integer", "real",
// "float", "double", "bool" found in the text ("bool" when none).
std::string ident_string_to_type_string(std::string_view text);
// The base type of a data type: a type of Base_Types, else the
// Data_Representation of the data component, else the type's name tells.
std::string data_base_type(const Env& env, const Ident& name);
// "bool" -> "true", "int" -> "0", "real" -> "0.0"; any other text unchanged.
std::string str_type_to_default(std::string_view base_type);

// The form used in local declarations: records become bracketed lists of
// commented field names and types.
void print_type_expression_tuple(Lustre_writer& w, const Type_expression& t);
void print_record_type_dummy(Lustre_writer& w, const std::vector<Type_field>& fields);

// A constant of the type: "0", "0.0", "true", or "[v1,v2,...]" for a record;
// a port group type stands for its record.
std::string type_to_fake_value(const Env& env, const Type_expression& t);
void print_fake_value(Lustre_writer& w, const Env& env, const Type_expression& t);

// ---- model values ------------------------------------------------------------
std::string immediate_to_string(const Immediate& v);
void print_immediate(Lustre_writer& w, const Immediate& v);
void print_pattern(Lustre_writer& w, const Pattern& pat);
bool is_empty_expression(const Expression& e);
// The full text begins with "_" and ends with "_clk".
bool is_an_oracle_variable(const Ident& id);
// Call numbers of oracle arguments, per (oracle input, called node); one
// table per printed node.
struct Call_key {
  Ident oracle;
  Ident callee;
  friend bool operator==(const Call_key&, const Call_key&) = default;
};
struct Call_key_hash {
  std::size_t operator()(const Call_key& k) const { return k.oracle.hash() * 1000003u ^ k.callee.hash(); }
};
using Call_numbers = std::unordered_map<Call_key, long long, Call_key_hash>;
// indent: written at the start of every continuation line.
void print_expression(Lustre_writer& w, Call_numbers& calls, const Env& env, std::string_view indent,
                      const Expression& e);

// ---- nodes and definitions -----------------------------------------------------
bool node_is_complete(const Node& n);
void print_node_interface(Lustre_writer& w, const Node& n);
void print_inputs_interface(Lustre_writer& w, const Node& n);
void print_outputs_interface(Lustre_writer& w, std::string_view prefix, const Node& n);
void print_node(Lustre_writer& w, const Options& options, const Env& env, const Node& n);
void print_default_const(Lustre_writer& w, const Env& env, const Node& n);
void print_interface_tuple(Lustre_writer& w, std::string_view prefix, const std::vector<Typed_ident>& l, bool dummy, bool last);
void print_tuple(Lustre_writer& w, std::string_view prefix, std::size_t count, bool flag);
void print_condact(Lustre_writer& w, const Node& n);

// Selects the fill-me nodes channel, then the nodes channel; writes nothing.
void print_predef_nodes(Lustre_writer& w);
// Prints one definition into the channel it belongs to, ending with "\n".
void print_sync_definition(Lustre_writer& w, const Options& options, const Env& env, const Sync_definition& d);

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
