// What the schedulability report shows, as one plain value: the threads of
// every processor in priority order with their timing, and the architecture
// of the top-level system. Everything the report computes (analysis,
// timeline, pictures) is a pure function of this value.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/diagnostics.hpp"
#include "env/env.hpp"
#include "scheduler/scheduler.hpp"

namespace vorquel {

// A period or an execution-time bound: a literal, or a named constant whose
// value the report does not know.
struct Quantity {
  std::optional<long long> value;
  std::string text;  // "10", or the constant's name
  static Quantity literal(long long v) { return Quantity{v, std::to_string(v)}; }
  static Quantity named(std::string name) { return Quantity{std::nullopt, std::move(name)}; }
};

struct Report_thread {
  std::string path;   // AADL instance path: "p.t1", "p.t1.c2" for a call
  std::string label;  // the thread's name in the generated program: "_t1", "_c2_2"
  std::string activation_clock, release_clock;  // as the generated program names them
  int priority = 0;   // 1 = highest
  Quantity period;    // a later call: the period of its sequence
  Quantity min_exec, max_exec;
  // A later call of a call sequence: dispatched by the release of the call
  // just before it (always the thread just before it in priority order).
  bool follows_call = false;
  // The Priority the model gives the thread (higher runs first), and where.
  std::optional<long long> model_priority = std::nullopt;
  std::optional<Source_location> model_priority_at = std::nullopt;
};

struct Report_processor {
  std::string name;
  std::vector<Report_thread> threads;  // in priority order
  std::optional<Source_location> at = std::nullopt;  // where the model declares it
};

// ---- architecture --------------------------------------------------------------

struct Arch_connection {
  std::string src_component;  // local name of a sub-component; empty: the container itself
  std::string src_port;
  std::string dst_component;
  std::string dst_port;
  bool delayed = false;
  std::optional<Source_location> at = std::nullopt;  // where the model declares it
};

struct Arch_component {
  std::string name;        // local name
  std::string classifier;  // as the user writes it: "K::T.impl"
  std::string category;    // "thread", "process", "processor", "device"...
  std::vector<Arch_component> children;
  std::vector<Arch_connection> connections;  // between the children and the component's ports
};

struct Arch_binding {
  std::string processor;
  std::string component;
};

struct Architecture {
  std::string classifier;  // of the top-level system
  std::vector<Arch_component> components;
  std::vector<Arch_connection> connections;
  std::vector<Arch_binding> bindings;
};

struct Report_input {
  std::string system;     // the top-level system implementation, as the user writes it
  std::string tick_unit;  // what one tick of the generated scheduler stands for
  std::vector<std::string> warnings;
  std::vector<Report_processor> processors;  // in the order of the generated scheduler
  Architecture architecture;
  // Partitions whose declared time slicing the generated scheduler does not
  // follow: warnings of the run (scheduling_warnings), hence of the report.
  std::vector<Diagnostic> unmodelled_time_slicing = {};  // at the processor
};

// The report input of a translated model: the scheduling tree, with the
// instance path of every thread found in the environment.
Report_input make_report_input(const Ident& top, const Si_tree& tree, const Env& env);

}  // namespace vorquel
