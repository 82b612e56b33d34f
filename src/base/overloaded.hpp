// The visitor of several lambdas, for std::visit.
#pragma once

namespace vorquel {

template <class... F>
struct overloaded : F... {
  using F::operator()...;
};
template <class... F>
overloaded(F...) -> overloaded<F...>;

}  // namespace vorquel
