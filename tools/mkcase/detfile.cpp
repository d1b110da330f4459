#include "tools/mkcase/detfile.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "tools/mkcase/records.hpp"

namespace mkcase {

namespace {

// The CI program's lists hold at most 20 substitutions per determinant.
constexpr std::size_t kMaxExcitation = 20;

int orbital_of(int s, const OrbitalLayout& l) { return s > l.norb ? s - l.norb : s; }

// Shuffles v, then puts the entries for which fixed() holds back into
// ascending order on the places they now occupy (v is short).
template <class Fixed>
void shuffle_keeping(std::vector<int>& v, Rng& rng, Fixed fixed) {
  for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[rng.below(i)]);
  for (std::size_t i = 0; i < v.size(); ++i)
    for (std::size_t j = i + 1; j < v.size(); ++j)
      if (fixed(v[i]) && fixed(v[j]) && v[j] < v[i]) std::swap(v[i], v[j]);
}

}  // namespace

void vary_listing(Excitation& out, const OrbitalLayout& l, Rng& rng) {
  const int marker = 2 * l.norb + 1;
  bool has_marker = !out.parts.empty() && out.parts.back() == marker;
  if (has_marker) out.parts.pop_back();
  shuffle_keeping(out.holes, rng, [&](int s) { return orbital_of(s, l) <= l.ninac; });
  shuffle_keeping(out.parts, rng,
                  [&](int s) { return orbital_of(s, l) > l.ninac + l.noac; });
  if (has_marker) out.parts.push_back(marker);
}

int listing_phase(const Excitation& listed, const OrbitalLayout& l) {
  // The untouched slots keep the reference's ascending values, so only pairs
  // with a changed slot can be out of order.  Slot j of the reference holds
  // j (alpha) or norb + j - nocc (beta); the first r(q) slots hold the
  // reference values below q.
  const int nocc = l.nocc, norb = l.norb;
  const std::size_t n = listed.holes.size();
  if (n > kMaxExcitation) throw std::logic_error("mkcase: more than 20 substitutions");
  std::array<int, kMaxExcitation> pos, val;
  for (std::size_t k = 0; k < n; ++k) {
    int p = listed.holes[k];
    pos[k] = p <= norb ? p : nocc + p - norb;
    val[k] = listed.parts[k];
  }
  auto below = [&](int q) {
    return std::min(q - 1, nocc) + (q > norb ? std::min(q - norb - 1, nocc) : 0);
  };
  auto changed_in = [&](int first, int last) {  // changed slots in first..last
    int c = 0;
    for (std::size_t k = 0; k < n; ++k) c += pos[k] >= first && pos[k] <= last;
    return c;
  };
  long inversions = 0;
  for (std::size_t k = 0; k < n; ++k) {
    int r = below(val[k]);
    if (r > pos[k]) inversions += r - pos[k] - changed_in(pos[k] + 1, r);
    if (r < pos[k] - 1) inversions += pos[k] - 1 - r - changed_in(r + 1, pos[k] - 1);
    for (std::size_t m = 0; m < n; ++m)
      if (pos[m] > pos[k] && val[m] < val[k]) ++inversions;
  }
  // The marker is above every spin-orbital: leaving the list it takes with
  // it one inversion with each slot after it.
  for (std::size_t k = 0; k < n; ++k)
    if (val[k] == 2 * norb + 1) inversions -= 2 * nocc - pos[k];
  return inversions % 2 == 0 ? 1 : -1;
}

namespace {

// Blocks of the packed layout.
class PackedWriter {
 public:
  PackedWriter(RecordFile& f, const OrbitalLayout& l, int ms2) : f_(f), l_(l), ms2_(ms2) {}

  void add(const Excitation& e) {
    const int n = static_cast<int>(e.holes.size());
    int alpha_holes = 0, alpha_parts = 0;
    for (int s : e.holes) alpha_holes += s <= l_.norb;
    for (int s : e.parts) alpha_parts += s <= l_.norb;
    // The reader derives the alpha particle count from the alpha holes and
    // the spin projection.
    if (alpha_parts != alpha_holes - (1 - ms2_) / 2)
      throw std::logic_error("mkcase: spin of a determinant does not fit the packed layout");
    if (k_ == 100 || orbital_.size() + 2 * n > 3600) flush();
    descriptor_.push_back(static_cast<unsigned char>(n * (n + 1) / 2 + alpha_holes + 1));
    ++k_;
    for (int s : e.holes) orbital_.push_back(static_cast<unsigned char>(orbital_of(s, l_) % 256));
    // A particle of orbital o is stored as o - 256 h (1..256, 256 as 0)
    // with h in the high-bit stream, two bits per particle, four per byte.
    unsigned char high = 0;
    for (int k = 0; k < n; ++k) {
      int o = e.parts[k] > l_.norb ? e.parts[k] - l_.norb : e.parts[k];
      int h = (o - 1) / 256;
      orbital_.push_back(static_cast<unsigned char>((o - 256 * h) % 256));
      high |= static_cast<unsigned char>(h << (2 * (k % 4)));
      if (k % 4 == 3 || k == n - 1) {
        if (l_.norb > 256) high_.push_back(high);
        high = 0;
      }
    }
  }

  void flush() {
    if (k_ == 0) return;
    const int32_t l1 = static_cast<int32_t>(orbital_.size()), l3 = static_cast<int32_t>(high_.size());
    f_.record({{&l1, 4}, {&k_, 4}, {orbital_.data(), orbital_.size()},
               {descriptor_.data(), descriptor_.size()}, {&l3, 4}, {high_.data(), high_.size()}});
    k_ = 0;
    orbital_.clear();
    descriptor_.clear();
    high_.clear();
  }

 private:
  RecordFile& f_;
  const OrbitalLayout& l_;
  int ms2_;
  int32_t k_ = 0;
  std::vector<unsigned char> orbital_, descriptor_, high_;
};

}  // namespace

std::vector<int8_t> write_determinant_list(const std::string& path,
                                           const std::vector<Determinant>& dets,
                                           const std::vector<int>& order,
                                           const Description& d, uint64_t seed) {
  const OrbitalLayout l = layout(d);
  RecordFile f(path);
  PackedWriter packed(f, l, d.ms2);
  Rng rng(seed);
  std::vector<int8_t> phase(order.size());
  std::vector<int32_t> lists;
  Excitation e;
  for (std::size_t i = 0; i < order.size(); ++i) {
    excitation(dets[order[i]], l, e);
    if (d.packed) {
      packed.add(e);
    } else {
      vary_listing(e, l, rng);
      const int32_t n = static_cast<int32_t>(e.holes.size());
      f.record({{&n, 4}});
      if (n > 0) {
        lists.assign(e.holes.begin(), e.holes.end());
        lists.insert(lists.end(), e.parts.begin(), e.parts.end());
        f.record(lists);
      }
    }
    phase[i] = static_cast<int8_t>(listing_phase(e, l));
  }
  packed.flush();
  f.close();
  return phase;
}

}  // namespace mkcase
