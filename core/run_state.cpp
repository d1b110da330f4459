#include "core/run_state.hpp"

#include <cstdlib>
#include <new>

#include "core/print.hpp"

namespace ciprop {

void Espa::resize(size_t half) {
  std::free(w_);
  half_ = half;
  w_ = static_cast<double*>(std::calloc(2 * half, sizeof(double)));
  if (!w_) throw std::bad_alloc();
}

void size_work_array(Run& run, long long half) {
  if (half < 1) half = 1;
  try {
    run.espa.resize(static_cast<size_t>(half));
  } catch (const std::bad_alloc&) {
    refuse(run, {"pas assez de memoire pour le tableau de travail : mots", 2 * half});
  }
  run.dim = static_cast<int>(half);
}

Espa::~Espa() { std::free(w_); }

}  // namespace ciprop
