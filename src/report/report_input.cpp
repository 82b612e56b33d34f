// The report input is built from the scheduling tree, which already holds
// the clocks, timing and priorities of every thread, and from the AADL
// declarations, which give the instance paths and the architecture.
#include "report/report_input.hpp"

#include <cctype>
#include <map>
#include <set>
#include <unordered_map>

#include "aadl/property.hpp"
#include "base/diagnostics.hpp"
#include "env/instance_properties.hpp"

namespace vorquel {

namespace {

Quantity quantity(const Integer& i) {
  if (i.named) return Quantity::named(i.name.str());
  return Quantity::literal(i.value);
}

// "_t1_activate_clk" -> "t1": the sub-component (or call) that a clock of
// its container's own node belongs to.
std::string local_of_clock(const Ident& clock) {
  std::string s = clock.str();
  const std::string tail = "_activate_clk";
  if (s.size() > tail.size() + 1 && s.front() == '_' && s.compare(s.size() - tail.size(), tail.size(), tail) == 0)
    return s.substr(1, s.size() - tail.size() - 1);
  return s;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A scheduled thread (or call) as the model names it: its instance path and
// the Priority that the model gives the thread, if any.
struct Place {
  std::string path;
  std::optional<long long> priority = std::nullopt;
  std::optional<Source_location> priority_at = std::nullopt;
};

// The Priority associations of the thread sub-components of a component,
// found by their local names.
class Priorities {
 public:
  Priorities(const Env& env, const Ident& container) : env_(env) {
    const Entry* e = env.find(container);
    container_ = e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr;
    if (container_)
      for (const auto& s : container_->subcomponents) subs_.emplace(s.name.str(), &s);
  }
  const Property_association* of(std::string_view local) const {
    auto it = subs_.find(local);
    if (it == subs_.end() || !it->second->classifier) return nullptr;
    const Entry* te = env_.find(*it->second->classifier);
    const auto* t = te && te->decl ? std::get_if<Component>(te->decl.get()) : nullptr;
    return t ? instance_property(env_, *container_, *it->second, *t, "Priority") : nullptr;
  }

 private:
  const Env& env_;
  const Component* container_ = nullptr;
  std::unordered_map<std::string_view, const Subcomponent*> subs_;
};

Place place(std::string path, const Property_association* priority) {
  Place p{std::move(path)};
  if (priority && (p.priority = single_integer(*priority))) p.priority_at = location_of(priority->pos);
  return p;
}

// The places of the items of one bound sub-component, in the order in
// which the scheduling tree lists them: the container node's scheduling
// records from the oldest, a thread implementation's calls in call order.
std::vector<std::vector<Place>> item_paths(const Env& env, const Bound_instance& b) {
  std::vector<std::vector<Place>> paths;
  const Ident& classifier = env.get_comp_name_of_loc_id(b.container, b.path.back());
  const Entry* e = env.find(classifier);
  if (e == nullptr || !e->def || !std::holds_alternative<Node_def>(*e->def)) return paths;
  const Node& node = *std::get<Node_def>(*e->def).node;
  const Priorities priorities(env, classifier);
  std::string prefix;
  for (const auto& p : b.path) prefix += p.str() + ".";
  for (auto it = node.sched_infos.rbegin(); it != node.sched_infos.rend(); ++it) {
    if (const auto* t = std::get_if<Si_timed>(&*it)) {
      const std::string local = local_of_clock(act_clock(t->activation));
      paths.push_back({place(prefix + local, priorities.of(local))});
      continue;
    }
    const auto& plain = std::get<Si_plain>(*it);
    const std::string local = plain.instance ? plain.instance->str() : plain.name.str();
    const Property_association* priority = priorities.of(local);
    std::vector<Place> calls;
    if (const Entry* te = env.find(plain.name); te && te->def && std::holds_alternative<Node_def>(*te->def)) {
      const Node& tn = *std::get<Node_def>(*te->def).node;
      for (auto jt = tn.sched_infos.rbegin(); jt != tn.sched_infos.rend(); ++jt)
        if (const auto* c = std::get_if<Si_timed>(&*jt))
          calls.push_back(place(prefix + local + "." + local_of_clock(act_clock(c->activation)), priority));
    }
    paths.push_back(std::move(calls));
  }
  return paths;
}

// The paths of every processor entry, item by item, walking the bindings as
// the scheduling tree does (latest binding first, each sub-component once).
std::vector<std::vector<std::vector<Place>>> tree_paths(const std::vector<Processor_group>& groups, const Env& env,
                                                       const Si_tree& tree) {
  std::vector<std::vector<std::vector<Place>>> result(tree.size());
  for (std::size_t k = 0; k < tree.size() && k < groups.size(); ++k) {
    if (!(groups[k].processor == tree[k].processor)) continue;
    for (const auto& b : groups[k].instances)
      for (auto& p : item_paths(env, b)) result[k].push_back(std::move(p));
  }
  return result;
}

// A connection end: "t1.y" -> (t1, y); "y" -> (the container, y).
std::pair<std::string, std::string> connection_end(const Ident& end) {
  if (end.part_count() < 2) return {"", end.str()};
  std::string port(end.part(1));
  for (std::size_t i = 2; i < end.part_count(); ++i) port += "." + std::string(end.part(i));
  return {std::string(end.part(0)), port};
}

Arch_connection arch_connection(const Connection& c) {
  auto [sc, sp] = connection_end(c.src);
  auto [dc, dp] = connection_end(c.dst);
  return Arch_connection{sc, sp, dc, dp, c.arrow == Connection_arrow::Delayed, location_of(c.pos)};
}

const Component* find_component(const Env& env, const std::optional<Ident>& classifier) {
  if (!classifier) return nullptr;
  const Entry* e = env.find(*classifier);
  return e ? std::get_if<Component>(e->decl.get()) : nullptr;
}

Arch_component arch_component(const Env& env, const Subcomponent& s, int depth) {
  Arch_component a{s.name.str(), s.classifier ? aadl_name(*s.classifier) : "", lower(category_to_string(s.category)),
                   {}, {}};
  for (char& c : a.category)
    if (c == '_') c = ' ';
  // Inside a process (or a nested system, a thread group) the threads and
  // their connections; a thread's own calls are not drawn.
  const bool opens = s.category == Category::Process || s.category == Category::System ||
                     s.category == Category::Thread_group;
  if (!opens || depth > 4) return a;
  if (const Component* c = find_component(env, s.classifier)) {
    for (const auto& sub : c->subcomponents) a.children.push_back(arch_component(env, sub, depth + 1));
    for (const auto& conn : c->connections) a.connections.push_back(arch_connection(conn));
  }
  return a;
}

Architecture architecture(const Ident& top, const Env& env, const std::vector<Processor_group>& groups) {
  const Component& sys = env.get_component2(top);
  Architecture a{aadl_name(top), {}, {}, {}};
  for (const auto& s : sys.subcomponents) a.components.push_back(arch_component(env, s, 0));
  for (const auto& c : sys.connections) a.connections.push_back(arch_connection(c));
  for (const auto& g : groups)
    for (const auto& b : g.instances) {
      std::string path;
      for (const auto& p : b.path) path += (path.empty() ? "" : ".") + p.str();
      a.bindings.push_back(Arch_binding{g.processor.str(), path});
    }
  return a;
}

}  // namespace

Report_input make_report_input(const Ident& top, const Si_tree& tree, const Env& env) {
  Report_input in;
  in.system = aadl_name(top);
  in.tick_unit = "one tick = one unit of the model's time values";
  const std::vector<Processor_group> groups = processor_groups(env, top);
  const auto paths = tree_paths(groups, env, tree);
  // Partitions merged into one scheduler change what the numbers mean.
  for (const auto& g : groups) {
    if (g.partitions.empty()) continue;
    std::string w = "the partition" + std::string(g.partitions.size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < g.partitions.size(); ++i) w += (i ? ", " : "") + g.partitions[i];
    w += " of processor " + g.processor.str() + (g.partitions.size() > 1 ? " share" : " shares") +
         " its fixed-priority scheduler";
    if (g.time_slicing.empty()) {
      in.warnings.push_back(std::move(w));
      continue;
    }
    std::string props;
    for (const auto& p : g.time_slicing) props += (props.empty() ? "" : ", ") + p;
    in.unmodelled_time_slicing.push_back(
        make_warning(w + "; their declared time slicing (" + props + ") is not modelled", location_of(g.at)));
  }
  for (std::size_t k = 0; k < tree.size(); ++k) {
    Report_processor p{tree[k].processor.str(), {}};
    if (k < groups.size() && groups[k].processor == tree[k].processor) p.at = location_of(groups[k].at);
    const auto& items = tree[k].items;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const Numbered_item& item = items[i];
      const std::vector<Place>* item_path = i < paths[k].size() ? &paths[k][i] : nullptr;
      std::vector<Thread_sched> units;
      if (const auto* t = std::get_if<Si_thread>(&item.item)) units.push_back(t->thread);
      else units = std::get<Si_calls>(item.item).calls;
      Quantity period;
      for (std::size_t j = 0; j < units.size(); ++j) {
        const Thread_sched& u = units[j];
        Report_thread r;
        r.label = thread_label(act_clock(u.act).str());
        r.activation_clock = act_clock(u.act).str();
        r.release_clock = u.deliv.clock.str();
        r.path = r.label;
        if (item_path && j < item_path->size()) {
          const Place& at = (*item_path)[j];
          r.path = at.path;
          r.model_priority = at.priority;
          r.model_priority_at = at.priority_at;
        }
        r.priority = item.number + static_cast<int>(j);
        if (const auto* per = std::get_if<Periodic>(&u.act)) period = quantity(per->period);
        else r.follows_call = true;
        r.period = period;
        r.min_exec = quantity(u.deliv.lower);
        r.max_exec = quantity(u.deliv.upper);
        p.threads.push_back(std::move(r));
      }
    }
    std::stable_sort(p.threads.begin(), p.threads.end(),
                     [](const Report_thread& a, const Report_thread& b) { return a.priority < b.priority; });
    in.processors.push_back(std::move(p));
  }
  in.architecture = architecture(top, env, groups);
  return in;
}

}  // namespace vorquel
