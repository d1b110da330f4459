// The reordering of the second determinant list into address order.  Each
// pass reads the whole list and keeps the determinants of one window of
// consecutive addresses, each in the row of its address; the rows are then
// written out in order.  Memory stays bounded by the buffer, and the list is
// only ever read sequentially.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
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
    refuse(run, {"tampon trop petit pour une ligne de determinant :", row, int(capacity)},
           "the work array (" + std::to_string(capacity) +
               " elements) cannot hold one row of the reordering (" + std::to_string(row) +
               " elements)");
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
  const std::string list = run.io.name(kUnitDetB);
  run.io.close(kUnitDetB, delete_input);
  run.io.flush(kUnitOrdet);
  if (run.stp == "ORDET") fio::stop_requested(run.io, "stop ORDET");
  run.io.move(kUnitOrdet, kUnitDetB);
  // Messages about the list name the file the user gave.
  run.io.describe(kUnitDetB, list + " in address order (ORDET)");
  rew61(run);
}

}  // namespace

void rew61(Run& run) { restart_list(run, kUnitDetB); }

void lirbl(Run& run, int* p, int m, int unit) {
  for (int i = 0; i < m; i += kBlock) liri(run, p + i, std::min(kBlock, m - i), unit);
}

void pie2(Run& run, int n, unsigned char desc, const unsigned char* emptied,
          const unsigned char* filled, const unsigned char* high) {
  Detsto& s = run.dets.detsto;
  const int nh = high_bytes(run, n);
  if (s.wo + 2 * n > kPackOrb || s.wh + nh > kPackHigh) {
    refuse(run, {"mpie2"}, "a block of the reordered list ORDET overflows its " +
                               std::to_string(kPackOrb) + " orbital bytes");
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

// iordre(file position) = address: the check's address blocks ("BID84"),
// which give the addresses in file order, read back as they were written.
// The check met every address of 1..ndet once; an address outside them or
// met twice is a damaged file.
void file_order_addresses(Run& run, int* iordre) {
  const int ndet = run.det.ndet;
  run.io.rewind(kUnitBid84);
  lirbl(run, iordre, ndet, kUnitBid84);
  // A bit per address: the flags stay in the caches.
  std::vector<std::uint64_t> met((size_t(ndet) + 63) / 64);
  for (int f = 0; f < ndet; ++f) {
    const int a = iordre[f];
    const std::uint64_t bit = std::uint64_t(1) << ((a - 1) % 64);
    if (a < 1 || a > ndet || (met[size_t(a - 1) / 64] & bit) != 0)
      run.io.io_error(kUnitBid84, "address " + std::to_string(a) + " outside 1.." +
                                      std::to_string(ndet) + " or repeated");
    met[size_t(a - 1) / 64] |= bit;
  }
}

// Appends one row (descriptor, orbital bytes, high-bit bytes) to the block
// in hand.
void pie_row(Run& run, const unsigned char* r) {
  int n = 0, m = 0;
  venond4(r[0], n, m);
  pie2(run, n, r[0], r + 1, r + 1 + n, r + 1 + 2 * n);
}

// The writer of the rows of a window in address order as blocks of
// kPackDesc determinants, the blocks pie2 would fill: a block begun in the
// window before is filled row by row, then the full blocks are put together
// a chunk at a time on the run's threads and written in order, and the rows
// left begin the next block.  A full block whose bytes would not fit goes
// row by row too, so that pie2 stops the run where it would.
class OrderedBlocks {
 public:
  OrderedBlocks() : payload_(size_t(kChunk) * kPackRecord), size_(kChunk) {}

  void write(Run& run, const unsigned char* rows, int count, int row) {
    int k = 0;
    for (; k < count && run.dets.detsto.wd != 0; ++k) pie_row(run, rows + size_t(k) * row);
    // Chunks of whole blocks from row k on: each is put together by the
    // workers while the one before it is written.
    const int k0 = k, nblk = (count - k) / kPackDesc;
    const int nchunk = (nblk + kChunk - 1) / kChunk;
    auto put_together = [&](int c) {
      const int first = c * kChunk, blocks = std::min(kChunk, nblk - first);
      const unsigned char* from = rows + (size_t(k0) + size_t(first) * kPackDesc) * row;
      return std::make_unique<Overlap>(blocks, [this, &run, from, row, c](int b) {
        size_[c % 2][b] = assemble(run, from + size_t(b) * kPackDesc * row, row,
                                           payload_[c % 2] + size_t(b) * kPackRecord);
      });
    };
    std::unique_ptr<Overlap> ahead = nchunk > 0 ? put_together(0) : nullptr;
    for (int c = 0; c < nchunk; ++c) {
      ahead->join();
      ahead = c + 1 < nchunk ? put_together(c + 1) : nullptr;
      const int blocks = std::min(kChunk, nblk - c * kChunk);
      for (int b = 0; b < blocks; ++b, k += kPackDesc) {
        if (size_[c % 2][b] == 0) {
          for (int j = 0; j < kPackDesc; ++j) pie_row(run, rows + size_t(k + j) * row);
        } else {
          run.io.write_record(kUnitOrdet, payload_[c % 2] + size_t(b) * kPackRecord,
                              size_[c % 2][b]);
        }
      }
    }
    for (; k < count; ++k) pie_row(run, rows + size_t(k) * row);
  }

 private:
  static constexpr int kChunk = 256;  // blocks

  // The record of the kPackDesc rows from r on, laid out as pie2's blocks
  // are written; its length, or 0 when its bytes do not fit a block.
  static size_t assemble(const Run& run, const unsigned char* r, int row, unsigned char* out) {
    int o = 0, h = 0;
    for (int j = 0; j < kPackDesc; ++j) {
      int n = 0, m = 0;
      venond4(r[size_t(j) * row], n, m);
      o += 2 * n;
      h += high_bytes(run, n);
    }
    if (o > kPackOrb || h > kPackHigh) return 0;
    const int d = kPackDesc;
    std::memcpy(out, &o, 4);
    std::memcpy(out + 4, &d, 4);
    unsigned char *orb = out + 8, *desc = out + 8 + o, *high = out + 12 + o + d;
    std::memcpy(out + 8 + o + d, &h, 4);
    for (int j = 0; j < kPackDesc; ++j, r += row) {
      int n = 0, m = 0;
      venond4(r[0], n, m);
      desc[j] = r[0];
      std::memcpy(orb, r + 1, size_t(2 * n));
      orb += 2 * n;
      const int nh = high_bytes(run, n);
      std::memcpy(high, r + 1 + 2 * n, size_t(nh));
      high += nh;
    }
    return size_t(12 + o + d + h);
  }

  // Two chunks: one written, one put together.
  TwoSlots<unsigned char> payload_;
  TwoSlots<size_t> size_;
};

}  // namespace

void reorde2(Run& run, unsigned char* buf, unsigned char* /*buf2: the same buffer*/, int nmax,
             int* iordre) {
  const int ndet = run.det.ndet;
  run.dets.detsto.wd = run.dets.detsto.wo = run.dets.detsto.wh = 0;
  const int row = 2 * nmax + high_bytes(run, nmax) + 1;
  const int w = window(run, 12LL * run.dim, row);
  run.io.open_scratch(kUnitOrdet, "ORDET", fio::Form::Unformatted);
  file_order_addresses(run, iordre);

  // The list was decoded and checked whole by the check: its bytes are
  // only moved here.  One pass over the list per window of addresses: the
  // rows of a batch go to their places, which are random over the window
  // (and distinct), as the batch is read, one batch ahead; the batch before
  // it is meanwhile checked to be the list the check saw.
  OrderedBlocks blocks;
  fio::Progress progress(run.io, "reordering", (ndet + w - 1LL) / w * ndet);
  for (int lo = 1; lo <= ndet; lo += w) {
    const int hi = std::min<long long>(ndet, (long long)lo + w - 1);
    rew61(run);
    ListAhead reading(run, kUnitDetB, ndet, [&](int, const ListBatch& batch, long long f0, int from, int to) {
      const int* addr = iordre + f0;
      for (int j = from; j < to; ++j) {
        if (j + kRowsAhead < to && addr[j + kRowsAhead] >= lo && addr[j + kRowsAhead] <= hi)
          __builtin_prefetch(buf + size_t(addr[j + kRowsAhead] - lo) * size_t(row), 1);
        if (addr[j] < lo || addr[j] > hi) continue;
        std::memcpy(buf + size_t(addr[j] - lo) * size_t(row), batch.row(j), size_t(row));
      }
    }, true);
    for (int f0 = 0; f0 < ndet;) {
      const ListBatch& batch = reading.next();
      const int m = batch.size();
      batch.raise_fault(run, kUnitDetB);
      if (m == 0) list_ended(run);
      for (int j = 0; j < m; ++j)
        if (batch.count(j) > nmax) longer_than_checked(run, batch.count(j), nmax);
      f0 += m;
      progress.tick((lo - 1LL) / w * ndet + f0);
    }
    blocks.write(run, buf, hi - lo + 1, row);
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
    refuse(run, {"tampon trop petit pour l'ordre des determinants :", ndet, int(capacity)},
           "the work array (" + std::to_string(capacity) + " elements) cannot hold the order of " +
               std::to_string(ndet) + " determinants");
  }
  run.io.open_scratch(kUnitOrdet, "ORDET", fio::Form::Unformatted);

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
