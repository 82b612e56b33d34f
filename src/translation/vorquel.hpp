// The translation of AADL declarations into synchronous definitions: node
// interfaces of component types, record types of port groups, the bodies of
// process, thread and system implementations (condact calls under clocks,
// wiring of connections), and the propagation of oracle inputs upwards.
//
// A component implementation needs the nodes of the components it calls.
// When one is missing, the public entry points raise the translate-first
// request ("Vorquel.Vorquel_todo"); `translate` instead translates the callee
// on the spot and resumes, which gives the same result as a retry from
// scratch without redoing the work.
#pragma once

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/options.hpp"
#include "env/env.hpp"

namespace vorquel {

// Translates every declaration (callees first) and propagates the oracle
// inputs up to the top-level system: every node receives, after its own
// oracles, the oracles of the nodes it calls. Within a node every oracle has
// a name of its own: a callee's oracle keeps its name when that is new in the
// node, else it takes the suffix "_2", "_3", ... (the clocks of one thread
// instance alike). Each call records the names it passes
// (Call_expr::oracle_args).
// A declaration of a textual model that the top-level system does not use
// and that cannot be translated is left without definition, said in
// `warnings` when given.
Env translate(const Options& options, const Ident& top_level_system, const Env& env,
              std::vector<Diagnostic>* warnings = nullptr);

// The definition of one component, by category and by type or implementation.
// Raises the translate-first request when a callee has no node yet.
Sync_definition sync_definition_of_component(const Env& env, const Component& c);
// A port group's record type (through its inverse when it has one).
Sync_definition sync_definition_of_port_group(const Env& env, const Port_group& g);

// The node stored for the name; raises the translate-first request (an
// exception whose what() is "Vorquel.Vorquel_todo") when there is none yet.
std::shared_ptr<const Node> get_node_or_raise_todo(const Env& env, const Ident& name);

Type_expression type_of_feature_kind(const Feature_kind& k);
Type_expression port_group_to_type(const Port_group& g);
// Stops the run for any dispatch protocol of its own but Periodic.
void check_dispatch_protocol(const Component& thread);
// The threads of a textual model are checked where the top-level system
// uses them: only periodic ones without a dispatch offset are translated
// (declarations that it does not use may hold others).
void check_dispatch_of_instance(const Env& env, const Ident& top);

// Every PVar x becomes PVar x_condact (labels kept).
Pattern rename_patt_condact(const Pattern& p);
// t.f -> _t_release_clk. Anything but a Dot identifier: internal error.
Ident clock_of_ident(const Ident& id);
// Keeps the first occurrence of every (name, type) local of a node.
Sync_definition remove_dupl_local_var(const Sync_definition& d);

// Fresh copies of an identifier: x_2, x_3, ... in request order.
using Renaming_table = std::unordered_map<Ident, int>;
Ident give_a_new_name(Renaming_table& table, const Ident& id);

}  // namespace vorquel
