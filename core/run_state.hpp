// The run state: every global record of the program, one sub-structure per
// record, members named and sized as the records define them.  All of it is
// zero at program start; nothing is allocated once the run has begun.  The
// determinant tables, the integral matrices and the density live in the
// records of their own subsystems, gathered here.
#pragma once
#include <array>
#include <span>
#include <string>
#include <iosfwd>
#include <memory>

#include "core/density_records.hpp"
#include "core/determinant_records.hpp"
#include "core/farray.hpp"
#include "fortio/units.hpp"
#include "core/orbital_records.hpp"

namespace ciprop {

inline constexpr int kMaxOrb = 500;       // orbitals of the CI
inline constexpr int kMaxSpinOrb = 1000;  // spin-orbitals
inline constexpr int kMaxSym = 8;         // irreducible representations
inline constexpr int kMaxActive = 16;     // active (CAS) orbitals
inline constexpr int kDim = 8000000;      // half of the work array, in doubles
inline constexpr int kIadri = 8000000;    // largest determinant count unless "MEM" raises it
inline constexpr int kMaxListedRoots = 1000;  // roots of "RACINES" and of "RACINESA"

// The active space.
struct Cs {
  int noac = 0;                 // active orbitals (0 to 16)
  int nelac = 0;                // active electrons
  Arr1<int, 1, 17> numac;       // active orbitals in CAS order; slot 17 takes the
                                // clearing after a full list of 16
  Arr1<int, 1, kMaxOrb> itype;  // 1 inactive, 2 active, 3 virtual
  int is0 = 0;                  // symmetry of the state
  int ms2 = 0;                  // twice the spin projection, 0 or negative
};

// Orbital counts.
struct Orb {
  double enuc = 0.0;                // nuclear repulsion of the Info file
  int norb = 0;                     // orbitals of the CI
  int noca = 0;                     // occupied alpha orbitals
  int nocb = 0;                     // occupied beta orbitals
  Arr1<int, 1, kMaxSpinOrb> iorb;   // spatial orbital of each spin-orbital
  int ninac = 0;                    // inactive orbitals
  int nvirt = 0;                    // virtual orbitals
  int nocc = 0;                     // orbitals 1..nocc occupied in the reference
};

// Symmetry.
struct Sym {
  Arr1<int, 1, kMaxSpinOrb> isym;   // symmetry of each spin-orbital
  Arr2<int, 1, 8, 1, 8> mult;       // product table, first index fastest
  int nsym = 0;                     // irreducible representations
};

struct Det {
  int ndet = 0;     // determinants of the run description
  int ndetcas = 0;  // determinants with no hole and no particle
};

// Reference and generation mode.
struct Prep {
  int nca0 = 0;                          // alpha active electrons of the reference
  int ncb0 = 0;                          // beta active electrons of the reference
  Arr1<int, 1, kMaxActive> ic0;          // first (nelac+1)/2 active orbitals
  Arr1<int, 1, kMaxSpinOrb> inumac;      // CAS index of a spin-orbital
  Arr1<int, 1, kMaxOrb> numt;            // hole (inactive) orbitals
  Arr1<int, 1, kMaxOrb> nump;            // particle (virtual) orbitals
  int nptot = 0;                         // particle orbitals
  FChar<4> gener;                        // generation mode
  Arr1<bool, 1, kMaxSpinOrb> yref;       // reference occupation per spin-orbital
  Arr1<bool, 1, kMaxActive> yac;         // active orbital occupied in the reference
  Arr1<bool, 1, kMaxOrb> ycas;           // orbital is active
  bool ymono = false;
  bool ycas1 = false;
};

// Binomial coefficients c(i,j), i = 0..20, j = -1..20.
struct Combs {
  Arr2<int, 0, 20, -1, 20> c;
};

struct Sy2 {
  Arr1<int, 1, kMaxSym> nts, ncs, nps, norbs;
};
struct Sy3 {
  Arr1<int, 1, kMaxOrb> itorbi, isbrot, itorbc, itorbs;
};
struct Sy4 {
  Arr1<int, 0, kMaxSym> ntstot, ncstot, npstot;
};
struct Sy7 {
  Arr2<int, 1, kMaxSym, 1, kMaxOrb> iorbsy;
};
struct Orb2 {
  Arr1<int, 1, kMaxOrb> linac, lvirt, linacb, lvirtb;
};

// Run options of "&RHO" and "&RHC".
struct Ronum {
  double deltae = 0.0;      // energy of the second root minus the first
  Arr1<int, 1, 2> numero;   // chosen roots of units 10 and 11
  // "RACINES": roots of unit 11 each paired with root numero(1) of unit 10,
  // in this order; the first is numero(2).  None listed: the one pair.
  int nracines = 0;
  Arr1<int, 1, kMaxListedRoots> racines;
  // "RACINESA": roots of unit 10, each paired with every root of "RACINES"
  // (numero(2) alone when that is not given); the first is numero(1).
  int nracinesa = 0;
  Arr1<int, 1, kMaxListedRoots> racinesa;
  // "LARGEUR": full width at half maximum, in eV, of the Gaussian bands of
  // the spectrum's picture.
  double largeur = 0.3;
  // "ORBNAT": 1 prints the occupations or weights of the orbital files, 2
  // also writes those of every pair of a spectrum.
  int orbnat = 0;
};
struct Rocal {
  int calcro = 0;
};
struct Pr {
  int nprint = 0;
  Arr1<int, 1, 10> mprint;  // pr(2..11)
};
// The test flags of the CI program's family (itest): no input sets them, so
// each keeps the default that the run options give it; those that steer this
// program are named here.  Zero, like every record, until then.
struct Switches {
  bool packed_lists = false;         // itest(25): determinant lists in the packed layout
  int stop_at_address = 0;           // itest(7): adrdet shows its parts and stops on
                                     // this address (0: none)
  bool delete_list_after_reordering = false;  // itest(28): "detb" removed once reordered
  bool mark_misplaced = false;       // itest(71): the check's listing marks a determinant
                                     // whose address is not its file position
  // itest(1..50) as the listing shows them.
  std::array<int, 50> listing() const {
    std::array<int, 50> flags{};
    flags[6] = stop_at_address;
    flags[24] = packed_lists ? 1 : 0;
    flags[27] = delete_list_after_reordering ? 1 : 0;
    return flags;
  }
};
struct Opt {
  FChar<3> calcul;
};
struct Orbi {
  Arr1<int, 1, kMaxSym> ngel;  // frozen orbitals per symmetry
  Arr1<int, 1, kMaxSym> ndel;  // deleted orbitals per symmetry
  Arr1<int, 1, kMaxSym> nbas;  // basis functions per symmetry
  int nbtot = 0;               // all orbitals, frozen and deleted included
};
struct Hacer {
  int ioper = 0;   // property selector
  int molcas = 0;  // MOLCAS file version
  bool molcas_given = false;  // MOLCAS stood in "&RHC"
};

// Vector-file information.
struct Infdav {
  double twvec = 0.0;  // print threshold for CI coefficients
};

struct Ref2 {
  FChar<80> prefix;  // file prefix of "&ROFIL"
};

// The work array: two halves A and B of `half` doubles each, zero pages, so
// an untouched part costs no memory.  It starts with halves of kDim doubles;
// the driver sizes it for the run before any stage uses it.
class Espa {
 public:
  Espa() { resize(kDim); }
  ~Espa();
  Espa(const Espa&) = delete;
  Espa& operator=(const Espa&) = delete;
  // Drops the contents and takes halves of `half` doubles.
  void resize(size_t half);
  size_t half() const { return half_; }
  double* a() { return w_; }
  double* b() { return w_ + half_; }
  // A view of the array from a byte offset, as the driver hands them out.
  unsigned char* bytes(size_t offset) { return reinterpret_cast<unsigned char*>(w_) + offset; }

 private:
  double* w_ = nullptr;
  size_t half_ = 0;
};

// The roots of the second vector file that one pass of the density serves
// together, each a vector in address order, beside the work array's halves.
// Sized by the density stage; its pages are touched only as vectors fill them.
class KetStore {
 public:
  // Drops the contents and takes `count` vectors of `length` doubles.
  void resize(size_t count, size_t length);
  double* slot(size_t k) { return w_.get() + k * length_; }
  size_t count() const { return count_; }

 private:
  std::unique_ptr<double[]> w_;
  size_t count_ = 0, length_ = 0;
};

// The views of the work array that the determinant-list stages receive: the
// address table (one integer per determinant) at the start of A, the seen
// flags of the check in B past as many bytes, and the pass buffer of the
// reordering from the end of the table to the end of the array (12 dim
// bytes; the flags are no longer needed when it is filled).  The density
// stage takes the halves A and B whole.
struct WorkPlan {
  std::span<int> address_table;          // one integer per determinant
  std::span<unsigned char> seen;         // one flag per address
  std::span<unsigned char> pass_buffer;  // the windows of the reordering

  explicit WorkPlan(Espa& espa)
      : address_table(reinterpret_cast<int*>(espa.a()), espa.half()),
        seen(reinterpret_cast<unsigned char*>(espa.b()) + 4 * espa.half(), espa.half()),
        pass_buffer(espa.bytes(4 * espa.half()), 12 * espa.half()) {}
};

struct Run {
  Run(std::ostream& out, std::istream& in, std::ostream& err) : io(out, in, err) {}

  fio::Units io;

  Cs cs;
  Orb orb;
  Sym sym;
  Det det;
  Prep prep;
  Combs combs;
  Sy2 sy2;
  Sy3 sy3;
  Sy4 sy4;
  Sy7 sy7;
  Orb2 orb2;
  Arr1<int, 1, kMaxSym> non;   // orbitals per symmetry, for the integral stage
  Arr1<int, 1, 34> util;       // fixed spin tables
  Ronum ronum;
  Rocal rocal;
  Pr pr;
  Switches switches;
  Opt opt;
  FChar<8> stp;                // "STOP" option
  Orbi orbi;
  Hacer hacer;
  Arr1<int, 1, 3> symxyz;      // symmetries of x, y, z
  Arr1<int, 1, 3> symxxyyzz;   // symmetries of xy, xz, yz
  char sysp1 = 0;
  int memoire = 0;
  Infdav infdav;
  Arr1<int, 1, 4> filc;        // byte-level descriptors of the MOLCAS files
  // Names behind filc (OneInt, ComFile, TraOne) and the orbital files tried
  // for unit 1, in the order tried: kept for the messages of a missing file.
  Arr1<std::string, 1, 4> filcnom;
  Arr1<std::string, 1, 4> orbnom;
  Ref2 ref2;
  int dder = 0;                // column of the last non-blank of a card
  // The namelist group whose text the decoders take apart, with its file
  // ("&RHO of standard input"), and the key they decode: the messages of a
  // bad value name both.
  std::string namelist_group;
  std::string namelist_key;
  std::string scril_text;      // last line shown by the compact echo
  int dim = 0;                 // half of the work array, in doubles
  // Bytes that the listed roots of a spectrum may take at once beside the
  // work array; 0 asks the machine (half of its available memory).
  long long ket_memory = 0;

  DetRecords dets;             // determinant tables and list state
  OrbitalRecords ints;         // property integrals
  DensityRecords dens;         // density and spin labels

  Espa espa;
  KetStore kets;               // the listed roots of a spectrum
};

// Asks the kernel to back the untouched pages of a large array that is
// indexed at random (a vector gathered or scattered by address, the rows of
// the reordering) with huge pages where it offers them: one page-table entry
// then covers 2 MB, and a random access costs no page walk.  The contents
// are not changed; a kernel without the feature leaves the pages as they are.
void prefer_huge_pages(void* p, size_t bytes);
// n zero coefficients of a vector indexed at random, on huge pages where
// the kernel offers them.  The pages are cleared on the run's threads: the
// first touch of fresh memory (the kernel clearing the page) is the costly
// part of filling a vector of millions of determinants at random, and it
// would otherwise fall on whichever thread writes first, in the order of
// a pass over a list.
class ZeroVector {
 public:
  ZeroVector() = default;
  explicit ZeroVector(size_t n);
  double* data() { return p_.get(); }
  const double* data() const { return p_.get(); }
  size_t size() const { return n_; }
  double& operator[](size_t i) { return p_[i]; }
  const double& operator[](size_t i) const { return p_[i]; }

 private:
  struct Free {
    void operator()(double* p) const;
  };
  std::unique_ptr<double[], Free> p_;
  size_t n_ = 0;
};

// Largest determinant count of the run: iadri, or the "MEM" value of &RHO
// when it asks for more.
inline int determinant_capacity(const Run& run) { return run.memoire > kIadri ? run.memoire : kIadri; }
// Sizes the work array for `half` coefficients per vector (at least one)
// and sets dim; a machine without that memory stops the run.
void size_work_array(Run& run, long long half);
// Memory the machine has available now, in bytes (0 when it does not say).
long long available_memory();

}  // namespace ciprop
