#include "tools/mkcase/options.hpp"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace mkcase {

const char* const kUsage =
    "usage: mkcase [options] FOLDER\n"
    "Writes a consistent run folder: vrt, Info, deta, detb, daveca, davecb,\n"
    "dens, the MOLCAS files, input (for ciprop < input) and expected.\n"
    "  --nsym=N                 symmetries (1..8, default 1)\n"
    "  --ninac=a,b,...          inactive orbitals per symmetry\n"
    "  --nact=a,b,...           active orbitals per symmetry (16 at most)\n"
    "  --nvirt=a,b,...          virtual orbitals per symmetry\n"
    "  --ngel=a,b,... --ndel=a,b,...  frozen / deleted orbitals per symmetry\n"
    "  --nelac=N --ms2=N        active electrons, twice the spin projection\n"
    "                           (a positive value is taken negative, as ciprop does)\n"
    "  --is0=N                  symmetry of the state of davecb (and of daveca)\n"
    "  --is0a=N                 symmetry of the state of daveca, if different\n"
    "  --gener=MODE             CAS, PERT, DDCI, DDci, DDC2, TOUS, MONO, or the\n"
    "                           multireference MR, MRS, MRD2, MRDD, MRT2, MRTD, MRT,\n"
    "                           MRM, MRTM, MRC (blank-padded to four characters)\n"
    "  --refs=2200,2110,...     MR references for OCCMRS: active occupations, CAS order\n"
    "  --nref=N                 MR: N references drawn from the seed instead\n"
    "                           (default: the occupation of the reference determinant)\n"
    "  --nroots=N --roots=r1,r2 roots per vector file, the two roots to use\n"
    "  --plain                  plain determinant lists (default packed)\n"
    "  --order=shuffled|enumeration   file order of the determinants\n"
    "  --one-list               both vectors from one CI run: deta and daveca\n"
    "                           written as detb and davecb\n"
    "  --seed=N                 seed of the random orders and vectors\n"
    "  --molcas=4|5|54|22 --iprop=N --symxyz=a,b,c --enuc=X\n"
    "  --inporb=1.0|1.1|2.0|2.1|2.2 [--inporb-without-deleted]  #INPORB orbital file\n"
    "  --density-limit=N        skip the brute-force densities above N look-ups\n";

namespace {

int to_int(const std::string& key, const std::string& v) {
  char* end = nullptr;
  long x = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0')
    throw std::invalid_argument("mkcase: --" + key + " wants an integer, got '" + v + "'");
  return static_cast<int>(x);
}

std::vector<int> to_ints(const std::string& key, const std::string& v) {
  std::vector<int> out;
  std::stringstream s(v);
  for (std::string item; std::getline(s, item, ',');) out.push_back(to_int(key, item));
  return out;
}

void per_symmetry(const std::string& key, const std::string& v, std::array<int, 8>& a) {
  std::vector<int> x = to_ints(key, v);
  if (x.size() > 8) throw std::invalid_argument("mkcase: --" + key + " takes at most 8 values");
  a.fill(0);
  for (std::size_t k = 0; k < x.size(); ++k) a[k] = x[k];
}

}  // namespace

Options parse_options(const std::vector<std::string>& args) {
  Options o;
  Description& d = o.d;
  for (const std::string& a : args) {
    if (a.rfind("--", 0) != 0) {
      if (!o.dir.empty()) throw std::invalid_argument("mkcase: two folders given");
      o.dir = a;
      continue;
    }
    std::size_t eq = a.find('=');
    std::string key = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    std::string v = eq == std::string::npos ? "" : a.substr(eq + 1);
    if (key == "nsym") d.nsym = to_int(key, v);
    else if (key == "ninac") per_symmetry(key, v, d.ninac);
    else if (key == "nact") per_symmetry(key, v, d.nact);
    else if (key == "nvirt") per_symmetry(key, v, d.nvirt);
    else if (key == "ngel") per_symmetry(key, v, d.ngel);
    else if (key == "ndel") per_symmetry(key, v, d.ndel);
    else if (key == "nelac") d.nelac = to_int(key, v);
    else if (key == "ms2") {
      // The CI run description may state a positive MS2; the program, and so
      // the generator, takes its negative.
      const int ms2 = to_int(key, v);
      d.ms2 = ms2 > 0 ? -ms2 : ms2;
      d.vrt_ms2_positive = ms2 > 0;
    }
    else if (key == "is0") d.is0 = to_int(key, v);
    else if (key == "is0a") d.is0a = to_int(key, v);
    else if (key == "gener") d.gener = (v + "    ").substr(0, 4);
    else if (key == "refs") {
      d.refs.clear();
      std::stringstream s(v);
      for (std::string r; std::getline(s, r, ',');) d.refs.push_back(r);
      if (d.refs.empty()) throw std::invalid_argument("mkcase: --refs wants one reference or more");
    } else if (key == "nref") d.nref = to_int(key, v);
    else if (key == "nroots") d.nroots = to_int(key, v);
    else if (key == "roots") {
      std::vector<int> r = to_ints(key, v);
      if (r.size() != 2) throw std::invalid_argument("mkcase: --roots wants two roots");
      d.root1 = r[0];
      d.root2 = r[1];
    } else if (key == "packed") d.packed = true;
    else if (key == "plain") d.packed = false;
    else if (key == "order") {
      if (v != "shuffled" && v != "enumeration")
        throw std::invalid_argument("mkcase: --order is shuffled or enumeration");
      d.shuffle = v == "shuffled";
    } else if (key == "one-list") d.one_list = true;
    else if (key == "seed") d.seed = std::strtoull(v.c_str(), nullptr, 10);
    else if (key == "molcas") d.molcas = to_int(key, v);
    else if (key == "inporb") d.inporb = v;
    else if (key == "inporb-without-deleted") d.inporb_without_deleted = true;
    else if (key == "iprop") d.ioper = to_int(key, v);
    else if (key == "symxyz") {
      std::vector<int> s = to_ints(key, v);
      if (s.size() != 3) throw std::invalid_argument("mkcase: --symxyz wants three symmetries");
      d.symxyz = {s[0], s[1], s[2]};
    } else if (key == "enuc") d.enuc = std::strtod(v.c_str(), nullptr);
    else if (key == "density-limit") d.density_limit = std::strtoll(v.c_str(), nullptr, 10);
    else throw std::invalid_argument("mkcase: unknown option " + a);
  }
  if (o.dir.empty()) throw std::invalid_argument("mkcase: no folder given");
  check(d);
  return o;
}

}  // namespace mkcase
