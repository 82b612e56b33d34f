// Component interfaces: the direction of features and port groups, node
// interfaces of component types, and the record types of port groups.
#include "translation/vorquel.hpp"

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "aadl/aadl_misc.hpp"
#include "aadl/aadl_text_reader.hpp"
#include "aadl/property.hpp"
#include "base/channel.hpp"
#include "base/diagnostics.hpp"
#include "base/overloaded.hpp"
#include "sync/clock_names.hpp"
#include "translation/internal.hpp"

namespace vorquel {
namespace translation {

// ---- component interfaces ------------------------------------------------------

In_out status_of(const Env& env, const Feature_kind& k, Directions& d);

In_out port_group_status(const Env& env, const Ident& name, Directions& d) {
  if (auto it = d.known.find(name); it != d.known.end()) return it->second;
  if (std::find(d.visiting.begin(), d.visiting.end(), name) != d.visiting.end())
    fail("*** Error: the port group " + name.str() + " is defined in terms of itself.\n");
  // An undeclared classifier is reported by the translation driver.
  if (!env.mem(name)) throw Vorquel_todo(name);
  const Port_group& g = env.get_port_grp(name);
  d.visiting.push_back(name);
  In_out result = In_out::InOut;
  if (!g.features.empty()) {
    bool all_in = true, all_out = true;
    for (const auto& f : g.features) {
      In_out s = status_of(env, f.kind, d);
      all_in = all_in && s == In_out::In;
      all_out = all_out && s == In_out::Out;
    }
    result = all_in ? In_out::In : all_out ? In_out::Out : In_out::InOut;
  } else if (g.inverse) {
    result = inv_in_out(port_group_status(env, *g.inverse, d));
  } else {
    internal_error("in_out_status: the port group " + name.str() + " has neither features nor inverse");
  }
  d.visiting.pop_back();
  d.known.emplace(name, result);
  return result;
}

In_out status_of(const Env& env, const Feature_kind& k, Directions& d) {
  return std::visit(
      overloaded{
          [](const Feat_data_port& f) { return f.direction; },
          [](const Feat_event_data_port& f) { return f.direction; },
          [](const Feat_event_port& f) { return f.direction; },
          [](const Feat_parameter& f) { return f.direction; },
          [&](const Feat_port_group& f) {
            return f.classifier ? port_group_status(env, *f.classifier, d) : In_out::InOut;
          },
          [](const Feat_server_subprogram_spec&) -> In_out {
            not_yet_implemented("in_out_status: Feat_server_subprogram_spec");
          },
          [](const Feat_data_subprogram_spec&) -> In_out {
            not_yet_implemented("in_out_status: Feat_data_subprogram_spec");
          },
          [](const Feat_subcomponent_access&) -> In_out {
            not_yet_implemented("in_out_status: Feat_subcomponent_access");
          },
      },
      k);
}

Sync_definition port_group_definition(const Env& env, const Port_group& g, std::vector<Ident>& visiting) {
  if (!g.inverse) return TypeDef{g.name, port_group_to_type(g)};
  if (std::find(visiting.begin(), visiting.end(), g.name) != visiting.end())
    fail("*** Error: the port group " + g.name.str() + " is defined in terms of itself.\n");
  if (!env.mem(*g.inverse)) throw Vorquel_todo(*g.inverse);
  visiting.push_back(g.name);
  Sync_definition inv = port_group_definition(env, env.get_port_grp(*g.inverse), visiting);
  visiting.pop_back();
  const auto* t = std::get_if<TypeDef>(&inv);
  VQ_ASSERT(t, "the inverse of " + g.name.str() + " is not a type");
  return TypeDef{g.name, t->definition};
}

std::pair<std::vector<Feature>, std::vector<Feature>> classify_features(const Env& env, const Component& c,
                                                                       Directions& dirs) {
  std::vector<Feature> inputs, outputs;
  for (const auto& f : c.features) {
    if (const auto* acc = std::get_if<Feat_subcomponent_access>(&f.kind)) {
      if (!acc->classifier)
        fail_at(location_of(f.pos), "in " + aadl_name(c.name) + ": access " + aadl_name(f.name) +
                                        " has no classifier; name the data type it gives access to");
      if (acc->category == Category::Bus) {
        out("*** Bus access ignored.\n");
        continue;
      }
      // A subprogram access of a textual model carries no data.
      if (acc->category == Category::Subprogram && read_from_text(f.pos)) continue;
      VQ_ASSERT(acc->category == Category::Data, "the access " + f.name.str() + " is neither data nor bus");
      const bool required = acc->access == Access_kind::Required;
      std::optional<Access_mode> found =
          required ? find_required_access_mode(f.properties) : find_provided_access_mode(f.properties);
      const std::string property = required ? "Required_Access" : "Provided_Access";
      // A textual model has AADL's default access right, read_write.
      if (!found && read_from_text(f.pos)) found = Access_mode::Read_write;
      if (!found)
        fail_located("*** Error: the data access " + f.name.str() + " of " + c.name.str() + " has no " + property +
                         " property.\n",
                     location_of(f.pos),
                     "in " + aadl_name(c.name) + ": data access " + aadl_name(f.name) + " has no " + property +
                         " property; give it one (read_only, write_only or read_write)");
      const Access_mode mode = *found;
      Feature as_input{add_suffix("_in", f.name), f.kind, f.properties};
      switch (mode) {
        case Access_mode::Read:
          inputs.push_back(std::move(as_input));
          break;
        case Access_mode::Write:
          outputs.push_back(f);
          break;
        case Access_mode::Read_write:
          inputs.push_back(std::move(as_input));
          outputs.push_back(f);
          break;
        case Access_mode::By_method:
          out("*** By method access ignored.\n");
          break;
      }
      continue;
    }
    switch (status_of(env, f.kind, dirs)) {
      case In_out::In:
        inputs.push_back(f);
        break;
      case In_out::Out:
        outputs.push_back(f);
        break;
      case In_out::InOut:
        // An in out port (or parameter) of a thread, process or subprogram of
        // a textual model reads the input "<port>_in" and writes the output
        // of its own name.
        if (read_from_text(f.pos) &&
            (c.category == Category::Thread || c.category == Category::Process || c.category == Category::Subprogram) &&
            !std::holds_alternative<Feat_port_group>(f.kind)) {
          inputs.push_back(Feature{add_suffix("_in", f.name), f.kind, f.properties});
          outputs.push_back(f);
          break;
        }
        not_yet_implemented("in/out features are not considered",
                            "in " + aadl_name(c.name) + ": the in out feature " + aadl_name(f.name) +
                                " is not supported; split it into an in and an out feature",
                            location_of(f.pos));
    }
  }
  // Each feature went to the front of its list.
  std::reverse(inputs.begin(), inputs.end());
  std::reverse(outputs.begin(), outputs.end());
  return {std::move(inputs), std::move(outputs)};
}

// The type of a feature of c; a port without the data type it needs is said
// at the port.
Type_expression feature_type(const Component& c, const Feature& f) {
  const std::string where = "in " + aadl_name(c.name) + ": ";
  if (const auto* p = std::get_if<Feat_data_port>(&f.kind); p && !p->classifier)
    fail_located("*** Error: a data port has no data classifier; give it its data type\n", location_of(f.pos),
                 where + "data port " + aadl_name(f.name) + " has no data classifier; give it its data type");
  if (const auto* p = std::get_if<Feat_event_data_port>(&f.kind); p && !p->classifier)
    not_yet_implemented("type of \"event data port\"",
                        where + "event data port " + aadl_name(f.name) +
                            " has no data classifier; give it its data type",
                        location_of(f.pos));
  return type_of_feature_kind(f.kind);
}

Sync_definition interface_node(const Env& env, const Component& c, Directions& dirs) {
  VQ_ASSERT(c.kind == Component_kind::Type, "node_interface_of_component_type: " + c.name.str() + " is not a type");
  check_normalized(c, "node_interface_of_component_type");
  auto [ins, outs] = classify_features(env, c, dirs);
  Node n = make_node(c.name);
  for (const auto& f : ins) n.inputs.push_back({f.name, feature_type(c, f)});
  for (const auto& f : outs) n.outputs.push_back({f.name, feature_type(c, f)});
  return node_def(std::move(n));
}

}  // namespace translation

using namespace translation;

Type_expression type_of_feature_kind(const Feature_kind& k) {
  return std::visit(
      overloaded{
          [](const Feat_data_port& f) {
            if (!f.classifier) fail_at(std::nullopt, "a data port has no data classifier; give it its data type");
            return tnamed(*f.classifier);
          },
          [](const Feat_event_port&) { return tbool(); },
          // With a classifier (the textual reader gives one), typed like a
          // data port: a periodic reader takes the latest value, as a queue
          // of one element does.
          [](const Feat_event_data_port& f) -> Type_expression {
            if (!f.classifier) not_yet_implemented("type of \"event data port\"");
            return tnamed(*f.classifier);
          },
          [](const Feat_port_group& f) {
            if (!f.classifier) fail_at(std::nullopt, "a port group feature has no classifier; give it its port group type");
            return tnamed(*f.classifier);
          },
          [](const Feat_server_subprogram_spec&) -> Type_expression {
            not_yet_implemented("type of \"server subprogram\"");
          },
          [](const Feat_data_subprogram_spec&) -> Type_expression {
            not_yet_implemented("type of \"data subprogram\"");
          },
          [](const Feat_subcomponent_access& f) -> Type_expression {
            if (f.category == Category::Bus) not_yet_implemented("bus access");
            VQ_ASSERT(f.category == Category::Data, "access to a component that is neither data nor bus");
            if (!f.classifier) fail_at(std::nullopt, "a data access has no classifier; give it its data type");
            return tnamed(*f.classifier);
          },
          [](const Feat_parameter& f) { return f.classifier ? tnamed(*f.classifier) : tbool(); },
      },
      k);
}

Type_expression port_group_to_type(const Port_group& g) {
  TRecord r;
  for (const auto& f : g.features) r.fields.push_back({f.name, type_of_feature_kind(f.kind)});
  return Type_expression{std::move(r)};
}

Sync_definition sync_definition_of_port_group(const Env& env, const Port_group& g) {
  std::vector<Ident> visiting;
  return port_group_definition(env, g, visiting);
}

}  // namespace vorquel
