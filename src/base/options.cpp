#include "base/options.hpp"

#include "base/channel.hpp"

namespace vorquel {

Options& options() {
  static Options o;
  return o;
}

void reset_options() {
  std_out().clear_error();
  std_err().clear_error();
  options() = Options{};
  reset_channels();
}

}  // namespace vorquel
