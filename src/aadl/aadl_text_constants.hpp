// The property constants that the property sets of textual inputs declare,
// and what a named property value stands for.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "aadl/aadl_text_syntax.hpp"

namespace vorquel {

class Property_constants {
 public:
  // Registers the property sets of a parsed file; the file outlives this.
  void add(const S_file& f);

  // Whether an input declares that property set (any case).
  bool declares_set(std::string_view name) const;

  // What a named value stands for when it names a property constant of the
  // inputs (P::C, or C alone when one property set declares it), followed
  // through constants defined by constants; any other value is itself.
  // In a time (`time`: Period, Compute_Execution_Time), a name of a set that
  // no tool supplies and that the inputs do not declare as a constant is a
  // located error; other names stay names (a constant of a set that tools
  // supply, an enumeration literal), refused only where the translation
  // reads them.
  const S_value& resolved(const S_value& v, bool time) const { return resolved(v, time, 0); }

 private:
  struct Set_name {
    std::string set;  // as declared
    const S_property_name* decl;
  };
  std::unordered_set<std::string> sets_;  // lower-case
  // Every name that a set declares, by lower-case "set::name"; the constants
  // among them also by lower-case name alone.
  std::unordered_map<std::string, Set_name> names_;
  std::unordered_map<std::string, std::vector<const Set_name*>> constants_by_name_;

  const S_value& resolved(const S_value& v, bool time, int depth) const;
};

}  // namespace vorquel
