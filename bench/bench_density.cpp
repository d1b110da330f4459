// Cost of the density stage on a DDCI case of several million determinants:
// the whole program runs twice in this process on a generated folder, once
// stopped right after the reordering of the determinant list (STOP='ORDET')
// and once to the end; the difference is the integrals, the density and the
// report, of which the density is nearly all for a small basis.
//
//   bench_density [--small] [folder]     (default: a folder under /tmp, removed after)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "bench/scale.hpp"
#include "driver/driver.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Timed {
  double seconds = 0;
  int status = 0;
  long long connected = 0;
};

Timed run_once(const std::string& input) {
  std::ostringstream out, err;
  std::istringstream in(input);
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  auto t0 = std::chrono::steady_clock::now();
  Timed t;
  t.status = ciprop::run_program(*run);
  t.seconds = since(t0);
  t.connected = run->dens.connected;
  if (t.status != 0) std::printf("%s%s", out.str().c_str(), err.str().c_str());
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = benchmark::small_scale(argc, argv);
  // The DDCI space of the determinant-space benchmark.
  mkcase::Description d = benchmark::orbital_spaces("DDCI", small, 6);
  d.nroots = 2;
  d.root1 = 1;
  d.root2 = 2;
  d.density_limit = 0;
  const bool own = argc < 2;
  const std::filesystem::path dir =
      own ? benchmark::own_folder("ciprop_bench_density") : std::filesystem::path(argv[1]);
  const std::filesystem::path home = std::filesystem::current_path();

  auto t0 = std::chrono::steady_clock::now();
  mkcase::Case c = mkcase::make_case(d, dir.string());
  const size_t ndet = c.a->dets.size();
  std::printf("DDCI space of %zu determinants, %d orbitals (generated in %.1f s)\n", ndet,
              d.norb(), since(t0));
  std::filesystem::current_path(dir);
  std::ifstream f("input");
  const std::string input((std::istreambuf_iterator<char>(f)), {});
  std::string stopped = input;
  stopped.insert(stopped.find("&RHO") + 4, " STOP='ORDET',");

  const Timed before = run_once(stopped);
  const Timed full = run_once(input);
  const double density = full.seconds - before.seconds;
  std::printf("up to the reordered list %7.2f s\n", before.seconds);
  std::printf("whole run                %7.2f s (status %d)\n", full.seconds, full.status);
  std::printf("density stage            %7.2f s: %.3g determinants/s, %lld connected pairs, "
              "%.0f ns per pair\n",
              density, ndet / density, full.connected, 1e9 * density / full.connected);
  std::filesystem::current_path(home);
  if (own) std::filesystem::remove_all(dir);
  return before.status == 0 && full.status == 0 ? 0 : 1;
}
