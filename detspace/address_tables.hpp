// The address tables of a CI space: which determinants, in split form, belong
// to the space of the run's generation mode, and where each one sits in a CI
// vector.  The list check and the density stage ask only these questions, so
// a generation mode with its own addressing comes in as one more
// implementation beside the single-reference one.
#pragma once
#include <memory>

#include "detspace/address.hpp"
#include "detspace/excitation.hpp"

namespace ciprop {

class AddressTables {
 public:
  virtual ~AddressTables() = default;

  // Number of determinants of the space, the length of its CI vectors.
  virtual int size() const = 0;
  // The 1-based address of d in a CI vector of the space; 0 when d is not in
  // the space.
  virtual int address(const SplitDet& d) const = 0;

  // True when the space keeps the inactive orbitals doubly occupied and the
  // virtual ones empty in every determinant, so that an excitation only ever
  // moves an electron within the active orbitals (or onto itself).
  virtual bool active_only() const { return false; }
  // A faster path to the addresses of the one-electron excitations of one
  // determinant, for the density stage; null when the tables have none, and
  // the caller then splits each excited determinant and asks address().
  virtual std::unique_ptr<ExcitationShortcut> excitation_shortcut() const { return nullptr; }
  // The address of a determinant as the lists give it, n holes a and n
  // particles b relative to the reference of the files, when the tables can
  // tell it without the split form: for the list checks, which meet every
  // determinant once.  0 when they leave it to trad and address(), as they
  // do for every determinant that is not plainly one of the space.  It
  // writes nothing, prints nothing and never stops the run: the callers ask
  // it from several threads at once.  With inside, a placed determinant
  // also says whether all its holes and particles are active orbitals.
  virtual int list_address(int /*n*/, const int* /*a*/, const int* /*b*/,
                           bool* /*inside*/ = nullptr) const {
    return 0;
  }

  // The records the tables were built from: the orbital classes, the
  // symmetry and the run description, and the units for messages.
  Run& records() const { return run_; }

 protected:
  explicit AddressTables(Run& run) : run_(run) {}

 private:
  Run& run_;
};

// The tables of the single-reference modes ("CAS ", "DDCI", "DDC2", "TOUS",
// "PERT", "MONO"): the blocks of excitation categories that prepad lays out
// and the address formulas of adrdet.  Built once prepad has run, for the
// states of the run's symmetry or of another one; they hold the block
// offsets of their symmetry and share the rest of prepad's tables.
class SrAddressTables final : public AddressTables {
 public:
  explicit SrAddressTables(Run& run);
  SrAddressTables(Run& run, int symmetry);
  ~SrAddressTables() override;
  int size() const override;
  int address(const SplitDet& d) const override;
  bool active_only() const override;
  std::unique_ptr<ExcitationShortcut> excitation_shortcut() const override;
  // The address of a determinant straight from its lists: n holes a and n
  // particles b, each in increasing spin-orbital order, each occupied
  // (empty) in the reference and given once, at most two of each outside the
  // active orbitals; the empty-slot marker among the particles stands for
  // nothing.  0 means "not placed here": any other determinant, and every one
  // whose general path would refuse it or stop on it (the stop_at_address
  // switch included), goes through trad and address(), which word the
  // refusal.  Pure: it reads the tables built with the object and the run's
  // switches, writes nothing, prints nothing and never stops the run, so
  // several threads may call it at once on one const object.
  int list_address(int n, const int* a, const int* b, bool* inside = nullptr) const override;
  const BlockTable& blocks() const { return *blocks_; }

 private:
  std::unique_ptr<BlockTable> blocks_;

  // What list_address reads, built with the object when the lists may be
  // read directly (null otherwise).
  struct ListTables;
  std::unique_ptr<const ListTables> list_;
};

// The address tables of the run's generation mode, once its categories are
// built: for the states of the run's symmetry, or of the given one (the
// space of the first vector, which may be of another symmetry).
std::unique_ptr<AddressTables> make_address_tables(Run& run);
std::unique_ptr<AddressTables> make_address_tables(Run& run, int symmetry);

}  // namespace ciprop
