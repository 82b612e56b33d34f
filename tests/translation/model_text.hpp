// Helpers for the translation tests: small AAXL documents written in a few
// lines, loading them into an environment, running a stage while capturing
// what it writes, and a one-line-per-item dump of nodes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "env/aadl2aadl.hpp"
#include "aadl/aadl_loader.hpp"
#include "env/env.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"
#include "sync/sched_info.hpp"
#include "translation/vorquel.hpp"

namespace vorquel::model_text {

// Every classifier lives in package K of the AAXL text m.
inline std::string ref(const std::string& element, const std::string& name) {
  return "/aadlSpec[@name=m]/aadlPackage[@name=K]/aadlPublic/" + element + "[@name=" + name + "]";
}

inline std::string property_ref(const std::string& name) {
  return "/aadlSpec[@name=AADL_Properties]/propertySet[@name=AADL_Properties]/propertyDefinition[@name=" + name + "]";
}

inline std::string int_prop(const std::string& name, const std::string& value) {
  return "<propertyAssociation propertyDefinition=\"" + property_ref(name) +
         "\"><propertyValue xsi:type=\"property:IntegerValue\" value=\"" + value + "\"/></propertyAssociation>";
}

inline std::string enum_prop(const std::string& name, const std::string& literal) {
  return "<propertyAssociation propertyDefinition=\"" + property_ref(name) +
         "\"><propertyValue xsi:type=\"property:EnumValue\" enumLiteral=\"/aadlSpec[@name=AADL_Properties]/"
         "propertySet[@name=AADL_Properties]/propertyType[@name=T]/enumLiteral[@name=" +
         literal + "]\"/></propertyAssociation>";
}

inline std::string range_prop(const std::string& name, const std::string& lo, const std::string& hi) {
  return "<propertyAssociation propertyDefinition=\"" + property_ref(name) +
         "\"><propertyValue xsi:type=\"property:IntegerRangeValue\"><minimum value=\"" + lo + "\" valueString=\"" +
         lo + "\"/><maximum value=\"" + hi + "\" valueString=\"" + hi +
         "\"/></propertyValue></propertyAssociation>";
}

inline std::string properties(const std::string& associations) {
  return associations.empty() ? "" : "<properties>" + associations + "</properties>";
}

// Dispatch protocol, period and execution time of a thread ("" leaves one out).
inline std::string timing(const std::string& period = "10", const std::string& lo = "1", const std::string& hi = "3",
                          const std::string& protocol = "Periodic") {
  std::string p = protocol.empty() ? "" : enum_prop("Dispatch_Protocol", protocol);
  if (!period.empty()) p += int_prop("Period", period);
  if (!lo.empty()) p += range_prop("Compute_Execution_Time", lo, hi);
  return p;
}

// Features. The data classifier is a data type of package K.
inline std::string port(const std::string& element, const std::string& name, const std::string& direction,
                        const std::string& type = "int") {
  std::string s = "<" + element + " name=\"" + name + "\"";
  if (!direction.empty()) s += " direction=\"" + direction + "\"";
  if (!type.empty()) s += " dataClassifier=\"" + ref("dataType", type) + "\"";
  return s + "/>";
}
inline std::string inp(const std::string& name, const std::string& type = "int") {
  return port("dataPort", name, "in", type);
}
inline std::string outp(const std::string& name, const std::string& type = "int") {
  return port("dataPort", name, "out", type);
}
inline std::string event(const std::string& name, const std::string& direction) {
  return "<eventPort name=\"" + name + "\" direction=\"" + direction + "\"/>";
}
// A required data access with the given access mode.
inline std::string access(const std::string& name, const std::string& mode, const std::string& type = "int") {
  return "<dataAccess name=\"" + name + "\" direction=\"required\" dataClassifier=\"" + ref("dataType", type) +
         "\">" + properties(enum_prop("Required_Access", mode)) + "</dataAccess>";
}
inline std::string group(const std::string& name, const std::string& group_type) {
  return "<portGroup name=\"" + name + "\" portGroupType=\"" + ref("portGroupType", group_type) + "\"/>";
}

// Declarations.
inline std::string type(const std::string& category, const std::string& name, const std::string& features = "",
                        const std::string& props = "") {
  std::string body;
  if (!features.empty()) body += "<features>" + features + "</features>";
  body += properties(props);
  return "<" + category + "Type name=\"" + name + "\">" + body + "</" + category + "Type>";
}
inline std::string thread(const std::string& name, const std::string& features,
                          const std::string& props = timing()) {
  return type("thread", name, features, props);
}

// "x" is a feature of the enclosing component, "t1.x" the feature x of the
// sub-component (or call) t1.
inline std::string end(const std::string& which, const std::string& e) {
  auto dot = e.find('.');
  if (dot == std::string::npos) return " " + which + "=\"" + ref("features", e) + "\"";
  return " " + which + "=\"/x[@name=" + e.substr(dot + 1) + "]\" " + which + "Context=\"" +
         ref("processImpl", "Z.i") + "/subcomponents/threadSubcomponent[@name=" + e.substr(0, dot) + "]\"";
}
inline std::string conn(const std::string& kind, const std::string& src, const std::string& dst,
                        const std::string& timing_attr = "") {
  std::string s = "<" + kind + "Connection" + end("src", src) + end("dst", dst);
  if (!timing_attr.empty()) s += " timing=\"" + timing_attr + "\"";
  return s + "/>";
}
inline std::string data_conn(const std::string& src, const std::string& dst, const std::string& t = "") {
  return conn("data", src, dst, t);
}

inline std::string sub(const std::string& category, const std::string& name, const std::string& classifier_element,
                       const std::string& classifier) {
  return "<" + category + "Subcomponent name=\"" + name + "\" classifier=\"" + ref(classifier_element, classifier) +
         "\"/>";
}

// An implementation "Name.impl" of the type "Name".
inline std::string impl(const std::string& category, const std::string& name, const std::string& subs,
                        const std::string& conns = "", const std::string& props = "",
                        const std::string& calls = "") {
  std::string type_name = name.substr(0, name.find('.'));
  std::string body;
  if (!subs.empty()) body += "<subcomponents>" + subs + "</subcomponents>";
  body += calls;
  if (!conns.empty()) body += "<connections>" + conns + "</connections>";
  body += properties(props);
  return "<" + category + "Impl name=\"" + name + "\" compType=\"" + ref(category + "Type", type_name) + "\">" +
         body + "</" + category + "Impl>";
}

// One call sequence calling the given subprogram types, "name:Type" each.
inline std::string calls(const std::vector<std::string>& named_calls) {
  std::string s = "<callSequences><callSequence>";
  for (const auto& c : named_calls) {
    auto colon = c.find(':');
    s += "<call name=\"" + c.substr(0, colon) + "\" classifier=\"" + ref("subprogramType", c.substr(colon + 1)) +
         "\"/>";
  }
  return s + "</callSequence></callSequences>";
}

inline std::string document(const std::string& declarations) {
  return "<?xml version=\"1.0\" encoding=\"ASCII\"?>\n"
         "<core:AadlSpec xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:core=\"/tmp/aadl-schema/core\" "
         "xmlns:property=\"/tmp/aadl-schema/property\" name=\"m\">"
         "<aadlPackage name=\"K\"><aadlPublic><dataType name=\"int\"/>" +
         declarations + "</aadlPublic></aadlPackage></core:AadlSpec>\n";
}

inline Env load(const std::string& declarations) {
  Env env;
  for (const auto& p : parse_aadl_text(0, "m.aaxl", document(declarations))) env = normalize_package(env, p);
  return env;
}

inline Ident id(const std::string& text) { return of_string(text); }

// What a stage wrote and how it stopped. A fatal error is reported as the
// driver reports it.
struct Outcome {
  std::string out;
  std::string err;
  std::string stop;  // "" (finished), "exit 2", "not yet implemented", "internal", or what()
  std::string message;  // the text of a user or internal error
};

template <class F>
Outcome capture(F f) {
  std_out().flush();
  std_err().flush();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Outcome r;
  try {
    f();
  } catch (const Fatal& e) {
    const Diagnostic& d = e.diagnostic;
    r.stop = d.kind == Diagnostic_kind::User          ? "exit 2"
             : d.kind == Diagnostic_kind::Unsupported ? "not yet implemented"
                                                      : "internal";
    if (d.kind != Diagnostic_kind::Unsupported) r.message = d.text;
    report(d);
  } catch (const std::exception& e) {
    r.stop = e.what();
  }
  std_out().flush();
  std_err().flush();
  r.out = ::testing::internal::GetCapturedStdout();
  r.err = ::testing::internal::GetCapturedStderr();
  return r;
}

// ---- dump ------------------------------------------------------------------------

inline std::string dump(const Type_expression& t) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) return n->name.str();
  std::string s = "{";
  for (const auto& f : as_record(t)->fields) s += (s.size() > 1 ? ";" : "") + f.name.str() + ":" + dump(f.type);
  return s + "}";
}

// A tuple pattern shows its labels: (K__T_y:t1_y).
inline std::string dump(const Pattern& p) {
  if (const auto* v = std::get_if<PVar>(&p.v)) return v->name.str();
  std::string s = "(";
  for (const auto& it : std::get<PTuple>(p.v).items)
    s += (s.size() > 1 ? "," : "") + it.label.str() + ":" + dump(it.pattern);
  return s + ")";
}

inline std::string dump_idents(const std::vector<Ident>& l) {
  std::string s = "[";
  for (const auto& i : l) s += (s.size() > 1 ? "," : "") + i.str();
  return s + "]";
}

inline std::string dump(const Expression& e) {
  struct V {
    std::string operator()(const Imm&) const { return "imm"; }
    std::string operator()(const Var& v) const { return v.name.str(); }
    std::string operator()(const Tuple& t) const {
      std::string s;
      for (const auto& it : t.items) s += (s.empty() ? "" : ", ") + it.label.str() + "=" + dump(it.expr);
      return s;
    }
    std::string operator()(const Or& o) const { return "(" + dump(o.left) + " or " + dump(o.right) + ")"; }
    std::string operator()(const If& i) const {
      return "(if " + dump(i.cond) + " then " + dump(i.then_branch) + " else " + dump(i.else_branch) + ")";
    }
    std::string operator()(const Arrow& a) const { return "(" + dump(a.first) + " -> " + dump(a.then) + ")"; }
    std::string operator()(const Pre& p) const { return "pre(" + dump(p.operand) + ")"; }
    std::string operator()(const Boxed<Call_expr>& b) const {
      const Call_expr& c = *b;
      return dump(c.node) + (c.clock ? "@" + dump(*c.clock) : "") + "(" + dump(c.args) + ")";
    }
    std::string operator()(const Boxed<DelayedOutputs>& b) const {
      const DelayedOutputs& d = *b;
      return "delayed(" + d.node.str() + ", " + d.release_clock.str() + ", " + d.dispatch_clock.str() + ", " +
             dump(d.outputs) + ", " + dump(d.results) + ", " + dump_idents(d.delayed_sources) + ")";
    }
  };
  return std::visit(V{}, e->v);
}

inline std::string dump(const std::vector<Typed_ident>& l) {
  std::string s;
  for (const auto& [n, t] : l) s += (s.empty() ? " " : ", ") + n.str() + ":" + dump(t);
  return s;
}

// One line per list: "in:", "oracles:", "out:", "locals:", then one "eq:"
// line per equation, "sched:" (in list order) and "calls:".
inline std::string dump(const Node& n) {
  std::string s = "node " + n.name.str() + "\nin:" + dump(n.inputs) + "\noracles:" + dump(n.oracles) +
                  "\nout:" + dump(n.outputs) + "\nlocals:" + dump(n.locals) + "\n";
  for (const auto& eq : n.equations) s += "eq: " + dump(eq.lhs) + " = " + dump(eq.rhs) + "\n";
  s += "sched:";
  for (const auto& si : n.sched_infos) {
    s += " ";
    s += si_to_string(si);
    s += ";";
  }
  return s + "\ncalls: " + dump_idents(n.sub_nodes) + "\n";
}

inline std::shared_ptr<const Node> node(const Env& env, const std::string& name) {
  return env.get_node_ptr(of_string(name));
}

inline std::string dump_node(const Env& env, const std::string& name) { return dump(*node(env, name)); }

// Locals that are neither clocks nor defined by an equation.
inline std::vector<std::string> undefined_locals(const Node& n) {
  std::vector<std::string> defined;
  for (const auto& eq : n.equations)
    for (const auto& v : pattern_to_var_list(eq.lhs)) defined.push_back(v.str());
  std::vector<std::string> r;
  for (const auto& [l, t] : n.locals) {
    const std::string& s = l.str();
    bool clock = s.size() > 4 && s.front() == '_' && s.ends_with("_clk");
    if (!clock && std::find(defined.begin(), defined.end(), s) == defined.end()) r.push_back(s);
  }
  return r;
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A run that stops writes its messages on standard error, then one line
// that locates the fault in the model.
inline void expect_located(const std::string& err, const std::string& before) {
  ASSERT_EQ(err.rfind(before, 0), 0u) << err;
  const std::string line = err.substr(before.size());
  EXPECT_TRUE(std::regex_match(line, std::regex("m\\.aaxl:[0-9]+:[0-9]+: error: [^\n]+\n"))) << line;
}

}  // namespace vorquel::model_text
