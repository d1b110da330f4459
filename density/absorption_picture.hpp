// The spectrum of a run as a picture: "ciprop-spectrum.svg", an SVG file
// written by hand.  Each absorption is a stick at its excitation energy in
// eV, as high as its oscillator strength; the bands of the lines that start
// from one root are broadened with Gaussians into one curve per root, in
// molar absorption coefficient.  Axes in eV (below) and nm (above), f
// (left) and the molar absorption coefficient (right).
#pragma once
#include <span>
#include <string>
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

inline constexpr std::string_view kSpectrumPicture = "ciprop-spectrum.svg";

// One absorption: from root `from` to root `to`, at `ev` above it, with
// oscillator strength f.
struct SpectrumLine {
  int from = 0, to = 0;
  double ev = 0.0, f = 0.0;
};

// The molar absorption coefficient (L mol-1 cm-1) at `ev` of the bands of
// the lines from root `from`, each a Gaussian in energy of full width at
// half maximum `fwhm` eV whose integral over the wavenumber gives its f.
double molar_absorption(std::span<const SpectrumLine> lines, int from, double ev, double fwhm);

// The picture as SVG text; `caption` goes under the title.
std::string spectrum_svg(std::span<const SpectrumLine> lines, double fwhm,
                         std::string_view caption);

// Writes the picture of the run's pairs (those that absorb, ΔE > 0) to
// kSpectrumPicture in the working folder.
void write_spectrum_picture(Run& run);

}  // namespace ciprop
