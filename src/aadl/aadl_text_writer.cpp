#include "aadl/aadl_text_writer.hpp"

#include <charconv>
#include <cmath>

namespace vorquel {

namespace {

// A name as AADL writes it: parts joined by "::" and ".".
std::string name(const Ident& id) { return aadl_name(id); }

bool has_scope(const Ident& id) {
  for (std::size_t i = 0; i + 1 < id.part_count(); ++i)
    if (id.sep(i) == Ident::Sep::Scope) return true;
  return false;
}

const char* category_words(Category c) {
  switch (c) {
    case Category::Data: return "data";
    case Category::Subprogram: return "subprogram";
    case Category::Thread: return "thread";
    case Category::Thread_group: return "thread group";
    case Category::Process: return "process";
    case Category::Processor: return "processor";
    case Category::Memory: return "memory";
    case Category::Bus: return "bus";
    case Category::Device: return "device";
    case Category::System: return "system";
    case Category::Virtual_processor: return "virtual processor";
  }
  return "system";
}

const char* direction(In_out d) { return d == In_out::In ? "in" : d == In_out::Out ? "out" : "in out"; }

class Writer {
 public:
  std::string text;

  void model(const Model& m) {
    // The reader lists a file's packages last first.
    for (auto it = m.rbegin(); it != m.rend(); ++it) package(*it);
  }

 private:
  void line(int indent, const std::string& s) {
    text.append(static_cast<std::size_t>(indent) * 2, ' ');
    text += s;
    text += '\n';
  }

  void package(const Package& p) {
    const std::string n = name(p.name);
    line(0, "package " + n);
    if (!p.public_part.empty() || p.private_part.empty()) {
      line(0, "public");
      for (const auto& d : p.public_part) declaration(d);
    }
    if (!p.private_part.empty()) {
      line(0, "private");
      for (const auto& d : p.private_part) declaration(d);
    }
    line(0, "end " + n + ";");
    text += '\n';
  }

  void declaration(const Declaration& d) {
    text += '\n';
    if (const auto* g = std::get_if<Port_group>(&d)) {
      line(1, "feature group " + name(g->name));
      features(g->features);
      if (g->inverse) line(1, "inverse of " + name(*g->inverse));
      line(1, "end " + name(g->name) + ";");
      return;
    }
    const auto& c = std::get<Component>(d);
    const bool impl = c.kind == Component_kind::Implementation;
    line(1, std::string(category_words(c.category)) + (impl ? " implementation " : " ") + name(c.name));
    features(c.features);
    if (!c.subcomponents.empty()) {
      line(1, "subcomponents");
      for (const auto& s : c.subcomponents)
        line(2, name(s.name) + " : " + category_words(s.category) + opt_name(s.classifier) + block(s.properties) +
                    ";");
    }
    if (!c.call_sequences.empty()) {
      line(1, "calls");
      int k = 0;
      for (const auto& seq : c.call_sequences) {
        line(2, "seq" + std::to_string(++k) + " : {");
        for (const auto& call : seq.calls)
          line(3, name(call.name) + " : subprogram " + name(call.called) + block(call.properties) + ";");
        line(2, "};");
      }
    }
    if (!c.connections.empty()) {
      line(1, "connections");
      for (const auto& con : c.connections) connection(con);
    }
    properties(1, c.properties);
    line(1, "end " + name(c.name) + ";");
  }

  static std::string opt_name(const std::optional<Ident>& id) {
    std::string s;
    if (id) s.append(1, ' ').append(name(*id));
    return s;
  }

  void features(const std::vector<Feature>& fs) {
    if (fs.empty()) return;
    line(1, "features");
    for (const auto& f : fs) line(2, name(f.name) + " : " + feature_kind(f.kind) + block(f.properties) + ";");
  }

  static std::string feature_kind(const Feature_kind& k) {
    struct {
      std::string operator()(const Feat_data_port& f) const {
        return std::string(direction(f.direction)) + " data port" + opt_name(f.classifier);
      }
      std::string operator()(const Feat_event_data_port& f) const {
        return std::string(direction(f.direction)) + " event data port" + opt_name(f.classifier);
      }
      std::string operator()(const Feat_event_port& f) const { return std::string(direction(f.direction)) + " event port"; }
      std::string operator()(const Feat_port_group& f) const { return "feature group" + opt_name(f.classifier); }
      std::string operator()(const Feat_server_subprogram_spec&) const { return "server subprogram"; }
      std::string operator()(const Feat_data_subprogram_spec&) const { return "subprogram"; }
      std::string operator()(const Feat_subcomponent_access& f) const {
        return std::string(f.access == Access_kind::Required ? "requires " : "provides ") +
               category_words(f.category) + " access" + opt_name(f.classifier);
      }
      std::string operator()(const Feat_parameter& f) const {
        return std::string(direction(f.direction)) + " parameter" + opt_name(f.classifier);
      }
    } visitor;
    return std::visit(visitor, k);
  }

  void connection(const Connection& c) {
    const char* kind = "port";
    switch (c.kind) {
      case Connection_kind::Data_connection:
      case Connection_kind::Event_connection:
      case Connection_kind::Event_data_connection: kind = "port"; break;
      case Connection_kind::Port_group_connection: kind = "feature group"; break;
      case Connection_kind::Parameter_connection: kind = "parameter"; break;
      case Connection_kind::Bus_access_connection: kind = "bus access"; break;
      case Connection_kind::Data_access_connection: kind = "data access"; break;
    }
    std::string s = c.name ? name(*c.name) + " : " : "";
    s += kind;
    s.append(1, ' ').append(name(c.src)).append(" -> ").append(name(c.dst));
    // The arrow is the connection's Timing.
    if (c.arrow == Connection_arrow::Delayed) {
      std::string props = block(c.properties);
      s += " { Timing => delayed;";
      s += props.empty() ? std::string(" }") : props.substr(2);
    } else {
      s += block(c.properties);
    }
    line(2, s + ";");
  }

  std::string block(const std::vector<Property_association>& props) {
    if (props.empty()) return "";
    std::string s = " {";
    for (const auto& a : props) s.append(1, ' ').append(association(a));
    return s + " }";
  }

  void properties(int indent, const std::vector<Property_association>& props) {
    if (props.empty()) return;
    line(indent, "properties");
    for (const auto& a : props) line(indent + 1, association(a));
  }

  static std::string association(const Property_association& a) {
    std::string s = name(a.name) + " => ";
    if (a.values.size() == 1) {
      s += value(a.values[0]);
    } else {
      s += "(";
      for (std::size_t i = 0; i < a.values.size(); ++i) s += (i ? ", " : "") + value(a.values[i]);
      s += ")";
    }
    if (a.applies_to) s += " applies to " + name(*a.applies_to);
    return s + ";";
  }

  static std::string unit(const std::optional<Ident>& u) { return opt_name(u); }

  // Reals keep every digit, with a point so that they read as reals.
  static std::string real(double x) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x));
    std::string s(buf, r.ptr);
    std::size_t e = s.find('e');
    std::string mantissa = s.substr(0, e), exponent = e == std::string::npos ? "" : s.substr(e);
    if (mantissa.find('.') == std::string::npos) mantissa += ".0";
    if (!exponent.empty() && exponent[1] == '+') exponent.erase(1, 1);
    return (std::signbit(x) ? "-" : "") + mantissa + exponent;
  }

  static std::string value(const Property_value& v) {
    struct {
      std::string operator()(const Pv_expression& e) const {
        const Property_constant& c = e.expression.constant;
        if (const auto* b = std::get_if<C_bool>(&c)) return b->value ? "true" : "false";
        if (const auto* i = std::get_if<C_int>(&c)) return std::to_string(i->value) + unit(i->unit);
        if (const auto* r = std::get_if<C_real>(&c)) return real(r->value) + unit(r->unit);
        std::string s = "\"";
        for (char ch : std::get<C_string>(c).value) {
          if (ch == '\n') s += "\\n";
          else if (ch == '\t') s += "\\t";
          else if (ch == '\\') s += "\\\\";
          else if (ch == '"') s += "\"\"";
          else s += ch;
        }
        return s + "\"";
      }
      std::string operator()(const Pv_int_range& r) const {
        return std::to_string(r.min.value) + unit(r.min.unit) + " .. " + std::to_string(r.max.value) +
               unit(r.max.unit) + (r.delta ? " delta " + std::to_string(*r.delta) : "");
      }
      std::string operator()(const Pv_real_range& r) const {
        return real(r.min.value) + unit(r.min.unit) + " .. " + real(r.max.value) + unit(r.max.unit) +
               (r.delta ? " delta " + real(*r.delta) : "");
      }
      std::string operator()(const Pv_enum& e) const { return name(e.literal); }
      std::string operator()(const Pv_reference& r) const {
        return (has_scope(r.element) ? "classifier (" : "reference (") + name(r.element) + ")";
      }
    } visitor;
    return std::visit(visitor, v);
  }
};

}  // namespace

std::string model_to_aadl_text(const Model& model) {
  Writer w;
  w.model(model);
  return w.text;
}

}  // namespace vorquel
