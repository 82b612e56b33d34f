// Scheduler generation: the choice of a top-level system when none is given,
// and print_scheduler, which computes the tree once from the translated
// environment and runs the generators (one file each) in the order of the
// output files.
#include "scheduler/scheduler.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

#include "aadl/aadl_text_reader.hpp"
#include "aadl/property.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "printer/sync_printer.hpp"
#include "scheduler/internal.hpp"
#include "sync/clock_names.hpp"

namespace vorquel {

using namespace scheduling;

namespace {

// The scenario file: base.zbl, or base.zbl.new when base.zbl exists.
std::unique_ptr<Channel> open_scenario_file(const std::string& base) {
  std::string name = base + ".zbl";
  struct stat st;
  // A link counts as existing even when it leads nowhere: writing through
  // it would create or overwrite whatever it points to.
  if (::lstat(name.c_str(), &st) == 0) name += ".new";
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail(file_error(errno, name));
  return std::make_unique<Channel>(fd, name, true);
}

}  // namespace

// ---- choice of the top-level system -------------------------------------------------

namespace {

const Component* system_implementation(const Entry& e) {
  const auto* c = e.decl ? std::get_if<Component>(e.decl.get()) : nullptr;
  return c && c->category == Category::System && c->kind == Component_kind::Implementation ? c : nullptr;
}

// Whether the system implementation, or one inside it, binds something to a
// processor. `known` keeps the answers.
bool binds(const Env& env, const Component& c, std::unordered_map<Ident, bool>& known) {
  if (auto it = known.find(c.name); it != known.end()) return it->second;
  known.emplace(c.name, false);  // a system inside itself binds nothing more
  auto binding = [](const std::vector<Property_association>& props) {
    return std::any_of(props.begin(), props.end(), [](const Property_association& a) {
      return a.name.is_simple() && a.name.head() == "Actual_Processor_Binding";
    });
  };
  bool found = binding(c.properties);
  for (const auto& s : c.subcomponents) {
    if (found) break;
    found = binding(s.properties);
    const Entry* e = s.category == Category::System && s.classifier ? env.find(*s.classifier) : nullptr;
    if (const Component* inner = e ? system_implementation(*e) : nullptr) found = found || binds(env, *inner, known);
  }
  known[c.name] = found;
  return found;
}

}  // namespace

Ident get_a_system_impl(const Options& opt, const Env& env, std::vector<Diagnostic>* warnings) {
  // A system implementation of a textual model that another one contains
  // is a part of the architecture, not its top.
  std::unordered_set<Ident> contained;
  env.iter([&](const Ident&, const Entry& e) {
    if (const Component* c = system_implementation(e))
      for (const auto& s : c->subcomponents)
        if (s.category == Category::System && s.classifier) contained.insert(*s.classifier);
  });
  std::optional<Ident> found, last;
  std::vector<const Component*> roots;
  env.iter([&](const Ident& name, const Entry& e) {
    const Component* c = system_implementation(e);
    if (c == nullptr) return;
    last = name;
    if (read_from_text(c->pos)) {
      if (contained.count(name)) return;
      roots.push_back(c);
    }
    if (opt.verbosity >= 1) out("# ---> The top-level system is " + name.str() + " ()\n");
    found = name;
  });
  if (!found) found = last;  // systems that contain each other: the usual choice
  if (roots.size() > 1) {
    // Of several, the last one that binds something to a processor.
    std::unordered_map<Ident, bool> known;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
      if (binds(env, **it, known)) {
        // The trace's last line names the choice.
        if (opt.verbosity >= 1 && !((*it)->name == *found))
          out("# ---> The top-level system is " + (*it)->name.str() + " ()\n");
        found = (*it)->name;
        break;
      }
    std::string list;
    for (const Component* r : roots) list += (list.empty() ? "" : ", ") + aadl_name(r->name);
    if (warnings)
      warnings->push_back(make_warning("several system implementations are parts of no other (" + list + "): " +
                                           aadl_name(*found) + " is translated; choose another with --toplevel-system",
                                       location_of(env.get_component2(*found).pos)));
  }
  if (!found) {
    fail("*** No system found. Please check if system is defined in your aadl model, or define explicitely"
         "\n*** the toplevel component using the --toplevel-system command-line option.\n");
  }
  return *found;
}

// ---- driver ---------------------------------------------------------------------------------------

namespace {

// FNV-1a over the pieces of a text, read as one text.
std::uint64_t text_hash(std::initializer_list<std::string_view> pieces) {
  std::uint64_t h = 14695981039346656037u;
  for (std::string_view piece : pieces)
    for (unsigned char c : piece) {
      h ^= c;
      h *= 1099511628211u;
    }
  return h;
}

// Whether the text is the pieces, one after the other.
bool is_text(std::string_view text, std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) {
    if (!text.starts_with(piece)) return false;
    text.remove_prefix(piece.size());
  }
  return text.empty();
}

// Every thread clock that the top-level system takes must be produced by the
// scheduler of some processor; the threads of a process that no processor
// runs would otherwise read clocks that nothing defines.
void check_clocks_driven(const Si_tree& tree, const Node& top_node) {
  // The thread clocks that the top-level system takes, by the hash of their
  // name; each clock that a thread of the tree drives marks those it names.
  struct Wanted {
    std::uint64_t hash;
    std::size_t index;  // in the oracles of the top-level node
  };
  const auto& oracles = top_node.oracles;
  std::vector<Wanted> wanted;
  wanted.reserve(oracles.size());
  for (std::size_t i = 0; i < oracles.size(); ++i)
    if (is_thread_clock(oracles[i].first.str())) wanted.push_back(Wanted{text_hash({oracles[i].first.str()}), i});
  auto by_hash = [](const Wanted& a, const Wanted& b) { return a.hash < b.hash; };
  std::sort(wanted.begin(), wanted.end(), by_hash);
  std::vector<bool> driven(oracles.size(), false);
  auto mark = [&](std::initializer_list<std::string_view> pieces) {
    auto [lo, hi] = std::equal_range(wanted.begin(), wanted.end(), Wanted{text_hash(pieces), 0}, by_hash);
    for (auto it = lo; it != hi; ++it)
      if (is_text(oracles[it->index].first.str(), pieces)) driven[it->index] = true;
  };
  for_each_thread(tree, [&](const Processor_entry&, const Oracle_ref& o) {
    const std::string& act = o.act_clock().str();
    mark({act});
    const Act_clock_parts c = act_clock_parts(act);
    mark({c.before, dispatch_clk, c.after});
    mark({o.deliv->clock.str()});
  });
  for (std::size_t i = 0; i < oracles.size(); ++i) {
    const std::string& name = oracles[i].first.str();
    if (!driven[i] && is_thread_clock(name)) {
      fail_without_abort_line("*** Cannot schedule this system, sorry.\n*** The clock " + name +
                              " is driven by no processor: is every process bound with Actual_Processor_Binding?\n");
    }
  }
}

}  // namespace

namespace {

// Said at verbosity 1: partitions of one processor share its fixed-priority
// scheduler (a time slicing the model declares for them is one of the run's
// warnings, see scheduling_warnings), and devices bound to it run in the
// environment.
void report_processor_notes(const Options& opt, const Env& env, const Ident& top) {
  if (opt.verbosity < 1) return;
  auto list = [](const std::vector<std::string>& names) {
    std::string s;
    for (const auto& n : names) s += (s.empty() ? "" : ", ") + n;
    return s;
  };
  for (const auto& g : processor_groups(env, top)) {
    if (!g.partitions.empty())
      out("# processor " + g.processor.str() + ": the partition" + (g.partitions.size() > 1 ? "s " : " ") +
          list(g.partitions) + " share its fixed-priority scheduler\n");
    if (!g.devices.empty())
      out("# processor " + g.processor.str() + ": the device" + (g.devices.size() > 1 ? "s " : " ") +
          list(g.devices) + " bound to it " + (g.devices.size() > 1 ? "run" : "runs") +
          " in the environment, outside its schedule\n");
  }
}

}  // namespace

std::vector<Named_constant> print_scheduler(const Options& opt, Lustre_writer& w, const Ident& top, const Env& env) {
  const std::string& base = opt.output_base_name;
  std::unique_ptr<Channel> own_scenario = w.files().scenario ? nullptr : open_scenario_file(base);
  Channel* scenario = own_scenario ? own_scenario.get() : w.files().scenario;
  Channel& sched_oc = *w.files().scheduler;
  Channel& top_oc = *w.files().top;

  const Si_tree tree = compute_si_tree(top, env, opt.immediate_first);
  report_processor_notes(opt, env, top);
  const std::vector<int> counts = compute_thread_nb(tree);
  const Node& top_node = env.get_node2(top);
  check_clocks_driven(tree, top_node);
  if (opt.verbosity >= 3) print_si_tree(tree);

  w.switch_to(sched_oc);
  print_library(opt, w);
  print_qs_library(opt, w);

  std::set<int> arbiters;
  for (std::size_t k = 0; k < tree.size(); ++k) {
    const int nb = counts[k];
    VQ_ASSERT(nb >= 1, "processor " + tree[k].processor.str() + " has no thread to schedule");
    if (arbiters.insert(nb).second) no_lock(nb, w);
    const std::string& processor = tree[k].processor.str();
    gen_thread_scheduler(opt, processor, nb, tree[k].items, w);
    gen_condact_thread_scheduler(opt, processor, nb, tree[k].items, w);
  }
  if (tree.size() > 1) gen_qs_sched_call(opt, tree, w);
  gen_main_sched(opt, base, tree, w, top_node);
  w.switch_to(top_oc);
  print_scheduled_node(opt, base, tree, w, top_node);
  w.switch_to(sched_oc);
  gen_schedule_oracle(opt, base, tree, w);
  w.switch_to(*scenario);
  gen_schedule_zorbel(opt, base, tree, top_node, w);

  if (opt.verbosity >= 2) out("# ==> File " + scenario->name() + " has been generated.\n");
  if (own_scenario)
    if (int e = own_scenario->close()) fail(file_error(e, own_scenario->name()));
  return used_named_constants(tree);
}

}  // namespace vorquel
