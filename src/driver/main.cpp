#include "driver/main.hpp"

#include "driver/misc.hpp"
#include "driver/options.hpp"

namespace vorquel {
int run(const std::vector<std::string>&) {
  out("not written yet\n");
  std_out().flush();
  return 2;
}
}  // namespace vorquel
