#include "scheduler/named_constants.hpp"

#include <algorithm>
#include <string>

#include "scheduler/scheduler.hpp"

namespace vorquel {

namespace {

constexpr long long fake_period = 10;
constexpr long long fake_exec_time = 1;

void add(std::vector<Named_constant>& out, const Integer& i, long long fake) {
  if (i.named) out.push_back(Named_constant{i.name, fake});
}

void add_thread(std::vector<Named_constant>& out, const Thread_sched& t) {
  // Only a periodic activation writes its period (timer(period)); a later
  // call of a call sequence is dispatched by the previous call's release.
  if (const auto* p = std::get_if<Periodic>(&t.act)) add(out, p->period, fake_period);
  add(out, t.deliv.lower, fake_exec_time);
  add(out, t.deliv.upper, fake_exec_time);
}

}  // namespace

std::vector<Named_constant> used_named_constants(const std::vector<Processor_entry>& tree) {
  std::vector<Named_constant> out;
  for (const auto& entry : tree)
    for (const auto& item : entry.items) {
      if (const auto* t = std::get_if<Si_thread>(&item.item)) add_thread(out, t->thread);
      else
        for (const auto& c : std::get<Si_calls>(item.item).calls) add_thread(out, c);
    }
  auto by_text = [](const Named_constant& a, const Named_constant& b) { return a.name.str() < b.name.str(); };
  std::stable_sort(out.begin(), out.end(), by_text);
  out.erase(std::unique(out.begin(), out.end(),
                        [](const Named_constant& a, const Named_constant& b) { return a.name.str() == b.name.str(); }),
            out.end());
  return out;
}

void print_named_constants(Lustre_writer& w, bool fake, const std::vector<Named_constant>& constants) {
  if (constants.empty()) return;
  Channel& saved = w.channel();
  w.switch_to(*w.files().fillme_const);
  for (const auto& c : constants) {
    w.p("const ");
    w.p(w.name_text(c.name));
    if (fake) {
      w.p(" = ");
      w.p_number(c.fake_value);
      w.p(" ;-- XXX fixme!\n");
    } else {
      w.p(" : int ;-- XXX fixme!\n");
    }
  }
  w.switch_to(saved);
}

}  // namespace vorquel
