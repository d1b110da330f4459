// The reordering into "ORDET" on shuffled hand-written lists: the output
// holds every determinant, byte for byte, in address order, whatever the
// number of passes, and the run goes on with "ORDET" on unit 61.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "detspace/detlist.hpp"
#include "detspace/reorder.hpp"
#include "tests/detspace/listfiles.hpp"

namespace {

using namespace ciprop;
using listfiles::TDet;

struct Reorder : listfiles::ListTest {
  std::vector<TDet> dets;    // in file order
  std::vector<int> address;  // address of each file position
  int nmax = 0;

  // Writes "detb", "IADRV" and "BID84" (the addresses in file order) for a
  // random list of ndet determinants.
  void make_list(int ndet, int norb, int ms2, unsigned seed) {
    run->orb.norb = norb;
    run->cs.ms2 = ms2;
    run->det.ndet = ndet;
    dets = listfiles::random_dets(ndet, norb, 10, ms2, 5, seed);
    if (ms2 == 0) dets[size_t(ndet / 2)] = TDet{};  // the reference
    nmax = 0;
    for (const TDet& d : dets) nmax = std::max(nmax, int(d.a.size()));
    address = listfiles::permutation(ndet, seed + 1);
    run->io.open(70, "detb", fio::Status::Unknown, fio::Form::Unformatted);
    if (run->switches.packed_lists)
      listfiles::write_packed(run->io, 70, dets, norb, 61);
    else
      listfiles::write_plain(run->io, 70, dets);
    run->io.close(70);
    run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
    std::vector<int> iadrv(size_t(ndet) + kBlock);
    for (int f = 1; f <= ndet; ++f) iadrv[size_t(address[size_t(f - 1)] - 1)] = f;
    run->io.open(kUnitIadrv, "IADRV", fio::Status::Unknown, fio::Form::Unformatted);
    ecribl(*run, iadrv.data(), ndet, kUnitIadrv);
    run->io.open(kUnitBid84, "BID84", fio::Status::Unknown, fio::Form::Unformatted);
    ecribl(*run, address.data(), ndet, kUnitBid84);
  }

  // Runs the reordering of the layout in use with its buffers.
  int reorder() {
    const size_t n = 6 * size_t(run->dim);
    std::vector<short> area(n + 1);  // bytes or two-byte integers, as the layout needs
    std::vector<int> table(static_cast<size_t>(run->det.ndet));
    return status_of([&] {
      if (run->switches.packed_lists) {
        auto* buf = reinterpret_cast<unsigned char*>(area.data());
        reorde2(*run, buf, buf, nmax, table.data());
      } else {
        reorde(*run, nmax, table.data(), reinterpret_cast<int*>(area.data()), area.data());
      }
    });
  }

  // The determinants in address order.
  std::vector<TDet> expected() const {
    std::vector<TDet> v(dets.size());
    for (size_t f = 0; f < dets.size(); ++f) v[size_t(address[f] - 1)] = dets[f];
    return v;
  }

  // "ORDET" as the density stage reads it from unit 61.
  std::vector<TDet> read_ordet() {
    rew61(*run);
    std::vector<TDet> got;
    int n = 0, eof = 0, a[kMaxSubst], b[kMaxSubst];
    for (venond(*run, n, a, b, eof); !eof; venond(*run, n, a, b, eof))
      got.push_back({std::vector<int>(a, a + n), std::vector<int>(b, b + n)});
    return got;
  }

  // The determinant counts of the block records of "ORDET", and its
  // high-bit bytes.
  std::vector<int> block_sizes(int& high_total) {
    std::vector<int> sizes;
    high_total = 0;
    run->io.open(71, "ORDET", fio::Status::Old, fio::Form::Unformatted);
    std::vector<unsigned char> rec(kPackRecord);
    size_t len = 0;
    while (run->io.try_read_record(71, rec.data(), rec.size(), &len)) {
      int l1, k, l3;
      std::memcpy(&l1, rec.data(), 4);
      std::memcpy(&k, rec.data() + 4, 4);
      std::memcpy(&l3, rec.data() + 8 + l1 + k, 4);
      EXPECT_EQ(len, size_t(12 + l1 + k + l3));
      sizes.push_back(k);
      high_total += l3;
    }
    run->io.close(71);
    return sizes;
  }
  // "ORDET" holds the expected determinants byte for byte, as a batch that
  // keeps its rows hands them out.
  void expect_same_bytes() {
    rew61(*run);
    auto want = expected();
    ListBatch batch;
    batch.keep_rows();
    size_t k = 0;
    do {
      const int m = batch.read(*run, kUnitDetB);
      ASSERT_LE(k + size_t(m), want.size());
      for (int j = 0; j < m; ++j, ++k) {
        listfiles::Packed p = listfiles::encode(want[k], run->orb.norb);
        const unsigned char* r = batch.row(j);
        const size_t n = p.orb.size() / 2;
        ASSERT_EQ(r[0], p.desc) << "determinant " << k;
        ASSERT_EQ(std::vector<unsigned char>(r + 1, r + 1 + 2 * n), p.orb);
        ASSERT_EQ(std::vector<unsigned char>(r + 1 + 2 * n, r + 1 + 2 * n + p.high.size()),
                  p.high);
      }
    } while (!batch.ended());
    EXPECT_EQ(k, want.size());
  }
};

// Packed lists of 2048 and 2049 determinants, above and below 256 orbitals,
// even and odd electron counts, in one pass and in many (a small buffer);
// and one of several batches of the reading and several chunks of blocks of
// the writing, in one pass and in three.
TEST_F(Reorder, PackedListComesOutInAddressOrderInBlocksOf100) {
  struct Case {
    int ndet, norb, ms2, dim;
  };
  for (Case c : {Case{2048, 300, 0, kDim}, Case{2049, 300, -1, 500}, Case{2049, 40, 0, 300},
                 Case{2048, 256, 0, 100}, Case{80123, 40, 0, kDim}, Case{80123, 300, -1, 60000}}) {
    SCOPED_TRACE(testing::Message() << c.ndet << " determinants, norb " << c.norb << ", dim "
                                    << c.dim);
    run->dim = c.dim;
    make_list(c.ndet, c.norb, c.ms2, unsigned(c.ndet + c.norb));
    ASSERT_EQ(reorder(), -1) << out.str();
    EXPECT_EQ(read_ordet(), expected());
    expect_same_bytes();
    int high = 0;
    auto sizes = block_sizes(high);
    ASSERT_EQ(sizes.size(), size_t((c.ndet + 99) / 100));
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 100);
    EXPECT_EQ(sizes.back(), c.ndet % 100 ? c.ndet % 100 : 100);
    if (c.norb <= 256) {
      EXPECT_EQ(high, 0);
    }
    // The CI program's list stays unless the run asks for its removal.
    EXPECT_TRUE(std::filesystem::exists("detb"));
  }
}

TEST_F(Reorder, PlainListComesOutInAddressOrder) {
  run->switches.packed_lists = false;
  for (int dim : {kDim, 700}) {
    SCOPED_TRACE(dim);
    run->dim = dim;
    make_list(2049, 40, 0, unsigned(dim));
    ASSERT_EQ(reorder(), -1) << out.str();
    EXPECT_EQ(read_ordet(), expected());
    // One record per reference determinant, two per other one.
    long long bytes = 0;
    for (const TDet& d : expected()) bytes += 12 + (d.a.empty() ? 0 : 8 + 8 * long(d.a.size()));
    EXPECT_EQ(std::filesystem::file_size("ORDET"), size_t(bytes));
  }
}

// A window of exactly W determinants needs one pass; W + 1 a second pass
// holding one determinant.
TEST_F(Reorder, WindowEdges) {
  run->switches.packed_lists = false;
  run->dim = 1000;  // nmax 5: rows of 11 two-byte integers, W = 545
  for (int ndet : {545, 546}) {
    make_list(ndet, 40, 0, unsigned(ndet));
    dets[0] = TDet{{1, 2, 3, 4, 5}, {11, 12, 13, 14, 15}};
    nmax = 5;
    run->io.close(kUnitDetB);
    run->io.open(70, "detb", fio::Status::Unknown, fio::Form::Unformatted);
    listfiles::write_plain(run->io, 70, dets);
    run->io.close(70);
    run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
    ASSERT_EQ(reorder(), -1) << out.str();
    EXPECT_EQ(read_ordet(), expected());
  }
}

TEST_F(Reorder, StopOrdetEndsTheRunWithStatusZeroAfterWritingIt) {
  run->stp.assign("ORDET");
  run->switches.delete_list_after_reordering = true;
  make_list(300, 40, 0, 5);
  try {
    auto* buf = reinterpret_cast<unsigned char*>(run->espa.bytes(32000000));
    std::vector<int> table(300);
    reorde2(*run, buf, buf, nmax, table.data());
    FAIL() << "no stop";
  } catch (const fio::StopRun& s) {
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.shown, "STOP stop ORDET");
  }
  EXPECT_TRUE(std::filesystem::exists("ORDET"));
  EXPECT_FALSE(std::filesystem::exists("detb"));  // the input list is removed
}

// Determinants of 19 substitutions take 38 orbital bytes: 94 of them fit in
// a block's 3600, the 95th does not, whether the block is filled one
// determinant at a time or put together whole.
TEST_F(Reorder, ABlockOfMoreThan3600OrbitalBytesStopsWithMpie2) {
  {
    run->orb.norb = 60;
    run->io.open(kUnitOrdet, "ORDET", fio::Status::Unknown, fio::Form::Unformatted);
    unsigned char e[19] = {}, f[19] = {}, h[5] = {};
    int wrote = 0;
    int status = status_of([&] {
      for (; wrote < 100; ++wrote) pie2(*run, 19, 191, e, f, h);
    });
    EXPECT_EQ(status, fio::kStatusError);
    EXPECT_EQ(wrote, 94);
    EXPECT_EQ(out.str(), " mpie2\n");
    run->io.close(kUnitOrdet);
  }
  out.str("");
  make_list(250, 60, 0, 3);
  std::vector<int> a(19), b(19);
  for (int k = 0; k < 19; ++k) a[size_t(k)] = 1 + k, b[size_t(k)] = 41 + k;
  for (TDet& d : dets) d = TDet{a, b};
  nmax = 19;
  run->io.close(kUnitDetB);
  run->io.open(70, "detb", fio::Status::Unknown, fio::Form::Unformatted);
  listfiles::write_packed(run->io, 70, dets, 60, 61);
  run->io.close(70);
  run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
  EXPECT_EQ(reorder(), fio::kStatusError);
  EXPECT_EQ(out.str(), " mpie2\n");
}

TEST_F(Reorder, CorruptAddressBlocksOrAShortenedListAreRefused) {
  // An address met twice, and one beyond the list.
  for (bool twice : {true, false}) {
    make_list(150, 40, 0, 9);
    address[149] = twice ? address[0] : 151;
    run->io.rewind(kUnitBid84);
    ecribl(*run, address.data(), 150, kUnitBid84);
    err.str("");
    EXPECT_EQ(reorder(), fio::kStatusIoError);
    EXPECT_NE(err.str().find("BID84"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("address " + std::to_string(address[149])), std::string::npos)
        << err.str();
  }

  // The list lost its last determinant after the check.
  make_list(151, 40, 0, 9);
  run->io.open(70, "detb", fio::Status::Unknown, fio::Form::Unformatted);
  listfiles::write_packed(run->io, 70, std::vector<TDet>(dets.begin(), dets.end() - 1), 40, 100);
  run->io.close(70);
  run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
  EXPECT_EQ(reorder(), fio::kStatusIoError);
  EXPECT_NE(err.str().find("ended before its 151 determinants"), std::string::npos);
}

}  // namespace
