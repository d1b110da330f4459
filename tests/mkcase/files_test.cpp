// Every file of a generated folder read back by readers written here from
// the file formats alone, and compared with what the generator says it
// wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_in_dir.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

using mkcase::Case;
using mkcase::Description;

std::string slurp(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Sequential unformatted records: length, payload, the same length.
std::vector<std::string> records(const std::filesystem::path& p) {
  std::string bytes = slurp(p);
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    uint32_t head, tail;
    EXPECT_LE(at + 4, bytes.size());
    std::memcpy(&head, bytes.data() + at, 4);
    EXPECT_LE(at + 8 + head, bytes.size()) << p;
    if (at + 8 + head > bytes.size()) break;
    std::memcpy(&tail, bytes.data() + at + 4 + head, 4);
    EXPECT_EQ(head, tail);
    out.push_back(bytes.substr(at + 4, head));
    at += 8 + head;
  }
  return out;
}

template <class T>
std::vector<T> values(const std::string& rec) {
  EXPECT_EQ(rec.size() % sizeof(T), 0u);
  std::vector<T> v(rec.size() / sizeof(T));
  std::memcpy(v.data(), rec.data(), v.size() * sizeof(T));
  return v;
}

struct Listed {
  std::vector<int> holes, parts;
};

std::vector<Listed> read_plain(const std::filesystem::path& p) {
  std::vector<std::string> r = records(p);
  std::vector<Listed> out;
  for (std::size_t k = 0; k < r.size(); ++k) {
    int n = values<int32_t>(r[k]).at(0);
    Listed d;
    if (n > 0) {
      std::vector<int32_t> ab = values<int32_t>(r.at(++k));
      EXPECT_EQ(ab.size(), 2u * n);
      d.holes.assign(ab.begin(), ab.begin() + n);
      d.parts.assign(ab.begin() + n, ab.end());
    }
    out.push_back(d);
  }
  return out;
}

// The packed reader as the file format defines it: descriptor c = n(n+1)/2 +
// (alpha holes) + 1, orbital bytes with 0 meaning 256, beta values offset by
// norb, and two high bits per particle above 256 orbitals.
std::vector<Listed> read_packed(const std::filesystem::path& p, int norb, int ms2) {
  std::vector<Listed> out;
  for (const std::string& rec : records(p)) {
    int32_t l1, k;
    std::memcpy(&l1, rec.data(), 4);
    std::memcpy(&k, rec.data() + 4, 4);
    EXPECT_LE(l1, 3600);
    EXPECT_LE(k, 100);
    const unsigned char* orb = reinterpret_cast<const unsigned char*>(rec.data()) + 8;
    const unsigned char* desc = orb + l1;
    int32_t l3;
    std::memcpy(&l3, desc + k, 4);
    const unsigned char* high = desc + k + 4;
    EXPECT_EQ(rec.size(), 8u + l1 + k + 4 + l3);
    int o = 0, h = 0;
    for (int i = 0; i < k; ++i) {
      int c = desc[i], n = 0;
      while ((n + 1) * (n + 2) / 2 + 1 <= c) ++n;
      int alpha_holes = c - n * (n + 1) / 2 - 1;
      int alpha_parts = alpha_holes - (1 - ms2) / 2;
      auto value = [&](bool beta) {
        int v = orb[o++];
        if (v == 0) v = 256;
        return beta ? v + norb : v;
      };
      Listed d;
      for (int j = 0; j < n; ++j) d.holes.push_back(value(j >= alpha_holes));
      for (int j = 0; j < n; ++j) d.parts.push_back(value(j >= alpha_parts));
      if (norb > 256)
        for (int j = 0; j < n; j += 4, ++h)
          for (int q = j; q < std::min(n, j + 4); ++q)
            d.parts[q] += 256 * ((high[h] >> (2 * (q - j))) & 3);
      out.push_back(d);
    }
    EXPECT_EQ(o, l1);
    EXPECT_EQ(h, l3);
  }
  return out;
}

// Applies a listed determinant to the reference (orbitals 1..nocc of both
// spins) and returns the occupied spin-orbitals with the phase of the CI
// program's slot convention, sorted by exchanges.
std::pair<std::vector<int>, int> occupation(const Listed& d, int norb, int nocc) {
  std::vector<int> slots;
  for (int k = 1; k <= nocc; ++k) slots.push_back(k);
  for (int k = 1; k <= nocc; ++k) slots.push_back(norb + k);
  for (std::size_t k = 0; k < d.holes.size(); ++k) {
    int p = d.holes[k];
    auto at = std::find(slots.begin(), slots.end(), p);
    EXPECT_NE(at, slots.end()) << "hole " << p << " not in the reference";
    if (at != slots.end()) *at = d.parts[k];
    if (d.parts[k] == 2 * norb + 1) {
      EXPECT_EQ(k + 1, d.parts.size()) << "marker not last";
    }
  }
  slots.erase(std::remove(slots.begin(), slots.end(), 2 * norb + 1), slots.end());
  int phase = 1;
  for (std::size_t i = 0; i < slots.size(); ++i)
    for (std::size_t j = i + 1; j < slots.size(); ++j)
      if (slots[j] < slots[i]) std::swap(slots[i], slots[j]), phase = -phase;
  return {slots, phase};
}

// Checks one determinant list and its vector file against the case.
void check_list(const Case& c, const mkcase::Space& sp, const mkcase::ListFile& lf,
                const std::filesystem::path& dir, const char* list, const char* vectors) {
  SCOPED_TRACE(list);
  const auto& l = c.layout;
  std::vector<Listed> dets = c.d.packed ? read_packed(dir / list, l.norb, c.d.ms2)
                                        : read_plain(dir / list);
  ASSERT_EQ(dets.size(), sp.dets.size());
  std::vector<std::string> vr = records(dir / vectors);
  ASSERT_EQ(vr.size(), 2u + c.d.nroots);
  std::vector<int32_t> head = values<int32_t>(vr[0]);
  EXPECT_EQ(head, (std::vector<int32_t>{int32_t(dets.size()), c.d.nroots}));
  EXPECT_EQ(values<double>(vr[1]), sp.roots.energies);
  std::set<int> seen;
  int negative = 0, unordered = 0;
  for (std::size_t i = 0; i < dets.size(); ++i) {
    auto [occ, phase] = occupation(dets[i], l.norb, l.nocc);
    int k = lf.order[i];
    ASSERT_EQ(occ, mkcase::occupied(sp.dets[k], l)) << "file position " << i;
    EXPECT_TRUE(seen.insert(k).second);
    EXPECT_EQ(phase, lf.phase[i]);
    negative += phase < 0;
    unordered += !std::is_sorted(dets[i].holes.begin(), dets[i].holes.end()) ||
                 !std::is_sorted(dets[i].parts.begin(), dets[i].parts.end());
    for (int r = 0; r < c.d.nroots; ++r)
      EXPECT_EQ(values<double>(vr[2 + r])[i] * phase, sp.roots.coef[r][k]);
  }
  EXPECT_GT(negative, 0) << "no coefficient needs its phase corrected";
  if (!c.d.packed) {
    EXPECT_GT(unordered, 0) << "plain lists all in ascending order";
  }
}

// A namelist group of the text files: its cards and its key=value items.
std::map<std::string, std::vector<std::string>> group(const std::string& text,
                                                      const std::string& name) {
  std::istringstream s(text);
  std::string card, gathered;
  bool in = false;
  while (std::getline(s, card)) {
    EXPECT_LT(card.size(), 80u);
    if (!in && card.find("&" + name + " ") == std::string::npos) continue;
    if (card.find("&END") != std::string::npos) {
      if (in) break;
    }
    EXPECT_EQ(card.back(), ',') << card;
    gathered += in ? card : card.substr(card.find(name) + name.size());
    in = true;
  }
  gathered.erase(std::remove(gathered.begin(), gathered.end(), ' '), gathered.end());
  std::map<std::string, std::vector<std::string>> items;
  std::string key;
  std::istringstream t(gathered);
  for (std::string v; std::getline(t, v, ',');) {
    if (auto eq = v.find('='); eq != std::string::npos) {
      key = v.substr(0, eq);
      v = v.substr(eq + 1);
    }
    items[key].push_back(v);
  }
  return items;
}

std::vector<std::string> strs(std::initializer_list<int> v) {
  std::vector<std::string> out;
  for (int x : v) out.push_back(std::to_string(x));
  return out;
}

Description sample() {
  Description d;
  d.nsym = 2;
  d.ninac = {2, 1};
  d.nact = {2, 1};
  d.nvirt = {3, 2};
  d.ngel = {1, 0};
  d.ndel = {0, 1};
  d.nelac = 3;
  d.ms2 = -1;
  d.gener = "DDCI";
  d.nroots = 3;
  d.root1 = 1;
  d.root2 = 3;
  return d;
}

TEST(Files, PlainListsVectorsAndDensitiesReadBack) {
  test::ScratchDir dir;
  Description d = sample();
  d.packed = false;
  Case c = mkcase::make_case(d, dir.path());
  check_list(c, *c.a, c.deta, dir.path(), "deta", "daveca");
  check_list(c, *c.b, c.detb, dir.path(), "detb", "davecb");
  EXPECT_NE(c.deta.order, c.detb.order) << "both lists in the same order";
  // dens: one record per root, D(j,i) at (i-1)*norb + j, with D(j,i) =
  // RO(i,j) so that a reader taking RO(i,j) from there gets RO bit for bit.
  std::vector<std::string> dr = records(dir.path() / "dens");
  ASSERT_EQ(dr.size(), 3u);
  const int n = c.layout.norb;
  for (int r = 0; r < 3; ++r) {
    std::vector<double> v = values<double>(dr[r]);
    ASSERT_EQ(v.size(), std::size_t(n) * n);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j)
        EXPECT_EQ(v[(i - 1) * n + (j - 1)], c.dens[r][(i - 1) + (j - 1) * n]);
  }
}

TEST(Files, PackedListsWithOddElectronsAndManyOrbitalsReadBack) {
  // 300 orbitals: particles above 256 need the high-bit stream, and the
  // empty-slot marker is orbital 301 of beta spin.
  test::ScratchDir dir;
  Description d;
  d.ninac[0] = 2;
  d.nact[0] = 3;
  d.nvirt[0] = 295;
  d.nelac = 3;
  d.ms2 = -1;
  d.gener = "MONO";
  d.packed = true;
  d.density_limit = 0;  // the lists are the point here
  Case c = mkcase::make_case(d, dir.path());
  EXPECT_GT(c.a->dets.size(), 100u);  // several blocks
  check_list(c, *c.a, c.deta, dir.path(), "deta", "daveca");
  check_list(c, *c.b, c.detb, dir.path(), "detb", "davecb");
}

TEST(Files, PackedListsOfAnOpenShellBelowTheSpinOfTheReference) {
  test::ScratchDir dir;
  Description d = mkcase::describe("TOUS", 2, {1, 1}, {2, 2}, {2, 2}, 4, -2, 2);
  d.is0a = 1;
  d.packed = true;
  Case c = mkcase::make_case(d, dir.path());
  EXPECT_NE(c.a, c.b);
  check_list(c, *c.a, c.deta, dir.path(), "deta", "daveca");
  check_list(c, *c.b, c.detb, dir.path(), "detb", "davecb");
}

TEST(Files, RunDescriptionInfoAndInputGroups) {
  test::ScratchDir dir;
  Description d = sample();
  d.symxyz = {2, 1, 2};
  d.ioper = 1;
  Case c = mkcase::make_case(d, dir.path());
  auto vrt = group(dir.read("vrt"), "VRT");
  EXPECT_EQ(vrt["NOAC"], strs({3}));
  EXPECT_EQ(vrt["NUMAC"], strs({4, 5, 6}));  // after the 3 inactive orbitals
  EXPECT_EQ(vrt["NELAC"], strs({3}));
  EXPECT_EQ(vrt["IS0"], strs({1}));
  EXPECT_EQ(vrt["MS2"], strs({-1}));
  EXPECT_EQ(vrt["NDET"], strs({int(c.b->dets.size())}));
  EXPECT_EQ(vrt["GENER"], std::vector<std::string>{"'DDCI'"});
  std::string info = dir.read("Info");
  auto ao = group(info, "COST_AO");
  EXPECT_EQ(ao["NSYM"], strs({2}));
  ASSERT_EQ(ao["ITS"].size(), 64u);
  EXPECT_EQ(ao["ITS"][1], "2");  // 2 x 1 = 2, column order
  auto mo = group(info, "COST_MO");
  EXPECT_EQ(mo["NORB"], strs({11}));
  EXPECT_EQ(mo["NOC"], strs({3 + 2}));  // ninac + (nelac+1)/2
  // inactive, active, virtual orbitals, each class by symmetry
  EXPECT_EQ(mo["ITSYM"], strs({1, 1, 2, 1, 1, 2, 1, 1, 1, 2, 2}));
  EXPECT_EQ(mo["YCL"], std::vector<std::string>{"F"});
  std::string input = dir.read("input");
  auto rho = group(input, "RHO");
  EXPECT_EQ(rho["NUMERO"], strs({1, 3}));
  EXPECT_EQ(rho["NGEL"], strs({1, 0}));
  EXPECT_EQ(rho["NDEL"], strs({0, 1}));
  EXPECT_EQ(rho["ISX"], strs({2}));
  auto rhc = group(input, "RHC");
  EXPECT_EQ(rhc["ISXY"], strs({2}));
  EXPECT_EQ(rhc["ISYZ"], strs({2}));
  EXPECT_EQ(rhc["ISXZ"], strs({1}));
  EXPECT_EQ(rhc["IPROP"], strs({1}));
  EXPECT_EQ(rhc["CALCRO"], strs({0}));
  EXPECT_EQ(group(input, "COST")["MOLCAS"], strs({5}));
}

}  // namespace
