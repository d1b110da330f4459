#include "core/run_state.hpp"

#include <cstdlib>
#include <new>

namespace ciprop {

Espa::Espa() : w_(static_cast<double*>(std::calloc(kWords, sizeof(double)))) {
  if (!w_) throw std::bad_alloc();
}

Espa::~Espa() { std::free(w_); }

}  // namespace ciprop
