#include "report/architecture_dot.hpp"

#include <map>

namespace vorquel {

namespace {

std::string quoted(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') r += '\\';
    if (c == '\n') {
      r += "\\n";
      continue;
    }
    r += c;
  }
  return r + "\"";
}

struct Style {
  const char* shape;
  const char* fill;
  const char* line;
};

Style style_of(const std::string& category) {
  if (category == "processor") return {"box3d", "#fdf1dc", "#b07d2b"};
  if (category == "device") return {"component", "#e8f4ea", "#3f7f4f"};
  if (category == "thread") return {"box", "#eef3fb", "#4a6fa5"};
  if (category == "memory" || category == "bus") return {"box", "#f2f2f2", "#777777"};
  return {"box", "#ffffff", "#555555"};
}

class Dot {
 public:
  explicit Dot(const Report_input& in) : in_(in) {
    for (const auto& p : in.processors)
      for (const auto& t : p.threads) timing_[t.path] = &t;
  }

  std::string text() {
    const Architecture& a = in_.architecture;
    out_ += "digraph " + quoted(a.classifier) + " {\n";
    out_ += "  graph [rankdir=LR, compound=true, fontname=\"Helvetica\", fontsize=12, nodesep=0.35, ranksep=0.7,"
            " labelloc=t, label=" + quoted("system " + a.classifier) + "];\n";
    out_ += "  node [fontname=\"Helvetica\", fontsize=10, style=\"rounded,filled\"];\n";
    out_ += "  edge [fontname=\"Helvetica\", fontsize=9, color=\"#333333\"];\n";
    components("", a.components, "  ");
    connections("", a.components, a.connections, "  ");
    for (const auto& b : a.bindings) {
      std::string attrs = "style=dotted, arrowhead=none, color=\"#b07d2b\", fontcolor=\"#b07d2b\", label=\"bound\"";
      const std::string to = end_node("", a.components, b.component, "head", attrs);
      out_ += "  " + quoted(b.processor) + " -> " + quoted(to) + " [" + attrs + "];\n";
    }
    out_ += "}\n";
    return out_;
  }

 private:
  static bool is_cluster(const Arch_component& c) { return !c.children.empty(); }

  std::string label(const std::string& path, const Arch_component& c) {
    std::string l = c.name + (c.classifier.empty() ? "" : " : " + c.classifier) + "\n" + c.category;
    auto it = timing_.find(path);
    if (it != timing_.end()) {
      const Report_thread& t = *it->second;
      l += "  T=" + t.period.text + "  C=[" + t.min_exec.text + "," + t.max_exec.text + "]  prio " +
           std::to_string(t.priority);
      return l;
    }
    // A thread that runs a call sequence: its calls follow its path.
    const std::string prefix = path + ".";
    std::string calls;
    for (auto jt = timing_.lower_bound(prefix); jt != timing_.end() && jt->first.rfind(prefix, 0) == 0; ++jt) {
      const Report_thread& t = *jt->second;
      if (calls.empty()) l += "  T=" + t.period.text;
      calls += '\n';
      calls.append(jt->first, prefix.size());
      calls += "  C=[";
      calls += t.min_exec.text;
      calls += ',';
      calls += t.max_exec.text;
      calls += "]  prio ";
      calls += std::to_string(t.priority);
    }
    return l + calls;
  }

  void components(const std::string& prefix, const std::vector<Arch_component>& list, const std::string& indent) {
    for (const auto& c : list) {
      const std::string path = prefix + c.name;
      if (is_cluster(c)) {
        out_ += indent + "subgraph " + quoted("cluster_" + path) + " {\n";
        out_ += indent + "  label=" + quoted(c.name + " : " + c.classifier + " (" + c.category + ")") +
                "; style=\"rounded,filled\"; fillcolor=\"#f7f9fc\"; color=\"#8a9bb5\"; fontsize=11;\n";
        out_ += indent + "  " + quoted(path) + " [shape=point, style=invis, width=0.01];\n";
        components(path + ".", c.children, indent + "  ");
        connections(path + ".", c.children, c.connections, indent + "  ");
        out_ += indent + "}\n";
      } else {
        const Style s = style_of(c.category);
        out_ += indent + quoted(path) + " [shape=" + s.shape + ", fillcolor=\"" + s.fill + "\", color=\"" + s.line +
                "\", label=" + quoted(label(path, c)) + "];\n";
      }
    }
  }

  // The node an end of a connection stands on; a cluster is reached through
  // its hidden anchor, clipped at the cluster's border.
  std::string end_node(const std::string& prefix, const std::vector<Arch_component>& siblings,
                       const std::string& component, const char* side, std::string& attrs) {
    for (const auto& c : siblings)
      if (c.name == component) {
        const std::string path = prefix + c.name;
        if (is_cluster(c)) attrs += std::string(", l") + side + "=" + quoted("cluster_" + path);
        return path;
      }
    return prefix + component;
  }

  void connections(const std::string& prefix, const std::vector<Arch_component>& children,
                   const std::vector<Arch_connection>& list, const std::string& indent) {
    // The container's own ports are nodes of their own, inside it.
    auto end = [&](const std::string& component, const std::string& port, const char* side, std::string& attrs) {
      if (!component.empty()) return end_node(prefix, children, component, side, attrs);
      const std::string node = prefix + "port " + port;
      if (ports_.emplace(node, true).second)
        out_ += indent + quoted(node) + " [shape=cds, style=filled, fillcolor=\"#ffffff\", color=\"#555555\", label=" +
                quoted(port) + "];\n";
      return node;
    };
    for (const auto& c : list) {
      std::string attrs = std::string("label=") + quoted(c.src_port + " \xe2\x86\x92 " + c.dst_port) +
                          (c.delayed ? ", style=dashed" : "");
      const std::string from = end(c.src_component, c.src_port, "tail", attrs);
      const std::string to = end(c.dst_component, c.dst_port, "head", attrs);
      out_ += indent + quoted(from) + " -> " + quoted(to) + " [" + attrs + "];\n";
    }
  }

  const Report_input& in_;
  std::map<std::string, const Report_thread*> timing_;
  std::map<std::string, bool> ports_;
  std::string out_;
};

}  // namespace

std::string architecture_dot(const Report_input& in) { return Dot(in).text(); }

}  // namespace vorquel
