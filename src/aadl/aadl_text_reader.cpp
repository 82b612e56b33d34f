// From the syntax of textual AADL files to the model: names resolved across
// every input, ancestors applied, property values converted.
#include "aadl/aadl_text_reader.hpp"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <memory>
#include <set>
#include <unordered_map>

#include "aadl/aadl_loader.hpp"
#include "aadl/aadl_text_constants.hpp"
#include "aadl/aadl_text_standard.hpp"
#include "aadl/property.hpp"
#include "aadl/aadl_text_syntax.hpp"
#include "base/diagnostics.hpp"

namespace vorquel {

namespace {

// Extends chains longer than this are no model (and would nest the
// building of ancestors as deep).
constexpr int max_extends_depth = 200;


std::string ref_text(const S_ref& r) {
  std::string s = r.package;
  if (!s.empty()) s += "::";
  s += r.type;
  if (!r.impl.empty()) s += "." + std::string(r.impl);
  return s;
}

// The kind of element a connection's kind word leaves to the source
// feature, kept beside every connection until the features are known.
struct Connection_note {
  S_connection_kind kind;
  Pos pos;
  bool known = false;          // kind already final
  bool bidirectional = false;  // written with <->, its direction still open
};

// The positions of the elements of a list by lower-case name.
struct Name_index {
  Name_index() = default;
  std::unordered_map<std::string, std::size_t> at;
  template <class T>
  explicit Name_index(const std::vector<T>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if constexpr (requires { list[i].name.has_value(); }) {
        if (list[i].name) at.emplace(lower_case(list[i].name->str()), i);
      } else {
        at.emplace(lower_case(list[i].name.str()), i);
      }
    }
  }
  template <class T>
  T* find(std::vector<T>& list, std::string_view name) const {
    auto it = at.find(lower_case(name));
    return it == at.end() ? nullptr : &list[it->second];
  }
};

struct Package_entry;

// One declaration of any input.
struct Entry {
  const S_decl* text = nullptr;
  const Declaration* xml = nullptr;
  const Package_entry* package = nullptr;  // nullptr: outside any package
  Ident reference{"_"};                    // how other declarations name it
  std::string_view skipped;                // the category words when the model has no place for it
  Pos pos;
  int state = 0;  // 0 not built, 1 being built, 2 built
  bool finished = false;  // names respelled, connection kinds known
  std::optional<Declaration> built;
  const Declaration& decl() const { return xml ? *xml : *built; }
  std::vector<Connection_note> notes;  // beside the built connections
  // The elements by lower-case name (kept from the building, or made on
  // first use for declarations read from AAXL).
  Name_index features, subcomponents, connections;
  bool indexed = false;
};

struct Package_entry {
  std::string spelling;  // as declared, parts joined by "::"
  std::unordered_map<std::string, Entry*> decls;  // lower-case "t" or "t.impl"
};

class Resolver {
 public:
  explicit Resolver(int verbosity) : verbosity_(verbosity) { (void)verbosity_; }

  // Registers every declaration of a parsed text file.
  void add_text(const S_file& f) {
    for (const auto& p : f.packages) {
      Package_entry& pe = package(p.name);
      for (const auto* part : {&p.public_part, &p.private_part})
        for (const auto& d : *part) add_text_decl(d, &pe);
    }
    for (const auto& d : f.loose) add_text_decl(d, nullptr);
    constants_.add(f);
  }

  // The position of the model for a place in a text file.
  Source_pos at(const Pos& p) {
    auto& file = files_[p.file];
    if (!file) file = std::make_shared<const std::string>(p.file);
    return Source_pos{file, p.line, p.col};
  }

  // Registers the declarations of packages read from AAXL.
  void add_model(const Model& m) {
    for (const auto& p : m) {
      Package_entry& pe = package(aadl_name(p.name));
      for (const auto* part : {&p.public_part, &p.private_part})
        for (const auto& d : *part) {
          Entry& e = entries_.emplace_back();
          e.xml = &d;
          e.package = &pe;
          e.reference = of_string(pe.spelling + "::" + aadl_name(declaration_name(d)));
          e.state = 2;
          pe.decls.emplace(lower_case(aadl_name(declaration_name(d))), &e);
          by_reference_.emplace(e.reference, &e);
        }
    }
  }

  // Builds every declaration of the text files, then finishes them (which
  // looks into the declarations that a component uses).
  void resolve_all() {
    for (auto& e : entries_)
      if (e.text && e.skipped.empty()) build(e, 0);
    for (auto& e : entries_)
      if (e.text && e.skipped.empty()) finish(e);
  }

  // The packages of one parsed text file, in model order (once, after
  // resolve_all: the declarations are moved into the model).
  Model model_of(const S_file& f) {
    for (const auto& p : f.packages)
      for (const auto& w : p.withs) check_with(w);
    Model m;
    for (auto it = f.packages.rbegin(); it != f.packages.rend(); ++it) {
      Package pk{of_string(it->name), {}, {}};
      pk.public_part = declarations(it->public_part);
      pk.private_part = declarations(it->private_part);
      m.push_back(std::move(pk));
    }
    if (!f.loose.empty()) {
      std::vector<Declaration> loose = declarations(f.loose);
      std::reverse(loose.begin(), loose.end());
      m.insert(m.begin(), Package{Ident(std::filesystem::path(f.name).stem().string()), std::move(loose), {}});
    }
    return m;
  }

 private:
  int verbosity_;
  // The file names that positions share, one per file.
  std::unordered_map<std::string_view, std::shared_ptr<const std::string>> files_;
  std::deque<Entry> entries_;
  std::unordered_map<std::string, Package_entry> packages_;
  std::set<std::string> base_types_used_;

 public:
  // The data types of Base_Types that the models use, as a package of their own.
  std::optional<Package> base_types_package() const {
    if (base_types_used_.empty()) return std::nullopt;
    Package p{Ident("Base_Types"), {}, {}};
    for (const auto& n : base_types_used_) {
      p.public_part.push_back(Component{Ident(n), Component_kind::Type, Category::Data, std::nullopt, {}, std::nullopt,
                                        {}, {}, {}, {}, false});
    }
    return p;
  }

 private:
  std::unordered_map<std::string, Entry*> loose_;
  // The subprograms that a declaration provides through its access
  // features, by feature name (calls may name them `Type.feature`).
  std::unordered_map<const Entry*, std::vector<std::pair<std::string_view, S_ref>>> provided_;
  std::unordered_map<Ident, Entry*> by_reference_;
  Property_constants constants_;
  // The spellings of the Base_Types names that the standard data model does
  // not map, by lower-case name: the first one written.
  std::unordered_map<std::string, std::string> other_base_types_;
  std::unordered_map<const S_decl*, Entry*> of_decl_;
  // Names that repeat (properties, units, literals, features, connections)
  // share one identifier; keys view the parsed texts or static tables.
  std::unordered_map<std::string_view, Ident> names_;

  const Ident& name(std::string_view text) {
    auto it = names_.find(text);
    if (it == names_.end()) it = names_.emplace(text, Ident(std::string(text))).first;
    return it->second;
  }

  Package_entry& package(const std::string& spelling) {
    auto [it, fresh] = packages_.try_emplace(lower_case(spelling));
    if (fresh) it->second.spelling = spelling;
    return it->second;
  }

  void add_text_decl(const S_decl& d, Package_entry* pe) {
    Entry& e = entries_.emplace_back();
    e.text = &d;
    e.package = pe;
    std::string name;
    if (const auto* c = std::get_if<S_component>(&d)) {
      name = std::string(c->type_name) + (c->kind == Component_kind::Implementation ? "." + std::string(c->impl_name) : "");
      e.pos = c->pos;
      if (!c->category.category) e.skipped = c->category.words;
      for (const auto& f : c->features)
        if (f.kind == S_feature_kind::Access && f.access == Access_kind::Provided &&
            f.accessed.category == Category::Subprogram && !f.classifier.type.empty())
          provided_[&e].emplace_back(f.name, f.classifier);
    } else {
      const auto& g = std::get<S_group>(d);
      name = std::string(g.name);
      e.pos = g.pos;
    }
    e.reference = of_string(pe ? pe->spelling + "::" + name : name);
    auto& table = pe ? pe->decls : loose_;
    if (!table.emplace(lower_case(name), &e).second)
      text_error(e.pos, name + " is declared twice" + (pe ? " in package " + pe->spelling : std::string()));
    by_reference_.emplace(e.reference, &e);
    of_decl_.emplace(&d, &e);
  }

  void check_with(const S_ref& w) {
    std::string n = ref_text(w);
    if (packages_.count(lower_case(n)) || constants_.declares_set(n) || is_supplied_package(n)) return;
    text_error(w.pos, "with of " + n + ", which is neither among the input files nor a standard package");
  }

  std::vector<Declaration> declarations(const std::vector<S_decl>& decls) {
    std::vector<Declaration> out;
    out.reserve(decls.size());
    for (const auto& d : decls) {
      Entry& e = *of_decl_.at(&d);
      if (!e.skipped.empty()) {
        text_warning(e.pos, std::string(e.skipped) + " " + aadl_name(e.reference) +
                                " skipped: the model has no place for this category");
        continue;
      }
      // Every declaration is finished: nothing looks into it any more.
      out.push_back(std::move(*e.built));
    }
    return out;
  }

  // ---- classifiers ----------------------------------------------------------------
  Entry* find(const S_ref& r, const Package_entry* context, bool& supplied) {
    std::string key = lower_case(r.type);
    if (!r.impl.empty()) key += "." + lower_case(r.impl);
    supplied = false;
    if (r.package.empty()) {
      if (context) {
        auto it = context->decls.find(key);
        if (it != context->decls.end()) return it->second;
      }
      auto it = loose_.find(key);
      return it == loose_.end() ? nullptr : it->second;
    }
    const std::string& pkg = r.package;
    auto p = packages_.find(lower_case(pkg));
    if (p == packages_.end()) {
      if (is_supplied_package(pkg)) {
        supplied = true;
        return nullptr;
      }
      text_error(r.pos, "package " + pkg + " is neither among the input files nor a standard package");
    }
    auto it = p->second.decls.find(key);
    return it == p->second.decls.end() ? nullptr : it->second;
  }

  // The classifier's identifier with its package path; a located error when
  // nothing of that name is declared or its category has no place in the
  // model.
  Ident classifier(const S_ref& r, const Package_entry* context, Entry** found = nullptr) {
    bool supplied = false;
    Entry* e = find(r, context, supplied);
    if (found) *found = e;
    if (supplied) {
      // A data type of Base_Types is declared for the model (once, under its
      // standard spelling) when something uses it.
      if (r.impl.empty() && lower_case(r.package) == "base_types") {
        const std::string name = base_types_spelling(r.type);
        base_types_used_.insert(name);
        return of_string("Base_Types::" + name);
      }
      return of_string(ref_text(r));
    }
    if (!e) text_error(r.pos, "no declaration named " + ref_text(r));
    if (!e->skipped.empty())
      text_error(r.pos, ref_text(r) + " is a " + std::string(e->skipped) + " declaration, which the model cannot hold");
    return e->reference;
  }

  // The spelling under which a data type of Base_Types is declared: the
  // standard one for the types of the standard data model, else the first
  // one the inputs write (Character and String have no Lustre base type,
  // and the model declares them like any data type without definition).
  std::string base_types_spelling(std::string_view type) {
    if (auto name = base_types_name(type)) return *name;
    for (std::string_view known : {"Character", "String"})
      if (same_name(type, known)) return std::string(known);
    return other_base_types_.try_emplace(lower_case(type), type).first->second;
  }

  std::optional<Ident> opt_classifier(const S_ref& r, const Package_entry* context) {
    if (!r.present()) return std::nullopt;
    return classifier(r, context);
  }

  // ---- building one declaration ------------------------------------------------------
  // The model value of a declaration, ancestors applied; names other than
  // classifiers are still as written (finish() respells them).
  void build(Entry& e, int depth) {
    if (e.state == 2) return;
    if (e.state == 1) text_error(e.pos, aadl_name(e.reference) + " extends itself");
    if (depth > max_extends_depth) text_error(e.pos, "extends chain too long");
    e.state = 1;
    if (const auto* g = std::get_if<S_group>(e.text)) build_group(e, *g, depth);
    else build_component(e, std::get<S_component>(*e.text), depth);
    e.state = 2;
    drop_syntax(e);
  }

  // The elements of a built declaration's syntax are not read any more:
  // freed at once, the model being built takes their room.
  static void drop_syntax(const Entry& e) {
    auto& d = const_cast<S_decl&>(*e.text);  // the parsed files are the reader's own
    if (auto* g = std::get_if<S_group>(&d)) {
      std::vector<S_feature>().swap(g->features);
      return;
    }
    auto& c = std::get<S_component>(d);
    std::vector<S_feature>().swap(c.features);
    std::vector<S_subcomponent>().swap(c.subcomponents);
    std::vector<S_call_sequence>().swap(c.call_sequences);
    std::vector<S_connection>().swap(c.connections);
    std::vector<S_assoc>().swap(c.properties);
  }

  Entry* ancestor(const S_ref& r, const Entry& e, int depth) {
    if (!r.present()) return nullptr;
    Entry* a = nullptr;
    classifier(r, e.package, &a);
    // An ancestor from a package that tools supply (Base_Types::Integer)
    // has nothing the model would inherit.
    if (!a) return nullptr;
    build(*a, depth + 1);
    return a;
  }

  void build_group(Entry& e, const S_group& g, int depth) {
    Port_group pg{Ident(std::string(g.name)), std::nullopt, {}, std::nullopt, false, at(g.pos)};
    if (Entry* a = ancestor(g.extends, e, depth)) {
      const auto* ag = std::get_if<Port_group>(&a->decl());
      if (!ag) text_error(g.extends.pos, "feature group type " + std::string(g.name) + " extends a component");
      pg.features = ag->features;
      pg.inverse = ag->inverse;
    }
    Name_index features(pg.features);
    for (const auto& f : g.features) add_feature(pg.features, features, f, e);
    e.features = std::move(features);
    e.indexed = true;
    // The inverse is named without its package, as in the interchange form
    // (normalisation qualifies it).
    if (g.inverse.present()) {
      Entry* inv = nullptr;
      classifier(g.inverse, e.package, &inv);
      const S_group* ig = inv && inv->text ? std::get_if<S_group>(inv->text) : nullptr;
      pg.inverse = inv && inv->xml ? declaration_name(*inv->xml)
                   : ig            ? Ident(std::string(ig->name))
                                   : Ident(std::string(g.inverse.type));
    }
    e.built = Declaration(std::move(pg));
  }

  void build_component(Entry& e, const S_component& s, int depth) {
    const bool impl = s.kind == Component_kind::Implementation;
    Ident name = impl ? Ident::dot(s.type_name, s.impl_name) : Ident(std::string(s.type_name));
    Component c{name, s.kind, *s.category.category, std::nullopt, {}, std::nullopt, {}, {}, {}, {}, false, at(s.pos)};
    if (impl) {
      S_ref type{{}, s.type_name, {}, s.pos};
      bool supplied = false;
      const Entry* t = find(type, e.package, supplied);
      if (!t || t->package != e.package)
        text_error(s.pos, "implementation of " + std::string(s.type_name) + ", which is not declared in the same package");
    }
    if (Entry* a = ancestor(s.extends, e, depth)) {
      const auto* ac = std::get_if<Component>(&a->decl());
      if (!ac || ac->kind != s.kind)
        text_error(s.extends.pos, aadl_name(e.reference) + " extends " + ref_text(s.extends) + ", which is not a component " +
                                      (impl ? "implementation" : "type"));
      c.features = ac->features;
      c.subcomponents = ac->subcomponents;
      c.call_sequences = ac->call_sequences;
      c.connections = ac->connections;
      c.properties = ac->properties;
      e.notes = a->notes;
      if (a->xml) e.notes.assign(c.connections.size(), Connection_note{S_connection_kind::Port, s.pos, true});
    }
    Name_index features(c.features), subcomponents(c.subcomponents), connections(c.connections);
    for (const auto& f : s.features) add_feature(c.features, features, f, e);
    for (const auto& sub : s.subcomponents) add_subcomponent(c.subcomponents, subcomponents, sub, e);
    for (const auto& seq : s.call_sequences) {
      Call_sequence cs{std::nullopt, {}};
      for (const auto& call : seq.calls)
        cs.calls.push_back(Call{this->name(call.name), called(call.called, s, e), convert(call.properties, e), at(call.pos)});
      c.call_sequences.push_back(std::move(cs));
    }
    for (const auto& con : s.connections) add_connection(c, connections, con, e);
    merge_properties(c.properties, convert(s.properties, e));
    e.features = std::move(features);
    e.subcomponents = std::move(subcomponents);
    e.connections = std::move(connections);
    e.indexed = true;
    e.built = Declaration(std::move(c));
  }

  // A called subprogram: a classifier, or (for the forms that name an
  // access feature or a method) the name as written.
  Ident called(const S_ref& r, const S_component& s, const Entry& e) {
    bool supplied = false;
    if (find(r, e.package, supplied) || supplied || !r.package.empty()) return classifier(r, e.package);
    S_ref type_only{r.package, r.type, {}, r.pos};
    if (Entry* owner = r.impl.empty() ? nullptr : find(type_only, e.package, supplied)) {
      // `Buffer.get`: the subprogram that the data type Buffer provides
      // through its access feature `get`.
      if (auto it = provided_.find(owner); it != provided_.end())
        for (const auto& [feature, subprogram] : it->second)
          if (same_name(feature, r.impl)) return classifier(subprogram, owner->package);
      Ident t = classifier(type_only, e.package);
      return of_string(aadl_name(t) + "." + std::string(r.impl));
    }
    auto local = [&](std::string_view n) {
      for (const auto& sub : s.subcomponents)
        if (same_name(sub.name, n)) return true;
      for (const auto& f : s.features)
        if (same_name(f.name, n)) return true;
      return same_name(n, "processor");
    };
    if (local(r.type)) return of_string(ref_text(r));
    text_error(r.pos, "no declaration named " + ref_text(r));
  }


  // Replaces the inherited element of the same name in place, or appends.
  // One lookup: the name is claimed for the end of the list when new.
  template <class T>
  static void place(std::vector<T>& list, Name_index& index, T x, bool refined, std::string_view name, const Pos& at,
                    const char* what) {
    auto [slot, fresh] = index.at.try_emplace(lower_case(name), list.size());
    if (refined) {
      if (fresh) {
        index.at.erase(slot);
        text_error(at, std::string("refined ") + what + " " + std::string(name) + " is not inherited");
      }
      list[slot->second] = std::move(x);
    } else {
      if (!fresh) text_error(at, std::string(what) + " " + std::string(name) + " is declared twice");
      list.push_back(std::move(x));
    }
  }

  void add_feature(std::vector<Feature>& list, Name_index& index, const S_feature& f, const Entry& e) {
    using K = S_feature_kind;
    std::optional<Ident> cls = opt_classifier(f.classifier, e.package);
    Feature* it = f.refined ? index.find(list, f.name) : nullptr;
    // A refinement that adds nothing keeps the inherited classifier.
    if (f.refined && !cls && it)
      std::visit([&](const auto& k) {
        if constexpr (requires { k.classifier; }) cls = k.classifier;
      }, it->kind);
    Feature_kind kind = Feat_event_port{f.direction};
    switch (f.kind) {
      case K::Data_port: kind = Feat_data_port{f.direction, cls}; break;
      case K::Event_port: kind = Feat_event_port{f.direction}; break;
      case K::Event_data_port: kind = Feat_event_data_port{f.direction, cls}; break;
      case K::Parameter: kind = Feat_parameter{f.direction, cls}; break;
      case K::Group: kind = Feat_port_group{cls}; break;
      case K::Server_subprogram: kind = Feat_server_subprogram_spec{}; break;
      case K::Data_subprogram: kind = Feat_data_subprogram_spec{}; break;
      case K::Access:
        if (!f.accessed.category) {
          text_warning(f.pos, "feature " + std::string(f.name) + " skipped: access to a " + std::string(f.accessed.words) +
                                  " has no place in the model");
          return;
        }
        kind = Feat_subcomponent_access{f.access, *f.accessed.category, cls};
        break;
      case K::Abstract:
        text_warning(f.pos, "abstract feature " + std::string(f.name) + " skipped: the model has no place for it");
        return;
    }
    std::vector<Property_association> props = convert(f.properties, e);
    const bool data_access = f.kind == K::Access && *f.accessed.category == Category::Data;
    if (data_access) access_right_as_access_mode(props, f.access);
    if (f.refined && it) {
      std::vector<Property_association> merged = it->properties;
      merge_properties(merged, std::move(props));
      props = std::move(merged);
    }
    place(list, index, Feature{name(f.name), std::move(kind), std::move(props), at(f.pos)}, f.refined, f.name, f.pos,
          "feature");
  }

  // Access_Right (read_only, write_only, read_write, by_method) is read as
  // the access mode of the model (read, write, read_write, by_method).
  static void access_right_as_access_mode(std::vector<Property_association>& props, Access_kind access) {
    for (auto& a : props) {
      if (!a.name.is_simple() || lower_case(a.name.str()) != "access_right") continue;
      a.name = Ident(access == Access_kind::Required ? "Required_Access" : "Provided_Access");
      for (auto& v : a.values)
        if (auto* lit = std::get_if<Pv_enum>(&v)) {
          const std::string word = lower_case(lit->literal.str());
          if (word == "read_only") lit->literal = Ident("read");
          else if (word == "write_only") lit->literal = Ident("write");
          else if (word == "read_write" || word == "by_method") lit->literal = Ident(word);
        }
    }
  }

  void add_subcomponent(std::vector<Subcomponent>& list, Name_index& index, const S_subcomponent& s, const Entry& e) {
    if (!s.category.category) {
      text_warning(s.pos, "subcomponent " + std::string(s.name) + " skipped: the model has no place for a " +
                              std::string(s.category.words));
      return;
    }
    std::optional<Ident> cls = opt_classifier(s.classifier, e.package);
    if (const std::optional<Category> named = category_of(entry_of(cls)); named && named != s.category.category)
      text_error(s.pos, "subcomponent " + std::string(s.name) + " is declared a " +
                            category_to_string(*s.category.category) + " but its classifier " + aadl_name(*cls) +
                            " is a " + category_to_string(*named));
    std::vector<Property_association> props = convert(s.properties, e);
    Subcomponent* it = s.refined ? index.find(list, s.name) : nullptr;
    if (s.refined && it) {
      if (!cls) cls = it->classifier;
      std::vector<Property_association> merged = it->properties;
      merge_properties(merged, std::move(props));
      props = std::move(merged);
    }
    place(list, index, Subcomponent{Ident(std::string(s.name)), *s.category.category, cls, std::move(props), at(s.pos)}, s.refined,
          s.name, s.pos, "subcomponent");
  }

  void add_connection(Component& c, Name_index& index, const S_connection& s, Entry& e) {
    using K = S_connection_kind;
    if (s.kind == K::Other_access) {
      text_warning(s.pos, "subprogram access connection skipped: the model has no place for it");
      return;
    }
    std::vector<Property_association> props = convert(s.properties, e);
    std::optional<Connection_arrow> timing;
    props.erase(std::remove_if(props.begin(), props.end(),
                               [&](const Property_association& a) {
                                 if (!(a.name.is_simple() && a.name.str() == "Timing")) return false;
                                 timing = arrow_of(a, s.pos);
                                 return true;
                               }),
                props.end());
    if (s.refined) {
      Connection* it = index.find(c.connections, s.name);
      if (!it) text_error(s.pos, "refined connection " + std::string(s.name) + " is not inherited");
      if (timing) it->arrow = *timing;
      merge_properties(it->properties, std::move(props));
      return;
    }
    std::optional<Ident> name;
    if (!s.name.empty()) name = this->name(s.name);
    Connection_note note{s.kind, s.pos, false, s.bidirectional};
    Connection_kind kind = Connection_kind::Data_connection;
    switch (s.kind) {
      case K::Data_port: kind = Connection_kind::Data_connection, note.known = true; break;
      case K::Event_port: kind = Connection_kind::Event_connection, note.known = true; break;
      case K::Event_data_port: kind = Connection_kind::Event_data_connection, note.known = true; break;
      case K::Group: kind = Connection_kind::Port_group_connection, note.known = true; break;
      case K::Parameter: kind = Connection_kind::Parameter_connection, note.known = true; break;
      case K::Data_access: kind = Connection_kind::Data_access_connection, note.known = true; break;
      case K::Bus_access: kind = Connection_kind::Bus_access_connection, note.known = true; break;
      default: break;
    }
    Connection_arrow arrow = s.delayed ? Connection_arrow::Delayed : timing.value_or(Connection_arrow::Immediate);
    if (name && !index.at.emplace(lower_case(s.name), c.connections.size()).second)
      text_error(s.pos, "connection " + std::string(s.name) + " is declared twice");
    c.connections.push_back(Connection{std::move(name), kind, path_ident(s.src.text), arrow, path_ident(s.dst.text),
                                       std::move(props), at(s.pos)});
    e.notes.push_back(note);
  }

  static Ident path_ident(const std::string& text) {
    return text.find('.') == std::string::npos ? Ident(text) : of_string(text);
  }

  static Connection_arrow arrow_of(const Property_association& a, const Pos& at) {
    const Pv_enum* v = a.values.size() == 1 ? std::get_if<Pv_enum>(&a.values[0]) : nullptr;
    std::string t = v ? lower_case(v->literal.str()) : "";
    if (t == "delayed") return Connection_arrow::Delayed;
    if (t == "immediate" || t == "sampled") return Connection_arrow::Immediate;
    text_error(at, "Timing of a connection must be sampled, immediate or delayed");
  }

  // An own association replaces an inherited one of the same name and
  // target in place.
  static void merge_properties(std::vector<Property_association>& into, std::vector<Property_association> own) {
    if (into.empty()) {
      into = std::move(own);
      return;
    }
    auto key = [](const Property_association& a) {
      return a.name.str() + (a.applies_to ? "@" + aadl_name(*a.applies_to) : std::string());
    };
    std::unordered_map<std::string, std::size_t> inherited;
    for (std::size_t i = 0; i < into.size(); ++i) inherited.emplace(key(into[i]), i);
    for (auto& a : own) {
      auto it = inherited.find(key(a));
      if (it != inherited.end()) {
        into[it->second] = std::move(a);
        inherited.erase(it);
      } else {
        into.push_back(std::move(a));
      }
    }
  }

  // ---- property values ----------------------------------------------------------------
  std::vector<Property_association> convert(const std::vector<S_assoc>& list, const Entry& e) {
    std::vector<Property_association> out;
    for (const auto& a : list) {
      Ident name = property_name(a);
      const bool time = is_time_property(name);
      std::vector<Property_value> values;
      std::string why;
      const S_value& given = constants_.resolved(a.value, time);
      if (given.kind == S_value::Kind::List) {
        for (const auto& item : given.items)
          if (auto v = value(item, e, why, time)) values.push_back(std::move(*v));
          else break;
      } else if (auto v = value(given, e, why, time)) {
        values.push_back(std::move(*v));
      }
      if (!why.empty()) {
        text_warning(a.pos, "property association " + aadl_name(name) + " dropped: " + why);
        continue;
      }
      if (a.applies_to.empty()) {
        out.push_back(Property_association{name, std::move(values), std::nullopt, at(a.pos)});
      } else {
        for (const auto& p : a.applies_to)
          out.push_back(Property_association{name, values, path_ident(p.text), at(a.pos)});
      }
    }
    return out;
  }

  Ident property_name(const S_assoc& a) {
    if (a.set.empty() || is_standard_property_set(a.set)) {
      std::string_view standard = standard_property_name(a.name);
      return name(standard.empty() ? a.name : standard);
    }
    return Ident::scope(a.set, name(a.name));
  }

  std::optional<Ident> unit(std::string_view u) {
    if (u.empty()) return std::nullopt;
    std::string_view standard = standard_unit(u);
    return name(standard.empty() ? u : standard);
  }

  // The properties whose values are times the scheduler counts: a name in
  // their values can only be a property constant.
  static bool is_time_property(const Ident& name) {
    return name.is_simple() && (name.head() == "Period" || name.head() == "Compute_Execution_Time");
  }

  std::optional<Property_value> value(const S_value& given, const Entry& e, std::string& why, bool time) {
    using K = S_value::Kind;
    const S_value& v = constants_.resolved(given, time);
    auto constant = [](Property_constant c) { return Property_value(Pv_expression{Pe_constant{std::move(c)}}); };
    switch (v.kind) {
      case K::Int: return constant(C_int{v.integer, unit(v.unit)});
      case K::Real: return constant(C_real{v.real, unit(v.unit)});
      case K::String: return constant(C_string{v.text});
      case K::Bool: return constant(C_bool{v.boolean});
      case K::Named: {
        if (!v.ref.package.empty()) return Pv_enum{Ident::scope(v.ref.package, Ident(std::string(v.ref.type)))};
        std::string_view standard = standard_enum_literal(v.ref.type);
        return Pv_enum{name(standard.empty() ? v.ref.type : standard)};
      }
      case K::Reference: return Pv_reference{path_ident(v.path.text)};
      case K::Classifier: return Pv_reference{classifier(v.ref, e.package)};
      case K::Range: {
        bool ints = true;
        std::vector<const S_value*> bounds;
        for (const auto& item : v.items) {
          const S_value& b = constants_.resolved(item, time);
          // A time range with a name no input declares: the name, which
          // the translation refuses if it reads the range.
          if (b.kind == K::Named && time) return value(b, e, why, time);
          if (b.kind != K::Int && b.kind != K::Real) {
            why = "a range of named values has no place in the model";
            return std::nullopt;
          }
          ints = ints && b.kind == K::Int;
          bounds.push_back(&b);
        }
        const S_value& lo = *bounds[0];
        const S_value& hi = *bounds[1];
        if (ints) {
          std::optional<long long> delta;
          if (bounds.size() > 2) delta = bounds[2]->integer;
          return Pv_int_range{{lo.integer, unit(lo.unit)}, {hi.integer, unit(hi.unit)}, delta};
        }
        auto real = [](const S_value& b) { return b.kind == K::Int ? static_cast<double>(b.integer) : b.real; };
        std::optional<double> delta;
        if (bounds.size() > 2) delta = real(*bounds[2]);
        return Pv_real_range{{real(lo), unit(lo.unit)}, {real(hi), unit(hi.unit)}, delta};
      }
      case K::List: why = "a list inside a list has no place in the model"; return std::nullopt;
      case K::Unsupported: why = "a " + v.text + " has no place in the model"; return std::nullopt;
    }
    return std::nullopt;
  }

  // ---- names inside components ---------------------------------------------------------------
  // The entry a classifier identifier designates, if among the inputs.
  const Entry* entry_of(const std::optional<Ident>& cls) const {
    if (!cls) return nullptr;
    auto it = by_reference_.find(*cls);
    return it == by_reference_.end() ? nullptr : it->second;
  }

  // The category of a component entry, if it is one the model has.
  static std::optional<Category> category_of(const Entry* e) {
    if (!e) return std::nullopt;
    if (e->xml) {
      const auto* c = std::get_if<Component>(e->xml);
      return c ? std::optional<Category>(c->category) : std::nullopt;
    }
    const auto* c = e->text ? std::get_if<S_component>(e->text) : nullptr;
    return c ? c->category.category : std::nullopt;
  }

  // The type of an implementation entry.
  const Entry* type_of(const Entry& e) const {
    const auto* c = std::get_if<Component>(&e.decl());
    if (!c || c->kind != Component_kind::Implementation) return nullptr;
    return entry_of(type_name_of_implementation_name(e.reference));
  }

  const std::vector<Feature>* features_of(const Entry* e) const {
    if (!e || e->state != 2) return nullptr;
    if (const auto* g = std::get_if<Port_group>(&e->decl())) return &g->features;
    const auto& c = std::get<Component>(e->decl());
    if (c.kind == Component_kind::Type) return &c.features;
    return features_of(type_of(*e));
  }

  static const std::optional<Ident>* feature_classifier(const Feature& f) {
    const std::optional<Ident>* r = nullptr;
    std::visit([&](const auto& k) {
      if constexpr (requires { k.classifier; }) r = &k.classifier;
    }, f.kind);
    return r;
  }

  static void index(const Entry& ce) {
    Entry& e = const_cast<Entry&>(ce);
    if (e.indexed) return;
    e.indexed = true;
    if (const auto* g = std::get_if<Port_group>(&e.decl())) {
      e.features = Name_index(g->features);
    } else {
      const auto& c = std::get<Component>(e.decl());
      e.features = Name_index(c.features);
      e.subcomponents = Name_index(c.subcomponents);
      e.connections = Name_index(c.connections);
    }
  }

  // An element of a declaration found by name (any case): its spelling, the
  // entry of its classifier, and the feature when it is one.
  struct Element {
    Ident name;
    const Entry* classifier;
    const Feature* feature = nullptr;
  };
  std::optional<Element> find_element(const Entry& e, std::string_view part) {
    if (e.state != 2) return std::nullopt;
    index(e);
    const std::string key = lower_case(part);
    const auto* c = std::get_if<Component>(&e.decl());
    if (c) {
      if (auto it = e.subcomponents.at.find(key); it != e.subcomponents.at.end()) {
        const Subcomponent& s = c->subcomponents[it->second];
        return Element{s.name, entry_of(s.classifier)};
      }
    }
    const Entry* fe = c && c->kind == Component_kind::Implementation ? type_of(e) : &e;
    if (fe && fe->state == 2) {
      index(*fe);
      if (auto it = fe->features.at.find(key); it != fe->features.at.end()) {
        const Feature& f = (*features_of(fe))[it->second];
        const auto* cls = feature_classifier(f);
        return Element{f.name, cls ? entry_of(*cls) : nullptr, &f};
      }
    }
    if (!c) return std::nullopt;
    for (const auto& seq : c->call_sequences)
      for (const auto& call : seq.calls)
        if (same_name(call.name.str(), part)) return Element{call.name, entry_of(call.called)};
    if (auto it = e.connections.at.find(key); it != e.connections.at.end())
      return Element{*c->connections[it->second].name, nullptr};
    return std::nullopt;
  }

  // A dotted name inside a component, every part in the spelling of its
  // declaration where one is found; `feature` receives the feature the
  // whole name designates, if any.
  Ident respell(const Ident& id, const Entry& context, const Feature** feature = nullptr) {
    const Entry* cur = &context;
    std::string out;
    bool changed = false;
    const Feature* last = nullptr;
    for (std::size_t i = 0; i < id.part_count(); ++i) {
      std::string_view part = id.part(i);
      std::optional<Element> found;
      if (cur) found = find_element(*cur, part);
      if (i > 0) out += id.sep(i - 1) == Ident::Sep::Dot ? "." : "::";
      if (found) {
        changed = changed || found->name.str() != part;
        out += found->name.str();
      } else {
        out += part;
      }
      last = found ? found->feature : nullptr;
      cur = found ? found->classifier : nullptr;
    }
    if (feature) *feature = last;
    return changed ? of_string(out) : id;
  }

  void respell(std::vector<Property_association>& props, const Entry& context) {
    for (auto& a : props) {
      if (a.applies_to) a.applies_to = respell(*a.applies_to, context);
      for (auto& v : a.values)
        if (auto* r = std::get_if<Pv_reference>(&v); r && !entry_of(r->element)) r->element = respell(r->element, context);
    }
  }

  // The kind of a feature seen from a component: the connection kind it
  // gives, if known.
  static std::optional<Connection_kind> kind_of(const Feature* f) {
    if (!f) return std::nullopt;
    if (std::holds_alternative<Feat_event_port>(f->kind)) return Connection_kind::Event_connection;
    if (std::holds_alternative<Feat_event_data_port>(f->kind)) return Connection_kind::Event_data_connection;
    if (std::holds_alternative<Feat_port_group>(f->kind)) return Connection_kind::Port_group_connection;
    if (const auto* a = std::get_if<Feat_subcomponent_access>(&f->kind))
      return a->category == Category::Bus ? Connection_kind::Bus_access_connection
                                          : Connection_kind::Data_access_connection;
    return Connection_kind::Data_connection;
  }

  // Whether data can leave (`send`) or enter the connection at an end: a
  // sub-component's feature sends when it is out, the enclosing component's
  // own feature when it is in; an in out feature does both. Null when the
  // feature has no direction (access, groups): no constraint.
  static std::optional<std::pair<bool, bool>> end_roles(const Ident& end, const Feature* f) {
    if (!f) return std::nullopt;
    std::optional<In_out> d;
    std::visit(
        [&](const auto& k) {
          if constexpr (requires { k.direction; }) d = k.direction;
        },
        f->kind);
    if (!d) return std::nullopt;
    const bool own = end.is_simple();
    const bool out = *d == In_out::Out || *d == In_out::InOut;
    const bool in = *d == In_out::In || *d == In_out::InOut;
    return own ? std::pair{in, out} : std::pair{out, in};  // (sends, receives)
  }

  // A bidirectional connection is wired in the direction its features give;
  // it is reversed when they give only the other one.
  static void orient(Connection& con, const Feature* src, const Feature* dst, const Pos& at) {
    const auto a = end_roles(con.src, src), b = end_roles(con.dst, dst);
    if (!a || !b) return;
    const bool forward = a->first && b->second, backward = b->first && a->second;
    const std::string text = aadl_name(con.src) + " <-> " + aadl_name(con.dst);
    if (forward && backward)
      text_error(at, "the direction of connection " + text +
                         " is ambiguous: both ends are in out; write it with -> in the direction the data flows");
    if (!forward && !backward)
      text_error(at, "connection " + text + " joins features whose directions allow no flow either way");
    if (backward) std::swap(con.src, con.dst);
  }

  // Respells the names inside a built text declaration and gives the
  // connections whose kind word leaves it open their kind.
  void finish(Entry& e) {
    if (e.xml || e.finished) return;
    e.finished = true;
    if (auto* g = std::get_if<Port_group>(&*e.built)) {
      for (auto& f : g->features) respell(f.properties, e);
      return;
    }
    auto& c = std::get<Component>(*e.built);
    for (auto& f : c.features) respell(f.properties, e);
    for (auto& s : c.subcomponents) respell(s.properties, e);
    for (auto& seq : c.call_sequences)
      for (auto& call : seq.calls) respell(call.properties, e);
    for (std::size_t i = 0; i < c.connections.size(); ++i) {
      Connection& con = c.connections[i];
      const Feature *src = nullptr, *dst = nullptr;
      con.src = respell(con.src, e, &src);
      con.dst = respell(con.dst, e, &dst);
      respell(con.properties, e);
      Connection_note& note = e.notes[i];
      if (note.bidirectional) {
        orient(con, src, dst, note.pos);
        note.bidirectional = false;
      }
      if (note.known) continue;
      auto kind = kind_of(src);
      if (!kind) kind = kind_of(dst);
      if (!kind) {
        text_warning(note.pos, "the kind of connection " + aadl_name(con.src) + " -> " + aadl_name(con.dst) +
                                   " cannot be told from its features; read as a data port connection");
        kind = Connection_kind::Data_connection;
      }
      con.kind = *kind;
      note.known = true;
    }
    respell(c.properties, e);
  }
};

std::unique_ptr<S_file> parse_file(int verbosity, const std::string& file_name, std::string text) {
  auto f = std::make_unique<S_file>();
  f->name = file_name;
  f->text = std::move(text);
  parse_aadl_syntax(verbosity, *f);
  return f;
}

}  // namespace

bool is_aadl_text_file(const std::string& file_name) {
  // The extension as a path has it (a leading dot starts no extension),
  // without building a path: asked for every element of a large model.
  std::string_view name = file_name;
  if (const auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name == "..") return false;
  return same_name(name.substr(dot), ".aadl");
}

Model parse_aadl_source_text(int verbosity, const std::string& file_name, std::string text) {
  auto f = parse_file(verbosity, file_name, std::move(text));
  Resolver r(verbosity);
  r.add_text(*f);
  r.resolve_all();
  return r.model_of(*f);
}

Model parse_aadl_source(int verbosity, const std::string& file_name) {
  return parse_aadl_source_text(verbosity, file_name, read_whole_file(file_name));
}

Model read_model_file(int verbosity, const std::string& file_name) {
  if (is_aadl_text_file(file_name)) return parse_aadl_source(verbosity, file_name);
  return parse_aadl(verbosity, file_name);
}

Model read_model_files(int verbosity, const std::vector<std::string>& file_names) {
  // Every file is read before any name is resolved: a text file may name
  // declarations of any input.
  std::vector<std::unique_ptr<S_file>> texts(file_names.size());
  std::vector<Model> models(file_names.size());
  Resolver r(verbosity);
  for (std::size_t i = 0; i < file_names.size(); ++i) {
    if (is_aadl_text_file(file_names[i])) {
      texts[i] = parse_file(verbosity, file_names[i], read_whole_file(file_names[i]));
      r.add_text(*texts[i]);
    } else {
      models[i] = parse_aadl(verbosity, file_names[i]);
    }
  }
  for (const auto& m : models) r.add_model(m);
  r.resolve_all();
  Model all;
  for (std::size_t i = 0; i < file_names.size(); ++i) {
    // Package names of several parts come from the textual form only; the
    // interchange form keeps its stop on them.
    if (!texts[i])
      for (const auto& p : models[i])
        if (!p.name.is_simple()) not_yet_implemented("normalize_package");
    Model m = texts[i] ? r.model_of(*texts[i]) : std::move(models[i]);
    all.insert(all.end(), std::make_move_iterator(m.begin()), std::make_move_iterator(m.end()));
  }
  if (auto p = r.base_types_package()) all.push_back(std::move(*p));
  return all;
}

}  // namespace vorquel
