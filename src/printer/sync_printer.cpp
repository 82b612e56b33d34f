#include "printer/sync_printer.hpp"

#include "driver/misc.hpp"

// Placeholder until the printer is written.
namespace vorquel {
void print_predef_nodes() { not_yet_implemented("print_predef_nodes"); }
void print_sync_definition(const Env&, const Sync_definition&) { not_yet_implemented("print_sync_definition"); }
}  // namespace vorquel
