#include "aadl/aadl_misc.hpp"

namespace vorquel {
In_out inv_in_out(In_out d) {
  switch (d) {
    case In_out::In: return In_out::Out;
    case In_out::Out: return In_out::In;
    case In_out::InOut: return In_out::InOut;
  }
  return d;
}
}  // namespace vorquel
