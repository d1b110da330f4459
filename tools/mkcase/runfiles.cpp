#include "tools/mkcase/runfiles.hpp"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tools/mkcase/cards.hpp"

namespace mkcase {

std::string vrt_text(const Description& d, long long ndet) {
  OrbitalLayout l = layout(d);
  Cards c("VRT");
  c.item("NOAC", l.noac);
  if (l.noac > 0) c.item("NUMAC", std::span<const int>(l.numac));
  c.item("NELAC", d.nelac).item("IS0", d.is0);
  c.item("MS2", d.vrt_ms2_positive ? -d.ms2 : d.ms2);
  c.item("NDET", static_cast<int>(ndet));
  c.text("GENER", d.gener);
  return c.finish();
}

std::string info_text(const Description& d) {
  OrbitalLayout l = layout(d);
  // ITS is the 8 x 8 table in the CI program's column order: its element
  // i + 8(j-1) is the symmetry of i x j.
  std::vector<int> its;
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i) its.push_back(d.mult[i][j]);
  std::string text = Cards("COST_AO").item("NSYM", d.nsym).item("ITS", its).finish();
  Cards mo("COST_MO");
  mo.item("NORB", l.norb).item("NOC", l.nocc);
  mo.item("ITSYM", std::span<const int>(l.isym));
  mo.item("ENUC", d.enuc).logical("YCL", false);
  return text + mo.finish();
}

std::string input_text(const Description& d, bool with_density_file) {
  std::vector<int> ngel(d.ngel.begin(), d.ngel.begin() + d.nsym);
  std::vector<int> ndel(d.ndel.begin(), d.ndel.begin() + d.nsym);
  const std::vector<int> roots = {d.root1, d.root2};
  const auto& [sx, sy, sz] = d.symxyz;
  Cards rho("RHO");
  rho.item("NUMERO", roots).item("NGEL", ngel).item("NDEL", ndel);
  rho.item("ISX", sx).item("ISY", sy).item("ISZ", sz);
  // The products xy, xz, yz transform as the products of their factors.
  Cards rhc("RHC");
  rhc.item("ISXY", d.mult[sx - 1][sy - 1]).item("ISXZ", d.mult[sx - 1][sz - 1]);
  rhc.item("ISYZ", d.mult[sy - 1][sz - 1]);
  rhc.item("IPROP", d.ioper).item("MOLCAS", d.molcas);
  rhc.item("CALCRO", with_density_file ? 0 : 1);
  Cards cost("COST");
  cost.item("MOLCAS", d.molcas);
  // The groups are searched in this order without rewinding: a missing
  // "&ROFIL" would hide every group after it, so it is written even empty.
  return " &ROFIL\n &END\n" + rho.finish() + rhc.finish() + cost.finish();
}

void write_text(const std::string& dir, const std::string& name,
                const std::string& text) {
  std::filesystem::create_directories(dir);
  std::string path = (std::filesystem::path(dir) / name).string();
  std::ofstream f(path, std::ios::binary);
  f << text;
  f.close();
  if (!f) throw std::runtime_error("mkcase: cannot write " + path);
}

void write_run_description(const Description& d, const std::string& dir,
                           long long ndet) {
  write_text(dir, "vrt", vrt_text(d, ndet));
  write_text(dir, "Info", info_text(d));
}

}  // namespace mkcase
