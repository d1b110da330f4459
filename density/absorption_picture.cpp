#include "density/absorption_picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "core/unit_numbers.hpp"
#include "density/results_file.hpp"

namespace ciprop {

namespace {

// The oscillator strength of a band is proportional to its integrated molar
// absorption coefficient: f = (4 ln10 eps0 me c^2 / (NA e^2)) times the
// integral of eps over the wavenumber (SI units: eps in m2 mol-1, the
// wavenumber in m-1; R. C. Hilborn, "Einstein coefficients, cross sections,
// f values, dipole moments, and all that", Am. J. Phys. 50, 982 (1982); the
// IUPAC Compendium of Chemical Terminology, "oscillator strength").  With
// the CODATA 2018 constants below, and the factor 10 that takes eps in
// L mol-1 cm-1 and the wavenumber in cm-1 to SI, the constant is the
// familiar 4.319e-9 mol L-1 cm2.
constexpr double kEps0 = 8.8541878128e-12;  // F m-1
constexpr double kMe = 9.1093837015e-31;    // kg
constexpr double kC = 299792458.0;          // m s-1
constexpr double kNa = 6.02214076e23;       // mol-1
constexpr double kE = 1.602176634e-19;      // C
constexpr double kFPerIntegral =
    10.0 * 4.0 * std::numbers::ln10 * kEps0 * kMe * kC * kC / (kNa * kE * kE);
// A photon of 1 eV: its wavelength in nm and its wavenumber in cm-1.
constexpr double kNmEv = kNmHartree * kEvPerHartree;
constexpr double kCmPerEv = 1e7 / kNmEv;
// exp(-kGauss (E - E0)^2 / w^2) is a Gaussian of full width at half maximum w.
constexpr double kGauss = 4.0 * std::numbers::ln2;

// Okabe and Ito's colours, told apart by readers with any colour vision;
// past the seventh root the curves are dashed.
constexpr const char* kColours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                    "#E69F00", "#56B4E9", "#000000"};
constexpr int kColourCount = 7;
constexpr const char* kFont = "DejaVu Sans, Helvetica, Arial, sans-serif";

std::string num(double x, int decimals = 2) {
  char b[48];
  std::snprintf(b, sizeof b, "%.*f", decimals, x);
  return b;
}

// Text for an element's content or an attribute value.
std::string escaped(std::string_view t) {
  std::string s;
  for (char ch : t) {
    switch (ch) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(ch) >= 0x20) s += ch;
    }
  }
  return s;
}

// An integer with its thousands apart (a thin space), as a reader expects
// a molar absorption coefficient.
std::string grouped(double v) {
  std::string d = num(v, 0), s;
  for (size_t k = 0; k < d.size(); ++k) {
    if (k > 0 && (d.size() - k) % 3 == 0 && d[k - 1] != '-') s += "\u2009";
    s += d[k];
  }
  return s;
}

// A step of 1, 2 or 5 times a power of ten that cuts `span` into about
// `ticks` parts, and the decimals its multiples need.
double nice_step(double span, int ticks) {
  const double raw = span / ticks;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double m = raw / mag;
  return (m < 1.5 ? 1.0 : m < 3.0 ? 2.0 : m < 7.0 ? 5.0 : 10.0) * mag;
}
int decimals(double step) {
  return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

// "10" and the exponent in superscript digits.
std::string power_of_ten(int k) {
  static const char* const digits[] = {"\u2070", "\u00b9", "\u00b2", "\u00b3", "\u2074",
                                       "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
  std::string s = k < 0 ? "10\u207b" : "10";
  for (char ch : std::to_string(std::abs(k))) s += digits[ch - '0'];
  return s;
}

// A value axis from 0 to `top` in steps of `step`, with room above the
// highest value; values far from 1 are written in units of a power of ten.
struct ValueAxis {
  double top = 1, step = 0.2;
  int power = 0;
  explicit ValueAxis(double most) {
    const double span = most > 0 ? most * 1.12 : 1.0;
    step = nice_step(span, 5);
    top = std::ceil(span / step - 1e-9) * step;
    if (top < 0.01 || top >= 1e6) power = static_cast<int>(std::floor(std::log10(top)));
  }
  std::string label(double v) const {
    const double unit = std::pow(10.0, power), x = v / unit;
    return step / unit >= 1 ? grouped(x) : num(x, decimals(step / unit));
  }
  std::string unit() const { return power == 0 ? "" : " / " + power_of_ten(power); }
  // Characters of the longest label.
  int widest() const {
    int most = 0;
    for (double v = 0; v <= top * (1 + 1e-9); v += step) {
      const std::string t = label(v);
      most = std::max(most, static_cast<int>(std::count_if(
                                t.begin(), t.end(), [](char ch) { return (ch & 0xC0) != 0x80; })));
    }
    return most;
  }
};

// The plot's frame and its scales; the legend's rows below it.
struct Frame {
  static constexpr double top = 132, bottom = 548, kPlotWidth = 750;
  double left = 130, right = 880;
  static constexpr double kLegendRow = 28, kLegendColumn = 150;
  static constexpr int kLegendColumns = 5;
  static constexpr double kDigit = 10.8;  // width of a digit of the tick labels
  double width = 1000, height = 660;
  double e0 = 0, e1 = 10;  // energy range, eV
  ValueAxis f{0}, eps{0};  // oscillator strength, molar absorption coefficient
  double x(double ev) const { return left + (ev - e0) / (e1 - e0) * (right - left); }
  double yf(double v) const { return bottom - v / f.top * (bottom - top); }
  double ye(double v) const { return bottom - v / eps.top * (bottom - top); }
};

struct Svg {
  std::string s;
  void line(double x1, double y1, double x2, double y2, const std::string& style) {
    s += "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
         num(y2) + "\" " + style + "/>\n";
  }
  void text(double x, double y, std::string_view t, const std::string& style) {
    s +=
        "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" " + style + ">" + escaped(t) + "</text>\n";
  }
};

// The energy axis (below, in eV) and the wavelength axis (above, in nm),
// with the vertical grid of the energies.
void energy_axes(Svg& g, const Frame& fr) {
  const double step = nice_step(fr.e1 - fr.e0, 8);
  for (double e = std::ceil(fr.e0 / step - 1e-9) * step; e <= fr.e1 + 1e-9; e += step) {
    const double x = fr.x(e);
    g.line(x, fr.top, x, fr.bottom, "stroke=\"#e4e4e4\"");
    g.line(x, fr.bottom, x, fr.bottom + 7, "stroke=\"#333\"");
    g.text(x, fr.bottom + 27, num(e, decimals(step)), "text-anchor=\"middle\" font-size=\"17\"");
  }
  g.text((fr.left + fr.right) / 2, fr.bottom + 60, "Excitation energy (eV)",
         "text-anchor=\"middle\" font-size=\"19\"");
  // Wavelengths that are round numbers (1, 1.5, 2, 2.5, 3, 4, ... 9 times
  // a power of ten), the roundest first, as many as stand apart on the axis
  // (it is reciprocal: they crowd toward high energies).
  const double lmin = kNmEv / fr.e1;
  const double lmax = std::min(fr.e0 > 0 ? kNmEv / fr.e0 : 1e5, 1e5);
  std::vector<std::pair<int, double>> candidates;
  const double rounds[] = {1000, 500, 100, 50, 20, 10};
  for (double l = std::ceil(lmin / 10) * 10; l <= lmax; l += 10) {
    const double m = l / std::pow(10.0, std::floor(std::log10(l)));
    if (m != std::floor(m) && m != 1.5 && m != 2.5) continue;
    int rank = 0;
    while (std::fmod(l, rounds[rank]) != 0) ++rank;
    candidates.emplace_back(rank, l);
  }
  std::sort(candidates.begin(), candidates.end());
  std::vector<double> kept;
  for (const auto& [rank, l] : candidates) {
    const double x = fr.x(kNmEv / l);
    if (x < fr.left || x > fr.right ||
        std::any_of(kept.begin(), kept.end(), [&](double k) { return std::abs(k - x) < 50; }))
      continue;
    kept.push_back(x);
    g.line(x, fr.top - 7, x, fr.top, "stroke=\"#333\"");
    g.text(x, fr.top - 13, num(l, 0), "text-anchor=\"middle\" font-size=\"17\"");
  }
  g.text((fr.left + fr.right) / 2, fr.top - 44, "Wavelength (nm)",
         "text-anchor=\"middle\" font-size=\"19\"");
}

// The oscillator strength (left) and the molar absorption coefficient
// (right), with the horizontal grid of the first.
void value_axes(Svg& g, const Frame& fr) {
  for (double v = 0; v <= fr.f.top * (1 + 1e-9); v += fr.f.step) {
    const double y = fr.yf(v);
    if (v > 0) g.line(fr.left, y, fr.right, y, "stroke=\"#e4e4e4\"");
    g.line(fr.left - 7, y, fr.left, y, "stroke=\"#333\"");
    g.text(fr.left - 11, y + 6, fr.f.label(v), "text-anchor=\"end\" font-size=\"17\"");
  }
  for (double v = 0; v <= fr.eps.top * (1 + 1e-9); v += fr.eps.step) {
    const double y = fr.ye(v);
    g.line(fr.right, y, fr.right + 7, y, "stroke=\"#333\"");
    g.text(fr.right + 11, y + 6, fr.eps.label(v), "text-anchor=\"start\" font-size=\"17\"");
  }
  // The titles just beyond the widest tick label of their axis.
  const double mid = (fr.top + fr.bottom) / 2;
  const double xl = fr.left - 20 - Frame::kDigit * fr.f.widest();
  const double xr = fr.right + 20 + Frame::kDigit * fr.eps.widest();
  g.text(xl, mid, "Oscillator strength f" + fr.f.unit() + " (sticks)",
         "text-anchor=\"middle\" font-size=\"19\" transform=\"rotate(-90 " + num(xl) + " " +
             num(mid) + ")\"");
  g.text(xr, mid, "\u03b5" + fr.eps.unit() + " (L mol\u207b\u00b9 cm\u207b\u00b9, bands)",
         "text-anchor=\"middle\" font-size=\"19\" transform=\"rotate(90 " + num(xr) + " " +
             num(mid) + ")\"");
}

// Below the axes, one entry per curve, kLegendColumns to a row.
void legend(Svg& g, const Frame& fr, const std::vector<int>& roots) {
  const size_t columns = std::min<size_t>(roots.size(), Frame::kLegendColumns);
  const double x0 = (fr.left + fr.right) / 2 - columns * Frame::kLegendColumn / 2;
  for (size_t r = 0; r < roots.size(); ++r) {
    const double x = x0 + Frame::kLegendColumn * (r % columns);
    const double y = fr.bottom + 96 + Frame::kLegendRow * (r / columns);
    const std::string dash = r >= kColourCount ? " stroke-dasharray=\"9 5\"" : "";
    g.line(x, y - 6, x + 34, y - 6,
           "stroke=\"" + std::string(kColours[r % kColourCount]) + "\" stroke-width=\"3\"" + dash);
    g.text(x + 42, y, "from root " + std::to_string(roots[r]), "font-size=\"17\"");
  }
}

}  // namespace

double molar_absorption(std::span<const SpectrumLine> lines, int from, double ev, double fwhm) {
  // The peak of a band of strength f: its integral over the wavenumber is
  // peak * fwhm (in cm-1) * sqrt(pi / (4 ln 2)).
  const double width = kCmPerEv * fwhm * std::sqrt(std::numbers::pi / kGauss);
  double eps = 0;
  for (const SpectrumLine& l : lines)
    if (l.from == from) {
      const double d = (ev - l.ev) / fwhm;
      eps += l.f / (kFPerIntegral * width) * std::exp(-kGauss * d * d);
    }
  return eps;
}

std::string spectrum_svg(std::span<const SpectrumLine> lines, double fwhm,
                         std::string_view caption) {
  std::vector<int> roots;  // the root of each curve, in the order met
  for (const SpectrumLine& l : lines)
    if (std::find(roots.begin(), roots.end(), l.from) == roots.end()) roots.push_back(l.from);
  Frame fr;
  double fmax = 0;
  if (!lines.empty()) {
    auto [lo, hi] = std::minmax_element(lines.begin(), lines.end(),
                                        [](const auto& a, const auto& b) { return a.ev < b.ev; });
    fr.e0 = std::max(0.0, lo->ev - 2.5 * fwhm);
    fr.e1 = std::max(hi->ev + 2.5 * fwhm, fr.e0 + 1.0);
    for (const SpectrumLine& l : lines) fmax = std::max(fmax, l.f);
  }
  // Each curve at evenly spaced energies and at its own lines' energies,
  // where its peaks are.
  std::vector<std::vector<std::pair<double, double>>> curves;
  double emax = 0;
  for (int root : roots) {
    std::vector<double> at;
    for (int k = 0; k <= 800; ++k) at.push_back(fr.e0 + (fr.e1 - fr.e0) * k / 800);
    for (const SpectrumLine& l : lines)
      if (l.from == root) at.push_back(l.ev);
    std::sort(at.begin(), at.end());
    curves.emplace_back();
    for (double e : at) {
      curves.back().emplace_back(e, molar_absorption(lines, root, e, fwhm));
      emax = std::max(emax, curves.back().back().second);
    }
  }
  fr.f = ValueAxis(fmax);
  fr.eps = ValueAxis(emax);
  const size_t rows = (roots.size() + Frame::kLegendColumns - 1) / Frame::kLegendColumns;
  // Margins for the tick labels and the titles of the value axes.
  fr.left = 56 + Frame::kDigit * fr.f.widest();
  fr.right = fr.left + Frame::kPlotWidth;
  fr.width = fr.right + 58 + Frame::kDigit * fr.eps.widest();
  fr.height = fr.bottom + 92 + Frame::kLegendRow * static_cast<double>(rows);
  const double centre = (fr.left + fr.right) / 2;

  Svg g;
  g.s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  g.s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(fr.width, 0) + "\" height=\"" +
         num(fr.height, 0) + "\" viewBox=\"0 0 " + num(fr.width, 0) + " " + num(fr.height, 0) +
         "\" font-family=\"" + kFont + "\" fill=\"#222\">\n";
  g.s += "<title>Absorption spectrum</title>\n";
  g.s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  // The curves are cut just above the frame's bottom edge, so that where
  // they lie flat they do not colour it.
  g.s += "<clipPath id=\"plot\"><rect x=\"" + num(fr.left) + "\" y=\"" + num(fr.top) +
         "\" width=\"" + num(fr.right - fr.left) + "\" height=\"" + num(fr.bottom - fr.top - 1.5) +
         "\"/></clipPath>\n";
  g.text(centre, 34, "Absorption spectrum",
         "text-anchor=\"middle\" font-size=\"25\" font-weight=\"bold\"");
  g.text(centre, 60, caption, "text-anchor=\"middle\" font-size=\"16\" fill=\"#555\"");
  energy_axes(g, fr);
  value_axes(g, fr);
  if (lines.empty())
    g.text((fr.left + fr.right) / 2, (fr.top + fr.bottom) / 2, "no absorption to draw",
           "text-anchor=\"middle\" font-size=\"22\" fill=\"#777\"");

  // Per root: the area under its curve lightly filled, the curve, its
  // sticks.
  for (size_t r = 0; r < roots.size(); ++r) {
    const std::string colour = kColours[r % kColourCount];
    const std::string dash = r >= kColourCount ? " stroke-dasharray=\"9 5\"" : "";
    g.s += "<g id=\"from-root-" + std::to_string(roots[r]) + "\" clip-path=\"url(#plot)\">\n";
    std::string points;
    for (const auto& [e, eps] : curves[r]) points += num(fr.x(e)) + "," + num(fr.ye(eps)) + " ";
    points.pop_back();
    g.s += "<path d=\"M" + num(fr.x(fr.e0)) + "," + num(fr.bottom) + " L" + points + " L" +
           num(fr.x(fr.e1)) + "," + num(fr.bottom) + " Z\" fill=\"" + colour +
           "\" fill-opacity=\"0.10\" stroke=\"none\"/>\n";
    g.s += "<polyline class=\"curve\" points=\"" + points + "\" fill=\"none\" stroke=\"" + colour +
           "\" stroke-width=\"2.6\" stroke-linejoin=\"round\"" + dash + "/>\n";
    for (const SpectrumLine& l : lines)
      if (l.from == roots[r])
        g.line(fr.x(l.ev), fr.yf(0), fr.x(l.ev), fr.yf(std::max(l.f, 0.0)),
               "class=\"stick\" stroke=\"" + colour + "\" stroke-width=\"3.2\"");
    g.s += "</g>\n";
  }
  // The strongest lines named (from -> to) above their sticks, as many as
  // stand apart.
  std::vector<const SpectrumLine*> order;
  for (const SpectrumLine& l : lines) order.push_back(&l);
  std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->f > b->f; });
  std::vector<double> named;
  for (const SpectrumLine* l : order) {
    const double x = fr.x(l->ev);
    if (named.size() == 12 || l->f < 0.05 * fmax) break;
    if (std::any_of(named.begin(), named.end(), [&](double k) { return std::abs(k - x) < 46; }))
      continue;
    named.push_back(x);
    g.text(x, fr.yf(l->f) - 8, std::to_string(l->from) + "\u2192" + std::to_string(l->to),
           "text-anchor=\"middle\" font-size=\"15\"");
  }
  g.s += "<rect x=\"" + num(fr.left) + "\" y=\"" + num(fr.top) + "\" width=\"" +
         num(fr.right - fr.left) + "\" height=\"" + num(fr.bottom - fr.top) +
         "\" fill=\"none\" stroke=\"#333\" stroke-width=\"1.3\"/>\n";
  legend(g, fr, roots);
  g.s += "</svg>\n";
  return g.s;
}

void write_spectrum_picture(Run& run) {
  std::vector<SpectrumLine> lines;
  for (const PairResult& p : run.dens.pairs)
    if (!p.state && p.deltae > 0 && p.moments.dipoles)
      lines.push_back({p.root1, p.root, p.deltae * kEvPerHartree, p.moments.fosc});
  const std::string a = run.io.name(kUnitVecA), b = run.io.name(kUnitVecB);
  std::string caption =
      std::to_string(lines.size()) + (lines.size() == 1 ? " transition" : " transitions") +
      (run.dens.one_run ? " among the roots of " + a
                        : " from roots of " + a + " to roots of " + b) +
      "; Gaussian bands " + num(run.ronum.largeur, 2) + " eV wide at half maximum";
  if (!run.dens.pairs.front().moments.dipoles)
    caption = "no oscillator strengths: IPROP=" + std::to_string(run.hacer.ioper) +
              " asks for no dipole moments";
  write_whole_file(run, kSpectrumPicture, spectrum_svg(lines, run.ronum.largeur, caption));
}

}  // namespace ciprop
