// Cost of one formatted line: the determinant listing prints two lines per
// determinant (the excitation pairs, then the text with its coefficient and
// address), and the property tables print G fields.
//
//   bench_format [--small]
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/scale.hpp"
#include "fortio/format.hpp"

namespace {

template <class F>
void time_lines(const char* what, int n, F line) {
  std::vector<std::string> records;
  size_t chars = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < n; ++k) {
    records.clear();
    line(k, records);
    chars += records[0].size();
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-40s %8.3f us per line (%zu characters)\n", what, 1e6 * s / n, chars);
}

}  // namespace

int main(int argc, char** argv) {
  const int n = benchmark::small_scale(argc, argv) ? 1000 : 1000000;
  time_lines("(1X,10(I3,A2)) five pairs", n, [](int k, std::vector<std::string>& r) {
    fio::format_records("(1X,10(I3,A2))", {k % 100, "  ", 2, "  ", 3, "=>", 4, "  ", 5, "  "}, r);
  });
  time_lines("(a50,3X,F11.7,i8)", n, [](int k, std::vector<std::string>& r) {
    fio::format_records("(a50,3X,F11.7,i8)", {"    1  2=>  3  4  5", 1e-6 * k - 0.3, k}, r);
  });
  time_lines("(1X,A4,7X,G25.18,3X,G15.8,3X,G25.18,1X)", n, [](int k, std::vector<std::string>& r) {
    fio::format_records("(1X,A4,7X,G25.18,3X,G15.8,3X,G25.18,1X)", {"mux", 0.1 * k, 1.5, -3e-5 * k}, r);
  });
  time_lines("list-directed text and two reals", n, [](int k, std::vector<std::string>& r) {
    fio::listed_records({"theta eff   ", 0.1 * k, -1.0 / (k + 1)}, r);
  });
}
