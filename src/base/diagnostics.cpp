#include "base/diagnostics.hpp"

#include "base/channel.hpp"

namespace vorquel {

void internal_error(std::string description) { throw Internal_error(std::move(description)); }

void not_yet_implemented(std::string_view text) {
  err(">> Not yet implemented: ");
  err(text);
  err("\n");
  throw Misc_error();
}

void abort_run() {
  out("*** Aborting...\n");
  throw Exit_request(2);
}

}  // namespace vorquel
