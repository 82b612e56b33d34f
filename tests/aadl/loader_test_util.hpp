// Helpers for the reader and property tests: running the reader in process
// with standard output and standard error captured, small documents, and a
// compact text form of model values for comparisons.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <variant>

#include "aadl/aadl_ast.hpp"
#include "aadl/aadl_loader.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "test_util.hpp"

namespace vorquel::testing {

// How a call ended.
enum class Ending { Ok, Exit, Failure, Internal, Not_found, Misc };

struct Outcome {
  Ending ending = Ending::Ok;
  std::string message;  // Failure message or internal error description
  std::string out;      // standard output written meanwhile
  std::string err;      // standard error written meanwhile
};

// Runs f with standard output and standard error captured, catching the
// program's error kinds.
inline Outcome capture(const std::function<void()>& f) {
  std_out().flush();
  std_err().flush();
  std::fflush(stdout);
  std::fflush(stderr);
  std::string dir = make_temp_dir("capture");
  int saved_out = dup(1), saved_err = dup(2);
  int fo = open((dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int fe = open((dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fo, 1);
  dup2(fe, 2);
  close(fo);
  close(fe);
  Outcome o;
  try {
    f();
  } catch (const Fatal& e) {
    // A user error that ends the report itself is written as the driver
    // writes it; the others are kept as their message.
    const Diagnostic& d = e.diagnostic;
    switch (d.kind) {
      case Diagnostic_kind::User:
        o.ending = d.aborting ? Ending::Failure : Ending::Exit;
        o.message = d.aborting ? d.text : "2";
        if (!d.aborting) report(d);
        break;
      case Diagnostic_kind::Internal:
        o.ending = is_not_found(d) ? Ending::Not_found : Ending::Internal;
        if (!is_not_found(d)) o.message = d.text;
        break;
      case Diagnostic_kind::Unsupported:
        o.ending = Ending::Misc;
        break;
      case Diagnostic_kind::Warning:  // never thrown
        o.ending = Ending::Internal;
        break;
    }
  }
  std_out().flush();
  std_err().flush();
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
  o.out = read_file(dir + "/out");
  o.err = read_file(dir + "/err");
  std::remove((dir + "/out").c_str());
  std::remove((dir + "/err").c_str());
  rmdir(dir.c_str());
  return o;
}

struct Loaded : Outcome {
  Model model;
};

inline Loaded load_text(const std::string& text, int verbosity = 0, const std::string& file = "t.aaxl") {
  Loaded l;
  static_cast<Outcome&>(l) = capture([&] { l.model = parse_aadl_text(verbosity, file, text); });
  return l;
}

inline const std::string aaxl_header =
    "<?xml version=\"1.0\" encoding=\"ASCII\"?>\n"
    "<core:AadlSpec xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:core=\"/tmp/aadl-schema/core\" "
    "xmlns:property=\"/tmp/aadl-schema/property\" name=\"t\">\n";

// A document with the usual header around the body.
inline std::string aaxl_doc(const std::string& body) { return aaxl_header + body + "\n</core:AadlSpec>\n"; }
// A document whose package K holds the body in its public section.
inline std::string aaxl_public(const std::string& body) {
  return aaxl_doc("<aadlPackage name=\"K\"><aadlPublic>\n" + body + "\n</aadlPublic></aadlPackage>");
}
// Reference to a declaration of package K: kind is the element name.
inline std::string aaxl_ref(const std::string& kind, const std::string& name) {
  return "/aadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/" + kind + "[@name=" + name + "]";
}

// ---- compact text forms: identifiers keep their structure ("K::P.i") --------

inline std::string show(const Ident& i) {
  std::string s = i.parts()[0];
  for (std::size_t k = 1; k < i.parts().size(); ++k)
    s += (i.seps()[k - 1] == Ident::Sep::Dot ? "." : "::") + i.parts()[k];
  return s;
}

inline std::string show_opt(const std::optional<Ident>& i) { return i ? show(*i) : "-"; }

inline std::string show_number(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

inline std::string show(const Property_value& v) {
  struct {
    std::string operator()(const Pv_expression& e) const {
      return std::visit(
          [](const auto& c) -> std::string {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, C_bool>) return c.value ? "bool true" : "bool false";
            if constexpr (std::is_same_v<T, C_int>) return "int " + std::to_string(c.value) + " " + show_opt(c.unit);
            if constexpr (std::is_same_v<T, C_real>) return "real " + show_number(c.value) + " " + show_opt(c.unit);
            if constexpr (std::is_same_v<T, C_string>) return "string " + c.value;
          },
          e.expression.constant);
    }
    std::string operator()(const Pv_int_range& r) const {
      return "int_range " + std::to_string(r.min.value) + " " + show_opt(r.min.unit) + " .. " +
             std::to_string(r.max.value) + " " + show_opt(r.max.unit) +
             (r.delta ? " delta " + std::to_string(*r.delta) : "");
    }
    std::string operator()(const Pv_real_range& r) const {
      return "real_range " + show_number(r.min.value) + " " + show_opt(r.min.unit) + " .. " +
             show_number(r.max.value) + " " + show_opt(r.max.unit) +
             (r.delta ? " delta " + show_number(*r.delta) : "");
    }
    std::string operator()(const Pv_enum& e) const { return "enum " + show(e.literal); }
    std::string operator()(const Pv_reference& r) const { return "ref " + show(r.element); }
  } visitor;
  return std::visit(visitor, v);
}

inline std::string show(const Property_association& a) {
  std::string s = show(a.name) + (a.applies_to ? "@" + show(*a.applies_to) : "") + " =";
  for (const auto& v : a.values) s += " [" + show(v) + "]";
  return s;
}

inline std::string show(const Feature& f);
inline std::string show(const Subcomponent& s);
inline std::string show(const Connection& c);
inline std::string show(const Call& c);
inline std::string show(const Call_sequence& s);

template <class T>
std::string show_list(const std::vector<T>& l) {
  std::string s;
  for (const auto& x : l) {
    if (!s.empty()) s += "; ";
    s += show(x);
  }
  return s;
}

inline const char* show(In_out d) { return d == In_out::In ? "in" : d == In_out::Out ? "out" : "inout"; }

inline std::string show(const Feature& f) {
  struct {
    std::string operator()(const Feat_data_port& k) const { return std::string("data_port ") + show(k.direction) + " " + show_opt(k.classifier); }
    std::string operator()(const Feat_event_data_port& k) const { return std::string("event_data_port ") + show(k.direction) + " " + show_opt(k.classifier); }
    std::string operator()(const Feat_event_port& k) const { return std::string("event_port ") + show(k.direction); }
    std::string operator()(const Feat_port_group& k) const { return "port_group " + show_opt(k.classifier); }
    std::string operator()(const Feat_server_subprogram_spec&) const { return "server_subprogram"; }
    std::string operator()(const Feat_data_subprogram_spec&) const { return "data_subprogram"; }
    std::string operator()(const Feat_subcomponent_access& k) const {
      return std::string("access ") + (k.access == Access_kind::Provided ? "provided " : "required ") +
             category_to_string(k.category) + " " + show_opt(k.classifier);
    }
    std::string operator()(const Feat_parameter& k) const { return std::string("parameter ") + show(k.direction) + " " + show_opt(k.classifier); }
  } visitor;
  std::string s = show(f.name) + ": " + std::visit(visitor, f.kind);
  if (!f.properties.empty()) s += " {" + show_list(f.properties) + "}";
  return s;
}

inline std::string show(const Subcomponent& s) {
  std::string r = show(s.name) + ": " + category_to_string(s.category) + " " + show_opt(s.classifier);
  if (!s.properties.empty()) r += " {" + show_list(s.properties) + "}";
  return r;
}

inline std::string show(const Connection& c) {
  static const char* kinds[] = {"data", "event", "event_data", "port_group", "parameter", "bus_access", "data_access"};
  std::string s = show_opt(c.name) + ": " + kinds[static_cast<int>(c.kind)] + " " + show(c.src) +
                  (c.arrow == Connection_arrow::Immediate ? " -> " : " ->> ") + show(c.dst);
  if (!c.properties.empty()) s += " {" + show_list(c.properties) + "}";
  return s;
}

inline std::string show(const Call& c) {
  std::string s = show(c.name) + ": " + show(c.called);
  if (!c.properties.empty()) s += " {" + show_list(c.properties) + "}";
  return s;
}

inline std::string show(const Call_sequence& s) {
  const std::string calls = show_list(s.calls);
  return "(" + calls + ")";
}

inline std::string show(const Declaration& d) {
  if (const auto* g = std::get_if<Port_group>(&d)) {
    std::string s = "port group " + show(g->name);
    if (g->inverse) s += " inverse of " + show(*g->inverse);
    if (!g->features.empty()) s += " features [" + show_list(g->features) + "]";
    return s;
  }
  const auto& c = std::get<Component>(d);
  std::string s = std::string(category_to_string(c.category)) +
                  (c.kind == Component_kind::Type ? " type " : " impl ") + show(c.name);
  if (c.extends || c.refines || c.normalized) s += " (extends/refines/normalized set!)";
  if (!c.features.empty()) s += " features [" + show_list(c.features) + "]";
  if (!c.subcomponents.empty()) s += " subcomponents [" + show_list(c.subcomponents) + "]";
  if (!c.call_sequences.empty()) s += " calls [" + show_list(c.call_sequences) + "]";
  if (!c.connections.empty()) s += " connections [" + show_list(c.connections) + "]";
  if (!c.properties.empty()) s += " properties [" + show_list(c.properties) + "]";
  return s;
}

inline std::string show(const Package& p) {
  std::string s = "package " + show(p.name) + "\n";
  for (const auto& d : p.public_part) s += "  public " + show(d) + "\n";
  for (const auto& d : p.private_part) s += "  private " + show(d) + "\n";
  return s;
}

inline std::string show(const Model& m) {
  std::string s;
  for (const auto& p : m) s += show(p);
  return s;
}

}  // namespace vorquel::testing
