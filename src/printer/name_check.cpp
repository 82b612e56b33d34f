#include "printer/name_check.hpp"

#include <unordered_map>
#include <unordered_set>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "printer/lustre_names.hpp"

namespace vorquel {

namespace {

// Whether the scheduler writes a node of that name whatever the model:
// the library nodes, the arbiters, the condact wrappers and the thread
// schedulers of the processors.
bool is_generated_node_name(std::string_view s) {
  static constexpr std::string_view library[] = {
      "timer", "rising_edge", "first_rising_edge", "consume", "random_int", "random_bool", "compute_advance",
      "ba_fill", "ba_none", "qsg_generic", "quasi_synchronous_scheduler"};
  for (auto name : library)
    if (s == name) return true;
  const std::string_view arbiter = "cpu_from_dispatched_";
  if (s.size() > arbiter.size() && s.substr(0, arbiter.size()) == arbiter &&
      s.find_first_not_of("0123456789", arbiter.size()) == std::string_view::npos)
    return true;
  auto starts = [&](std::string_view p) { return s.substr(0, p.size()) == p; };
  auto ends = [&](std::string_view p) { return s.size() >= p.size() && s.substr(s.size() - p.size()) == p; };
  return starts("condact_") || (starts("schedule_") && ends("_threads"));
}

}  // namespace

void check_output_base_name(const std::string& base) {
  if (base.find('/') != std::string::npos) return;
  if (is_valid_node_name(base) && !is_generated_node_name(base)) return;
  std::string why = is_lustre_keyword(base)        ? "it is a Lustre keyword"
                    : is_valid_node_name(base) ? "the scheduler writes a node of that name"
                                               : "a Lustre name starts with a letter and has only letters, digits and \"_\"";
  fail("*** Error: the output base name '" + base + "' cannot name the top-level node: " + why + ".\n" +
                "*** Choose another one with -o.\n");
}

namespace {

// The Lustre names met so far in one scope, with the identifier that took
// each.
class Scope {
 public:
  // The identifier that took the name before, when it is another one.
  const Ident* add(const Ident& id, std::string text) {
    auto [it, fresh] = taken_.try_emplace(std::move(text), id);
    if (fresh || it->second == id) return nullptr;
    return &it->second;
  }

 private:
  std::unordered_map<std::string, Ident> taken_;
};

class Checker {
 public:
  Checker(const std::string& base, std::vector<Diagnostic>& warnings) : base_(base), warnings_(warnings) {}

  // The Lustre text of a generated name; a keyword is announced once.
  std::string text(const Ident& id) {
    const std::string& s = id.str();
    if (!is_lustre_keyword(s)) return s;
    if (warned_.insert(s).second) warnings_.push_back(make_warning(keyword_warning(aadl_name(id), s)));
    return lustre_name(s);
  }

  // A node or a type.
  // at: where the declaration was written.
  void declaration(const Ident& id, const std::optional<Source_location>& at) {
    const std::string t = text(id);
    if (t == base_)
      fail_located("*** Error: the output base name '" + base_ + "' is also the name of the declaration " +
                       aadl_name(id) + ".\n*** Choose another one with -o.\n",
                   at, "the output base name '" + base_ + "' is also the name of " + aadl_name(id) +
                           "; choose another one with -o");
    if (const Ident* other = globals_.add(id, t))
      clash("the declarations " + aadl_name(*other) + " and " + aadl_name(id), t, at);
  }

  void node_variables(const Node& n, const std::optional<Source_location>& at) {
    Scope scope;
    for (const auto* list : {&n.inputs, &n.oracles, &n.outputs, &n.locals})
      for (const auto& [id, type] : *list) {
        const std::string t = text(id);
        if (const Ident* other = scope.add(id, t))
          clash("in " + aadl_name(n.name) + ", the names " + aadl_name(*other) + " and " + aadl_name(id), t, at);
      }
  }

 private:
  [[noreturn]] static void clash(const std::string& what, const std::string& lustre,
                                 const std::optional<Source_location>& at) {
    fail_located("*** Error: " + what + " are both written " + lustre + " in Lustre.\n" + "*** Rename one of them.\n",
                 at, what + " are both written " + lustre + " in Lustre; rename one of them");
  }

  const std::string& base_;
  Scope globals_;
  std::unordered_set<std::string> warned_;
  std::vector<Diagnostic>& warnings_;
};

bool is_device(const Entry& e) {
  const auto* c = e.decl ? std::get_if<Component>(e.decl.get()) : nullptr;
  return c != nullptr && c->category == Category::Device;
}

}  // namespace

void check_lustre_names(const Env& env, const std::string& base, std::vector<Diagnostic>& warnings) {
  Checker check(base, warnings);
  env.iter([&](const Ident&, const Entry& e) {
    if (!e.def || is_device(e)) return;
    const auto at = e.decl ? location_of(declaration_pos(*e.decl)) : std::nullopt;
    if (const auto* nd = std::get_if<Node_def>(&*e.def)) {
      if (!nd->node) return;
      check.declaration(nd->node->name, at);
      check.node_variables(*nd->node, at);
    } else if (const auto* t = std::get_if<TypeDef>(&*e.def)) {
      if (is_predefined_type(t->name.str()))
        fail_located("*** Error: the data type " + aadl_name(t->name) +
                         " would be written as a predefined Lustre type.\n*** Rename it or put it in a package.\n",
                     at, "the data type " + aadl_name(t->name) +
                             " would be written as a predefined Lustre type; rename it or put it in a package");
      check.declaration(t->name, at);
    }
  });
}

}  // namespace vorquel
