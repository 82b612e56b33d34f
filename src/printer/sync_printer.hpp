// Printing of the synchronous model as Lustre, into the current output
// channel, which this component owns.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "aadl/env.hpp"
#include "driver/options.hpp"
#include "translation/sync_ast.hpp"

namespace vorquel {

// The current output channel and its switches.
Channel& current_oc();
void p(std::string_view text);
void pnl();
void switch_oc();
void switch_oc_top();
void switch_scheduler();
void switch_fillme_nodes();
void switch_fillme_types();
void switch_fillme_const();
void restore_current_oc(Channel& c);

void print_predef_nodes();
void print_sync_definition(const Env& env, const Sync_definition& d);

// Type printing through a caller-supplied emitter (used by the scheduler).
void print_type_expression(const std::function<void(std::string_view)>& emit, const Type_expression& t);
void print_type_expression(const Type_expression& t);  // to the current channel
std::string type_expression_to_string(const Type_expression& t);

}  // namespace vorquel
