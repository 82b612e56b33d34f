#include "aadl/aadl_loader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/ident.hpp"
#include "aadl/aaxl_checker.hpp"
#include "aadl/aaxl_elements.hpp"
#include "aadl/property.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

namespace vorquel {

namespace {

using namespace aaxl;

// ============================================================================
// Reports
// ============================================================================

// The location in a description that starts with "line L, column C: ",
// and the rest of the description.
std::pair<Source_location, std::string> split_location(const std::string& file, const std::string& description) {
  Source_location at{file, 0, 0};
  int line = 0, column = 0, used = 0;
  if (std::sscanf(description.c_str(), "line %d, column %d: %n", &line, &column, &used) == 2 && used > 0) {
    at.line = line;
    at.column = column;
    return {at, description.substr(static_cast<std::size_t>(used))};
  }
  return {at, description};
}

[[noreturn]] void stop(std::string text, bool on_standard_error, const std::string& file,
                       const std::string& description, const std::string& what) {
  Diagnostic d = make_diagnostic(Diagnostic_kind::User, std::move(text));
  d.on_standard_error = on_standard_error;
  d.aborting = false;
  auto [at, rest] = split_location(file, description);
  d.location = std::move(at);
  d.message = what + rest;
  throw Fatal(std::move(d));
}

[[noreturn]] void xml_error(const std::string& file, const std::string& description) {
  stop("*** XML parsing error if file " + file + ": " + description + "\n", false, file, description,
       "malformed XML: ");
}

// The precise cause goes to the located line at any verbosity.
[[noreturn]] void invalid_document(int verbosity, const std::string& file, const std::string& description) {
  if (verbosity < 2)
    stop(
        "*** Invalid AAXL document: it migth be due to: \n"
        "*** \t (1) the header, which ougth to say where to find the aaxl schema, points to a wrong place. "
        "Have you set correctly set the AADL_SCHEMA_DIR environment variable?\n"
        "*** \t (2) an aaxl unsupported entitier. Please send a report to the vorquel issue tracker.\n"
        "*** \t (3) a bug in the osate aaxl generator (which ougth to generate schema conforming code).\n"
        "*** use -v 2 for more information on this schema error.\n",
        false, file, description, "invalid AAXL document: ");
  stop("*** Invalid AAXL document: " + description + "\n", true, file, description, "invalid AAXL document: ");
}

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
  Names(const Positions& positions, std::shared_ptr<const std::string> file)
      : positions_(positions), file_(std::move(file)) {}

  // Where an element starts (its name, just after "<").
  Source_pos at(xml_node n) const {
    auto [line, column] = positions_.line_column(n.name());
    return Source_pos{file_, line, column};
  }
  const std::shared_ptr<const std::string>& file() const { return file_; }

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
  const Positions& positions_;
  std::shared_ptr<const std::string> file_;
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

Connection_arrow string_to_connection_arrow(std::optional<std::string_view> timing, const Source_pos& at) {
  if (!timing || *timing == "Immediate") return Connection_arrow::Immediate;
  if (*timing == "Delayed") return Connection_arrow::Delayed;
  fail_located("*** aaxl error: \"" + std::string(*timing) + "\" instead of Delayed or Immediate.\n", location_of(at),
               "connection timing \"" + std::string(*timing) + "\": write Immediate or Delayed");
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
  Property_association a{nm.name(required_attr(n, "propertyDefinition")), {}, nm.opt_name(attr(n, "appliesTo")),
                         nm.at(n)};
  for_each_child(n, [&](xml_node c) {
    try {
      a.values.push_back(parse_propertyValue(nm, c));
    } catch (const Fatal& f) {
      // An unreadable value: located at its element, naming the property.
      if (f.diagnostic.location || f.diagnostic.kind != Diagnostic_kind::User) throw;
      fail_at(location_of(nm.at(c)), "property " + aadl_name(a.name) + ": " + f.diagnostic.message);
    }
  });
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
  return Feature{std::move(name), std::move(kind), properties_of(nm, n), nm.at(n)};
}

Subcomponent parse_subcomponent(Names& nm, xml_node n) {
  const auto* e = find_element(subcomponent_elements, n.name());
  VQ_ASSERT(e != nullptr, "unexpected sub-component element");
  // Sub-component names are as many as the sub-components and differ from
  // one another: converted without the table of shared names.
  return Subcomponent{aaxl_string_to_ident(required_attr(n, "name")), e->category,
                      nm.opt_qualified(attr(n, "classifier")), properties_of(nm, n), nm.at(n)};
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
  Connection_arrow arrow = string_to_connection_arrow(timing, nm.at(n));
  return Connection{std::move(name), e->kind, std::move(src), arrow, std::move(dst), properties_of(nm, n), nm.at(n)};
}

Call parse_call(Names& nm, xml_node n) {
  return Call{nm.name(required_attr(n, "name")), nm.qualified(required_attr(n, "classifier")), properties_of(nm, n),
              nm.at(n)};
}

Call_sequence parse_callSequence(Names& nm, xml_node n) {
  Call_sequence s{std::nullopt, {}};
  append_children(s.calls, nm, n, parse_call);
  return s;
}

Component parse_component(Names& nm, xml_node n, const Component_element& e) {
  Component c{nm.name(required_attr(n, "name")), e.kind, e.category, std::nullopt, {}, std::nullopt, {}, {}, {}, {},
              false, nm.at(n)};
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
  Port_group g{nm.name(required_attr(n, "name")), std::nullopt, {}, nm.opt_name(attr(n, "inverseOf")), false, nm.at(n)};
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
Model parse_root(xml_node root, const std::string& file_name, const Positions& pos) {
  Names nm(pos, std::make_shared<const std::string>(file_name));
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
    fail_located("*** Cannot read " + file_name + ": " + std::strerror(error) + "\n", Source_location{file_name, 0, 0},
                 std::string("cannot read the file: ") + std::strerror(error));
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
  if (is_comment(root)) invalid_document(verbosity, file_name, "the document holds nothing but a comment element");

  if (auto problem = check_document(pos, root)) {
    if (problem->xml) xml_error(file_name, problem->description);
    invalid_document(verbosity, file_name, problem->description);
  }
  return parse_root(root, file_name, pos);
}

}  // namespace vorquel
