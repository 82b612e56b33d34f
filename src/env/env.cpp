#include "env/env.hpp"

#include <algorithm>

#include "base/diagnostics.hpp"
#include "base/channel.hpp"

namespace vorquel {

// Both tables are persistent AVL trees. A node owns its (key, value) item
// through a shared pointer, so that the path copying of an update copies only
// pointers; untouched sub-trees are shared by every version.
//
// Nodes are created mutable and handed out as pointers to const. A node that
// is reachable only through one environment's own table (use count 1 from
// the table down to it) can be updated in place by extend(): nothing else
// can observe it. Everything else is copied.

namespace {

template <class K, class V>
struct Item {
  K key;
  V value;
};

template <class K, class V>
struct Avl {
  using Item_ptr = std::shared_ptr<const Item<K, V>>;
  struct Node;
  using Ptr = std::shared_ptr<const Node>;
  struct Node {
    Item_ptr item;
    Ptr left, right;
    int height;
    std::size_t count;
  };

  static int height(const Ptr& n) { return n ? n->height : 0; }
  static std::size_t count(const Ptr& n) { return n ? n->count : 0; }

  static Ptr make(Item_ptr item, Ptr l, Ptr r) {
    int h = std::max(height(l), height(r)) + 1;
    std::size_t c = count(l) + count(r) + 1;
    return std::make_shared<Node>(Node{std::move(item), std::move(l), std::move(r), h, c});
  }

  static Item_ptr make_item(const K& key, const V& value) {
    return std::make_shared<const Item<K, V>>(Item<K, V>{key, value});
  }

  // Rebuilds a node from balanced sub-trees whose heights differ by at most 2.
  static Ptr balance(Item_ptr item, Ptr l, Ptr r) {
    int hl = height(l), hr = height(r);
    if (hl > hr + 1) {
      if (height(l->left) >= height(l->right))
        return make(l->item, l->left, make(std::move(item), l->right, std::move(r)));
      const Ptr& lr = l->right;
      return make(lr->item, make(l->item, l->left, lr->left), make(std::move(item), lr->right, std::move(r)));
    }
    if (hr > hl + 1) {
      if (height(r->right) >= height(r->left))
        return make(r->item, make(std::move(item), std::move(l), r->left), r->right);
      const Ptr& rl = r->left;
      return make(rl->item, make(std::move(item), std::move(l), rl->left), make(r->item, rl->right, r->right));
    }
    return make(std::move(item), std::move(l), std::move(r));
  }

  // Maps the key to the value, replacing an existing binding.
  static Ptr add(const Ptr& n, const K& key, const V& value) {
    if (!n) return make(make_item(key, value), nullptr, nullptr);
    auto c = key <=> n->item->key;
    if (c < 0) return balance(n->item, add(n->left, key, value), n->right);
    if (c > 0) return balance(n->item, n->left, add(n->right, key, value));
    return make(make_item(key, value), n->left, n->right);
  }

  // As add, for a tree held only by the caller: the nodes on the path that
  // nothing else holds are updated in place. n is moved in so that the call
  // itself does not raise its use count.
  static Ptr add_owned(Ptr n, const K& key, const V& value) {
    if (!n) return make(make_item(key, value), nullptr, nullptr);
    if (n.use_count() != 1) return add(n, key, value);
    Node* m = const_cast<Node*>(n.get());  // created mutable, see make
    auto c = key <=> m->item->key;
    if (c == 0) {
      m->item = make_item(key, value);
      return n;
    }
    if (c < 0) m->left = add_owned(std::move(m->left), key, value);
    else m->right = add_owned(std::move(m->right), key, value);
    int hl = height(m->left), hr = height(m->right);
    if (hl > hr + 1 || hr > hl + 1) return balance(m->item, std::move(m->left), std::move(m->right));
    m->height = std::max(hl, hr) + 1;
    m->count = count(m->left) + count(m->right) + 1;
    return n;
  }

  static const V* find(const Ptr& root, const K& key) {
    const Node* n = root.get();
    while (n) {
      auto c = key <=> n->item->key;
      if (c < 0) n = n->left.get();
      else if (c > 0) n = n->right.get();
      else return &n->item->value;
    }
    return nullptr;
  }

  template <class F>
  static void iter(const Ptr& n, F& f) {
    if (!n) return;
    iter(n->left, f);
    f(n->item->key, n->item->value);
    iter(n->right, f);
  }

  // Same shape, every value replaced by f(value).
  template <class F>
  static Ptr map(const Ptr& n, F& f) {
    if (!n) return nullptr;
    Ptr l = map(n->left, f);
    auto item = std::make_shared<const Item<K, V>>(Item<K, V>{n->item->key, f(n->item->value)});
    Ptr r = map(n->right, f);
    return std::make_shared<Node>(Node{std::move(item), std::move(l), std::move(r), n->height, n->count});
  }
};

using Decls = Avl<Ident, Entry>;
using Local_names = std::vector<std::pair<Local_key, Ident>>;

}  // namespace

struct Env::Decl_tree {
  Decls::Ptr root;
};
// One cell of the list of the declarations added by extend. The table of
// local names is a function of the list; the head cell keeps it once built,
// for every environment that shares the list.
struct Env::Local_tree {
  std::shared_ptr<const Declaration> decl;  // null in the empty list
  std::shared_ptr<const Local_tree> older;
  mutable std::shared_ptr<const Local_names> table;  // key order, keys distinct

  // The cells that nothing else holds go one by one: destroying a long list
  // recursively would exhaust the stack. Cells are created mutable (extend).
  ~Local_tree() {
    std::shared_ptr<const Local_tree> next = std::move(older);
    while (next && next.use_count() == 1) {
      std::shared_ptr<const Local_tree> after = std::move(const_cast<Local_tree*>(next.get())->older);
      next = std::move(after);
    }
  }
};

namespace {
const std::shared_ptr<const Env::Decl_tree>& empty_decls() {
  static const auto e = std::make_shared<const Env::Decl_tree>();
  return e;
}
const std::shared_ptr<const Env::Local_tree>& empty_locals() {
  static const auto e = std::make_shared<const Env::Local_tree>();
  return e;
}
}  // namespace

Env::Env() : decls_(empty_decls()), locals_(empty_locals()) {}

Env Env::add_decl(const Declaration& d) const { return add_decl(std::make_shared<const Declaration>(d)); }

Env Env::add_decl(std::shared_ptr<const Declaration> d) const {
  Env res = *this;
  res.extend(std::move(d));
  return res;
}

namespace {
// Maps the key in the table held by *t, in place when *t is held only here.
template <class Tree, class A, class K, class V>
void table_add(std::shared_ptr<const Tree>& t, const K& key, const V& value) {
  if (t.use_count() == 1) {
    auto& root = const_cast<Tree*>(t.get())->root;  // created mutable below
    root = A::add_owned(std::move(root), key, value);
  } else {
    t = std::make_shared<Tree>(Tree{A::add(t->root, key, value)});
  }
}
}  // namespace

Env& Env::extend(std::shared_ptr<const Declaration> d) {
  VQ_ASSERT(d != nullptr, "add_decl of a null declaration");
  const Ident& name = declaration_name(*d);
  // Checked first so that a failed extend leaves the environment as it was.
  if (const Entry* before = Decls::find(decls_->root, name)) {
    std::string first;
    if (before->decl)
      if (auto at = location_of(declaration_pos(*before->decl))) first = " (first at " + location_text(*at) + ")";
    fail_at(location_of(declaration_pos(*d)), aadl_name(name) + " is declared twice" + first +
                                                 "; remove one of the declarations, or give each file once");
  }
  if (const auto* c = std::get_if<Component>(d.get()))
    for (const auto& sub : c->subcomponents)
      if (sub.classifier) {
        locals_ = std::make_shared<Local_tree>(Local_tree{d, std::move(locals_), nullptr});
        break;
      }
  table_add<Decl_tree, Decls>(decls_, name, Entry{std::move(d), std::nullopt});
  return *this;
}

Env Env::update(const Ident& name, Entry e) const {
  Env res = *this;
  res.decls_ = std::make_shared<Decl_tree>(Decl_tree{Decls::add(decls_->root, name, e)});
  return res;
}

const Entry* Env::find(const Ident& name) const { return Decls::find(decls_->root, name); }

const Entry& Env::get(const Ident& name) const {
  const Entry* e = find(name);
  if (!e) not_found();
  return *e;
}

bool Env::mem(const Ident& name) const { return find(name) != nullptr; }

const Declaration& Env::get_aadl(const Ident& name) const {
  const Entry& e = get(name);
  VQ_ASSERT(e.decl != nullptr, "entry without declaration for " + name.str());
  return *e.decl;
}

const Component& Env::get_component(const Ident& name) const {
  const auto* c = std::get_if<Component>(&get_aadl(name));
  if (!c) not_found();
  return *c;
}

const Component& Env::get_component2(const Ident& name) const {
  const Entry* e = find(name);
  if (!e) {
    std::string msg = "*** No component named " + name.str() + " exists.\nExisting components are:\n\t";
    iter([&](const Ident& k, const Entry&) {
      msg += k.str();
      msg += "\n\t";
    });
    internal_error(msg + "Env.get_component2: no component named " + name.str());
  }
  VQ_ASSERT(e->decl != nullptr, "entry without declaration for " + name.str());
  const auto* c = std::get_if<Component>(e->decl.get());
  VQ_ASSERT(c != nullptr, name.str() + " is a port group, not a component");
  return *c;
}

const Port_group& Env::get_port_grp(const Ident& name) const {
  const auto* g = std::get_if<Port_group>(&get_aadl(name));
  if (!g) not_found();
  return *g;
}

namespace {
// The node an entry with a definition holds; a definition that is not a
// node is an internal error.
const std::shared_ptr<const Node>& node_of(const Ident& name, const Entry& e) {
  const auto* n = std::get_if<Node_def>(&*e.def);
  VQ_ASSERT(n != nullptr && n->node != nullptr, "the definition of " + name.str() + " is not a node");
  return n->node;
}
}  // namespace

std::shared_ptr<const Node> Env::get_node_ptr(const Ident& name) const {
  const Entry& e = get(name);
  if (!e.def) not_found();
  return node_of(name, e);
}

const Node& Env::get_node(const Ident& name) const {
  const Entry& e = get(name);
  if (!e.def) not_found();
  return *node_of(name, e);
}

const Node& Env::get_node2(const Ident& name) const {
  const Entry* e = find(name);
  if (!e || !e->def) {
    internal_error("*** No component named " + name.str() + " exists.\nEnv.get_node2: no node named " + name.str());
  }
  return *node_of(name, *e);
}

const Feature& Env::get_feature(const Ident& component, const Ident& feature) const {
  const Component& c = get_component(component);
  for (const auto& f : c.features)
    if (f.name == feature) return f;
  not_found();
}

const Ident& Env::get_comp_name_of_loc_id(const Ident& component, const Ident& local) const {
  const Local_names& names = local_names();
  const Local_key key{local, component};
  auto it = std::lower_bound(names.begin(), names.end(), key,
                             [](const std::pair<Local_key, Ident>& e, const Local_key& k) { return e.first < k; });
  if (it != names.end() && it->first == key) return it->second;
  std::string msg = "*** No local identifier named " + local.str() + " in component " + component.str() +
                    " exists in table: \n";
  iter_locals([&](const Local_key& k, const Ident& v) {
    msg += "\t";
    msg += k.first.str();
    msg += ":";
    msg += k.second.str();
    msg += " -> ";
    msg += v.str();
    msg += "\n";
  });
  internal_error(msg + "Env.get_comp_name_of_loc_id: no local identifier " + local.str() + " in " + component.str());
}

void Env::iter(const std::function<void(const Ident&, const Entry&)>& f) const { Decls::iter(decls_->root, f); }

Env Env::map(const std::function<Entry(const Entry&)>& f) const {
  Env res = *this;
  res.decls_ = std::make_shared<Decl_tree>(Decl_tree{Decls::map(decls_->root, f)});
  return res;
}

void Env::iter_locals(const std::function<void(const Local_key&, const Ident&)>& f) const {
  for (const auto& [key, classifier] : local_names()) f(key, classifier);
}

std::size_t Env::size() const { return Decls::count(decls_->root); }

// Every sub-component with a classifier of every declaration added by
// extend, under (sub-component name, component name); of two sub-components
// of one name in one component, the later one.
const Local_names& Env::local_names() const {
  if (!locals_->table) {
    struct Binding {
      const Local_key* key;
      const Ident* classifier;
    };
    std::vector<const Component*> components;  // newest first
    std::size_t n = 0;
    for (const Local_tree* cell = locals_.get(); cell->decl; cell = cell->older.get())
      if (const auto* c = std::get_if<Component>(cell->decl.get())) {
        components.push_back(c);
        n += c->subcomponents.size();
      }
    // The keys are built first, so that the bindings can point at them.
    std::vector<Local_key> keys;
    keys.reserve(n);
    std::vector<Binding> bindings;
    bindings.reserve(n);
    for (auto it = components.rbegin(); it != components.rend(); ++it)
      for (const auto& sub : (*it)->subcomponents)
        if (sub.classifier) {
          keys.push_back(Local_key{sub.name, (*it)->name});
          bindings.push_back(Binding{&keys.back(), &*sub.classifier});
        }
    std::stable_sort(bindings.begin(), bindings.end(),
                     [](const Binding& a, const Binding& b) { return *a.key < *b.key; });
    auto table = std::make_shared<Local_names>();
    table->reserve(bindings.size());
    for (std::size_t i = 0; i < bindings.size(); ++i) {
      // Of equal keys, the one added last.
      if (i + 1 < bindings.size() && *bindings[i + 1].key == *bindings[i].key) continue;
      table->emplace_back(*bindings[i].key, *bindings[i].classifier);
    }
    locals_->table = std::move(table);
  }
  return *locals_->table;
}

}  // namespace vorquel
