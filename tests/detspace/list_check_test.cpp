// The check of generated determinant lists against the addressing, and the
// reordering that follows it: spaces from the case generator, records filled
// by the real stages, lists in seeded random order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "detspace/address.hpp"
#include "detspace/address_tables.hpp"
#include "detspace/detlist.hpp"
#include "detspace/categories.hpp"
#include "detspace/reorder.hpp"
#include "driver/driver.hpp"
#include "core/print.hpp"
#include "input/run_description.hpp"
#include "orbitals/orbital_classes.hpp"
#include "tests/detspace/listfiles.hpp"
#include "tools/mkcase/detfile.hpp"
#include "tools/mkcase/make_case.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

namespace {

using namespace ciprop;
using listfiles::TDet;

mkcase::Description describe(int nsym, std::array<int, 8> ninac, std::array<int, 8> nact,
                             std::array<int, 8> nvirt, int nelac, int ms2, const char* gener,
                             bool packed) {
  mkcase::Description d = mkcase::describe(gener, nsym, ninac, nact, nvirt, nelac, ms2);
  d.packed = packed;
  return d;
}

struct Check : listfiles::ListTest {
  mkcase::Description d;
  mkcase::OrbitalLayout layout;
  std::vector<mkcase::Determinant> space;
  std::vector<int> iadrv;
  int nmax = -1;

  // The records as the opening, the orbital spaces and the tables leave
  // them for a run of ndet determinants (the whole space when 0).
  void setup(const mkcase::Description& desc, long long ndet = 0) {
    d = desc;
    layout = mkcase::layout(d);
    space = mkcase::enumerate_space(d, d.is0);
    mkcase::write_run_description(d, ".", ndet ? ndet : (long long)space.size());
    run->io.open(kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
    run->io.open(kUnitVrt, "vrt", fio::Status::Old, fio::Form::Formatted);
    run->io.open(kUnitInfo, "Info", fio::Status::Old, fio::Form::Formatted);
    run_stages(*run, Stage::RunDescription, Stage::Categories);
    run->switches.packed_lists = d.packed;
    out.str("");
  }
  // The address of a determinant, as the tables give it.
  int address(int n, const int* a, const int* b) {
    SplitDet s;
    int ierr = 0, iadr = 0;
    trad(*run, n, a, b, s, ierr);
    adrdet(*run, s, iadr);
    return iadr;
  }
  int address(const mkcase::Determinant& det) {
    mkcase::Excitation e = mkcase::excitation(det, layout);
    return address(int(e.holes.size()), e.holes.data(), e.parts.data());
  }
  std::vector<int> shuffled(size_t n, unsigned seed) {
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    return order;
  }
  void write_list(const std::vector<int>& order, const char* name = "detb") {
    mkcase::write_determinant_list(name, space, order, d, 7);
    run->io.open(kUnitDetB, name, fio::Status::Old, fio::Form::Unformatted);
  }
  int check() {
    const int ndet = run->det.ndet;
    iadrv.assign(size_t(ndet), -1);
    std::vector<unsigned char> seen(static_cast<size_t>(ndet));
    return status_of([&] { vermat(*run, SrAddressTables(*run), iadrv.data(), iadrv.data(), seen.data(), nmax); });
  }
  std::vector<TDet> read_list(int unit) {
    if (unit == kUnitDetB) rew61(*run);
    std::vector<TDet> got;
    int n = 0, eof = 0, a[kMaxSubst], b[kMaxSubst];
    for (venond_unit(*run, unit, n, a, b, eof); !eof; venond_unit(*run, unit, n, a, b, eof))
      got.push_back({std::vector<int>(a, a + n), std::vector<int>(b, b + n)});
    return got;
  }
  int reorder() {
    std::vector<short> area(6 * size_t(run->dim));
    std::vector<int> table(static_cast<size_t>(run->det.ndet));
    return status_of([&] {
      if (d.packed) {
        auto* buf = reinterpret_cast<unsigned char*>(area.data());
        reorde2(*run, buf, buf, nmax, table.data());
      } else {
        reorde(*run, nmax, table.data(), reinterpret_cast<int*>(area.data()), area.data());
      }
    });
  }
};

// The whole road on several spaces: shuffled list, check, reordering in
// several passes; "ORDET" holds the list's own determinants in address order.
TEST_F(Check, ShuffledListsAreCheckedAndReordered) {
  struct Case {
    mkcase::Description d;
    int dim;
  };
  const Case cases[] = {
      {describe(2, {2, 1}, {2, 1}, {6, 4}, 4, 0, "DDCI", true), 1000},
      {describe(2, {2, 1}, {2, 1}, {6, 4}, 4, 0, "DDCI", false), 2000},
      {describe(1, {1}, {2}, {260}, 2, 0, "MONO", true), 500},        // high bits
      {describe(1, {1}, {2}, {260}, 1, -1, "MONO", true), 300},       // marker
      {describe(2, {2, 1}, {2, 1}, {3, 2}, 3, -1, "DDCI", false), kDim},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.d.gener << " norb " << c.d.norb() << " packed "
                                    << c.d.packed);
    fresh_run();
    setup(c.d);
    const int ndet = run->det.ndet;
    write_list(shuffled(space.size(), 11));
    std::vector<TDet> file = read_list(kUnitDetB);
    ASSERT_EQ(check(), -1) << out.str();

    int want_nmax = 0, want_cas = 0;
    for (const auto& det : space) {
      want_nmax = std::max(want_nmax, int(mkcase::excitation(det, layout).holes.size()));
      want_cas += det.nt == 0 && det.np == 0;
    }
    EXPECT_EQ(nmax, want_nmax);
    EXPECT_EQ(run->det.ndetcas, want_cas);
    // iadrv(address) is the file position of the determinant with that
    // address, and "IADRV" holds it in records of 2048.
    for (int k = 1; k <= ndet; ++k) {
      const TDet& f = file[size_t(iadrv[size_t(k - 1)] - 1)];
      ASSERT_EQ(address(int(f.a.size()), f.a.data(), f.b.data()), k);
    }
    run->io.rewind(kUnitIadrv);
    std::vector<int> back(static_cast<size_t>(ndet));
    lirbl(*run, back.data(), ndet, kUnitIadrv);
    EXPECT_EQ(back, iadrv);
    EXPECT_EQ(std::filesystem::file_size("IADRV"), size_t((ndet + 2047) / 2048) * (8 + 4 * 2048));

    run->dim = c.dim;
    ASSERT_EQ(reorder(), -1) << out.str();
    std::vector<TDet> ordet = read_list(kUnitDetB);
    ASSERT_EQ(ordet.size(), size_t(ndet));
    for (int k = 1; k <= ndet; ++k) ASSERT_EQ(ordet[size_t(k - 1)], file[size_t(iadrv[size_t(k - 1)] - 1)]);
  }
}

// Two shuffles of one packed list reorder to the same bytes.
TEST_F(Check, PackedOrdetDoesNotDependOnTheFileOrder) {
  std::string first;
  for (unsigned seed : {3u, 4u}) {
    fresh_run();
    setup(describe(2, {2, 1}, {2, 1}, {3, 3}, 4, 0, "DDCI", true));
    write_list(shuffled(space.size(), seed));
    ASSERT_EQ(check(), -1) << out.str();
    run->dim = 400;
    ASSERT_EQ(reorder(), -1) << out.str();
    std::ifstream f("ORDET", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    if (first.empty())
      first = bytes;
    else
      EXPECT_EQ(bytes, first);
  }
}

// Lists of exactly 2048 and 2049 determinants: the addresses 1..ndet of a
// larger space, so that the address blocks fill one record and spill into a
// second.
TEST_F(Check, BlockBoundaryOf2048) {
  for (int ndet : {2048, 2049}) {
    fresh_run();
    setup(describe(2, {2, 1}, {2, 1}, {6, 4}, 4, 0, "DDCI", false), ndet);
    std::vector<int> order;
    for (int i : shuffled(space.size(), unsigned(ndet)))
      if (address(space[size_t(i)]) <= ndet) order.push_back(i);
    ASSERT_EQ(order.size(), size_t(ndet));
    write_list(order);
    ASSERT_EQ(check(), -1) << out.str();
    run->io.flush(kUnitIadrv);
    EXPECT_EQ(std::filesystem::file_size("IADRV"), size_t((ndet + 2047) / 2048) * (8 + 4 * 2048));
    for (int k = 1; k <= ndet; ++k) ASSERT_EQ(address(space[size_t(order[size_t(iadrv[size_t(k - 1)] - 1)])]), k);
  }
}

// A list that is not a permutation of the addresses ends the run with its
// message and an error status.
TEST_F(Check, ListsThatAreNotAPermutationStopTheRun) {
  const auto desc = describe(4, {1, 1, 0, 0}, {1, 1, 1, 0}, {2, 2, 1, 1}, 2, 0, "DDCI", false);
  auto last_line = [&] {
    auto lines = test::split_lines(out.str());
    return lines.empty() ? std::string() : lines.back();
  };
  setup(desc);
  const int ndet = run->det.ndet;
  auto order = shuffled(space.size(), 5);

  // The same determinant twice.
  auto twice = order;
  twice[9] = twice[2];
  write_list(twice);
  EXPECT_EQ(check(), fio::kStatusError);
  EXPECT_EQ(last_line().rfind(" determinant deja vu trou", 0), 0u) << out.str();
  EXPECT_NE(last_line().find(" ndet 10 iadr1 " + std::to_string(address(space[size_t(twice[2])]))),
            std::string::npos) << out.str();

  // One determinant missing: the list is short.
  out.str("");
  write_list(std::vector<int>(order.begin(), order.end() - 1));
  EXPECT_EQ(check(), fio::kStatusError);
  EXPECT_EQ(last_line(), " liste de determinants incomplete : determinants lus " +
                             std::to_string(ndet - 1) + " ndet " + std::to_string(ndet));

  // A list cut inside a record is a damaged file, named with the record.
  out.str("");
  write_list(order);
  run->io.close(kUnitDetB);
  std::filesystem::resize_file("detb", std::filesystem::file_size("detb") - 3);
  run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
  EXPECT_EQ(check(), fio::kStatusIoError);

  // A negative determinant count from the run description.
  out.str("");
  run->det.ndet = -3;
  write_list(order);
  EXPECT_EQ(status_of([&] { vermat(*run, SrAddressTables(*run), iadrv.data(), iadrv.data(), nullptr, nmax); }),
            fio::kStatusError);
  EXPECT_EQ(last_line(), " nombre de determinants negatif : ndet -3");

  // An address beyond ndet: the run stops there; at print level 3 the check
  // goes on and ends with the table of the addresses met.
  run->det.ndet = ndet - 1;
  int top = 0;
  for (int i = 0; i < ndet; ++i)
    if (address(space[size_t(order[size_t(i)])]) == ndet) top = i + 1;
  for (int nprint : {0, 3}) {
    out.str("");
    run->pr.nprint = nprint;
    write_list(order);
    EXPECT_EQ(check(), fio::kStatusError);
    // The message is one list-directed line, continued past column 80.
    std::string flat = out.str();
    for (size_t p; (p = flat.find("\n ")) != std::string::npos;) flat.erase(p, 2);
    const std::string msg = " numero,ndet " + std::to_string(top) + " " +
                            std::to_string(ndet - 1) + " iadr1 " + std::to_string(ndet);
    const size_t at = flat.find("adresse plus grande que le nombre de determinants trou");
    ASSERT_NE(at, std::string::npos) << out.str();
    EXPECT_NE(flat.find(msg, at), std::string::npos) << out.str();
    auto lines = test::split_lines(out.str());
    if (nprint == 0) {
      EXPECT_EQ(flat.substr(flat.size() - msg.size() - 1), msg + "\n");
    } else {
      ASSERT_GE(lines.size(), size_t(ndet - 1));
      const std::string last = std::to_string(ndet - 1);
      EXPECT_EQ(lines.back(), "      adresses vides" + std::string(8 - last.size(), ' ') + last + " T");
      EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.find("adresses vides") == 6; }),
                ndet - 1);
    }
  }
}

// A determinant outside the mode's space would take another determinant's
// address; it is refused.
TEST_F(Check, ADeterminantOutsideTheSpaceIsRefused) {
  setup(describe(1, {2}, {2}, {4}, 2, 0, "MONO", false));
  std::vector<TDet> list;
  for (const auto& det : space) {
    auto e = mkcase::excitation(det, layout);
    list.push_back({e.holes, e.parts});
  }
  const int norb = layout.norb;
  list[3] = TDet{{1, 1 + norb}, {norb, 2 * norb}};  // two inactive holes, two virtual particles
  run->io.open(70, "detb", fio::Status::Unknown, fio::Form::Unformatted);
  listfiles::write_plain(run->io, 70, list);
  run->io.close(70);
  run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
  EXPECT_EQ(check(), fio::kStatusError);
  EXPECT_EQ(out.str().rfind(" determinant hors de l'espace de la generation trou 1 -1 CAS", 0), 0u)
      << out.str();
}

}  // namespace

// The whole program on generated folders: a stop the user asks for right
// after the reordering ends with status 0; a repeated determinant with an
// error status.
TEST(ListsInARun, StopOrdetAndARepeatedDeterminant) {
  test::ScratchDir dir;
  auto d = describe(2, {2, 1}, {2, 1}, {3, 3}, 4, 0, "DDCI", true);
  mkcase::Case c = mkcase::make_case(d, dir.path().string());
  std::string input = dir.read("input");
  input.insert(input.find("&RHO") + 4, " STOP='ordet',");
  auto r = test::run_binary(dir, input);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("STOP stop ORDET"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "ORDET"));
  EXPECT_NE(test::split_lines(r.out).back(), " FIN");

  std::vector<int> twice = c.detb.order;
  twice[40] = twice[12];
  mkcase::write_determinant_list((dir.path() / "detb").string(), c.b->dets, twice, d, 3);
  r = test::run_binary(dir, dir.read("input"));
  EXPECT_EQ(r.status, fio::kStatusError) << r.out << r.err;
  EXPECT_NE(r.out.find(" determinant deja vu trou"), std::string::npos) << r.out;
  EXPECT_NE(test::split_lines(r.out).back(), " FIN");
}
