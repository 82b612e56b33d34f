#include "aadl/aadl_loader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <pugixml.hpp>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aadl/ident.hpp"
#include "aadl/property.hpp"
#include "driver/misc.hpp"
#include "driver/options.hpp"

namespace vorquel {

namespace {

using pugi::xml_attribute;
using pugi::xml_node;
using Name_list = std::vector<std::string_view>;

// ============================================================================
// Element families: the element name gives the category and kind.
// ============================================================================

struct Component_element {
  std::string_view element;
  Category category;
  Component_kind kind;
};

constexpr Component_element component_elements[] = {
    {"dataType", Category::Data, Component_kind::Type},
    {"subprogramType", Category::Subprogram, Component_kind::Type},
    {"threadType", Category::Thread, Component_kind::Type},
    {"processType", Category::Process, Component_kind::Type},
    {"processorType", Category::Processor, Component_kind::Type},
    {"memoryType", Category::Memory, Component_kind::Type},
    {"busType", Category::Bus, Component_kind::Type},
    {"deviceType", Category::Device, Component_kind::Type},
    {"systemType", Category::System, Component_kind::Type},
    {"dataImpl", Category::Data, Component_kind::Implementation},
    {"subprogramImpl", Category::Subprogram, Component_kind::Implementation},
    {"threadImpl", Category::Thread, Component_kind::Implementation},
    {"processImpl", Category::Process, Component_kind::Implementation},
    {"processorImpl", Category::Processor, Component_kind::Implementation},
    {"memoryImpl", Category::Memory, Component_kind::Implementation},
    {"busImpl", Category::Bus, Component_kind::Implementation},
    {"deviceImpl", Category::Device, Component_kind::Implementation},
    {"systemImpl", Category::System, Component_kind::Implementation},
};

struct Subcomponent_element {
  std::string_view element;
  Category category;
};

constexpr Subcomponent_element subcomponent_elements[] = {
    {"dataSubcomponent", Category::Data},       {"threadSubcomponent", Category::Thread},
    {"processSubcomponent", Category::Process}, {"processorSubcomponent", Category::Processor},
    {"memorySubcomponent", Category::Memory},   {"busSubcomponent", Category::Bus},
    {"deviceSubcomponent", Category::Device},
};

struct Connection_element {
  std::string_view element;
  Connection_kind kind;
};

constexpr Connection_element connection_elements[] = {
    {"dataConnection", Connection_kind::Data_connection},
    {"eventConnection", Connection_kind::Event_connection},
    {"eventDataConnection", Connection_kind::Event_data_connection},
    {"portGroupConnection", Connection_kind::Port_group_connection},
    {"parameterConnection", Connection_kind::Parameter_connection},
    {"dataAccessConnection", Connection_kind::Data_access_connection},
    {"busAccessConnection", Connection_kind::Bus_access_connection},
};

template <class Table>
const auto* find_element(const Table& table, std::string_view name) {
  for (const auto& e : table)
    if (e.element == name) return &e;
  return static_cast<decltype(&table[0])>(nullptr);
}

template <class Table>
Name_list element_names(const Table& table, std::optional<Component_kind> kind = std::nullopt) {
  Name_list names;
  for (const auto& e : table) {
    if constexpr (std::is_same_v<std::decay_t<decltype(e)>, Component_element>)
      if (kind && e.kind != *kind) continue;
    names.push_back(e.element);
  }
  return names;
}

Name_list operator+(Name_list a, const Name_list& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

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

// Line and column of the places of the document, computed from the text as
// read (the in-place parse overwrites some of its bytes).
class Positions {
 public:
  explicit Positions(std::string_view text) : begin_(text.data()), size_(text.size()) {
    if (size_ >= UINT32_MAX) return;
    const char* p = begin_;
    const char* end = begin_ + size_;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p)))) {
      newlines_.push_back(static_cast<std::uint32_t>(p - begin_));
      ++p;
    }
    usable_ = true;
  }

  // "line L, column C: " for an offset in the text, or "".
  std::string at_offset(std::size_t offset) const {
    if (!usable_ || offset > size_) return "";
    auto it = std::lower_bound(newlines_.begin(), newlines_.end(), offset);
    std::size_t line = static_cast<std::size_t>(it - newlines_.begin()) + 1;
    std::size_t line_start = it == newlines_.begin() ? 0 : *(it - 1) + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1) + ": ";
  }
  // Same for a pointer into the parsed buffer (names and values of nodes).
  std::string at(const char* p) const {
    if (p < begin_ || p >= begin_ + size_) return "";
    return at_offset(static_cast<std::size_t>(p - begin_));
  }
  std::string at(xml_node n) const { return at(n.type() == pugi::node_element ? n.name() : n.value()); }

 private:
  const char* begin_;
  std::size_t size_;
  std::vector<std::uint32_t> newlines_;
  bool usable_ = false;
};

// A text of the document as quoted in a message (long texts shortened).
std::string shown(std::string_view text) {
  constexpr std::size_t limit = 60;
  if (text.size() <= limit) return std::string(text);
  return std::string(text.substr(0, limit)) + "...";
}

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

bool is_blank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

bool is_comment(xml_node n) { return n.type() == pugi::node_element && std::strcmp(n.name(), "comment") == 0; }

// ============================================================================
// Reports
// ============================================================================

[[noreturn]] void xml_error(const std::string& file, const std::string& description) {
  out("*** XML parsing error if file ");
  out(file);
  out(": ");
  out(description);
  out("\n");
  std_out().flush();
  throw Exit_request(2);
}

[[noreturn]] void invalid_document(int verbosity, const std::string& description) {
  if (verbosity < 2) {
    out("*** Invalid AAXL document: it migth be due to: \n");
    out("*** \t (1) the header, which ougth to say where to find the aaxl schema, points to a wrong place. "
        "Have you set correctly set the AADL_SCHEMA_DIR environment variable?\n");
    out("*** \t (2) an aaxl unsupported entitier. Please send a report to the vorquel issue tracker.\n");
    out("*** \t (3) a bug in the osate aaxl generator (which ougth to generate schema conforming code).\n");
    out("*** use -v 2 for more information on this schema error.\n");
  } else {
    err("*** Invalid AAXL document: ");
    err(description);
    err("\n");
  }
  std_out().flush();
  std_err().flush();
  throw Exit_request(2);
}

// ============================================================================
// Checking the document against the accepted structure
// ============================================================================

// The first problem found, if any. XML problems (well-formedness) are
// reported as parsing errors, the others as an invalid document.
struct Problem {
  bool xml = false;
  std::string description;
};

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

// ============================================================================
// Mapping the checked document to the model
// ============================================================================

std::optional<std::string_view> attr(xml_node n, const char* name) {
  xml_attribute a = n.attribute(name);
  if (!a) return std::nullopt;
  return std::string_view(a.value());
}

std::string_view required_attr(xml_node n, const char* name) {
  auto a = attr(n, name);
  VQ_ASSERT(a.has_value(), std::string("missing attribute ") + name);
  return *a;
}

// Calls f on every child element but the comments, in document order.
template <class F>
void for_each_child(xml_node n, F f) {
  for (xml_node c = n.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && !is_comment(c)) f(c);
}

bool named(xml_node n, std::string_view name) { return name == n.name(); }

// The name conversions of one document, memoised: references repeat a lot
// (property definitions, units, classifiers), and equal texts then share one
// identifier. Keys point into the parsed text, which outlives the table.
class Names {
 public:
  // Name conversion: the last "[@name" reference of the text, or the text.
  const Ident& name(std::string_view text) { return convert(names_, text, aaxl_string_to_ident); }
  // Qualified conversion: the same name preceded by its package.
  const Ident& qualified(std::string_view text) { return convert(qualified_, text, aaxl_string_to_long_ident); }

  std::optional<Ident> opt_name(std::optional<std::string_view> text) {
    return text ? std::optional<Ident>(name(*text)) : std::nullopt;
  }
  std::optional<Ident> opt_qualified(std::optional<std::string_view> text) {
    return text ? std::optional<Ident>(qualified(*text)) : std::nullopt;
  }

 private:
  using Table = std::unordered_map<std::string_view, Ident>;
  static const Ident& convert(Table& table, std::string_view text, Ident (*f)(std::string_view)) {
    auto it = table.find(text);
    if (it == table.end()) it = table.emplace(text, f(text)).first;
    return it->second;
  }
  Table names_;
  Table qualified_;
};

// Parses every child element of n with parse(nm, child), in document order,
// into the end of `into`.
template <class T, class Parse>
void append_children(std::vector<T>& into, Names& nm, xml_node n, Parse parse) {
  for_each_child(n, [&](xml_node c) { into.push_back(parse(nm, c)); });
}

In_out direction_to_in_out_flag(std::optional<std::string_view> direction) {
  std::string_view d = direction.value_or("");
  if (d.empty() || d == "in") return In_out::In;
  if (d == "out") return In_out::Out;
  if (d == "in out") return In_out::InOut;
  internal_error("unexpected port direction \"" + std::string(d) + "\"");
}

Access_kind direction_to_access_kind(std::optional<std::string_view> direction) {
  std::string_view d = direction.value_or("");
  if (d.empty() || d == "provided") return Access_kind::Provided;
  if (d == "required") return Access_kind::Required;
  out("\"");
  out(d);
  out("\"");
  internal_error("unexpected access direction \"" + std::string(d) + "\"");
}

Connection_arrow string_to_connection_arrow(std::optional<std::string_view> timing) {
  if (!timing || *timing == "Immediate") return Connection_arrow::Immediate;
  if (*timing == "Delayed") return Connection_arrow::Delayed;
  throw Failure("*** aaxl error: \"" + std::string(*timing) + "\" instead of Delayed or Immediate.\n");
}

// A connection end: a feature of the sub-component or call named by the
// context, or of the enclosing component when there is no context.
Ident access_connection_string_to_ident(Names& nm, std::string_view end, std::optional<std::string_view> context) {
  return context ? connection_string_to_ident(*context, end) : nm.name(end);
}

Aaxl_bound parse_bound(xml_node n) {
  return Aaxl_bound{required_attr(n, "value"), attr(n, "unitLiteral")};
}

Property_value parse_propertyValue(Names& nm, xml_node n) {
  Aaxl_property_value v;
  v.type = required_attr(n, "xsi:type");
  v.value = attr(n, "value");
  v.unit_literal = attr(n, "unitLiteral");
  v.enum_literal = attr(n, "enumLiteral");
  v.reference_element = attr(n, "referenceElement");
  v.delta = attr(n, "delta");
  for_each_child(n, [&](xml_node c) {
    if (named(c, "minimum")) v.minimum = parse_bound(c);
    else if (named(c, "maximum")) v.maximum = parse_bound(c);
  });
  return parse_property_expression(v, [&nm](std::string_view text) { return nm.name(text); });
}

Property_association parse_propertyAssociation(Names& nm, xml_node n) {
  Property_association a{nm.name(required_attr(n, "propertyDefinition")), {}, nm.opt_name(attr(n, "appliesTo"))};
  for_each_child(n, [&](xml_node c) { a.values.push_back(parse_propertyValue(nm, c)); });
  return a;
}

// The associations of every "properties" child of an element.
std::vector<Property_association> properties_of(Names& nm, xml_node n) {
  std::vector<Property_association> props;
  for_each_child(n, [&](xml_node c) {
    if (named(c, "properties")) append_children(props, nm, c, parse_propertyAssociation);
  });
  return props;
}

Feature_kind feature_kind(Names& nm, xml_node n) {
  std::string_view e = n.name();
  auto direction = attr(n, "direction");
  if (e == "dataPort") return Feat_data_port{direction_to_in_out_flag(direction), nm.opt_qualified(attr(n, "dataClassifier"))};
  if (e == "eventDataPort") return Feat_event_data_port{direction_to_in_out_flag(direction), std::nullopt};
  if (e == "eventPort") return Feat_event_port{direction_to_in_out_flag(direction)};
  if (e == "parameter") return Feat_parameter{direction_to_in_out_flag(direction), nm.opt_qualified(attr(n, "dataClassifier"))};
  if (e == "portGroup") return Feat_port_group{nm.opt_qualified(attr(n, "portGroupType"))};
  if (e == "dataAccess")
    return Feat_subcomponent_access{direction_to_access_kind(direction), Category::Data,
                                    nm.opt_qualified(attr(n, "dataClassifier"))};
  if (e == "busAccess")
    return Feat_subcomponent_access{direction_to_access_kind(direction), Category::Bus,
                                    nm.opt_qualified(attr(n, "busClassifier"))};
  internal_error("unexpected feature <" + std::string(e) + ">");
}

Feature parse_feature(Names& nm, xml_node n) {
  Ident name = nm.name(required_attr(n, "name"));
  Feature_kind kind = feature_kind(nm, n);
  return Feature{std::move(name), std::move(kind), properties_of(nm, n)};
}

Subcomponent parse_subcomponent(Names& nm, xml_node n) {
  const auto* e = find_element(subcomponent_elements, n.name());
  VQ_ASSERT(e != nullptr, "unexpected sub-component element");
  // Sub-component names are as many as the sub-components and differ from
  // one another: converted without the table of shared names.
  return Subcomponent{aaxl_string_to_ident(required_attr(n, "name")), e->category,
                      nm.opt_qualified(attr(n, "classifier")), properties_of(nm, n)};
}

Connection parse_connection(Names& nm, xml_node n) {
  const auto* e = find_element(connection_elements, n.name());
  VQ_ASSERT(e != nullptr, "unexpected connection element");
  // The attributes in one pass (a connection has several, and there are as
  // many connections as threads); the first of a name counts, as for attr.
  std::optional<std::string_view> name_text, src_text, dst_text, src_context, dst_context, timing;
  for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view key = a.name();
    std::optional<std::string_view>* slot = key == "name"         ? &name_text
                                            : key == "src"        ? &src_text
                                            : key == "dst"        ? &dst_text
                                            : key == "srcContext" ? &src_context
                                            : key == "dstContext" ? &dst_context
                                            : key == "timing"     ? &timing
                                                                  : nullptr;
    if (slot && !*slot) *slot = std::string_view(a.value());
  }
  VQ_ASSERT(src_text.has_value(), std::string("missing attribute ") + "src");
  VQ_ASSERT(dst_text.has_value(), std::string("missing attribute ") + "dst");
  std::optional<Ident> name = nm.opt_name(name_text);
  Ident src = access_connection_string_to_ident(nm, *src_text, src_context);
  Ident dst = access_connection_string_to_ident(nm, *dst_text, dst_context);
  Connection_arrow arrow = string_to_connection_arrow(timing);
  return Connection{std::move(name), e->kind, std::move(src), arrow, std::move(dst), properties_of(nm, n)};
}

Call parse_call(Names& nm, xml_node n) {
  return Call{nm.name(required_attr(n, "name")), nm.qualified(required_attr(n, "classifier")), properties_of(nm, n)};
}

Call_sequence parse_callSequence(Names& nm, xml_node n) {
  Call_sequence s{std::nullopt, {}};
  append_children(s.calls, nm, n, parse_call);
  return s;
}

Component parse_component(Names& nm, xml_node n, const Component_element& e) {
  Component c{nm.name(required_attr(n, "name")), e.kind, e.category, std::nullopt, {}, std::nullopt, {}, {}, {}, {},
              false};
  // Flow specifications and flows do not change the model.
  for_each_child(n, [&](xml_node part) {
    std::string_view p = part.name();
    if (p == "features") append_children(c.features, nm, part, parse_feature);
    else if (p == "properties") append_children(c.properties, nm, part, parse_propertyAssociation);
    else if (p == "subcomponents") append_children(c.subcomponents, nm, part, parse_subcomponent);
    else if (p == "callSequences") append_children(c.call_sequences, nm, part, parse_callSequence);
    else if (p == "connections") append_children(c.connections, nm, part, parse_connection);
  });
  return c;
}

Port_group parse_portGroupType(Names& nm, xml_node n) {
  Port_group g{nm.name(required_attr(n, "name")), std::nullopt, {}, nm.opt_name(attr(n, "inverseOf")), false};
  for_each_child(n, [&](xml_node c) {
    if (named(c, "features")) append_children(g.features, nm, c, parse_feature);
  });
  return g;
}

Declaration parse_component_declaration(Names& nm, xml_node n) {
  if (named(n, "portGroupType")) return parse_portGroupType(nm, n);
  const auto* e = find_element(component_elements, n.name());
  VQ_ASSERT(e != nullptr, "unexpected declaration element");
  return parse_component(nm, n, *e);
}

std::vector<Declaration> parse_declarations(Names& nm, xml_node section) {
  std::vector<Declaration> decls;
  for_each_child(section, [&](xml_node c) { decls.push_back(parse_component_declaration(nm, c)); });
  return decls;
}

Package parse_package(Names& nm, xml_node n) {
  Package p{nm.name(required_attr(n, "name")), {}, {}};
  for_each_child(n, [&](xml_node section) {
    if (named(section, "aadlPublic")) p.public_part = parse_declarations(nm, section);
    else p.private_part = parse_declarations(nm, section);
  });
  return p;
}

// The packages of the document: the implicit package of the loose
// declarations (reverse document order) first, then the packages in
// reverse document order.
Model parse_root(xml_node root, const std::string& file_name) {
  Names nm;
  Model packages;
  std::vector<Declaration> loose;
  for_each_child(root, [&](xml_node c) {
    if (named(c, "aadlPackage")) packages.push_back(parse_package(nm, c));
    else loose.push_back(parse_component_declaration(nm, c));
  });
  std::reverse(packages.begin(), packages.end());
  if (!loose.empty()) {
    std::reverse(loose.begin(), loose.end());
    Ident implicit(std::filesystem::path(file_name).stem().string());
    packages.insert(packages.begin(), Package{std::move(implicit), std::move(loose), {}});
  }
  return packages;
}

// ============================================================================
// Reading and parsing
// ============================================================================

// No model comes near this size; a device that never ends (/dev/zero) or a
// runaway pipe would otherwise fill the memory.
constexpr std::size_t max_input_size = std::size_t{1} << 30;

}  // namespace

std::string read_whole_file(const std::string& file_name) {
  auto fail = [&](int error) {
    throw Failure("*** Cannot read " + file_name + ": " + std::strerror(error) + "\n");
  };
  // Opened without waiting: a named pipe that nobody writes to would block
  // the opening forever. The reads wait as usual, and such a pipe then reads
  // as an empty document.
  int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) fail(errno);
  if (int flags = ::fcntl(fd, F_GETFL); flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
    int error = errno;
    ::close(fd);
    fail(error);
  }
  struct stat st {};
  std::size_t expected = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0;
  auto too_large = [&] {
    ::close(fd);
    fail(EFBIG);
  };
  if (expected > max_input_size) too_large();
  // One byte more than the size: the read that finds the end of the file,
  // then the terminating null character the parser wants.
  std::string text(expected + 1, '\0');
  std::size_t length = 0;
  while (true) {
    if (length == text.size()) {
      if (length >= max_input_size) too_large();
      text.resize(text.size() * 2);
    }
    ssize_t got = ::read(fd, text.data() + length, text.size() - length);
    if (got < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      fail(error);
    }
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  ::close(fd);
  text.resize(length);
  return text;
}

namespace {

// Whether the text starts like a 16- or 32-bit encoded document, whose
// ASCII characters come with null bytes.
bool is_wide_encoding(std::string_view text) {
  if (text.size() < 2) return false;
  auto b0 = static_cast<unsigned char>(text[0]), b1 = static_cast<unsigned char>(text[1]);
  return b0 == 0 || b1 == 0 || (b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE);
}

// The encoding that the XML declaration names, in lower case ("" when the
// document has no declaration or names none).
std::string declared_encoding(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.substr(0, 5) != "<?xml") return "";
  text = text.substr(0, text.find("?>"));
  std::size_t at = text.find("encoding");
  if (at == std::string_view::npos) return "";
  text.remove_prefix(at + 8);
  auto skip_blanks = [&] {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
      text.remove_prefix(1);
  };
  skip_blanks();
  if (text.empty() || text.front() != '=') return "";
  text.remove_prefix(1);
  skip_blanks();
  if (text.empty() || (text.front() != '"' && text.front() != '\'')) return "";
  const char quote = text.front();
  text.remove_prefix(1);
  std::string name(text.substr(0, text.find(quote)));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

// Whether the parser reads the text as UTF-8: neither a 16- or 32-bit
// encoding nor declared Latin-1 (which the parser converts).
bool read_as_utf8(std::string_view text) {
  if (is_wide_encoding(text)) return false;
  const std::string e = declared_encoding(text);
  return e != "iso-8859-1" && e != "latin1";
}

// Offset of the first byte that does not start a well-formed UTF-8 sequence
// (no overlong forms, no surrogates, nothing past U+10FFFF), or npos.
std::size_t invalid_utf8_offset(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  auto cont = [&](std::size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
  for (std::size_t i = 0; i < n;) {
    // ASCII text, eight bytes at a time.
    std::uint64_t eight;
    while (i + sizeof eight <= n && (std::memcpy(&eight, p + i, sizeof eight), (eight & 0x8080808080808080u) == 0))
      i += sizeof eight;
    if (i == n) break;
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return i;
    }
    if (i + 1 >= n || p[i + 1] < lo || p[i + 1] > hi) return i;
    for (std::size_t k = 2; k < len; ++k)
      if (!cont(i + k)) return i;
    i += len;
  }
  return std::string_view::npos;
}

}  // namespace

Model parse_aadl(int verbosity, const std::string& file_name) {
  return parse_aadl_text(verbosity, file_name, read_whole_file(file_name));
}

Model parse_aadl_text(int verbosity, const std::string& file_name, std::string text) {
  // The explicit terminator keeps the parser from dropping the last
  // character of trailing text.
  const std::size_t length = text.size();
  text.push_back('\0');
  const Positions pos(std::string_view(text.data(), length));
  if (!is_wide_encoding(text))
    if (const void* nul = std::memchr(text.data(), '\0', length))
      xml_error(file_name, pos.at(static_cast<const char*>(nul)) + "null character, which XML does not allow");

  // XML texts are UTF-8 unless they say otherwise; other bytes would pass
  // the parser and end up in the generated names.
  if (read_as_utf8(text))
    if (std::size_t bad = invalid_utf8_offset(std::string_view(text.data(), length));
        bad != std::string_view::npos)
      xml_error(file_name, pos.at_offset(bad) + "invalid UTF-8 byte sequence");

  pugi::xml_document doc;
  pugi::xml_parse_result result = doc.load_buffer_inplace(
      text.data(), text.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_auto);
  if (!result) {
    std::string where = result.encoding == pugi::encoding_utf8
                            ? pos.at_offset(static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)))
                            : std::string();
    xml_error(file_name, where + result.description());
  }

  // Exactly one root element, and no text beside it.
  xml_node root;
  for (xml_node c = doc.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
      if (!is_blank(c.value())) xml_error(file_name, pos.at(c) + "text outside the root element");
    } else if (c.type() == pugi::node_element) {
      if (root) xml_error(file_name, pos.at(c) + "a second root element <" + shown(c.name()) + ">");
      root = c;
    }
  }
  if (!root) xml_error(file_name, "No document element found");
  if (is_comment(root)) invalid_document(verbosity, "the document holds nothing but a comment element");

  if (auto problem = Checker(pos, root).check()) {
    if (problem->xml) xml_error(file_name, problem->description);
    invalid_document(verbosity, problem->description);
  }
  return parse_root(root, file_name);
}

}  // namespace vorquel
