// Processor bindings of the whole hierarchy: the Actual_Processor_Binding
// associations of the top-level system and of every system implementation
// below it, their `applies to` paths and processor references followed
// through the sub-systems, each process given the processor of the innermost
// association that reaches it.
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "aadl/aadl_text_lexer.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "base/diagnostics.hpp"
#include "env/instance_properties.hpp"
#include "scheduler/scheduler.hpp"

namespace vorquel {

namespace {

bool is_binding(const Property_association& a) {
  return a.name.is_simple() && a.name.head() == "Actual_Processor_Binding";
}

std::string dotted(const std::vector<std::string>& path) {
  std::string s;
  for (const auto& p : path) s += (s.empty() ? "" : ".") + p;
  return s;
}

// The sub-component of c named `name` (any spelling), or null.
const Subcomponent* find_sub(const Component& c, std::string_view name) {
  for (const auto& s : c.subcomponents)
    if (s.name.str() == name) return &s;
  for (const auto& s : c.subcomponents)
    if (same_name(s.name.str(), name)) return &s;
  return nullptr;
}

// The component a sub-component's classifier names, or null.
const Component* classifier_of(const Env& env, const Subcomponent& s) {
  if (!s.classifier) return nullptr;
  const Entry* e = env.find(*s.classifier);
  return e && e->decl ? std::get_if<Component>(e->decl.get()) : nullptr;
}

struct Association {
  std::vector<std::string> target;     // from the top-level system
  std::vector<std::string> processor;  // from the top-level system
  Ident reference;                     // as written
  std::size_t depth;                   // of the system implementation that declares it
  const Property_association* source;
};

// A place in the hierarchy: the system implementation reached and the
// instance path that reaches it.
struct Walker {
  const Env& env;
  const Component& top;
  std::vector<Association> associations;
  std::vector<Bound_instance> processes;  // in declaration order, depth first
  // Targets at the top level that are neither processes nor systems: they
  // stay candidates, so that the scheduler says why it cannot run them.
  std::vector<Bound_instance> others;
  // Devices of textual models with the processor they are bound to, both
  // from the top-level system.
  struct Device {
    std::vector<std::string> path, processor;
    const Property_association* source;
  };
  std::vector<Device> devices;

  // Follows `path` down from c, through system implementations; null when
  // a part names no sub-component.
  // `path` takes the spelling of the declarations.
  const Subcomponent* reach(const Component& c, std::vector<std::string>& path, const Component** holder) {
    const Component* here = &c;
    for (std::size_t i = 0; i < path.size(); ++i) {
      const Subcomponent* s = find_sub(*here, path[i]);
      if (!s) return nullptr;
      path[i] = s->name.str();
      if (i + 1 == path.size()) {
        *holder = here;
        return s;
      }
      const Component* next = classifier_of(env, *s);
      if (!next) return nullptr;
      here = next;
    }
    return nullptr;
  }

  // A binding that cannot be followed: located at its association.
  [[noreturn]] static void binding_error(const Property_association& a, const std::string& text) {
    fail_located("*** Error: " + text + ".\n", location_of(a.pos), text);
  }

  void add(const Component& c, const std::vector<Ident>& prefix, const Property_association& a,
           std::vector<std::string> relative_target) {
    const std::string where = aadl_name(c.name);
    if (a.values.empty() || !std::holds_alternative<Pv_reference>(a.values.front()))
      binding_error(a, "the Actual_Processor_Binding of " + where + " is not a reference to a processor");
    const Ident& ref = std::get<Pv_reference>(a.values.front()).element;
    std::vector<std::string> base;
    for (const auto& p : prefix) base.push_back(p.str());
    const Component* holder = nullptr;
    const Subcomponent* target = reach(c, relative_target, &holder);
    if (!target)
      binding_error(a, "the Actual_Processor_Binding of " + where + " applies to " + dotted(relative_target) +
                           ", which names no sub-component of " + where);
    // A spelling of the declaration, whatever the spelling of the path.
    std::vector<std::string> processor = base;
    std::vector<std::string> ref_parts = ref.parts();
    const Component* ref_holder = nullptr;
    // Textual models are read as AADL reads them: a reference names a
    // processor, and a device's binding says where its driver runs, which
    // the model leaves to the environment. The XML form keeps its reading.
    const bool resolved = ref_parts.size() > 1 || read_from_text(a.pos);
    if (const Subcomponent* p = reach(c, ref_parts, &ref_holder)) {
      if (resolved && p->category != Category::Processor && p->category != Category::Virtual_processor)
        binding_error(a, "the Actual_Processor_Binding of " + where + " refers to " + dotted(ref_parts) + ", which is a " +
                             category_to_string(p->category) + ", not a processor");
    } else if (resolved) {
      binding_error(a, "the Actual_Processor_Binding of " + where + " refers to " + dotted(ref_parts) +
                           ", which names no processor of " + where);
    }
    processor.insert(processor.end(), ref_parts.begin(), ref_parts.end());
    std::vector<std::string> full = base;
    full.insert(full.end(), relative_target.begin(), relative_target.end());
    if (target->category == Category::Device && read_from_text(a.pos)) {
      devices.push_back({std::move(full), std::move(processor), &a});
      return;
    }
    associations.push_back({std::move(full), std::move(processor), ref, prefix.size(), &a});
    if (prefix.empty() && relative_target.size() == 1 && target->category != Category::Process &&
        target->category != Category::System && target->category != Category::Virtual_processor)
      others.push_back({{target->name}, c.name});
  }

  void walk(const Component& c, const std::vector<Ident>& prefix) {
    for (const auto& a : c.properties)
      if (is_binding(a)) {
        if (!a.applies_to)
          binding_error(a, "the Actual_Processor_Binding of " + aadl_name(c.name) + " applies to nothing");
        add(c, prefix, a, a.applies_to->parts());
      }
    // Declaration order: the component holds its sub-components reversed.
    for (auto it = c.subcomponents.rbegin(); it != c.subcomponents.rend(); ++it) {
      for (const auto& a : it->properties)
        if (is_binding(a)) {
          std::vector<std::string> target{it->name.str()};
          if (a.applies_to)
            for (auto& p : a.applies_to->parts()) target.push_back(std::move(p));
          add(c, prefix, a, std::move(target));
        }
    }
    for (auto it = c.subcomponents.rbegin(); it != c.subcomponents.rend(); ++it) {
      std::vector<Ident> path = prefix;
      path.push_back(it->name);
      if (it->category == Category::Process) {
        processes.push_back({std::move(path), c.name});
      } else if (it->category == Category::System) {
        const Component* sub = classifier_of(env, *it);
        if (sub && sub->kind == Component_kind::Implementation) walk(*sub, path);
      }
    }
  }
};

// The sub-components along a path from the top-level system (fewer when a
// part names none).
std::vector<const Subcomponent*> along(const Walker& w, const std::vector<std::string>& path) {
  std::vector<const Subcomponent*> subs;
  const Component* here = &w.top;
  for (const auto& part : path) {
    const Subcomponent* s = here ? find_sub(*here, part) : nullptr;
    if (!s) break;
    subs.push_back(s);
    here = classifier_of(w.env, *s);
  }
  return subs;
}

// The processor that runs what is bound to `path`: the path itself for a
// processor, and for a virtual processor the processor that contains it or,
// else, the one that it is bound to.
// `by_target` gives the associations by dotted target; `binding` is the
// association that names `path`, where a failure is located.
using Targets = std::unordered_map<std::string, std::vector<std::size_t>>;
std::vector<std::string> host_of(const Walker& w, const Targets& by_target, const std::vector<std::string>& path,
                                 const Property_association& binding, std::size_t hops = 0) {
  const auto subs = along(w, path);
  if (subs.size() != path.size() || subs.back()->category != Category::Virtual_processor) return path;
  for (std::size_t i = subs.size() - 1; i-- > 0;)
    if (subs[i]->category == Category::Processor) return {path.begin(), path.begin() + static_cast<long>(i) + 1};
  if (auto it = by_target.find(dotted(path)); it != by_target.end() && hops < w.associations.size())
    return host_of(w, by_target, w.associations[it->second.front()].processor, binding, hops + 1);
  const std::string message = "the virtual processor " + dotted(path) + " is bound to no processor and is in none";
  fail_located("*** Error: " + message + ".\n", location_of(binding.pos), message);
}

// The time-slicing properties (partition windows) declared on the processor
// at `host` or on its partitions, by name.
void note_time_slicing(const Walker& w, const std::vector<std::string>& host, const std::vector<std::string>& partition,
                       std::vector<std::string>& found) {
  static constexpr std::string_view slicing[] = {"Module_Major_Frame", "Module_Schedule", "Partition_Slots",
                                                  "Slots_Allocation"};
  auto look = [&](const std::vector<Property_association>& props) {
    for (const auto& a : props)
      for (auto name : slicing)
        if (same_name(a.name.last(), name) && std::find(found.begin(), found.end(), name) == found.end())
          found.emplace_back(name);
  };
  for (const auto* path : {&host, &partition}) {
    const auto subs = along(w, *path);
    if (subs.empty() || subs.size() != path->size()) continue;
    look(subs.back()->properties);
    if (const Component* c = classifier_of(w.env, *subs.back())) {
      look(c->properties);
      if (const Component* t = type_of_implementation(w.env, *c)) look(t->properties);
    }
  }
}

}  // namespace

Protocol_association scheduling_protocol(const Env& env, const Component& top, const std::vector<std::string>& path) {
  auto is_protocol = [](const Property_association& a) {
    return a.name.is_simple() && same_name(a.name.head(), "Scheduling_Protocol");
  };
  const Component* here = &top;
  const Subcomponent* sub = nullptr;
  const Property_association* contained = nullptr;
  for (std::size_t i = 0; i < path.size() && here; ++i) {
    const std::string rest = dotted({path.begin() + static_cast<long>(i), path.end()});
    for (const auto& a : here->properties)
      if (!contained && is_protocol(a) && a.applies_to && same_name(dotted(a.applies_to->parts()), rest))
        contained = &a;
    sub = find_sub(*here, path[i]);
    here = sub && i + 1 < path.size() ? classifier_of(env, *sub) : nullptr;
  }
  if (!sub) return {contained, std::nullopt};
  if (contained) return {contained, sub->classifier};
  for (const auto& a : sub->properties)
    if (is_protocol(a) && !a.applies_to) return {&a, sub->classifier};
  for (const Component* c = classifier_of(env, *sub); c;) {
    for (const auto& a : c->properties)
      if (is_protocol(a) && !a.applies_to) return {&a, sub->classifier};
    c = type_of_implementation(env, *c);
  }
  return {nullptr, sub->classifier};
}

std::vector<Processor_group> processor_groups(const Env& env, const Ident& top) {
  const Component& top_component = env.get_component2(top);
  Walker w{env, top_component, {}, {}, {}, {}};
  w.walk(top_component, {});

  // Each instance goes to the innermost association that reaches it (the
  // more precise path among associations of one system, the first declared
  // among equal ones).
  std::vector<std::vector<const Bound_instance*>> won(w.associations.size());
  // The associations by target, so that an instance looks up its prefixes
  // only.
  Targets by_target;
  for (std::size_t i = 0; i < w.associations.size(); ++i) by_target[dotted(w.associations[i].target)].push_back(i);
  auto assign = [&](const Bound_instance& b) {
    std::optional<std::size_t> best;
    std::string prefix;
    for (const auto& part : b.path) {
      prefix += (prefix.empty() ? "" : ".") + part.str();
      auto it = by_target.find(prefix);
      if (it == by_target.end()) continue;
      for (std::size_t i : it->second) {
        if (!best) {
          best = i;
          continue;
        }
        const Association &a = w.associations[i], &o = w.associations[*best];
        if (a.depth > o.depth || (a.depth == o.depth && a.target.size() > o.target.size()) ||
            (a.depth == o.depth && a.target.size() == o.target.size() && i < *best))
          best = i;
      }
    }
    if (best) won[*best].push_back(&b);
  };
  for (const auto& b : w.processes) assign(b);
  for (const auto& b : w.others) assign(b);

  // Groups in the order of their first association that binds anything.
  std::vector<Processor_group> groups;
  std::map<std::vector<std::string>, std::size_t> group_of;
  for (std::size_t i = 0; i < w.associations.size(); ++i) {
    if (won[i].empty()) continue;
    const Association& a = w.associations[i];
    std::vector<std::string> host = host_of(w, by_target, a.processor, *a.source);
    const bool partition = host != a.processor;
    auto [pos, fresh] = group_of.try_emplace(std::move(host), groups.size());
    if (fresh) {
      const auto subs = along(w, pos->first);
      const bool declared = !subs.empty() && subs.size() == pos->first.size();
      groups.push_back({partition ? Ident(pos->first.back()) : a.reference, {}, {}, {}, pos->first, {},
                        declared ? subs.back()->pos : a.source->pos});
    }
    Processor_group& g = groups[pos->second];
    for (const Bound_instance* b : won[i]) {
      g.instances.push_back(*b);
      g.instances.back().binding = a.source->pos;
    }
    if (partition && std::find(g.partitions.begin(), g.partitions.end(), dotted(a.processor)) == g.partitions.end()) {
      g.partitions.push_back(dotted(a.processor));
      note_time_slicing(w, pos->first, a.processor, g.time_slicing);
    }
  }

  for (const auto& d : w.devices)
    if (auto it = group_of.find(host_of(w, by_target, d.processor, *d.source)); it != group_of.end())
      groups[it->second].devices.push_back(dotted(d.path));

  // A processor is named by its own name, or by its path where two bound
  // processors share that name.
  std::map<std::string, int> uses;
  for (const auto& [path, k] : group_of) ++uses[path.back()];
  for (const auto& [path, k] : group_of) {
    if (uses[path.back()] > 1) {
      std::string joined;
      for (const auto& p : path) joined += (joined.empty() ? "" : "_") + p;
      groups[k].processor = Ident(joined);
    } else if (path.size() > 1 || !groups[k].processor.is_simple()) {
      groups[k].processor = Ident(path.back());
    }
  }
  return groups;
}

}  // namespace vorquel
