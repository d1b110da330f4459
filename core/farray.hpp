// Fixed-size arrays with the index ranges of the run-state records: any lower
// bound, first index varying fastest (column-major), zero at start.  With
// CIPROP_BOUNDS every subscript is checked against its declared range.
#pragma once
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace ciprop {

#if defined(CIPROP_BOUNDS)
[[noreturn]] inline void bounds_fault(long i, long lo, long hi) {
  std::fprintf(stderr, "ciprop: subscript %ld outside %ld..%ld\n", i, lo, hi);
  std::abort();
}
#define CIPROP_CHECK(i, lo, hi) \
  ((i) < (lo) || (i) > (hi) ? ::ciprop::bounds_fault((i), (lo), (hi)) : (void)0)
#else
#define CIPROP_CHECK(i, lo, hi) ((void)0)
#endif

template <class T, int L1, int H1>
struct Arr1 {
  static constexpr int lo = L1, hi = H1;
  static constexpr std::size_t n = H1 - L1 + 1;
  std::array<T, n> v{};
  T& operator()(int i) {
    CIPROP_CHECK(i, L1, H1);
    return v[i - L1];
  }
  const T& operator()(int i) const {
    CIPROP_CHECK(i, L1, H1);
    return v[i - L1];
  }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  void fill(const T& x) { v.fill(x); }
};

template <class T, int L1, int H1, int L2, int H2>
struct Arr2 {
  static constexpr std::size_t n1 = H1 - L1 + 1, n2 = H2 - L2 + 1;
  std::array<T, n1 * n2> v{};
  static std::size_t at(int i, int j) {
    CIPROP_CHECK(i, L1, H1);
    CIPROP_CHECK(j, L2, H2);
    return std::size_t(i - L1) + n1 * std::size_t(j - L2);
  }
  T& operator()(int i, int j) { return v[at(i, j)]; }
  const T& operator()(int i, int j) const { return v[at(i, j)]; }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  void fill(const T& x) { v.fill(x); }
};

template <class T, int L1, int H1, int L2, int H2, int L3, int H3>
struct Arr3 {
  static constexpr std::size_t n1 = H1 - L1 + 1, n2 = H2 - L2 + 1, n3 = H3 - L3 + 1;
  std::array<T, n1 * n2 * n3> v{};
  static std::size_t at(int i, int j, int k) {
    CIPROP_CHECK(i, L1, H1);
    CIPROP_CHECK(j, L2, H2);
    CIPROP_CHECK(k, L3, H3);
    return std::size_t(i - L1) + n1 * (std::size_t(j - L2) + n2 * std::size_t(k - L3));
  }
  T& operator()(int i, int j, int k) { return v[at(i, j, k)]; }
  const T& operator()(int i, int j, int k) const { return v[at(i, j, k)]; }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  void fill(const T& x) { v.fill(x); }
};

template <class T, int L1, int H1, int L2, int H2, int L3, int H3, int L4, int H4>
struct Arr4 {
  static constexpr std::size_t n1 = H1 - L1 + 1, n2 = H2 - L2 + 1, n3 = H3 - L3 + 1,
                               n4 = H4 - L4 + 1;
  std::array<T, n1 * n2 * n3 * n4> v{};
  static std::size_t at(int i, int j, int k, int l) {
    CIPROP_CHECK(i, L1, H1);
    CIPROP_CHECK(j, L2, H2);
    CIPROP_CHECK(k, L3, H3);
    CIPROP_CHECK(l, L4, H4);
    return std::size_t(i - L1) +
           n1 * (std::size_t(j - L2) + n2 * (std::size_t(k - L3) + n3 * std::size_t(l - L4)));
  }
  T& operator()(int i, int j, int k, int l) { return v[at(i, j, k, l)]; }
  const T& operator()(int i, int j, int k, int l) const { return v[at(i, j, k, l)]; }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  void fill(const T& x) { v.fill(x); }
};

// A large record array held outside the record that names it, in pages that
// come zero from the kernel (calloc serves blocks of this size from a fresh
// mapping).  The records are sized for 500 orbitals while a run uses the
// norb x norb corner: only the pages a run writes or reads cost memory and
// time, not the zeroing of the whole capacity at start.  It reads like the
// array it holds, subscripts checked the same way.
template <class A>
class ZeroPaged {
  // calloc's zero bytes are the array's zero contents without a constructor.
  static_assert(std::is_trivially_destructible_v<A> && std::is_aggregate_v<A>);

 public:
  ZeroPaged() : a_(static_cast<A*>(std::calloc(1, sizeof(A)))) {
    if (!a_) throw std::bad_alloc();
  }
  ~ZeroPaged() { std::free(a_); }
  // A copy is a copy of the contents, as for the array itself.
  ZeroPaged(const ZeroPaged& o) : ZeroPaged() { *a_ = *o.a_; }
  ZeroPaged& operator=(const ZeroPaged& o) {
    *a_ = *o.a_;
    return *this;
  }

  template <class... I>
  decltype(auto) operator()(I... i) {
    return (*a_)(i...);
  }
  template <class... I>
  decltype(auto) operator()(I... i) const {
    return std::as_const(*a_)(i...);
  }
  auto* data() { return a_->data(); }
  const auto* data() const { return std::as_const(*a_).data(); }
  template <class T>
  void fill(const T& x) {
    a_->fill(x);
  }

 private:
  A* a_;
};

// A fixed-length character member, blank-padded like Fortran CHARACTER*N.
// It starts as zero bytes (program start) until something is assigned.
template <int N>
struct FChar {
  std::array<char, N> c{};
  void assign(std::string_view s) {
    for (int k = 0; k < N; ++k) c[k] = k < int(s.size()) ? s[k] : ' ';
  }
  std::string_view view() const { return std::string_view(c.data(), N); }
  // The text without trailing blanks (zero bytes count as text).
  std::string_view trimmed() const {
    int n = N;
    while (n > 0 && c[n - 1] == ' ') --n;
    return std::string_view(c.data(), n);
  }
  bool operator==(std::string_view s) const {
    // Compared blank-padded, as Fortran compares character values.
    for (int k = 0; k < N; ++k)
      if (c[k] != (k < int(s.size()) ? s[k] : ' ')) return false;
    return int(s.size()) <= N || s.substr(N).find_first_not_of(' ') == std::string_view::npos;
  }
  char* data() { return c.data(); }
};

}  // namespace ciprop
