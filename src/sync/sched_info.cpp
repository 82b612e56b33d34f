#include "sync/sched_info.hpp"

namespace vorquel {

bool operator==(const Periodic& a, const Periodic& b) { return a.clock == b.clock && a.period == b.period; }
bool operator==(const DefinedBy& a, const DefinedBy& b) {
  return a.clock == b.clock && a.defined_by == b.defined_by;
}
bool operator==(const Deliv_info& a, const Deliv_info& b) {
  return a.clock == b.clock && a.lower == b.lower && a.upper == b.upper;
}

std::string act_info_to_string(const Act_info& a) {
  if (const auto* p = std::get_if<Periodic>(&a))
    return p->clock.str() + " with period " + integer_to_string(p->period);
  const auto& d = std::get<DefinedBy>(a);
  return d.clock.str() + " (already defined by  " + d.defined_by.str() + ")";
}

std::string deliv_info_to_string(const Ident& clock, const Integer& lower, const Integer& upper) {
  return clock.str() + " in [" + integer_to_string(lower) + "," + integer_to_string(upper) + "]";
}

std::string si_to_string(const Si& s) {
  if (const auto* p = std::get_if<Si_plain>(&s)) return p->name.str();
  const auto& t = std::get<Si_timed>(s);
  return t.name.str() + " in [" + act_info_to_string(t.activation) + "," +
         deliv_info_to_string(t.delivery.clock, t.delivery.lower, t.delivery.upper) + "]";
}

std::string to_string(const std::vector<Si>& l) {
  // Folding from the first element, each step putting its text in front,
  // gives the elements last to first; built backwards in one pass.
  std::string acc;
  for (auto it = l.rbegin(); it != l.rend(); ++it) {
    acc += si_to_string(*it);
    acc += ';';
  }
  return acc;
}

}  // namespace vorquel
