// The reordering of the second determinant list into address order.  Each
// pass reads the whole list and keeps the determinants of one window of
// consecutive addresses, each in the row of its address; the rows are then
// written out in order.  Memory stays bounded by the buffer, and the list is
// only ever read sequentially.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "detspace/detlist.hpp"
#include "detspace/reorder.hpp"
#include "core/print.hpp"
#include "core/threads.hpp"
#include "fortio/progress.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

int high_bytes(const Run& run, int n) { return run.orb.norb > 256 ? (n + 3) / 4 : 0; }

// Determinants per window: the buffer holds `capacity` elements, a row takes
// `row` of them.
int window(Run& run, long long capacity, int row) {
  long long w = capacity / row;
  if (w < 1) {
    refuse(run, {"tampon trop petit pour une ligne de determinant :", row, int(capacity)});
  }
  return int(std::min<long long>(w, INT_MAX));
}

// Takes the address of file position f (1-based); iordre has been cleared.
void place(Run& run, int* iordre, int addr, int f) {
  const int ndet = run.det.ndet;
  if (addr < 1 || addr > ndet || iordre[addr - 1] != 0)
    run.io.io_error(kUnitIadrv, "address " + std::to_string(addr) +
                                    " outside 1.." + std::to_string(ndet) + " or repeated");
  iordre[addr - 1] = f;
}

// The list was checked to hold ndet determinants, none longer than nmax; a
// pass that finds otherwise means the file changed under us.
[[noreturn]] void list_ended(Run& run) {
  run.io.io_error(kUnitDetB, "the list ended before its " + std::to_string(run.det.ndet) +
                                 " determinants");
}

[[noreturn]] void longer_than_checked(Run& run, int n, int nmax) {
  run.io.io_error(kUnitDetB, "a determinant with " + std::to_string(n) +
                                 " substitutions, more than the " + std::to_string(nmax) +
                                 " met at the check");
}

void write_block(Run& run) {
  Detsto& s = run.dets.detsto;
  const int o = s.wo, d = s.wd, h = s.wh;
  run.io.write_record(kUnitOrdet, {{&o, sizeof o},
                                   {&d, sizeof d},
                                   {s.worb, size_t(o)},
                                   {s.wdesc, size_t(d)},
                                   {&h, sizeof h},
                                   {s.whigh, size_t(h)}});
  s.wd = s.wo = s.wh = 0;
}

// Closes the input list and "ORDET", then either stops as the user asked or
// puts "ORDET" on unit 61 for the density stage.
void finish(Run& run, bool delete_input) {
  run.io.close(kUnitDetB, delete_input);
  run.io.close(kUnitOrdet);
  if (run.stp == "ORDET") fio::stop_requested("stop ORDET");
  run.io.open(kUnitDetB, "ORDET", fio::Status::Old, fio::Form::Unformatted);
  rew61(run);
}

}  // namespace

void rew61(Run& run) { restart_list(run, kUnitDetB); }

void lirbl(Run& run, int* p, int m, int unit) {
  for (int i = 0; i < m; i += kBlock) liri(run, p + i, std::min(kBlock, m - i), unit);
}

void venond3(Run& run, int& n, unsigned char& desc, unsigned char* emptied,
             unsigned char* filled, unsigned char* high, int& eof) {
  eof = 0;
  int m = 0;
  if (!next_packed(run, kUnitDetB, n, m)) {
    eof = 1;
    n = 0;
    return;
  }
  Detsto& s = run.dets.detsto;
  desc = s.desc[s.k - 1];
  std::memcpy(emptied, s.orb + s.ipos, size_t(n));
  std::memcpy(filled, s.orb + s.ipos + n, size_t(n));
  s.ipos += 2 * n;
  const int nh = high_bytes(run, n);
  std::memcpy(high, s.high + s.hpos, size_t(nh));
  s.hpos += nh;
}

void pie2(Run& run, int n, unsigned char desc, const unsigned char* emptied,
          const unsigned char* filled, const unsigned char* high) {
  Detsto& s = run.dets.detsto;
  const int nh = high_bytes(run, n);
  if (s.wo + 2 * n > kPackOrb || s.wh + nh > kPackHigh) {
    refuse(run, {"mpie2"});
  }
  s.wdesc[s.wd++] = desc;
  std::memcpy(s.worb + s.wo, emptied, size_t(n));
  std::memcpy(s.worb + s.wo + n, filled, size_t(n));
  s.wo += 2 * n;
  std::memcpy(s.whigh + s.wh, high, size_t(nh));
  s.wh += nh;
  if (s.wd == kPackDesc) write_block(run);
}

void fine2(Run& run) {
  if (run.dets.detsto.wd > 0) write_block(run);
}

namespace {

constexpr int kRowsAhead = 16;  // determinants

// Asks for the place of address addr in a table of ndet entries before it is
// needed; an address outside the table is refused later, when it is placed.
void fetch_place(const int* table, int ndet, int addr) {
  if (addr >= 1 && addr <= ndet) __builtin_prefetch(table + addr - 1, 1);
}

}  // namespace

void reorde2(Run& run, unsigned char* buf, unsigned char* /*buf2: the same buffer*/, int nmax,
             int* iordre) {
  const int ndet = run.det.ndet;
  Detsto& s = run.dets.detsto;
  s.wd = s.wo = s.wh = 0;
  const int row = 2 * nmax + high_bytes(run, nmax) + 1;
  const int w = window(run, 12LL * run.dim, row);
  run.io.open(kUnitOrdet, "ORDET", fio::Status::Unknown, fio::Form::Unformatted);

  run.io.rewind(kUnitIadrv);
  std::fill(iordre, iordre + ndet, 0);
  int blk[kBlock];
  for (int i = 0; i < ndet; i += kBlock) {
    const int cnt = std::min(kBlock, ndet - i);
    liri(run, blk, cnt, kUnitIadrv);
    for (int j = 0; j < cnt; ++j) {
      // The places are random over the whole table: fetched ahead.
      if (j + kRowsAhead < cnt) fetch_place(iordre, ndet, blk[j + kRowsAhead]);
      place(run, iordre, blk[j], i + j + 1);
    }
  }

  int n = 0, eof = 0;
  unsigned char desc = 0, emptied[kMaxSubst], filled[kMaxSubst], high[kMaxSubst];
  // The determinants of a batch are copied, in list order, into rows of
  // their own; the rows of the window then go to their places, which are
  // random over the window, on the run's threads (the places are distinct).
  constexpr int kBatch = 32768;
  std::vector<unsigned char> staged(size_t(kBatch) * size_t(row));
  // One pass over the list per window of addresses.
  fio::Progress progress(run.io, "reordering", (ndet + w - 1LL) / w * ndet);
  for (int lo = 1; lo <= ndet; lo += w) {
    const int hi = std::min<long long>(ndet, (long long)lo + w - 1);
    rew61(run);
    for (int f0 = 1; f0 <= ndet; f0 += kBatch) {
      const int m = std::min(kBatch, ndet - f0 + 1);
      for (int j = 0; j < m; ++j) {
        progress.tick((lo - 1LL) / w * ndet + f0 + j);
        venond3(run, n, desc, emptied, filled, high, eof);
        if (eof) list_ended(run);
        if (n > nmax) longer_than_checked(run, n, nmax);
        unsigned char* r = &staged[size_t(j) * size_t(row)];
        r[0] = desc;
        std::memcpy(r + 1, emptied, size_t(n));
        std::memcpy(r + 1 + n, filled, size_t(n));
        std::memcpy(r + 1 + 2 * n, high, size_t(high_bytes(run, n)));
      }
      const int* addr = iordre + (f0 - 1);
      in_shares(m, 4096, [&](int from, int to) {
        for (int j = from; j < to; ++j) {
          if (j + kRowsAhead < to && addr[j + kRowsAhead] >= lo && addr[j + kRowsAhead] <= hi)
            __builtin_prefetch(buf + size_t(addr[j + kRowsAhead] - lo) * size_t(row), 1);
          if (addr[j] < lo || addr[j] > hi) continue;
          std::memcpy(buf + size_t(addr[j] - lo) * size_t(row), &staged[size_t(j) * size_t(row)],
                      size_t(row));
        }
      });
    }
    for (int k = 0; k <= hi - lo; ++k) {
      const unsigned char* r = buf + size_t(k) * size_t(row);
      int m = 0;
      venond4(r[0], n, m);
      pie2(run, n, r[0], r + 1, r + 1 + n, r + 1 + 2 * n);
    }
  }
  fine2(run);
  finish(run, run.switches.delete_list_after_reordering);
}

void reorde(Run& run, int nmax, int* table, int* scratch, short* rows) {
  const int ndet = run.det.ndet;
  const int row = 2 * nmax + 1;
  const long long capacity = 6LL * run.dim;  // two-byte integers
  const int w = window(run, capacity, row);
  if (2LL * ndet > capacity) {
    refuse(run, {"tampon trop petit pour l'ordre des determinants :", ndet, int(capacity)});
  }
  run.io.open(kUnitOrdet, "ORDET", fio::Status::Unknown, fio::Form::Unformatted);

  run.io.rewind(kUnitIadrv);
  lirbl(run, table, ndet, kUnitIadrv);
  std::fill(scratch, scratch + ndet, 0);
  for (int i = 0; i < ndet; ++i) place(run, scratch, table[i], i + 1);
  std::copy(scratch, scratch + ndet, table);

  int n = 0, eof = 0;
  int a[kMaxSubst], b[kMaxSubst], out[2 * kMaxSubst];
  fio::Progress progress(run.io, "reordering", (ndet + w - 1LL) / w * ndet);
  for (int lo = 1; lo <= ndet; lo += w) {
    const int hi = std::min<long long>(ndet, (long long)lo + w - 1);
    rew61(run);
    for (int f = 1; f <= ndet; ++f) {
      progress.tick((lo - 1LL) / w * ndet + f);
      venond_plain(run, kUnitDetB, n, a, b, eof);
      if (eof) list_ended(run);
      if (n > nmax) longer_than_checked(run, n, nmax);
      const int addr = table[f - 1];
      if (addr < lo || addr > hi) continue;
      short* r = rows + size_t(addr - lo) * size_t(row);
      r[0] = short(n);
      for (int i = 0; i < n; ++i) {
        r[1 + i] = short(a[i]);
        r[1 + n + i] = short(b[i]);
      }
    }
    for (int k = 0; k <= hi - lo; ++k) {
      const short* r = rows + size_t(k) * size_t(row);
      n = r[0];
      ecri(run, &n, 1, kUnitOrdet);
      if (n == 0) continue;
      std::copy(r + 1, r + 1 + 2 * n, out);
      ecri(run, out, 2 * n, kUnitOrdet);
    }
  }
  finish(run, false);
}

}  // namespace ciprop
