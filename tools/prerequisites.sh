#!/bin/sh
# Checks the programs and libraries a build needs, and installs the missing
# ones with apt-get when it may (as root, or through sudo without a
# password); otherwise says which are missing and how to install them.
#   tools/prerequisites.sh example   compiler, CMake, Ninja, Eigen
#   tools/prerequisites.sh test      the same, GoogleTest, gfortran and rsvg-convert
set -eu
need=""
missing() { need="$need $1"; }
command -v g++ >/dev/null 2>&1 || missing g++
command -v cmake >/dev/null 2>&1 || missing cmake
command -v ninja >/dev/null 2>&1 || missing ninja-build
[ -f /usr/include/eigen3/Eigen/Core ] || [ -f /usr/local/include/eigen3/Eigen/Core ] || missing libeigen3-dev
if [ "${1:-example}" = test ]; then
  [ -f /usr/include/gtest/gtest.h ] || [ -f /usr/local/include/gtest/gtest.h ] || missing libgtest-dev
  command -v gfortran >/dev/null 2>&1 || missing gfortran
  # The spectrum's picture is rendered by a real SVG renderer in a test.
  command -v rsvg-convert >/dev/null 2>&1 || missing librsvg2-bin
fi
[ -z "$need" ] && exit 0

if command -v apt-get >/dev/null 2>&1; then
  if [ "$(id -u)" = 0 ]; then
    run=""
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    run="sudo"
  else
    run="none"
  fi
  if [ "$run" != none ]; then
    echo "installing:$need" >&2
    $run apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq $need >/dev/null
    exit 0
  fi
fi
echo "missing:$need" >&2
echo "install them with: sudo apt-get install$need" >&2
echo "(on other systems: a C++20 compiler, CMake 3.20 or later, Ninja, Eigen 3; for the tests" >&2
echo " also GoogleTest, gfortran and rsvg-convert of librsvg)" >&2
exit 1
