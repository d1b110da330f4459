// Readers of the determinant lists and the integer block files.
#include "detspace/detlist.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/threads.hpp"

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

// What keeps a determinant of a list from being decoded, found where no
// message may be written yet (on a decoding thread, or ahead of the
// determinants before it): worded by fault_words when it is raised.
struct DecodeFault {
  enum Kind { kNone, kCount, kBytes, kSpin, kHole, kParticle, kRecord, kDamaged } kind = kNone;
  int value = 0;
};

std::string fault_words(const Run& run, const DecodeFault& f) {
  const int top = 2 * run.orb.norb + 1;
  switch (f.kind) {
    case DecodeFault::kCount:
      return "a determinant with " + std::to_string(f.value) + " substitutions (0 to " +
             std::to_string(kMaxSubst) + " allowed)";
    case DecodeFault::kBytes:
      return "packed block holds fewer bytes than its descriptors need";
    case DecodeFault::kSpin:
      return "descriptor " + std::to_string(f.value) + " does not fit the spin projection";
    case DecodeFault::kHole:
      return "hole " + std::to_string(f.value) + " outside 1.." + std::to_string(top - 1);
    case DecodeFault::kParticle:
      return "spin-orbital " + std::to_string(f.value) + " outside 1.." + std::to_string(top);
    case DecodeFault::kRecord:
      return std::string(fio::Units::kRecordTooLong);
    case DecodeFault::kDamaged:
    case DecodeFault::kNone:
      break;
  }
  return {};
}

// Stops the run on a fault of the list on unit: a record the reader cannot
// take is an input/output error of the file, anything else one of the list.
[[noreturn]] void raise_decode_fault(Run& run, int unit, const DecodeFault& f) {
  if (f.kind == DecodeFault::kDamaged) run.io.io_error(unit, run.io.damage(unit));
  if (f.kind == DecodeFault::kRecord) run.io.io_error(unit, fault_words(run, f));
  bad_list(run, unit, fault_words(run, f));
}

DecodeFault count_fault(int n) {
  if (n < 0 || n > kMaxSubst) return {DecodeFault::kCount, n};
  return {};
}

// Holes are spin-orbitals 1..2 norb; a particle may also be the empty slot
// 2 norb + 1 of an odd electron count, which has no orbital (nor symmetry).
DecodeFault orbital_fault(int norb, int n, const int* a, const int* b) {
  const int top = 2 * norb + 1;
  for (int i = 0; i < n; ++i) {
    if (a[i] < 1 || a[i] >= top) return {DecodeFault::kHole, a[i]};
    if (b[i] < 1 || b[i] > top) return {DecodeFault::kParticle, b[i]};
  }
  return {};
}

// The head of a block record of len bytes: its orbital bytes, determinants
// and high-bit bytes, checked against the buffers; empty when it is sound,
// else what is wrong with it.
std::string block_fault(const unsigned char* rec, size_t len, int& l1, int& kk, int& l3) {
  if (len < 12) return "packed block of " + std::to_string(len) + " bytes";
  l1 = get32(rec);
  kk = get32(rec + 4);
  if (l1 < 0 || l1 > kPackOrb)
    return "packed block with " + std::to_string(l1) + " orbital bytes (at most " +
           std::to_string(kPackOrb) + ")";
  if (kk < 0 || kk > kPackDesc)
    return "packed block with " + std::to_string(kk) + " determinants (at most " +
           std::to_string(kPackDesc) + ")";
  if (len < size_t(12 + l1 + kk)) return "packed block shorter than its counts";
  l3 = get32(rec + 8 + l1 + kk);
  if (l3 < 0 || l3 > kPackHigh)
    return "packed block with " + std::to_string(l3) + " high-bit bytes (at most " +
           std::to_string(kPackHigh) + ")";
  if (len < size_t(12 + l1 + kk + l3)) return "packed block shorter than its counts";
  return {};
}

// Reads the next block record into the reader's buffers; false at end of
// file or on a read error.
bool read_block(Run& run, int unit) {
  Detsto& s = run.dets.detsto;
  size_t len = 0;
  if (!run.io.try_read_record(unit, s.rec, sizeof s.rec, &len)) return false;
  int l1 = 0, kk = 0, l3 = 0;
  const std::string fault = block_fault(s.rec, len, l1, kk, l3);
  if (!fault.empty()) bad_list(run, unit, fault);
  std::memcpy(s.orb, s.rec + 8, size_t(l1));
  std::memcpy(s.desc, s.rec + 8 + l1, size_t(kk));
  std::memcpy(s.high, s.rec + 12 + l1 + kk, size_t(l3));
  s.l1 = l1;
  s.kk = kk;
  s.l3 = l3;
  return true;
}

// The spin-orbital of an orbital byte at place i of a list whose first
// `alpha` entries are alpha: beta ones are shifted by norb; the byte 0 stands
// for orbital 256.
inline int spin_orbital(unsigned char byte, int i, int alpha, int norb) {
  return byte + (byte == 0 ? 256 : 0) + (i >= alpha ? norb : 0);
}

// One block of a packed list in memory: the orbital, descriptor and
// high-bit streams.
struct PackedBlock {
  const unsigned char *orb, *desc, *high;
  int l1, kk, l3;
};

// The descriptor of determinant k (from 0) of a block, checked against the
// bytes left in the block at ipos and hpos.
DecodeFault packed_head(const PackedBlock& blk, int norb, int k, int ipos, int hpos, int& n, int& m) {
  venond4(blk.desc[k], n, m);
  if (const DecodeFault f = count_fault(n); f.kind != DecodeFault::kNone) return f;
  const int nhigh = norb > 256 ? (n + 3) / 4 : 0;
  if (ipos + 2 * n > blk.l1 || hpos + nhigh > blk.l3) return {DecodeFault::kBytes, 0};
  return {};
}

// Decodes determinant k (from 0) of a block whose streams stand at ipos and
// hpos, and steps them past it.  Reads nothing but its arguments, so the
// blocks of a list may be decoded side by side.
DecodeFault decode_packed(const PackedBlock& blk, int norb, int ms2, int k, int& ipos, int& hpos,
                          int& n, int* a, int* b) {
  // The counts are kept apart from n, ipos and hpos, which the compiler
  // would otherwise read again after every entry written to a or b.
  int cnt = 0, m = 0;
  const DecodeFault head = packed_head(blk, norb, k, ipos, hpos, cnt, m);
  n = cnt;
  if (head.kind != DecodeFault::kNone) return head;
  if (cnt == 0) return {};
  // With an odd electron count the empty-slot marker stands among the filled
  // beta spin-orbitals, so the filled list has fewer alpha entries.
  const int sp = m - (1 - ms2) / 2;
  if (sp < 1 || sp > cnt + 1) return {DecodeFault::kSpin, blk.desc[k]};
  // Every determinant of a list passes through here: one loop over both
  // lists, without a branch per entry.
  const unsigned char *emptied = blk.orb + ipos, *filled = emptied + cnt;
  for (int i = 0; i < cnt; ++i) {
    a[i] = spin_orbital(emptied[i], i, m - 1, norb);
    b[i] = spin_orbital(filled[i], i, sp - 1, norb);
  }
  ipos += 2 * cnt;
  if (norb > 256) {
    int at = hpos;
    for (int i = 0; i < cnt; i += 4) {
      int h = blk.high[at++];
      for (int j = i; j < std::min(cnt, i + 4); ++j, h /= 4) b[j] += 256 * (h % 4);
    }
    hpos = at;
  }
  const unsigned top = unsigned(2 * norb + 1);
  bool sound = true;
  for (int i = 0; i < cnt; ++i) sound &= (unsigned(a[i] - 1) < top - 1) & (unsigned(b[i] - 1) < top);
  return sound ? DecodeFault{} : orbital_fault(norb, cnt, a, b);
}

PackedBlock reader_block(const Detsto& s) { return {s.orb, s.desc, s.high, s.l1, s.kk, s.l3}; }

// Decodes determinant k of a block as decode_packed does and, with a row,
// also copies its bytes there: the descriptor, the 2n orbital bytes and the
// high-bit bytes from where the streams stood.  Without a and b only the
// bytes are taken: the head is checked against the block, the orbitals are
// left as they are.
DecodeFault decode_packed_row(const PackedBlock& blk, int norb, int ms2, int k, int& ipos,
                              int& hpos, int& n, int* a, int* b, unsigned char* row) {
  const int ipos0 = ipos, hpos0 = hpos;
  DecodeFault f;
  if (a) {
    f = decode_packed(blk, norb, ms2, k, ipos, hpos, n, a, b);
  } else {
    int m = 0;
    f = packed_head(blk, norb, k, ipos, hpos, n, m);
    ipos += 2 * n;
    hpos += norb > 256 ? (n + 3) / 4 : 0;
  }
  if (row && f.kind == DecodeFault::kNone) {
    row[0] = blk.desc[k];
    std::memcpy(row + 1, blk.orb + ipos0, size_t(ipos - ipos0));
    std::memcpy(row + 1 + (ipos - ipos0), blk.high + hpos0, size_t(hpos - hpos0));
  }
  return f;
}

}  // namespace

namespace {

// Steps the reader to its next determinant, reading a new block when the
// current one is used up; false at the end of the list.
bool step_reader(Run& run, int unit) {
  Detsto& s = run.dets.detsto;
  ++s.k;
  while (s.k > s.kk) {
    if (!read_block(run, unit)) return false;
    s.k = 1;
    s.ipos = 0;
    s.hpos = 0;
  }
  return true;
}

}  // namespace

bool next_packed(Run& run, int unit, int& n, int& m) {
  if (!step_reader(run, unit)) return false;
  const Detsto& s = run.dets.detsto;
  const DecodeFault f = packed_head(reader_block(s), run.orb.norb, s.k - 1, s.ipos, s.hpos, n, m);
  if (f.kind != DecodeFault::kNone) raise_decode_fault(run, unit, f);
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
  if (!step_reader(run, unit)) {
    eof = 1;
    n = 0;
    return;
  }
  Detsto& s = run.dets.detsto;
  const DecodeFault f =
      decode_packed(reader_block(s), run.orb.norb, run.cs.ms2, s.k - 1, s.ipos, s.hpos, n, a, b);
  if (f.kind != DecodeFault::kNone) raise_decode_fault(run, unit, f);
}

namespace {

// The next determinant of a plain list: eof at end of file or on a read
// error, else its decoding's fault (none for a sound one).
DecodeFault plain_determinant(Run& run, int unit, int& n, int* a, int* b, int& eof) {
  eof = 0;
  int buf[2 * kMaxSubst];
  size_t len = 0;
  auto read = [&](size_t least) {
    const auto got = run.io.read_record_or_end(unit, buf, sizeof buf, &len);
    if (got == fio::Units::RecordRead::kTooLong) return DecodeFault{DecodeFault::kRecord, 0};
    if (got == fio::Units::RecordRead::kDamaged) return DecodeFault{DecodeFault::kDamaged, 0};
    if (got == fio::Units::RecordRead::kEnd || len < least) {
      eof = 1;
      n = 0;
    }
    return DecodeFault{};
  };
  if (const DecodeFault f = read(sizeof(int)); f.kind != DecodeFault::kNone || eof) return f;
  n = buf[0];
  if (const DecodeFault f = count_fault(n); f.kind != DecodeFault::kNone) return f;
  if (n == 0) return {};
  if (const DecodeFault f = read(2 * sizeof(int) * size_t(n)); f.kind != DecodeFault::kNone || eof)
    return f;
  std::copy(buf, buf + n, a);
  std::copy(buf + n, buf + 2 * n, b);
  return orbital_fault(run.orb.norb, n, a, b);
}

}  // namespace

void venond_plain(Run& run, int unit, int& n, int* a, int* b, int& eof) {
  const DecodeFault f = plain_determinant(run, unit, n, a, b, eof);
  if (f.kind != DecodeFault::kNone) raise_decode_fault(run, unit, f);
}

// A block record of a batch: where it stands in the record buffer, which of
// the batch's determinants it holds, and where its decoding stopped.
struct ListBatch::BlockInBatch {
  PackedBlock blk;
  int first = 0;              // its first determinant in the batch
  int used = 0;               // its determinants in the batch
  int ipos = 0, hpos = 0;     // its streams after them
  DecodeFault fault;          // what stopped its decoding
};

ListBatch::ListBatch()
    : count_(kCapacity), holes_(size_t(kCapacity) * kMaxSubst), parts_(holes_.size()),
      records_(size_t(kRecords) * kPackRecord), blocks_(new BlockInBatch[kRecords]) {}

ListBatch::~ListBatch() = default;

void ListBatch::keep_rows(bool only) {
  rows_.resize(size_t(kCapacity) * kRowBytes);
  rows_only_ = only;
}

int ListBatch::read(Run& run, int unit, int most) {
  const int pieces = start(run, unit, most);
  in_shares(pieces, 4, [&](int lo, int hi) {
    for (int p = lo; p < hi; ++p) decode(p);
  });
  return finish(run);
}

// A plain list is read and decoded in order; its pieces are only handed out.
constexpr int kPlainPiece = 1024;  // determinants

int ListBatch::start(Run& run, int unit, int most) {
  most = std::clamp(most, 0, kCapacity);
  size_ = 0;
  ended_ = false;
  record_fault_ = false;
  fault_.clear();
  nblk_ = 0;
  head_ = 0;
  norb_ = run.orb.norb;
  ms2_ = run.cs.ms2;
  packed_ = run.switches.packed_lists;
  if (!packed_) {
    read_plain(run, unit, most);
    return (size_ + kPlainPiece - 1) / kPlainPiece;
  }
  const bool rest = take_rest_of_block(run, most);
  head_ = size_;
  if (rest) nblk_ = read_blocks(run, unit, most, blocks_.get());
  return 1 + nblk_;
}

std::pair<int, int> ListBatch::decode(int piece) {
  if (!packed_) return {piece * kPlainPiece, std::min(size_, (piece + 1) * kPlainPiece)};
  if (piece == 0) return {0, head_};
  BlockInBatch& r = blocks_[size_t(piece - 1)];
  for (int j = 0; j < r.used; ++j) {
    const int at = r.first + j;
    r.fault = decode_packed_row(r.blk, norb_, ms2_, j, r.ipos, r.hpos, count_[at],
                                packed_hole_slot(at), packed_part_slot(at), row_slot(at));
    if (r.fault.kind != DecodeFault::kNone) {
      r.used = j;
      break;
    }
  }
  return {r.first, r.first + r.used};
}

int ListBatch::finish(Run& run) {
  if (!packed_) return size_;
  for (int k = 0; k < nblk_; ++k) {
    const BlockInBatch& r = blocks_[size_t(k)];
    size_ = r.first + r.used;
    if (r.fault.kind != DecodeFault::kNone) {
      // Whatever was read past it is never reached.
      ended_ = false;
      record_fault_ = false;
      fault_ = fault_words(run, r.fault);
      return size_;
    }
  }
  if (fault_.empty() && nblk_ > 0) keep_last_block(run, blocks_[size_t(nblk_ - 1)]);
  return size_;
}

void ListBatch::read_plain(Run& run, int unit, int most) {
  int eof = 0;
  for (; size_ < most; ++size_) {
    const DecodeFault f = plain_determinant(run, unit, count_[size_], hole_slot(size_), part_slot(size_), eof);
    if (eof) {
      ended_ = true;
      return;
    }
    if (f.kind != DecodeFault::kNone) {
      record_fault_ = f.kind == DecodeFault::kRecord || f.kind == DecodeFault::kDamaged;
      fault_ = f.kind == DecodeFault::kDamaged ? run.io.damage(unit) : fault_words(run, f);
      return;
    }
  }
}

ListAhead::ListAhead(Run& run, int unit, long long most, Work work, bool rows_only)
    : run_(run), unit_(unit), most_(most), left_(most), work_(std::move(work)) {
  if (rows_only)
    for (ListBatch& b : batch_) b.keep_rows(true);
}

void ListAhead::begin(int slot) {
  ListBatch& b = batch_[slot];
  const long long first = most_ - left_;
  const int pieces = b.start(run_, unit_, int(std::min<long long>(left_, ListBatch::kCapacity)));
  ahead_ = std::make_unique<Overlap>(pieces, [this, slot, &b, first](int piece) {
    const auto [lo, hi] = b.decode(piece);
    work_(slot, b, first, lo, hi);
  });
}

const ListBatch& ListAhead::next() {
  const int slot = 1 - slot_;
  if (!ahead_) begin(slot);
  ahead_->join();
  ahead_.reset();
  ListBatch& b = batch_[slot];
  b.finish(run_);
  slot_ = slot;
  left_ -= b.size();
  if (left_ > 0 && !b.ended() && !b.faulted()) begin(1 - slot);
  return b;
}

bool ListBatch::take_rest_of_block(Run& run, int most) {
  Detsto& s = run.dets.detsto;
  for (; size_ < most && s.k < s.kk; ++size_) {
    ++s.k;
    const DecodeFault f =
        decode_packed_row(reader_block(s), run.orb.norb, run.cs.ms2, s.k - 1, s.ipos, s.hpos,
                          count_[size_], packed_hole_slot(size_), packed_part_slot(size_),
                          row_slot(size_));
    if (f.kind != DecodeFault::kNone) {
      fault_ = fault_words(run, f);
      return false;
    }
  }
  return true;
}

int ListBatch::read_blocks(Run& run, int unit, int most, BlockInBatch* blocks) {
  int nblk = 0, planned = size_;
  while (planned < most && nblk < kRecords) {
    unsigned char* rec = &records_[size_t(nblk) * kPackRecord];
    size_t len = 0;
    const auto got = run.io.read_record_or_end(unit, rec, kPackRecord, &len);
    if (got == fio::Units::RecordRead::kTooLong || got == fio::Units::RecordRead::kDamaged) {
      record_fault_ = true;
      fault_ = got == fio::Units::RecordRead::kDamaged ? run.io.damage(unit)
                                                        : std::string(fio::Units::kRecordTooLong);
      break;
    }
    if (got == fio::Units::RecordRead::kEnd) {
      ended_ = true;
      break;
    }
    int l1 = 0, kk = 0, l3 = 0;
    fault_ = block_fault(rec, len, l1, kk, l3);
    if (!fault_.empty()) break;
    BlockInBatch& r = blocks[nblk++];
    r = BlockInBatch{};
    r.blk = {rec + 8, rec + 8 + l1, rec + 12 + l1 + kk, l1, kk, l3};
    r.first = planned;
    r.used = std::min(kk, most - planned);
    planned += r.used;
  }
  return nblk;
}

void ListBatch::keep_last_block(Run& run, const BlockInBatch& r) {
  Detsto& s = run.dets.detsto;
  std::memcpy(s.orb, r.blk.orb, size_t(r.blk.l1));
  std::memcpy(s.desc, r.blk.desc, size_t(r.blk.kk));
  std::memcpy(s.high, r.blk.high, size_t(r.blk.l3));
  s.l1 = r.blk.l1;
  s.kk = r.blk.kk;
  s.l3 = r.blk.l3;
  s.k = r.used;
  s.ipos = r.ipos;
  s.hpos = r.hpos;
}

void ListBatch::raise_fault(Run& run, int unit) const {
  if (fault_.empty()) return;
  if (record_fault_) run.io.io_error(unit, fault_);
  bad_list(run, unit, fault_);
}

bool same_lists(Run& run, int unit1, int unit2) {
  std::vector<unsigned char> r1(kPackRecord), r2(kPackRecord);
  restart_list(run, unit1);
  restart_list(run, unit2);
  bool same = true;
  for (;;) {
    size_t n1 = 0, n2 = 0;
    const auto got1 = run.io.read_record_or_end(unit1, r1.data(), r1.size(), &n1);
    const auto got2 = run.io.read_record_or_end(unit2, r2.data(), r2.size(), &n2);
    if (got1 != got2 || got1 == fio::Units::RecordRead::kTooLong ||
        got1 == fio::Units::RecordRead::kDamaged || n1 != n2 ||
        std::memcmp(r1.data(), r2.data(), n1) != 0) {
      same = false;
      break;
    }
    if (got1 == fio::Units::RecordRead::kEnd) break;
  }
  restart_list(run, unit1);
  restart_list(run, unit2);
  return same;
}

int skip_determinants(Run& run, int unit, int count) {
  int n = 0, m = 0, eof = 0, a[kMaxSubst], b[kMaxSubst];
  if (!run.switches.packed_lists) {
    for (int k = 0; k < count; ++k) {
      venond_plain(run, unit, n, a, b, eof);
      if (eof) return k;
    }
    return count;
  }
  Detsto& s = run.dets.detsto;
  for (int k = 0; k < count;) {
    // A new block whose determinants all fall in the count is passed whole:
    // only its head is read.
    if (s.k >= s.kk) {
      if (!read_block(run, unit)) return k;
      s.k = s.ipos = s.hpos = 0;
      if (s.kk <= count - k) {
        k += s.kk;
        s.k = s.kk;
        continue;
      }
    }
    if (!next_packed(run, unit, n, m)) return k;
    s.ipos += 2 * n;
    s.hpos += run.orb.norb > 256 ? (n + 3) / 4 : 0;
    ++k;
  }
  return count;
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

// The same rules as first_defect without the words: every determinant of
// the lists passes through here, so the tests are taken without a branch
// per entry and the first one that fails is left to first_defect to name.
bool list_readable(const Run& run, int n, const int* a, const int* b) {
  const unsigned norb = unsigned(run.orb.norb), nocc = unsigned(run.orb.nocc);
  bool ok = true;
  for (int k = 0; k < n; ++k) {
    const unsigned h = unsigned(a[k]) - 1, p = unsigned(b[k]) - 1;  // 0-based spin-orbitals
    const unsigned ho = h >= norb ? h - norb : h, po = p >= norb ? p - norb : p;
    ok &= h < 2 * norb && ho < nocc;                 // a hole where the reference has an electron
    ok &= p == 2 * norb || (p < 2 * norb && po >= nocc);  // a particle where it has none, or the marker
  }
  for (int k = 1; k < n; ++k)
    for (int l = 0; l < k; ++l) ok &= a[l] != a[k] && b[l] != b[k];
  return ok;
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
