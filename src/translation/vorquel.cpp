#include "translation/vorquel.hpp"

#include "driver/misc.hpp"

// Placeholder until the translation is written.
namespace vorquel {
Env translate(const Ident&, const Env&) { not_yet_implemented("translate"); }
}  // namespace vorquel
