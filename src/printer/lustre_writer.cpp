#include "printer/lustre_writer.hpp"

namespace vorquel {

void Lustre_writer::p_joined(std::initializer_list<std::string_view> pieces) {
  if (!shorten_) {
    for (auto piece : pieces) p(piece);
    return;
  }
  scratch_.clear();
  for (auto piece : pieces) scratch_.append(piece);
  p(names_.shorten(scratch_));
}

std::string Lustre_writer::build_ident(std::string_view prefix, const Ident& id, std::string_view suffix) {
  const std::string& body = id.str();
  std::string s;
  s.reserve(prefix.size() + body.size() + suffix.size());
  s.append(prefix).append(body).append(suffix);
  return build_ident(s);
}

void Lustre_writer::type(const Type_expression& t) {
  if (const auto* n = std::get_if<TNamed>(&t.v)) {
    type_name(n->name);
    return;
  }
  record_type(as_record(t)->fields);
}

// "[ t1,t2 ]" in Lustre; "{ a : t1;b : t2 }" in SCADE, whose records name
// their fields.
void Lustre_writer::record_type(const std::vector<Type_field>& fields) {
  p(shorten_ ? "{ " : "[ ");
  bool first = true;
  for (const auto& f : fields) {
    if (!first) p(shorten_ ? ";" : ",");
    first = false;
    if (shorten_) {
      p_name(f.name);
      p(" : ");
    }
    type(f.type);
  }
  p(shorten_ ? " }" : " ]");
}

}  // namespace vorquel
