#include "aadl/aaxl_checker.hpp"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "aadl/aaxl_elements.hpp"
#include "base/diagnostics.hpp"

namespace vorquel::aaxl {

namespace {

// ============================================================================
// The accepted AAXL structure
// ============================================================================

// What the children of an element may be ("comment" elements aside).
enum class Content {
  Any,               // any sequence of the listed elements
  One_or_more,       // at least one, any of the listed elements
  Exactly_one,       // one of the listed elements
  At_most_one,       // nothing, or one of the listed elements
  Nothing_or_pair,   // nothing, or the first listed followed by the second
  Same_one_or_more,  // one or more, all the same one of the listed elements
  Nothing,           // no content
  Unchecked,         // anything: the reader ignores the element
};

struct Attr {
  std::string_view name;
  bool required;
  Name_list values;  // the accepted texts; empty: any text
};

Attr req(std::string_view name, Name_list values = {}) { return {name, true, std::move(values)}; }
Attr opt(std::string_view name) { return {name, false, {}}; }

struct Rule {
  Name_list elements;  // the elements that share the rule
  std::vector<Attr> attributes;
  Content content;
  Name_list children;
};

constexpr std::string_view root_element = "AadlSpec";

const std::vector<Rule>& aaxl_structure() {
  static const std::vector<Rule> rules = [] {
    const Name_list component_types = element_names(component_elements, Component_kind::Type);
    const Name_list component_impls = element_names(component_elements, Component_kind::Implementation);
    const Name_list declarations = component_types + component_impls + Name_list{"portGroupType"};
    const Name_list subcomponents = element_names(subcomponent_elements);
    const Name_list connections = element_names(connection_elements);
    const Name_list value_kinds = {"property:IntegerValue",   "property:RealValue",      "property:BooleanValue",
                               "property:StringValue",    "property:EnumValue",      "property:ReferenceValue",
                               "property:IntegerRangeValue", "property:RealRangeValue"};
    const Name_list flow_elements = {"flowSourceSpec", "flowSinkSpec", "flowPathSpec", "flowPathImpl", "endToEndFlow"};
    using C = Content;
    return std::vector<Rule>{
        {{root_element},
         {req("name"), req("xmi:version"), opt("xmlns:core"), opt("xmlns:xmi"), opt("xmlns:xsi"),
          opt("xmlns:property")},
         C::Any, declarations + Name_list{"aadlPackage"}},
        {{"aadlPackage"}, {req("name")}, C::Exactly_one, {"aadlPublic", "aadlPrivate"}},
        {{"aadlPublic", "aadlPrivate"}, {}, C::Any, declarations},
        {component_types, {req("name")}, C::Any, {"features", "properties", "flowSpecs"}},
        {component_impls, {req("name"), req("compType")}, C::Any,
         {"subcomponents", "callSequences", "connections", "properties", "flows"}},
        {{"portGroupType"}, {req("name"), opt("inverseOf")}, C::At_most_one, {"features"}},
        {{"features"}, {}, C::Any,
         {"dataPort", "eventDataPort", "eventPort", "parameter", "portGroup", "dataAccess", "busAccess"}},
        {{"dataPort", "parameter", "dataAccess"}, {req("name"), opt("direction"), opt("dataClassifier")}, C::Any,
         {"properties"}},
        {{"eventPort", "eventDataPort"}, {req("name"), opt("direction")}, C::Any, {"properties"}},
        {{"busAccess"}, {req("name"), opt("direction"), opt("busClassifier")}, C::Any, {"properties"}},
        {{"portGroup"}, {req("name"), req("portGroupType")}, C::Any, {"properties"}},
        {{"properties"}, {}, C::One_or_more, {"propertyAssociation"}},
        {{"propertyAssociation"}, {req("propertyDefinition"), opt("appliesTo"), opt("access")}, C::Any,
         {"propertyValue"}},
        {{"propertyValue"},
         {req("xsi:type", value_kinds), opt("value"), opt("unitLiteral"), opt("enumLiteral"),
          opt("referenceElement"), opt("delta"), opt("base"), opt("valueString")},
         C::Nothing_or_pair, {"minimum", "maximum"}},
        {{"minimum", "maximum"}, {req("value"), req("valueString"), opt("unitLiteral"), opt("base"), opt("xsi:type")},
         C::Nothing, {}},
        {{"subcomponents"}, {}, C::Any, subcomponents},
        {subcomponents, {req("name"), opt("classifier")}, C::Any, {"properties"}},
        {{"callSequences"}, {}, C::Any, {"callSequence"}},
        {{"callSequence"}, {}, C::Any, {"call"}},
        {{"call"}, {req("name"), req("classifier")}, C::Any, {"properties"}},
        {{"connections"}, {}, C::Any, connections},
        {connections,
         {req("src"), req("dst"), opt("srcContext"), opt("dstContext"), opt("name"), opt("timing")},
         C::Any, {"properties"}},
        {{"flowSpecs"}, {}, C::Any, {"flowSourceSpec", "flowSinkSpec", "flowPathSpec"}},
        {{"flows"}, {}, C::Same_one_or_more, {"flowPathImpl", "endToEndFlow"}},
        {flow_elements, {}, C::Unchecked, {}},
    };
  }();
  return rules;
}

// The rule of every element name.
const Rule* rule_of(std::string_view element) {
  static const std::unordered_map<std::string_view, const Rule*> index = [] {
    std::unordered_map<std::string_view, const Rule*> m;
    for (const Rule& r : aaxl_structure())
      for (auto e : r.elements) m.emplace(e, &r);
    return m;
  }();
  auto it = index.find(element);
  return it == index.end() ? nullptr : it->second;
}

// Namespace prefixes the root may declare, with the namespace each must name.
struct Prefix {
  std::string_view prefix;
  bool (*accepts)(std::string_view uri);
  std::string_view expected;
};

// The last two parts of the path are "aadl-schema" and the given name.
bool is_schema_location(std::string_view uri, std::string_view name) {
  auto last_part = [](std::string_view& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string_view part = slash == std::string_view::npos ? path : path.substr(slash + 1);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    return part;
  };
  if (last_part(uri) != name) return false;
  std::string_view dir = last_part(uri);
  return dir == "aadl-schema" || (dir.size() > 12 && dir.ends_with(":aadl-schema"));
}

bool is_core_namespace(std::string_view uri) {
  return uri == "http:///AADL/core" || is_schema_location(uri, "core");
}
bool is_property_namespace(std::string_view uri) {
  return uri == "http:///AADL/property" || is_schema_location(uri, "property");
}
bool is_xmi_namespace(std::string_view uri) { return uri == "http://www.omg.org/XMI"; }
bool is_xsi_namespace(std::string_view uri) { return uri == "http://www.w3.org/2001/XMLSchema-instance"; }

constexpr Prefix prefixes[] = {
    {"core", is_core_namespace, "the AADL core namespace (a path ending in aadl-schema/core, or http:///AADL/core)"},
    {"property", is_property_namespace,
     "the AADL property namespace (a path ending in aadl-schema/property, or http:///AADL/property)"},
    {"xmi", is_xmi_namespace, "the XMI namespace http://www.omg.org/XMI"},
    {"xsi", is_xsi_namespace, "the XML Schema instance namespace http://www.w3.org/2001/XMLSchema-instance"},
};

// ============================================================================
// Positions and descriptions for messages
// ============================================================================

std::string list_of(const Name_list& names, std::string_view last_sep = ", ") {
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += i + 1 == names.size() ? last_sep : ", ";
    s += names[i];
  }
  return s;
}

std::string expected_content(const Rule& r) {
  switch (r.content) {
    case Content::Any: return "any sequence of " + list_of(r.children);
    case Content::One_or_more: return "one or more of " + list_of(r.children);
    case Content::Exactly_one: return "exactly one " + list_of(r.children, " or ");
    case Content::At_most_one: return "at most one " + list_of(r.children, " or ");
    case Content::Nothing_or_pair:
      return "nothing, or " + std::string(r.children[0]) + " followed by " + std::string(r.children[1]);
    case Content::Same_one_or_more: {
      std::string s;
      for (auto c : r.children) s += (s.empty() ? "one or more " : ", or one or more ") + std::string(c);
      return s;
    }
    case Content::Nothing: return "no content";
    case Content::Unchecked: return "anything";
  }
  return "";
}

// "/core:AadlSpec/aadlPackage[@name=K]/aadlPublic": where an element stands.
std::string element_path(xml_node n) {
  std::vector<xml_node> chain;
  for (; n && n.type() == pugi::node_element; n = n.parent()) chain.push_back(n);
  // Elements nested deeper than the structure allows (inside ignored
  // contents) are shown by the top and the bottom of their path only.
  constexpr std::size_t top = 4, bottom = 6;
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    std::size_t k = static_cast<std::size_t>(it - chain.rbegin());
    if (chain.size() > top + bottom + 1 && k >= top && k < chain.size() - bottom) {
      if (k == top) path += "/...";
      continue;
    }
    path += '/';
    path += shown(it->name());
    if (xml_attribute name = it->attribute("name")) path += "[@name=" + shown(name.value()) + "]";
  }
  return path.empty() ? "/" : path;
}

// ============================================================================
// Checking the document against the accepted structure
// ============================================================================

class Checker {
 public:
  Checker(const Positions& pos, xml_node root) : pos_(pos), root_(root) {}

  std::optional<Problem> check() {
    if (check_root()) element(root_, *rule_of(root_element), 0);
    return std::move(problem_);
  }

 private:
  const Positions& pos_;
  xml_node root_;
  std::optional<Problem> problem_;
  bool prefix_checked_[std::size(prefixes)] = {};  // declared and naming its namespace

  bool fail(std::string where, std::string what, bool xml = false) {
    problem_ = Problem{xml, std::move(where) + std::move(what)};
    return false;
  }
  bool fail_in(xml_node n, std::string where, std::string what, bool xml = false) {
    return fail(std::move(where), "in " + element_path(n) + ": " + std::move(what), xml);
  }

  // The root is AadlSpec in the core namespace.
  bool check_root() {
    std::string_view name = root_.name();
    std::size_t colon = name.find(':');
    std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    if (local != root_element)
      return fail(pos_.at(root_), "the root element is <" + shown(name) + ">; expected <core:AadlSpec>");
    if (colon == std::string_view::npos)
      return fail(pos_.at(root_), "the root element <AadlSpec> has no namespace; expected <core:AadlSpec> in " +
                                      std::string(prefixes[0].expected));
    std::string_view prefix = name.substr(0, colon);
    std::string decl = "xmlns:" + std::string(prefix);
    xml_attribute uri = root_.attribute(decl.c_str());
    if (!uri)
      return fail(pos_.at(root_), "the namespace prefix " + shown(prefix) + " of the root element is not declared");
    if (!is_core_namespace(uri.value()))
      return fail(pos_.at(root_), "the root element is in the namespace \"" + shown(uri.value()) + "\"; expected " +
                                      std::string(prefixes[0].expected));
    return true;
  }

  // A prefixed name (attribute name or xsi:type value) must use one of the
  // known prefixes, declared on the root with its namespace.
  bool check_prefix(xml_node n, const char* where, std::string_view qname) {
    std::size_t colon = qname.find(':');
    if (colon == std::string_view::npos) return true;
    std::string_view prefix = qname.substr(0, colon);
    if (prefix == "xmlns") return true;
    for (std::size_t i = 0; i < std::size(prefixes); ++i) {
      const Prefix& p = prefixes[i];
      if (p.prefix != prefix) continue;
      if (prefix_checked_[i]) return true;
      xml_attribute uri = root_.attribute(("xmlns:" + std::string(prefix)).c_str());
      if (!uri)
        return fail_in(n, pos_.at(where), "the namespace prefix " + std::string(prefix) + " of " + shown(qname) +
                                              " is not declared on the root element");
      if (!p.accepts(uri.value()))
        return fail_in(n, pos_.at(where), "the namespace prefix " + std::string(prefix) + " names \"" +
                                              shown(uri.value()) + "\"; expected " + std::string(p.expected));
      prefix_checked_[i] = true;
      return true;
    }
    return fail_in(n, pos_.at(where), "unknown namespace prefix " + shown(prefix));
  }

  bool attributes(xml_node n, const Rule& r) {
    std::uint64_t seen = 0;
    for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      std::string_view name = a.name();
      std::size_t k = 0;
      while (k < r.attributes.size() && r.attributes[k].name != name) ++k;
      if (k == r.attributes.size()) {
        std::string allowed;
        for (const Attr& x : r.attributes) allowed += (allowed.empty() ? "" : ", ") + std::string(x.name);
        return fail_in(n, pos_.at(a.name()),
                       "unexpected attribute " + shown(name) + "; expected " +
                           (allowed.empty() ? std::string("no attribute") : "attributes among " + allowed));
      }
      if (seen & (std::uint64_t{1} << k))
        return fail_in(n, pos_.at(a.name()), "attribute " + shown(name) + " given twice", true);
      seen |= std::uint64_t{1} << k;
      const Attr& rule_attr = r.attributes[k];
      if (!check_prefix(n, a.name(), name)) return false;
      if (!rule_attr.values.empty()) {
        std::string_view value = a.value();
        if (std::find(rule_attr.values.begin(), rule_attr.values.end(), value) == rule_attr.values.end())
          return fail_in(n, pos_.at(a.name()),
                         "attribute " + shown(name) + " is \"" + shown(value) + "\"; expected one of " +
                             list_of(rule_attr.values));
        if (!check_prefix(n, a.name(), value)) return false;
      }
    }
    for (std::size_t k = 0; k < r.attributes.size(); ++k)
      if (r.attributes[k].required && !(seen & (std::uint64_t{1} << k)))
        return fail_in(n, pos_.at(n), "missing attribute " + std::string(r.attributes[k].name));
    return true;
  }

  // Depth is bounded by the structure, which nests no element in itself;
  // the element is checked before its children are descended into.
  bool element(xml_node n, const Rule& r, int depth) {
    VQ_ASSERT(depth < 32, "the AAXL structure nests too deep");
    if (r.content == Content::Unchecked) return unchecked(n);
    if (!attributes(n, r)) return false;
    std::size_t count = 0;
    std::string_view first;
    for (xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
        if (is_blank(c.value())) continue;
        return fail_in(n, pos_.at(c), "unexpected text \"" + shown(c.value()) + "\"; expected " + expected_content(r));
      }
      if (c.type() != pugi::node_element) continue;
      if (is_comment(c)) {
        if (!unchecked(c)) return false;
        continue;
      }
      std::string_view name = c.name();
      bool listed = std::find(r.children.begin(), r.children.end(), name) != r.children.end();
      if (!listed)
        return fail_in(n, pos_.at(c), "unexpected element <" + shown(name) + ">; expected " + expected_content(r));
      ++count;
      bool in_place = true;
      switch (r.content) {
        case Content::Exactly_one:
        case Content::At_most_one: in_place = count == 1; break;
        case Content::Nothing_or_pair: in_place = count <= 2 && name == r.children[count - 1]; break;
        case Content::Same_one_or_more: in_place = count == 1 || name == first; break;
        default: break;
      }
      if (!in_place)
        return fail_in(n, pos_.at(c), "unexpected element <" + shown(name) + "> after " +
                                          (count == 2 ? "<" + std::string(first) + ">" : std::string("the others")) +
                                          "; expected " + expected_content(r));
      if (count == 1) first = name;
      if (!element(c, *rule_of(name), depth + 1)) return false;
    }
    bool enough = true;
    switch (r.content) {
      case Content::One_or_more:
      case Content::Exactly_one:
      case Content::Same_one_or_more: enough = count >= 1; break;
      case Content::Nothing_or_pair: enough = count != 1; break;
      default: break;
    }
    if (!enough)
      return fail_in(n, pos_.at(n), "missing content; expected " + expected_content(r));
    return true;
  }

  // Contents the reader ignores: only well-formedness (attributes given
  // once) is checked, walking the subtree without recursion.
  bool unchecked(xml_node top) {
    xml_node n = top;
    while (true) {
      if (!attributes_once(n)) return false;
      if (xml_node c = n.first_child()) {
        n = c;
        continue;
      }
      while (n != top && !n.next_sibling()) n = n.parent();
      if (n == top) return true;
      n = n.next_sibling();
    }
  }

  bool attributes_once(xml_node n) {
    std::vector<std::string_view> names;
    for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) names.emplace_back(a.name());
    if (names.size() < 2) return true;
    std::sort(names.begin(), names.end());
    auto dup = std::adjacent_find(names.begin(), names.end());
    if (dup == names.end()) return true;
    return fail_in(n, pos_.at(n), "attribute " + shown(*dup) + " given twice", true);
  }
};

}  // namespace

std::optional<Problem> check_document(const Positions& pos, xml_node root) { return Checker(pos, root).check(); }

}  // namespace vorquel::aaxl
