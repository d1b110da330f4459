// The spectrum's picture: well-formed SVG whose curves peak at the strongest
// line of their root, whose bands hold their oscillator strengths, and that
// a real SVG renderer draws.
#include "density/absorption_picture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_in_dir.hpp"
#include "tests/support/xml_fault.hpp"

namespace {

using ciprop::SpectrumLine;

// Two roots' lines, the strongest of each between weaker ones, the two
// roots' strongest apart.
const std::vector<SpectrumLine> kLines = {{1, 2, 2.10, 0.08}, {1, 3, 4.35, 0.52},
                                          {1, 4, 6.80, 0.04}, {2, 3, 2.25, 0.30},
                                          {2, 4, 4.70, 0.01}, {2, 5, 5.90, 0.12}};

// The number after `key="` in `text` from `from` on.
double attribute(const std::string& text, const std::string& key, size_t from) {
  return std::stod(text.substr(text.find(key + "=\"", from) + key.size() + 2));
}

TEST(SpectrumPicture, EachCurvePeaksAtTheStrongestStickOfItsRoot) {
  const std::string svg = ciprop::spectrum_svg(kLines, 0.3, "roots of a & b <test>");
  ASSERT_EQ(test::xml_fault(svg), "") << svg;
  for (int root : {1, 2}) {
    SCOPED_TRACE("root " + std::to_string(root));
    const size_t g = svg.find("<g id=\"from-root-" + std::to_string(root) + "\"");
    ASSERT_NE(g, std::string::npos);
    const std::string group = svg.substr(g, svg.find("</g>", g) - g);
    // SVG's y grows downward: the peak has the least y, which the points
    // next to it may share once rounded.
    std::istringstream points(
        group.substr(group.find("points=\"", group.find("class=\"curve\"")) + 8));
    std::vector<double> peak_x;
    double peak_y = 1e9, x = 0, y = 0;
    char comma = 0;
    while (points >> x >> comma >> y && comma == ',') {
      if (y < peak_y) peak_x.clear(), peak_y = y;
      if (y == peak_y) peak_x.push_back(x);
    }
    double stick_x = 0, stick_y = 1e9;
    for (size_t k = 0; (k = group.find("<line", k)) != std::string::npos; ++k)
      if (attribute(group, "y2", k) < stick_y) {
        stick_y = attribute(group, "y2", k);
        stick_x = attribute(group, "x1", k);
      }
    EXPECT_TRUE(std::any_of(peak_x.begin(), peak_x.end(),
                            [&](double p) { return std::abs(p - stick_x) < 0.01; }))
        << "stick at " << stick_x << ", curve peaks at " << peak_x.front();
  }
}

// The standard relation f = 4.319e-9 mol L-1 cm2 times the integral of the
// molar absorption coefficient over the wavenumber (cm-1), 8065.544 cm-1 to
// the eV: the bands of a root integrate to the sum of its f.
TEST(SpectrumPicture, TheBandsOfARootIntegrateToItsOscillatorStrengths) {
  for (double fwhm : {0.1, 0.3, 0.8}) {
    double integral = 0;
    const double de = 1e-3;
    for (double e = 0; e < 12; e += de)
      integral += ciprop::molar_absorption(kLines, 1, e, fwhm) * 8065.544 * de;
    EXPECT_NEAR(4.319e-9 * integral, 0.08 + 0.52 + 0.04, 1e-4) << fwhm;
  }
}

TEST(SpectrumPicture, RendersToAPictureThatIsNotBlank) {
  if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "rsvg-convert (Debian librsvg2-bin) is not installed";
  const test::ScratchDir dir;
  const std::string svg = ciprop::spectrum_svg(kLines, 0.3, "test");
  // A page of the same size with nothing on it.
  const std::string blank = svg.substr(0, svg.find("<title>")) +
                            "<rect width=\"100%\" height=\"100%\" fill=\"white\"/></svg>\n";
  dir.write("spectrum.svg", svg);
  dir.write("blank.svg", blank);
  for (const char* name : {"spectrum", "blank"}) {
    const std::string command =
        "cd " + dir.path().string() + " && rsvg-convert -o " + name + ".png " + name + ".svg";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  const auto drawn = std::filesystem::file_size(dir.path() / "spectrum.png");
  const auto empty = std::filesystem::file_size(dir.path() / "blank.png");
  EXPECT_GT(drawn, 5 * empty) << drawn << " bytes against " << empty << " for a blank page";
}

}  // namespace
