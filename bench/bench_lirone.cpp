// Time of the property-integral stage on one generated case: every operator
// of a basis of N functions in one symmetry (the worst case of the
// transformation, which costs N^4 / 2 per component), or spread over 8.
// Usage: bench_lirone [--small] [N] [nsym]     (--small: N 20 in 2 symmetries)
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "bench/scale.hpp"
#include "core/print.hpp"
#include "input/byte_files.hpp"
#include "orbitals/property_integrals.hpp"
#include "tools/mkcase/molcas.hpp"

int main(int argc, char** argv) {
  const bool small = benchmark::small_scale(argc, argv);
  const int n = argc > 1 ? std::atoi(argv[1]) : small ? 20 : 200;
  const int nsym = argc > 2 ? std::atoi(argv[2]) : small ? 2 : 1;
  mkcase::Description d;
  d.nsym = nsym;
  for (int s = 0; s < nsym; ++s) d.nvirt[s] = n / nsym + (s < n % nsym ? 1 : 0);
  d.ioper = 0;
  const auto dir = benchmark::own_folder("ciprop_bench_lirone");
  std::filesystem::create_directories(dir);
  mkcase::write_molcas(d, dir.string());

  std::ostringstream out, err;
  std::istringstream in;
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  ciprop::Run& r = *run;
  r.sym.nsym = nsym;
  for (int a = 1; a <= 8; ++a)
    for (int b = 1; b <= 8; ++b) r.sym.mult(a, b) = d.mult[a - 1][b - 1];
  r.hacer.ioper = 0;
  r.hacer.molcas = d.molcas;
  for (int k = 1; k <= 3; ++k) r.symxyz(k) = 1;
  const char* names[4] = {"", "OneInt", "ComFile", "TraOne"};
  for (int k = 1; k <= 3; ++k) {
    r.filcnom(k) = (dir / names[k]).string();
    r.filc(k) = std::filesystem::exists(r.filcnom(k)) ? ciprop::c_open(r.filcnom(k).c_str()) : -1;
  }
  r.io.try_open_readonly(1, (dir / "INPORB").string(), fio::Form::Formatted);
  r.io.open(ciprop::kUnitInput, (dir / "BID93").string(), fio::Status::Unknown,
            fio::Form::Formatted);

  // Processor time as well: the machine may be shared.
  const auto t0 = std::chrono::steady_clock::now();
  const std::clock_t c0 = std::clock();
  ciprop::lirone(r);
  const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("lirone: %d basis functions in %d symmetries, 9 operators: %.3f s (%.3f s cpu)\n",
              n, nsym, s, cpu);
  std::filesystem::remove_all(dir);
}
