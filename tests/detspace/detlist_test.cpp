// Determinant-list readers and the integer block files, on lists written by
// hand from the file layouts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "detspace/detlist.hpp"
#include "detspace/reorder.hpp"
#include "tests/detspace/listfiles.hpp"

namespace {

using namespace ciprop;
using listfiles::TDet;

struct Readers : listfiles::ListTest {
  std::vector<TDet> read_all(int unit) {
    std::vector<TDet> got;
    int n = 0, eof = 0, a[kMaxSubst], b[kMaxSubst];
    for (;;) {
      venond_unit(*run, unit, n, a, b, eof);
      if (eof) return got;
      got.push_back({std::vector<int>(a, a + n), std::vector<int>(b, b + n)});
    }
  }
  void write_file(const std::string& name, const std::vector<TDet>& dets, int norb) {
    run->io.open(70, name, fio::Status::Unknown, fio::Form::Unformatted);
    if (run->switches.packed_lists)
      listfiles::write_packed(run->io, 70, dets, norb, 37);
    else
      listfiles::write_plain(run->io, 70, dets);
    run->io.close(70);
    run->io.open(kUnitDetB, name, fio::Status::Old, fio::Form::Unformatted);
  }
  int read_status() {
    return status_of([&] { read_all(kUnitDetB); });
  }
  // Reads the list on kUnitDetB in one batch, which must give `before`
  // determinants (the last with `last_count` substitutions, when given) and
  // stop on a fault, not at the end; returns the words the batch raises,
  // once they have been checked to be the one-by-one reader's.
  std::string batch_fault(int before, int last_count = -1) {
    rew61(*run);
    ListBatch batch;
    EXPECT_EQ(batch.read(*run, kUnitDetB), before);
    EXPECT_FALSE(batch.ended());
    if (last_count >= 0) EXPECT_EQ(batch.count(before - 1), last_count);
    err.str("");
    EXPECT_EQ(status_of([&] { batch.raise_fault(*run, kUnitDetB); }), fio::kStatusIoError);
    const std::string words = err.str();
    rew61(*run);
    err.str("");
    EXPECT_EQ(read_status(), fio::kStatusIoError);
    EXPECT_EQ(err.str(), words);
    return words;
  }
};

TEST(Venond4, EveryDescriptorSplitsIntoItsCountAndAlphaHoles) {
  for (int n = 0; n <= 20; ++n)
    for (int k = 0; k <= n; ++k) {
      int gn = -1, gm = -1;
      venond4(n * (n + 1) / 2 + k + 1, gn, gm);
      EXPECT_EQ(gn, n) << k;
      EXPECT_EQ(gm, k + 1) << n;
    }
}

// Round trips through both layouts, with orbitals past 256 (high bits), the
// byte 0 standing for orbital 256, an odd electron count with the empty-slot
// marker, and blocks that are not full.
TEST_F(Readers, ListsReadBackAsWrittenInBothLayouts) {
  struct Case {
    int layout, norb, ms2;
  };
  for (Case c : {Case{1, 300, 0}, Case{1, 256, 0}, Case{1, 40, -1}, Case{1, 500, -1},
                 Case{0, 300, 0}, Case{0, 40, -1}}) {
    SCOPED_TRACE(testing::Message() << "layout " << c.layout << " norb " << c.norb << " ms2 "
                                    << c.ms2);
    run->switches.packed_lists = c.layout == 1;
    run->orb.norb = c.norb;
    run->cs.ms2 = c.ms2;
    auto dets = listfiles::random_dets(250, c.norb, 10, c.ms2, 6, unsigned(c.norb));
    // Orbital 256 of both spins among the filled ones, byte 0 in the file.
    if (c.norb >= 256 && c.ms2 == 0) dets[0] = TDet{{3, c.norb + 5}, {256, c.norb + 256}};
    if (c.ms2 == 0) dets[1] = TDet{};
    write_file("detb", dets, c.norb);
    rew61(*run);
    EXPECT_EQ(read_all(kUnitDetB), dets);
    // A rewind starts the list again, whatever was left in the block.
    rew61(*run);
    EXPECT_EQ(read_all(kUnitDetB), dets);
  }
}

// The batch reader gives what the one-by-one reader gives, whatever the
// batch sizes, where a batch ends inside a block, and when one-by-one
// reading takes over in the middle of a block.
TEST_F(Readers, BatchesReadWhatTheOneByOneReaderReads) {
  for (int layout : {1, 0}) {
    SCOPED_TRACE(testing::Message() << "layout " << layout);
    run->switches.packed_lists = layout == 1;
    run->orb.norb = 300;
    run->cs.ms2 = -1;
    const auto dets = listfiles::random_dets(ListBatch::kCapacity + 5000, 300, 10, -1, 6, 11u);
    write_file("detb", dets, 300);
    rew61(*run);
    std::vector<TDet> got;
    ListBatch batch;
    auto take = [&](int most) {
      const int m = batch.read(*run, kUnitDetB, most);
      for (int j = 0; j < m; ++j)
        got.push_back({std::vector<int>(batch.holes(j), batch.holes(j) + batch.count(j)),
                       std::vector<int>(batch.parts(j), batch.parts(j) + batch.count(j))});
      return m;
    };
    EXPECT_EQ(take(10), 10);
    EXPECT_GT(take(ListBatch::kCapacity), 0);
    int n = 0, eof = 0, a[kMaxSubst], b[kMaxSubst];
    for (int k = 0; k < 5; ++k) {
      venond_unit(*run, kUnitDetB, n, a, b, eof);
      got.push_back({std::vector<int>(a, a + n), std::vector<int>(b, b + n)});
    }
    while (!batch.ended()) take(ListBatch::kCapacity);
    EXPECT_EQ(got, dets);
  }
}

// Stepping over determinants leaves the reader where reading them would:
// inside a block, across blocks, after a batch, and at the end of the list.
TEST_F(Readers, SteppingOverDeterminantsLeavesTheReaderWhereReadingWould) {
  for (int layout : {1, 0}) {
    for (int norb : {300, 60}) {
      SCOPED_TRACE(testing::Message() << "layout " << layout << ", norb " << norb);
      run->switches.packed_lists = layout == 1;
      run->orb.norb = norb;
      run->cs.ms2 = 0;
      const auto dets = listfiles::random_dets(1000, norb, 10, 0, 6, unsigned(norb));
      write_file("detb", dets, norb);
      rew61(*run);
      int n = 0, eof = 0, a[kMaxSubst], b[kMaxSubst];
      auto next = [&] {
        venond_unit(*run, kUnitDetB, n, a, b, eof);
        return TDet{std::vector<int>(a, a + n), std::vector<int>(b, b + n)};
      };
      size_t at = 0;
      for (int step : {0, 3, 40, 1, 250}) {
        EXPECT_EQ(skip_determinants(*run, kUnitDetB, step), step);
        at += size_t(step);
        EXPECT_EQ(next(), dets[at]);
        ++at;
      }
      ListBatch batch;
      ASSERT_EQ(batch.read(*run, kUnitDetB, 17), 17);
      at += 17;
      EXPECT_EQ(skip_determinants(*run, kUnitDetB, 5), 5);
      EXPECT_EQ(next(), dets[at + 5]);
      at += 6;
      EXPECT_EQ(skip_determinants(*run, kUnitDetB, 5000), int(dets.size() - at));
      next();
      EXPECT_EQ(eof, 1);
    }
  }
}

// A determinant that cannot be decoded ends its batch; the fault is raised
// only when asked, with the words of the one-by-one reader.
TEST_F(Readers, ABatchStopsBeforeADamagedDeterminant) {
  run->orb.norb = 30;
  run->cs.ms2 = 0;
  const auto good = listfiles::random_dets(120, 30, 4, 0, 4, 5u);
  for (int layout : {1, 0}) {
    SCOPED_TRACE(testing::Message() << "layout " << layout);
    run->switches.packed_lists = layout == 1;
    run->io.open(70, "bad", fio::Status::Unknown, fio::Form::Unformatted);
    if (layout == 1) {
      listfiles::write_packed(run->io, 70, good, 30, 37);
      // One sound determinant (alpha 1 -> 20), then 22 substitutions.
      listfiles::write_block(run->io, 70, {1, 20}, {3, 0xff}, {});
    } else {
      listfiles::write_plain(run->io, 70, good);
      listfiles::write_plain(run->io, 70, {TDet{{1}, {20}}});
      const int n = 21;
      run->io.write_record(70, &n, 4);
    }
    run->io.close(70);
    run->io.open(kUnitDetB, "bad", fio::Status::Old, fio::Form::Unformatted);
    batch_fault(121, 1);
  }
}

// What keeps a determinant from being read, in the words the refusal
// gives, and the quick test the threads apply agrees with it everywhere,
// the edges of the reference and of the spin-orbitals included.
TEST_F(Readers, ReadableDeterminantsAndTheWordsOfADefect) {
  run->orb.norb = 10;
  run->orb.nocc = 4;  // alpha 1..4 and beta 11..14 filled; 21 the marker
  auto defect = [&](std::vector<int> a, std::vector<int> b) {
    return list_defect(*run, int(a.size()), a.data(), b.data());
  };
  EXPECT_EQ(defect({4, 14}, {5, 21}), "");
  EXPECT_EQ(defect({5}, {6}), "hole 5 is not occupied in the reference");
  EXPECT_EQ(defect({0}, {6}), "hole 0 is not a spin-orbital");
  EXPECT_EQ(defect({21}, {6}), "hole 21 is not a spin-orbital");
  EXPECT_EQ(defect({2, 2}, {6, 7}), "hole 2 is given twice");
  EXPECT_EQ(defect({1}, {11}), "particle 11 is occupied in the reference");
  EXPECT_EQ(defect({1, 2}, {21, 21}), "particle 21 is given twice");
  EXPECT_EQ(defect({1}, {22}), "particle 22 is not a spin-orbital");

  std::mt19937 rng(5);
  const int edges[] = {-1, 0, 1, 3, 4, 5, 9, 10, 11, 14, 15, 19, 20, 21, 22};
  std::uniform_int_distribution<int> pick(0, 14), len(0, 5);
  for (int trial = 0; trial < 20000; ++trial) {
    const int n = len(rng);
    int a[kMaxSubst], b[kMaxSubst];
    for (int k = 0; k < n; ++k) {
      a[k] = edges[pick(rng)];
      b[k] = edges[pick(rng)];
    }
    ASSERT_EQ(list_readable(*run, n, a, b), list_defect(*run, n, a, b).empty()) << "trial " << trial;
  }
}

// A record too long for the reader ends its batch the same way: the
// determinants before it are given, and the input/output error comes when
// asked, in the words of the one-by-one reader.
TEST_F(Readers, ABatchStopsBeforeARecordTooLongToRead) {
  run->orb.norb = 30;
  run->cs.ms2 = 0;
  const auto good = listfiles::random_dets(90, 30, 4, 0, 4, 9u);
  for (int layout : {1, 0}) {
    SCOPED_TRACE(testing::Message() << "layout " << layout);
    run->switches.packed_lists = layout == 1;
    run->io.open(70, "long", fio::Status::Unknown, fio::Form::Unformatted);
    if (layout == 1)
      listfiles::write_packed(run->io, 70, good, 30, 37);
    else
      listfiles::write_plain(run->io, 70, good);
    const std::vector<unsigned char> huge(6000, 1);
    run->io.write_record(70, huge.data(), huge.size());
    run->io.close(70);
    run->io.open(kUnitDetB, "long", fio::Status::Old, fio::Form::Unformatted);
    const std::string words = batch_fault(90);
    EXPECT_NE(words.find("record longer than the buffer"), std::string::npos) << words;
  }
}

// A list cut inside a record is damaged, never a shorter list.
TEST_F(Readers, ATruncatedListIsAnErrorNamingTheRecord) {
  run->switches.packed_lists = false;
  run->orb.norb = 20;
  write_file("detb", {TDet{{1}, {15}}, TDet{{2, 3}, {12, 14}}}, 20);
  run->io.close(kUnitDetB);
  std::filesystem::resize_file("detb", std::filesystem::file_size("detb") - 6);
  run->io.open(kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
  EXPECT_EQ(read_status(), fio::kStatusIoError);
  EXPECT_NE(err.str().find("file 'detb': record 4 is cut: its length says 16 bytes"),
            std::string::npos) << err.str();
}

// Contents that would make a reader write past its arrays or hand out
// spin-orbitals no table knows are refused as input errors naming the file.
TEST_F(Readers, ListsBeyondTheCapacitiesAreRefused) {
  run->orb.norb = 30;
  run->switches.packed_lists = false;
  auto plain = [&](std::vector<int> rec1, std::vector<int> rec2) {
    run->io.open(70, "bad", fio::Status::Unknown, fio::Form::Unformatted);
    run->io.write_record(70, rec1.data(), 4 * rec1.size());
    if (!rec2.empty()) run->io.write_record(70, rec2.data(), 4 * rec2.size());
    run->io.close(70);
    run->io.open(kUnitDetB, "bad", fio::Status::Old, fio::Form::Unformatted);
    return read_status();
  };
  EXPECT_EQ(plain({21}, std::vector<int>(42, 1)), fio::kStatusIoError);
  EXPECT_EQ(plain({-1}, {}), fio::kStatusIoError);
  EXPECT_EQ(plain({1}, {0, 12}), fio::kStatusIoError);
  EXPECT_EQ(plain({1}, {1, 62}), fio::kStatusIoError);
  EXPECT_EQ(plain({1}, {1, 61}), -1);  // the empty-slot marker is a valid particle
  EXPECT_NE(err.str().find("file 'bad'"), std::string::npos);

  run->switches.packed_lists = true;
  auto packed = [&](int l1, int k, int l3, std::vector<unsigned char> desc) {
    run->io.open(70, "bad", fio::Status::Unknown, fio::Form::Unformatted);
    listfiles::write_block(run->io, 70, std::vector<unsigned char>(size_t(std::min(l1, 3600)), 9),
                           desc, std::vector<unsigned char>(size_t(std::min(l3, 1024)), 0));
    run->io.close(70);
    // Rewrite the counts as the test wants them.
    std::fstream f("bad", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);
    f.write(reinterpret_cast<const char*>(&l1), 4);
    f.write(reinterpret_cast<const char*>(&k), 4);
    f.close();
    run->io.open(kUnitDetB, "bad", fio::Status::Old, fio::Form::Unformatted);
    rew61(*run);
    return read_status();
  };
  EXPECT_EQ(packed(3601, 1, 0, {2}), fio::kStatusIoError);         // orbital bytes
  EXPECT_EQ(packed(2, 101, 0, {2}), fio::kStatusIoError);          // descriptors
  EXPECT_EQ(packed(2, 1, 0, {2}), -1);                             // (valid)
  EXPECT_EQ(packed(1, 1, 0, {2}), fio::kStatusIoError);            // bytes missing
  EXPECT_EQ(packed(2, 1, 0, {0xff}), fio::kStatusIoError);         // 22 substitutions
  run->cs.ms2 = -1;
  EXPECT_EQ(packed(2, 1, 0, {2}), fio::kStatusIoError);  // no alpha hole to lose
  run->cs.ms2 = 0;
  run->orb.norb = 300;
  EXPECT_EQ(packed(2, 1, 0, {2}), fio::kStatusIoError);  // high-bit byte missing
  EXPECT_EQ(packed(2, 1, 1, {2}), -1);
}

TEST_F(Readers, BlockFilesHoldRecordsOf2048Integers) {
  std::vector<int> p(2049 + 1);
  for (int i = 0; i < 2049; ++i) p[size_t(i)] = 7 * i + 1;
  p[2049] = -5;  // beyond the array: never written to the file
  run->io.open(kUnitIadrv, "IADRV", fio::Status::Unknown, fio::Form::Unformatted);
  ecribl(*run, p.data(), 2049, kUnitIadrv);
  run->io.flush(kUnitIadrv);
  EXPECT_EQ(std::filesystem::file_size("IADRV"), 2u * (8 + 4 * 2048));

  run->io.rewind(kUnitIadrv);
  std::vector<int> rec(2048);
  liri(*run, rec.data(), 2048, kUnitIadrv);
  EXPECT_EQ(rec[2047], p[2047]);
  liri(*run, rec.data(), 2048, kUnitIadrv);
  EXPECT_EQ(rec[0], p[2048]);
  EXPECT_EQ(rec[1], 0);

  // lirbl fills exactly m entries.
  run->io.rewind(kUnitIadrv);
  std::vector<int> back(2049 + 1, 99);
  lirbl(*run, back.data(), 2049, kUnitIadrv);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 2049, p.begin()));
  EXPECT_EQ(back[2049], 99);
  // Records are read whole, so reading goes on at the next record; past the
  // last one it is an input error.
  EXPECT_EQ(status_of([&] { liri(*run, rec.data(), 1, kUnitIadrv); }), fio::kStatusIoError);
}

}  // namespace
