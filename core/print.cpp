#include "core/print.hpp"

#include <algorithm>
#include <string>

#include "fortio/stop.hpp"

namespace ciprop {

void scril(Run& run) {
  std::string line;
  run.io.rewind(kUnitListing);
  // A read error or an empty file leaves the previous text in place.  The
  // record is taken whole, so a long file name is still shown in full.
  if (run.io.read_line(kUnitListing, line)) run.scril_text = line;
  run.io.rewind(kUnitListing);
  scri(run, run.scril_text);
}

void scri(Run& run, std::string_view text) {
  size_t end = text.find('$');
  if (end == std::string_view::npos) {
    run.io.list(kUnitReport, {"ecriture formattee sans '$' a la fin"});
    return;
  }
  std::string out;
  for (size_t k = 0; k < end; ++k) {
    if (k > 0 && text[k] == ' ' && text[k - 1] == ' ') continue;
    out.push_back(text[k]);
  }
  run.io.write_line(kUnitReport, out);
}

void script(Run& run, const double* a, int n, int m, int lda) {
  for (int j0 = 1; j0 <= m; j0 += 10) {
    int j1 = std::min(m, j0 + 9);
    run.io.write(kUnitReport, "(/)", {});
    fio::Items cols;
    for (int j = j0; j <= j1; ++j) cols << j;
    run.io.write(kUnitReport, "(/,1X,10(6X,I2))", cols);
    run.io.write_line(kUnitReport, "");
    for (int i = 1; i <= n; ++i) {
      fio::Items row{i};
      for (int j = j0; j <= j1; ++j) row << a[(i - 1) + static_cast<size_t>(j - 1) * lda];
      run.io.write(kUnitReport, "(3X,I2,10F8.4)", row);
    }
  }
}

void refuse(Run& run, const fio::Items& line, std::string_view reason) {
  run.io.list(kUnitReport, line);
  fio::stop_error(run.io, reason);
}

void verdim(Run& run, std::string_view message, long long value, long long limit,
            std::string_view what, std::string_view hint) {
  if (value <= limit) return;
  run.io.list(kUnitReport, {message.substr(0, std::min<size_t>(40, message.size()))});
  run.io.list(kUnitReport, {"                    ", value, limit});
  fio::stop_error(run.io, std::string(what) + " is " + std::to_string(value) +
                              ", more than this program takes (" + std::to_string(limit) + ")" +
                              (hint.empty() ? "" : "; " + std::string(hint)));
}

}  // namespace ciprop
