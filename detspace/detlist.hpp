// The determinant lists of the CI program ("deta", "detb") in their plain and
// packed layouts, the check of every determinant's address, and the integer
// block files "BID84" and "IADRV".
//
// A determinant is read as an excitation list relative to the reference: n
// substitutions, the emptied spin-orbitals a(1..n) and the filled ones
// b(1..n) (alpha k, beta norb + k, 2 norb + 1 the empty-slot marker).
//
// Plain layout: per determinant a record holding n, then, when n > 0, a record
// holding a(1..n) and b(1..n), all four-byte integers.
//
// Packed layout: block records of at most 100 determinants, each holding L1,
// K, L1 orbital bytes, K descriptor bytes, L3 and L3 high-bit bytes.  The
// descriptor c = n(n+1)/2 + k + 1 gives n and the count k of alpha
// spin-orbitals among the emptied ones; an orbital byte holds the spatial
// orbital modulo 256 (0 standing for 256), and when norb exceeds 256 the
// high-bit stream gives 2 more bits of every filled spin-orbital, four per
// byte.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/run_state.hpp"
#include "core/threads.hpp"
#include "core/unit_numbers.hpp"

namespace ciprop {

class AddressTables;

inline constexpr int kBlock = 2048;    // integers per record of the block files
inline constexpr int kMaxSubst = 20;   // substitutions of one determinant

// The check of the list on unit 61: iadrv(address) = file position, for the
// ndet addresses that tables give; nmax the largest excitation count.  seen holds one flag per
// address, a bit each (ndet / 8 bytes, rounded up); spin is left untouched.  Every address from 1 to ndet
// must be met exactly once, or the run stops with a message.
void vermat(Run& run, const AddressTables& tables, int* iadrv, int* spin, unsigned char* seen,
            int& nmax);
// The next determinant of the list on unit 61; eof = 1 at end of file or on a
// read error.  a and b receive at most kMaxSubst entries each.
void venond(Run& run, int& n, int* a, int* b, int& eof);
// The same on any unit, in the layout of the run (packed unless plain lists are asked for).
void venond_unit(Run& run, int unit, int& n, int* a, int* b, int& eof);
// Plain-layout reader.
void venond_plain(Run& run, int unit, int& n, int* a, int* b, int& eof);
// Rewinds a determinant list and empties the reader's block, before the
// list is read from its start.
void restart_list(Run& run, int unit);
// Packed-layout reader.
void venond2(Run& run, int& n, int* a, int* b, int& eof, int unit);
// Whether the lists on unit1 and unit2 hold the same records, byte for byte;
// both are left at their start.
bool same_lists(Run& run, int unit1, int unit2);
// Steps over the next count determinants of the list on unit, in the layout
// of the run, and gives how many there were.  A packed list's determinants
// are not decoded on the way, so only a list that this run wrote from a
// checked one is stepped over.
int skip_determinants(Run& run, int unit, int count);
// Steps the packed reader to the next determinant of the list on unit,
// reading a new block when needed, and gives its n and m; the stream
// cursors then stand at its bytes, which the block is checked to hold.
// False at the end of the list.
bool next_packed(Run& run, int unit, int& n, int& m);
// What keeps a determinant of a list (n holes a, n particles b relative to
// the reference of the files, orbitals 1..nocc of both spins filled) from
// being read as a determinant at all: a hole outside the spin-orbitals, one
// the reference leaves empty or one given twice; a particle outside them, in
// a spin-orbital the reference fills, or given twice (the empty slot of an
// odd electron count included).  Empty when there is none; the phases and
// the translation into split form may then take the determinant.
std::string list_defect(const Run& run, int n, const int* a, const int* b);
// Whether list_defect finds nothing; reads the run only, so the threads may
// ask it side by side.
bool list_readable(const Run& run, int n, const int* a, const int* b);
// Determinants of a list read a batch at a time, in the layout of the run.
// The records are read in order on the calling thread and the blocks of a
// packed list decoded on the run's threads.  A fault of the list (a
// determinant that cannot be decoded, a damaged block) ends the batch before
// that determinant, and raise_fault() raises it once the determinants before
// it are used: a reading in batches stops where, and with the words with
// which, a reading one by one stops.  The list's reader is left after the
// batch's last determinant, so that venond_unit goes on from there.
class ListBatch {
 public:
  static constexpr int kCapacity = 32768;  // determinants
  ListBatch();
  ~ListBatch();
  // Reads at most `most` next determinants of the list on unit and gives
  // their count: fewer when the list ends, a read fails, a fault comes or
  // many blocks hold few determinants (then none of the first three).
  int read(Run& run, int unit, int most = kCapacity);
  // The same reading in three steps, for work on each determinant that goes
  // along with its decoding.  start() reads the batch's records in order
  // and gives the pieces its decoding is cut into; decode(p) decodes piece
  // p and gives the determinants [lo, hi) of the batch it holds (it reads
  // nothing but the batch, so pieces may be decoded side by side); once
  // every piece is, finish() settles the batch as read() does and gives its
  // count.
  int start(Run& run, int unit, int most = kCapacity);
  std::pair<int, int> decode(int piece);
  int finish(Run& run);
  int size() const { return size_; }
  int count(int j) const { return count_[size_t(j)]; }
  const int* holes(int j) const { return &holes_[size_t(j) * kMaxSubst]; }
  const int* parts(int j) const { return &parts_[size_t(j) * kMaxSubst]; }
  // The list ended, or a read failed, after this batch.
  bool ended() const { return ended_; }
  // A fault of the list ended this batch.
  bool faulted() const { return !fault_.empty(); }
  // Stops the run on the fault that ended the batch, if one did.
  void raise_fault(Run& run, int unit) const;
  // Bytes of a row: a determinant of a packed list as the file packs it.
  static constexpr int kRowBytes = 1 + 2 * kMaxSubst + (kMaxSubst + 3) / 4;
  // Asks the batches read from now on of a packed list to keep each
  // determinant's bytes too: its descriptor, its emptied and filled orbital
  // bytes and its high-bit bytes, one after the other in a row of its own.
  // With only, the determinants are not decoded (holes and parts are not
  // given) and their bytes are only checked to lie in their block: for a
  // list that was read and checked whole before.
  void keep_rows(bool only = false);
  const unsigned char* row(int j) const { return &rows_[size_t(j) * kRowBytes]; }

 private:
  static constexpr int kRecords = 512;  // block records per batch
  int* hole_slot(int j) { return &holes_[size_t(j) * kMaxSubst]; }
  int* part_slot(int j) { return &parts_[size_t(j) * kMaxSubst]; }
  unsigned char* row_slot(int j) { return rows_.empty() ? nullptr : &rows_[size_t(j) * kRowBytes]; }
  int* packed_hole_slot(int j) { return rows_only_ ? nullptr : hole_slot(j); }
  int* packed_part_slot(int j) { return rows_only_ ? nullptr : part_slot(j); }
  struct BlockInBatch;
  void read_plain(Run& run, int unit, int most);
  // The determinants left in the reader's block, one by one; false on a fault.
  bool take_rest_of_block(Run& run, int most);
  // Reads block records in order until the batch is planned in full, the
  // list ends or a record is at fault; gives the blocks read.
  int read_blocks(Run& run, int unit, int most, BlockInBatch* blocks);
  // Leaves the last block in the reader, after the determinants taken.
  void keep_last_block(Run& run, const BlockInBatch& r);

  std::vector<int> count_, holes_, parts_;
  std::vector<unsigned char> records_;
  std::vector<unsigned char> rows_;  // empty unless rows are kept
  std::unique_ptr<BlockInBatch[]> blocks_;  // the block records read by start()
  int nblk_ = 0;
  int head_ = 0;  // determinants taken from the reader's block, before the records
  int norb_ = 0, ms2_ = 0;
  bool packed_ = false;
  bool rows_only_ = false;
  std::string fault_;
  bool record_fault_ = false;  // the fault is of the record, not of its contents
  int size_ = 0;
  bool ended_ = false;
};
// Two arrays of n entries, for work done one step ahead: slot 0 and slot 1,
// one in hand while the other is filled.
template <class T>
class TwoSlots {
 public:
  explicit TwoSlots(size_t n) : v_{std::vector<T>(n), std::vector<T>(n)} {}
  T* operator[](int slot) { return v_[slot].data(); }

 private:
  std::vector<T> v_[2];
};

// A list read a batch at a time, one batch ahead: while the caller takes a
// batch in list order (its messages, refusals and printed lines), the next
// one is read, decoded and worked on by the run's workers, and the caller
// joins them when it asks for that batch.  work(slot, batch, first, lo, hi)
// is the caller's work on the determinants [lo, hi) of a batch just
// decoded, into its own arrays of buffer slot (0 or 1, TwoSlots); first is
// the place in the list (from 0) of the batch's determinant 0.  It reads
// nothing but the batch and the run's tables, so it may run on any thread.  At most `most`
// determinants are read, so that the list's reader is left after them.
// With rows_only, the batches keep only each determinant's bytes
// (ListBatch::keep_rows).
class ListAhead {
 public:
  using Work =
      std::function<void(int slot, const ListBatch& batch, long long first, int lo, int hi)>;
  ListAhead(Run& run, int unit, long long most, Work work, bool rows_only = false);
  // The next batch, its work done; not to be asked for after a batch that
  // ended the list or had a fault.
  const ListBatch& next();
  // The buffer of the batch last given.
  int slot() const { return slot_; }

 private:
  void begin(int slot);
  Run& run_;
  int unit_;
  long long most_, left_;
  Work work_;
  ListBatch batch_[2];
  // The batch being read ahead, with the workers; declared after the
  // batches, so that the work out with the workers ends before them.
  std::unique_ptr<Overlap> ahead_;
  int slot_ = 1;
};

// Splits a descriptor byte into n and m = (alpha emptied) + 1.
void venond4(int c, int& n, int& m);
// One record of m integers.
void ecri(Run& run, const int* p, int m, int unit);
// p(1..m) as records of exactly kBlock integers (the last one padded with 0).
void ecribl(Run& run, const int* p, int m, int unit);
// The next record of unit as n integers; further values are ignored.
void liri(Run& run, int* iv, int n, int unit);

}  // namespace ciprop
