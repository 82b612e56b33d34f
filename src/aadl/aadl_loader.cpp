#include "aadl/aadl_loader.hpp"

#include "driver/misc.hpp"

// Placeholder until the reader is written.
namespace vorquel {
Model parse_aadl(int, const std::string&) { not_yet_implemented("parse_aadl"); }
Model parse_aadl_text(int, const std::string&, std::string) { not_yet_implemented("parse_aadl"); }
}  // namespace vorquel
