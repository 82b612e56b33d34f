// Scheduling records of threads and subprogram calls.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/ident.hpp"

namespace vorquel {

struct Periodic { Ident clock; Integer period; };
struct DefinedBy { Ident clock; Ident defined_by; };
using Act_info = std::variant<Periodic, DefinedBy>;

struct Deliv_info { Ident clock; Integer lower; Integer upper; };

// A thread of a thread implementation; `instance` is the thread
// sub-component (absent in records built by hand).
struct Si_plain { Ident name; std::optional<Ident> instance{}; };
struct Si_timed { Ident name; Act_info activation; Deliv_info delivery; };
using Si = std::variant<Si_plain, Si_timed>;

bool operator==(const Periodic& a, const Periodic& b);
bool operator==(const DefinedBy& a, const DefinedBy& b);
bool operator==(const Deliv_info& a, const Deliv_info& b);

inline const Ident& act_clock(const Act_info& a) {
  return std::visit([](const auto& x) -> const Ident& { return x.clock; }, a);
}

// "clk with period 10" / "clk (already defined by  def)"
std::string act_info_to_string(const Act_info& a);
// "clk in [1,3]"
std::string deliv_info_to_string(const Ident& clock, const Integer& lower, const Integer& upper);
std::string si_to_string(const Si& s);
// Elements in reverse order, each followed by ";".
std::string to_string(const std::vector<Si>& l);

}  // namespace vorquel
