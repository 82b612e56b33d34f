// Loading and normalisation of a generated model of n declarations, for
// several n: the time per declaration should stay roughly flat as n grows.
//
//   env_bench [n...]      (default: 1000 10000 100000)

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "env/aadl2aadl.hpp"
#include "aadl/aadl_loader.hpp"
#include "base/diagnostics.hpp"
#include "base/channel.hpp"
#include "base/options.hpp"

// Model values are built with designated initializers; the fields left out
// are meant to take their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace vorquel;

namespace {

const std::string prefix = "/aadlSpec[@name=bench]/aadlPackage[@name=K]/aadlPublic/";
const std::string props = "/aadlSpec[@name=AADL_Properties]/propertySet[@name=AADL_Properties]/";

// A package of n declarations: data types, thread types with two ports,
// process types and process implementations with two thread sub-components.
std::string generate_aaxl(std::size_t n) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"ASCII\"?>\n"
      "<core:AadlSpec xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:core=\"/tmp/aadl-schema/core\" "
      "xmlns:property=\"/tmp/aadl-schema/property\" name=\"bench\">\n"
      "  <aadlPackage name=\"K\">\n    <aadlPublic>\n";
  for (std::size_t i = 0; i < n; ++i) {
    const std::string k = std::to_string(i / 4);
    switch (i % 4) {
      case 0:
        s += "      <dataType name=\"D" + k + "\"/>\n";
        break;
      case 1:
        s += "      <threadType name=\"T" + k + "\">\n        <features>\n";
        for (const char* p : {"x", "y"})
          s += std::string("          <dataPort name=\"") + p + "\"" + (p[0] == 'y' ? " direction=\"out\"" : "") +
               " dataClassifier=\"" + prefix + "dataType[@name=D" + k + "]\"/>\n";
        s += "        </features>\n        <properties>\n"
             "          <propertyAssociation propertyDefinition=\"" + props +
             "propertyDefinition[@name=Dispatch_Protocol]\">\n"
             "            <propertyValue xsi:type=\"property:EnumValue\" enumLiteral=\"" + props +
             "propertyType[@name=Supported_Dispatch_Protocols]/enumLiteral[@name=Periodic]\"/>\n"
             "          </propertyAssociation>\n        </properties>\n      </threadType>\n";
        break;
      case 2:
        s += "      <processType name=\"P" + k + "\"/>\n";
        break;
      default:
        s += "      <processImpl name=\"P" + k + ".i\" compType=\"" + prefix + "processType[@name=P" + k +
             "]\">\n        <subcomponents>\n";
        for (const char* t : {"t1", "t2"})
          s += std::string("          <threadSubcomponent name=\"") + t + "\" classifier=\"" + prefix +
               "threadType[@name=T" + k + "]\"/>\n";
        s += "        </subcomponents>\n      </processImpl>\n";
    }
  }
  return s + "    </aadlPublic>\n  </aadlPackage>\n</core:AadlSpec>\n";
}

// The same package built in memory, for when the reader is not available.
Model generate_model(std::size_t n) {
  Package p{Ident("K"), {}, {}};
  p.public_part.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string k = std::to_string(i / 4);
    const Ident data = Ident::scope("K", Ident("D" + k));
    switch (i % 4) {
      case 0:
        p.public_part.push_back(Component{.name = Ident("D" + k), .kind = Component_kind::Type, .category = Category::Data});
        break;
      case 1:
        p.public_part.push_back(Component{
            .name = Ident("T" + k), .kind = Component_kind::Type, .category = Category::Thread,
            .features = {Feature{Ident("x"), Feat_data_port{In_out::In, data}, {}},
                         Feature{Ident("y"), Feat_data_port{In_out::Out, data}, {}}}});
        break;
      case 2:
        p.public_part.push_back(Component{.name = Ident("P" + k), .kind = Component_kind::Type, .category = Category::Process});
        break;
      default: {
        const Ident t = Ident::scope("K", Ident("T" + k));
        p.public_part.push_back(Component{
            .name = of_string("P" + k + ".i"), .kind = Component_kind::Implementation, .category = Category::Process,
            .subcomponents = {Subcomponent{Ident("t1"), Category::Thread, t, {}},
                              Subcomponent{Ident("t2"), Category::Thread, t, {}}}});
      }
    }
  }
  return Model{std::move(p)};
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::stoul(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};

  for (std::size_t n : sizes) {
    const std::string text = generate_aaxl(n);
    auto t0 = std::chrono::steady_clock::now();
    Model model;
    std::string source = "reader";
    try {
      model = parse_aadl_text(0, "bench.aaxl", text);
    } catch (const Fatal&) {
      // Reader not available in this build: time normalisation alone.
      source = "in-memory model";
      model = generate_model(n);
    }
    const double load = seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    Env env;
    for (const auto& p : model) env = normalize_package(env, p);
    const double norm = seconds_since(t0);
    if (env.size() != n) {
      err("env_bench: expected " + std::to_string(n) + " declarations, got " + std::to_string(env.size()) + "\n");
      std_err().flush();
      return 1;
    }
    out(std::to_string(n) + " declarations (" + source + "): load " + fmt("%.3f", load) + " s, normalise " +
        fmt("%.3f", norm) + " s, " + fmt("%.2f", (load + norm) * 1e6 / double(n)) + " us per declaration\n");
    std_err().flush();
    std_out().flush();
  }
  return 0;
}
