#include "aadl/aadl_ast.hpp"

namespace vorquel {

const char* category_to_string(Category c) {
  switch (c) {
    case Category::Data: return "Data";
    case Category::Subprogram: return "Subprogram";
    case Category::Thread: return "Thread";
    case Category::Thread_group: return "Thread_group";
    case Category::Process: return "Process";
    case Category::Processor: return "Processor";
    case Category::Memory: return "Memory";
    case Category::Bus: return "Bus";
    case Category::Device: return "Device";
    case Category::System: return "System";
    case Category::Virtual_processor: return "Virtual_processor";
  }
  return "?";
}

}  // namespace vorquel
