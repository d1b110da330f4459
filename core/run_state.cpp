#include "core/run_state.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "core/print.hpp"
#include "core/threads.hpp"

namespace ciprop {

void Espa::resize(size_t half) {
  std::free(w_);
  half_ = half;
  w_ = static_cast<double*>(std::calloc(2 * half, sizeof(double)));
  if (!w_) throw std::bad_alloc();
  prefer_huge_pages(w_, 2 * half * sizeof(double));
}

void prefer_huge_pages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t lo = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t hi = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  if (hi > lo) ::madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

ZeroVector::ZeroVector(size_t n)
    : p_(static_cast<double*>(std::calloc(n > 0 ? n : 1, sizeof(double)))), n_(n) {
  if (!p_) throw std::bad_alloc();
  prefer_huge_pages(p_.get(), n * sizeof(double));
  double* p = p_.get();
  in_shares(static_cast<int>(std::min<size_t>(n, INT_MAX)), 1 << 18, [p](int lo, int hi) {
    std::memset(p + lo, 0, sizeof(double) * size_t(hi - lo));
  });
}

void ZeroVector::Free::operator()(double* p) const { std::free(p); }

void size_work_array(Run& run, long long half) {
  if (half < 1) half = 1;
  try {
    run.espa.resize(static_cast<size_t>(half));
  } catch (const std::bad_alloc&) {
    refuse(run, {"pas assez de memoire pour le tableau de travail : mots", 2 * half},
           "not enough memory for the work array of " + std::to_string(2 * half) +
               " words (" + std::to_string((16 * half + (1 << 20) - 1) >> 20) +
               " MB); run on a machine with more memory");
  }
  run.dim = static_cast<int>(half);
}

Espa::~Espa() { std::free(w_); }

void KetStore::resize(size_t count, size_t length) {
  w_.reset();
  count_ = length_ = 0;
  if (count == 0 || length == 0) return;
  w_ = std::make_unique_for_overwrite<double[]>(count * length);
  prefer_huge_pages(w_.get(), count * length * sizeof(double));
  count_ = count;
  length_ = length;
}

// The kernel's own estimate of what it can still hand out without swapping
// (MemAvailable), or the free pages where that line is missing.
long long available_memory() {
  std::ifstream f("/proc/meminfo");
  for (std::string key; f >> key;) {
    long long kb = 0;
    f >> kb;
    if (key == "MemAvailable:") return kb * 1024;
    f.ignore(1 << 10, '\n');
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? static_cast<long long>(pages) * size : 0;
}

}  // namespace ciprop
