// Quasi-synchronous processor clocks: processors that drift from each
// other by a bounded amount.
#include "scheduler/scheduler.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "aadl/property.hpp"
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/options.hpp"
#include "printer/sync_printer.hpp"
#include "scheduler/internal.hpp"
#include "sync/clock_names.hpp"

namespace vorquel {

using namespace scheduling;

// ---- quasi-synchronous processor clocks ------------------------------------------------------

namespace {

const std::string_view qs_generator_comment =
    "\n"
    "---------------------------------------------------------------------------------\n"
    "--  A quasi-synchronous clock generator/acceptor parameterized by: \n"
    "--  * n: the number of QS clocks to generate\n"
    "--  * d: the maximal clock drift, i.e., the maximum number of tics that are  \n"
    "--        authorized for the other clocks between 2 tics of each clock\n"
    "--\n"
    "--  The idea is, starting from a n-array of Boolean values (alea) containing\n"
    "--  candidate values for the QS clocks, to check that no clock drift excess \n"
    "--  occurs, and to force the culprit clocks to be false when necessary to avoid \n"
    "--  this drift excess. \n"
    "--\n"
    "--  More precisely, we compute the relative advance of each clock w.r.t. the (n-1) \n"
    "--  other clocks. If \n"
    "--  * the relative advance of a clock clk1 w.r.t. another clock clk2 is equal to d\n"
    "--  * clk1 is true\n"
    "--  * clk2 is false\n"
    "--  then we force clk1 to be false. \n"
    "\n";

const std::string_view qs_compute_advance =
    "\n"
    "-- Compute the relative advance of clk1 w.r.t. clk2\n"
    "node compute_advance(clk1, clk2 : bool) returns (c : int);\n"
    "var pc : int;\n"
    "let\n"
    "  pc = 0 -> pre c;\n"
    "  c = if clk2 then 0 -- reset the advance of clk1\n"
    "      else if clk1 then pc + 1 -- clk1 got ahead of one tic\n"
    "      else pc;\n"
    "tel\n";

const std::string_view qs_array_nodes =
    "\n"
    "-- Create an array of size n filled with x\n"
    "node ba_fill(const n: int; x : bool) returns (t: bool^n);\n"
    "let\n"
    "  t = x^n;\n"
    "tel\n"
    "\n"
    "-- Check if all elements of the array are false\n"
    "node ba_none(const n : int; I : bool^n) returns ( ok : bool);\n"
    "var\n"
    "  Nor : bool^n;\n"
    "let\n"
    "  Nor = [not I[0]] | (Nor[0..n-2] and not I[1..n-1]);\n"
    "  ok = Nor[n-1];\n"
    "tel\n"
    "\n"
    "-- The main node of the generic quasi-synchronous clock filter.\n"
    "-- * n is the number of clocks to generate\n"
    "-- * d is the maximal authorized clock drift\n"
    "-- * alea is an array of random values (clock candidate values)\n"
    "-- * select is the same array a alea, except for clocks that would be more than \n"
    "--   d tics late, that are forced to false\n"
    "node qsg_generic (const n : int; const d : int; alea : bool^n) \n"
    "returns (select : bool^n);\n"
    "var\n"
    "  advance_max_is_reached, problems : bool^n^n;\n"
    "  filter : bool^n;\n"
    "  advance, padvance : int^n^n;\n"
    "let\n"
    "  advance_max_is_reached = padvance >= d^n^n;\n"
    "  -- there is a problem if the maximum advance is reached and no tic occurs\n"
    "  problems = advance_max_is_reached and not alea^n;\n"
    "  -- we force the tic for clocks that are d tics late\n"
    "  filter = ba_none(n^n, problems);\n"
    "  select = alea and filter;\n"
    "  \n"
    "  advance = compute_advance(ba_fill(n^n, select), select^n);\n"
    "  padvance = 0^n^n -> pre advance;\n"
    "tel\n"
    "\n"
    "---------------------------------------------------------------------------------\n"
    "---------------------------------------------------------------------------------\n"
    "\n";

// The drift bound: between two ticks of a processor clock, any other one
// ticks at most this many times.
constexpr int drift_bound = 2;

// A prefix may start with blanks, "(" or "not ": those are written as they
// are, the rest is the name.
template <class... Indices>
void p_indexed(Lustre_writer& w, std::string_view prefix, Indices... indices) {
  std::size_t at = prefix.size();
  while (at > 0 && prefix[at - 1] != ' ' && prefix[at - 1] != '(') --at;
  w << prefix.substr(0, at);
  w.name(prefix.substr(at), indices...);
}
void p_var(Lustre_writer& w, std::string_view prefix, int i) { p_indexed(w, prefix, "_", Decimal(i).view()); }
void p_var2(Lustre_writer& w, std::string_view prefix, int i, int j) {
  p_indexed(w, prefix, "_", Decimal(i).view(), "_", Decimal(j).view());
}

void decl_vector(Lustre_writer& w, std::string_view name, int n, std::string_view type) {
  for (int i = 1; i <= n; ++i) {
    w << "  ";
    p_var(w, name, i);
    w << " : " << type << ";\n";
  }
}

void decl_matrix(Lustre_writer& w, std::string_view name, int n, std::string_view type) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (i != j) {
        w << "  ";
        p_var2(w, name, i, j);
        w << " : " << type << ";\n";
      }
}

template <class F>
void for_each_pair(int n, F f) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (i != j) f(i, j);
}

}  // namespace

void print_qs_library(const Options& opt, Lustre_writer& w) {
  const bool arrays = opt.v4_arrays;
  if (arrays) w << qs_generator_comment;
  w << qs_compute_advance;
  if (arrays) w << qs_array_nodes;
}

void gen_qs_sched_call(const Options& opt, const Si_tree& tree, Lustre_writer& w) {
  const int n = static_cast<int>(tree.size());
  VQ_ASSERT(n > 1, "the quasi-synchronous scheduler needs two processors or more");
  w << "\n\n-- A quasi synchronous scheduler for " << n << " processors.\n";
  w << "node quasi_synchronous_scheduler(";
  dump_n_var(w, "alea_", n);
  w << " : bool) \nreturns (";
  dump_n_var(w, "qs_", n);
  w << " : bool);\n";
  if (opt.v4_arrays) {
    w << "let \n" << "  [";
    dump_n_var(w, "qs_", n);
    w << "] = qsg_generic(" << n << ", " << drift_bound << ", [";
    dump_n_var(w, "alea_", n);
    w << "]);\n";
  } else {
    w << "var\n";
    decl_matrix(w, "advance_max_is_reached", n, "bool");
    decl_matrix(w, "problems", n, "bool");
    decl_vector(w, "filter", n, "bool");
    decl_matrix(w, "advance", n, "int");
    decl_matrix(w, "padvance", n, "int");
    w << "\nlet\n";
    w << "  -- We compute the relative advance of various processors\n";
    for_each_pair(n, [&](int i, int j) {
      p_var2(w, "  advance", i, j);
      w << " = " << "compute_advance(";
      p_var(w, "qs", i);
      w << ", ";
      p_var(w, "qs", j);
      w << ");\n";
    });
    w << "\n";
    for_each_pair(n, [&](int i, int j) {
      p_var2(w, "  padvance", i, j);
      w << " = 0 -> pre ";
      p_var2(w, "advance", i, j);
      w << ";\n";
    });
    w << "  -- Is the maximum advance reached?\n";
    for_each_pair(n, [&](int i, int j) {
      p_var2(w, "  advance_max_is_reached", i, j);
      w << " = ";
      p_var2(w, "(padvance", i, j);
      w << " >= " << drift_bound << ");\n";
    });
    w << "\n  -- there is a problem if the maximum advance is reached and no tic occurs\n";
    for_each_pair(n, [&](int i, int j) {
      w << "  ";
      p_var2(w, "problems", i, j);
      w << " = ";
      p_var2(w, "advance_max_is_reached", i, j);
      w << " and ";
      p_var(w, "alea", i);
      w << ";\n";
    });
    w << "\n  -- we force the tic for clocks that are d tics late\n";
    for (int i = 1; i <= n; ++i) {
      p_var(w, "  filter", i);
      w << " = ";
      for (int j = 1; j < n; ++j) {
        if (j == i) continue;
        p_var2(w, "(not problems", i, j);
        w << ") and ";
      }
      if (i == n) {
        w << "true";
      } else {
        p_var2(w, "(not problems", i, n);
        w << ")";
      }
      w << ";\n";
    }
    for (int i = 1; i <= n; ++i) {
      p_var(w, "  qs", i);
      w << " = ";
      p_var(w, "alea", i);
      w << " and ";
      p_var(w, "filter", i);
      w << ";\n";
    }
  }
  w << "tel\n\n";
}

}  // namespace vorquel
