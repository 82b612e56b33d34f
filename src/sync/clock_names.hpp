// The names of the thread clocks, shared by the translation, the printer and
// the scheduler generation, which must spell them alike: every thread
// instance (or subprogram call) x has the three boolean clocks
// "_" x "_activate_clk", "_" x "_dispatch_clk" and "_" x "_release_clk".
#pragma once

#include <string_view>

#include "base/ident.hpp"

namespace vorquel {

inline constexpr std::string_view activate_clk = "_activate_clk";
inline constexpr std::string_view dispatch_clk = "_dispatch_clk";
inline constexpr std::string_view release_clk = "_release_clk";
inline constexpr std::string_view clock_kinds[] = {activate_clk, dispatch_clk, release_clk};

inline Ident activate_clock(const Ident& instance) { return make_new_ident(instance, activate_clk); }
inline Ident dispatch_clock(const Ident& instance) { return make_new_ident(instance, dispatch_clk); }
inline Ident release_clock(const Ident& instance) { return make_new_ident(instance, release_clk); }

// Whether the text names a thread clock: it holds one of the three kinds.
inline bool is_thread_clock(std::string_view name) {
  for (std::string_view kind : clock_kinds)
    if (find_in(name, kind) != std::string_view::npos) return true;
  return false;
}

}  // namespace vorquel
