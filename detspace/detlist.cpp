// Readers of the determinant lists and the integer block files.
#include "detspace/detlist.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace ciprop {

namespace {

int get32(const unsigned char* b) {
  int v;
  std::memcpy(&v, b, sizeof v);
  return v;
}

// A file whose content would make a reader write past its arrays, or hand
// out spin-orbitals that no table knows, is refused here, before any stage
// indexes with what it holds.
[[noreturn]] void bad_list(Run& run, int unit, const std::string& what) {
  run.io.io_error(unit, "determinant list: " + what);
}

void check_count(Run& run, int unit, int n) {
  if (n < 0 || n > kMaxSubst)
    bad_list(run, unit,
             "a determinant with " + std::to_string(n) + " substitutions (0 to " +
                 std::to_string(kMaxSubst) + " allowed)");
}

// Holes are spin-orbitals 1..2 norb; a particle may also be the empty slot
// 2 norb + 1 of an odd electron count, which has no orbital (nor symmetry).
void check_orbitals(Run& run, int unit, int n, const int* a, const int* b) {
  const int top = 2 * run.orb.norb + 1;
  for (int i = 0; i < n; ++i) {
    if (a[i] < 1 || a[i] >= top)
      bad_list(run, unit,
               "hole " + std::to_string(a[i]) + " outside 1.." + std::to_string(top - 1));
    if (b[i] < 1 || b[i] > top)
      bad_list(run, unit,
               "spin-orbital " + std::to_string(b[i]) + " outside 1.." + std::to_string(top));
  }
}

// Reads the next block record into the reader's buffers; false at end of
// file or on a read error.
bool read_block(Run& run, int unit) {
  Detsto& s = run.dets.detsto;
  size_t len = 0;
  if (!run.io.try_read_record(unit, s.rec, sizeof s.rec, &len)) return false;
  if (len < 12) bad_list(run, unit, "packed block of " + std::to_string(len) + " bytes");
  const int l1 = get32(s.rec), kk = get32(s.rec + 4);
  if (l1 < 0 || l1 > kPackOrb)
    bad_list(run, unit, "packed block with " + std::to_string(l1) + " orbital bytes (at most " +
                            std::to_string(kPackOrb) + ")");
  if (kk < 0 || kk > kPackDesc)
    bad_list(run, unit, "packed block with " + std::to_string(kk) + " determinants (at most " +
                            std::to_string(kPackDesc) + ")");
  if (len < size_t(12 + l1 + kk)) bad_list(run, unit, "packed block shorter than its counts");
  const int l3 = get32(s.rec + 8 + l1 + kk);
  if (l3 < 0 || l3 > kPackHigh)
    bad_list(run, unit, "packed block with " + std::to_string(l3) + " high-bit bytes (at most " +
                            std::to_string(kPackHigh) + ")");
  if (len < size_t(12 + l1 + kk + l3)) bad_list(run, unit, "packed block shorter than its counts");
  std::memcpy(s.orb, s.rec + 8, size_t(l1));
  std::memcpy(s.desc, s.rec + 8 + l1, size_t(kk));
  std::memcpy(s.high, s.rec + 12 + l1 + kk, size_t(l3));
  s.l1 = l1;
  s.kk = kk;
  s.l3 = l3;
  return true;
}

// A spatial orbital from its byte: 0 stands for 256.
int orbital_byte(unsigned char c) { return c == 0 ? 256 : c; }

// Decodes count bytes of one spin: alpha as they stand, beta shifted by norb.
void unpack(const unsigned char* bytes, int count, bool beta, int norb, int* out) {
  for (int i = 0; i < count; ++i) {
    if (!beta) {
      out[i] = orbital_byte(bytes[i]);
    } else {
      int v = bytes[i] + norb;
      out[i] = v <= norb ? v + 256 : v;
    }
  }
}

}  // namespace

bool next_packed(Run& run, int unit, int& n, int& m) {
  Detsto& s = run.dets.detsto;
  ++s.k;
  while (s.k > s.kk) {
    if (!read_block(run, unit)) return false;
    s.k = 1;
    s.ipos = 0;
    s.hpos = 0;
  }
  venond4(s.desc[s.k - 1], n, m);
  check_count(run, unit, n);
  int nhigh = run.orb.norb > 256 ? (n + 3) / 4 : 0;
  if (s.ipos + 2 * n > s.l1 || s.hpos + nhigh > s.l3)
    bad_list(run, unit, "packed block holds fewer bytes than its descriptors need");
  return true;
}

void restart_list(Run& run, int unit) {
  run.io.rewind(unit);
  run.dets.detsto.empty_reader();
}

namespace {

void split_descriptor(int c, int& n, int& m) {
  int r = 0;  // floor of sqrt(8c), exact in integers
  while ((r + 1) * (r + 1) <= 8 * c) ++r;
  n = (r - 1) / 2;
  m = c - n * (n + 1) / 2;
}

// Every descriptor byte split once: each determinant of a packed list has one.
struct DescriptorTable {
  signed char n[256], m[256];
  DescriptorTable() {
    for (int c = 0; c < 256; ++c) {
      int nn = 0, mm = 0;
      split_descriptor(c, nn, mm);
      n[c] = static_cast<signed char>(nn);
      m[c] = static_cast<signed char>(mm);
    }
  }
};
const DescriptorTable kDescriptors;

}  // namespace

void venond4(int c, int& n, int& m) {
  if (c >= 0 && c < 256) {
    n = kDescriptors.n[c];
    m = kDescriptors.m[c];
  } else {
    split_descriptor(c, n, m);
  }
}

void venond2(Run& run, int& n, int* a, int* b, int& eof, int unit) {
  eof = 0;
  int m = 0;
  if (!next_packed(run, unit, n, m)) {
    eof = 1;
    n = 0;
    return;
  }
  if (n == 0) return;
  Detsto& s = run.dets.detsto;
  const int norb = run.orb.norb;
  // With an odd electron count the empty-slot marker stands among the filled
  // beta spin-orbitals, so the filled list has fewer alpha entries.
  const int sp = m - (1 - run.cs.ms2) / 2;
  if (sp < 1 || sp > n + 1)
    bad_list(run, unit, "descriptor " + std::to_string(s.desc[s.k - 1]) +
                            " does not fit the spin projection");
  unpack(s.orb + s.ipos, m - 1, false, norb, a);
  unpack(s.orb + s.ipos + m - 1, n - m + 1, true, norb, a + m - 1);
  s.ipos += n;
  unpack(s.orb + s.ipos, sp - 1, false, norb, b);
  unpack(s.orb + s.ipos + sp - 1, n - sp + 1, true, norb, b + sp - 1);
  s.ipos += n;
  if (norb > 256) {
    for (int i = 0; i < n; i += 4) {
      int h = s.high[s.hpos++];
      for (int j = i; j < std::min(n, i + 4); ++j, h /= 4) b[j] += 256 * (h % 4);
    }
  }
  check_orbitals(run, unit, n, a, b);
}

void venond_plain(Run& run, int unit, int& n, int* a, int* b, int& eof) {
  eof = 0;
  int buf[2 * kMaxSubst];
  size_t len = 0;
  if (!run.io.try_read_record(unit, buf, sizeof buf, &len) || len < sizeof(int)) {
    eof = 1;
    n = 0;
    return;
  }
  n = buf[0];
  check_count(run, unit, n);
  if (n == 0) return;
  if (!run.io.try_read_record(unit, buf, sizeof buf, &len) || len < 2 * sizeof(int) * size_t(n)) {
    eof = 1;
    n = 0;
    return;
  }
  std::copy(buf, buf + n, a);
  std::copy(buf + n, buf + 2 * n, b);
  check_orbitals(run, unit, n, a, b);
}

void venond_unit(Run& run, int unit, int& n, int* a, int* b, int& eof) {
  if (run.switches.packed_lists)
    venond2(run, n, a, b, eof, unit);
  else
    venond_plain(run, unit, n, a, b, eof);
}

void venond(Run& run, int& n, int* a, int* b, int& eof) {
  venond_unit(run, kUnitDetB, n, a, b, eof);
}

void ecri(Run& run, const int* p, int m, int unit) {
  run.io.write_record(unit, p, sizeof(int) * size_t(m & 0x3fffffff));
}

void ecribl(Run& run, const int* p, int m, int unit) {
  std::array<int, kBlock> last{};
  for (int i = 0; i < m; i += kBlock) {
    if (m - i >= kBlock) {
      ecri(run, p + i, kBlock, unit);
    } else {
      std::copy(p + i, p + m, last.begin());
      ecri(run, last.data(), kBlock, unit);
    }
  }
}

void liri(Run& run, int* iv, int n, int unit) {
  run.io.read_record(unit, iv, sizeof(int) * size_t(std::max(n, 0)));
}

namespace {

// The first entry that keeps a determinant from being read: its words and
// the spin-orbital it names (a hole when hole is set); null when none does.
const char* first_defect(const Run& run, int n, const int* a, const int* b, int& at, bool& hole) {
  const int norb = run.orb.norb, nocc = run.orb.nocc, marker = 2 * norb + 1;
  auto filled = [&](int so) { return (so > norb ? so - norb : so) <= nocc; };
  hole = true;
  for (int k = 0; k < n; ++k) {
    at = a[k];
    if (a[k] < 1 || a[k] >= marker) return " is not a spin-orbital";
    if (!filled(a[k])) return " is not occupied in the reference";
    if (std::find(a, a + k, a[k]) != a + k) return " is given twice";
  }
  hole = false;
  for (int k = 0; k < n; ++k) {
    at = b[k];
    if (b[k] < 1 || b[k] > marker) return " is not a spin-orbital";
    if (b[k] != marker && filled(b[k])) return " is occupied in the reference";
    if (std::find(b, b + k, b[k]) != b + k) return " is given twice";
  }
  return nullptr;
}

}  // namespace

bool list_readable(const Run& run, int n, const int* a, const int* b) {
  int at = 0;
  bool hole = false;
  return first_defect(run, n, a, b, at, hole) == nullptr;
}

std::string list_defect(const Run& run, int n, const int* a, const int* b) {
  int at = 0;
  bool hole = false;
  // Every determinant of a list passes through here: the words of a finding
  // are only put together once there is one.
  const char* what = first_defect(run, n, a, b, at, hole);
  if (!what) return {};
  return (hole ? "hole " : "particle ") + std::to_string(at) + what;
}

}  // namespace ciprop
