#!/bin/sh
# Shows that a change leaves the program's output alone: builds ciprop at a
# given git revision and from the working tree, runs both on the bundled
# example and on generated cases of every generation mode (both determinant
# layouts, one to eight symmetries, transition and state densities, both
# vectors from one CI run, the density from file, frozen and deleted
# orbitals, a detailed print level, spectra; the multireference modes on one
# and several references, with one and two threads, also stopped after the
# reordering) and compares standard output, standard error, exit status, the
# results file and the scratch files of the determinant lists ("IADRV",
# "ORDET", "BID84") byte for byte.
#
#   tools/compare_reports.sh REVISION [BUILD]
#
# BUILD is the working tree's build folder (default build); the revision is
# built once under /tmp/ciprop-compare-REVISION.  Exit status 0 when every
# report is identical.
set -e
rev=${1:?usage: tools/compare_reports.sh REVISION [BUILD]}
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$src" && cd "${2:-build}" && pwd)
sha=$(git -C "$src" rev-parse --short "$rev")
old=/tmp/ciprop-compare-$sha
if [ ! -x "$old/build/ciprop" ]; then
  rm -rf "$old"
  mkdir -p "$old/src"
  git -C "$src" archive "$sha" | tar -x -C "$old/src"
  cmake -S "$old/src" -B "$old/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$old/build" ciprop >/dev/null
fi
ninja -C "$build" ciprop mkcase >/dev/null
new=$build/ciprop
mkcase=$build/tools/mkcase/mkcase

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
ncase=0
finished=0

# Runs both programs on the folder $1 (with $threads threads when set) and
# compares what they print and the list files they leave.
compare() {
  for side in old new; do
    rm -rf "$work/$side"
    cp -r "$1" "$work/$side"
    if [ "$side" = old ]; then exe=$old/build/ciprop; else exe=$new; fi
    (cd "$work/$side" && if [ -f input ]; then set -- input; else set -- /dev/null; fi \
      && env ${threads:+CIPROP_THREADS=$threads} "$exe" < "$1" \
      > "$work/$side.out" 2> "$work/$side.err"; echo $? > "$work/$side.rc") || true
    cp "$work/$side/ciprop-results.json" "$work/$side.json" 2>/dev/null || echo none > "$work/$side.json"
  done
  for f in IADRV ORDET BID84; do
    if [ -f "$work/old/$f" ] || [ -f "$work/new/$f" ]; then
      cmp -s "$work/old/$f" "$work/new/$f" || { echo "DIFFERENT ($f): $2"; failed=1; }
    fi
  done
  ncase=$((ncase + 1))
  if [ "$(cat "$work/new.rc")" = 0 ]; then finished=$((finished + 1)); fi
  for f in out err rc json; do
    if ! cmp -s "$work/old.$f" "$work/new.$f"; then
      echo "DIFFERENT ($f): $2"
      diff "$work/old.$f" "$work/new.$f" | head -10
      failed=1
    fi
  done
}

# A generated case: the mkcase options, then text added to "&RHO".
generated() {
  opts=$1
  rho=$2
  rm -rf "$work/case"
  "$mkcase" $opts "$work/case" > /dev/null
  if [ -n "$rho" ]; then sed -i "s/ &RHO /&$rho /" "$work/case/input"; fi
  compare "$work/case" "mkcase $opts${rho:+ &RHO $rho}"
}

compare "$src/example/case" "the bundled example"

one="--nsym=1 --ninac=2 --nact=4 --nvirt=3"
two="--nsym=2 --ninac=2,1 --nact=2,2 --nvirt=2,2"
four="--nsym=4 --ninac=1,1,1,0 --nact=1,1,1,1 --nvirt=1,1,0,2"
eight="--nsym=8 --ninac=1,0,0,1,0,0,0,0 --nact=1,1,0,0,1,0,0,1 --nvirt=1,0,1,0,0,1,1,0"
for gener in CAS DDCI DDci DDC2 TOUS PERT MONO; do
  generated "$one --gener=$gener --nelac=4 --nroots=3 --roots=1,2"
  generated "$two --gener=$gener --nelac=3 --ms2=-1 --nroots=3 --roots=2,3"
  generated "$four --gener=$gener --nelac=4 --ms2=-2 --nroots=3 --roots=2,2 --ngel=1,0,0,1" "CALCRO=1,"
  generated "$eight --gener=$gener --nelac=3 --ms2=-1 --nroots=2 --roots=1,2 --seed=5"
  generated "$two --gener=$gener --nelac=4 --nroots=3 --roots=3,3 --ngel=1,1 --ndel=0,2"
  generated "$four --gener=$gener --nelac=4 --is0=2 --is0a=1 --nroots=2 --roots=1,1" "NPRINT=3,"
  generated "$two --gener=$gener --nelac=4 --nroots=3 --roots=3,1 --one-list"
  generated "$one --gener=$gener --nelac=4 --nroots=4 --roots=1,2" "RACINES=2,4,1,3,"
  generated "$one --gener=$gener --nelac=4 --nroots=4 --roots=2,3 --one-list" "RACINES=3,1,2,"
done

# The multireference modes on references drawn from the seed (enough of
# them for "MRC" to hold two roots); the list files of a run stopped after
# the reordering ("BID84" is deleted at the end of a whole run).
for gener in MR MRS MRD2 MRDD MRT2 MRTD MRT MRM MRTM MRC; do
  for threads in 1 2; do
    generated "$one --gener=$gener --nelac=4 --nref=3 --nroots=2 --roots=1,2"
    generated "$two --gener=$gener --nelac=3 --ms2=-1 --nref=3 --nroots=3 --roots=2,3" "STOP='ORDET',"
    generated "$four --gener=$gener --nelac=4 --ms2=-2 --nref=4 --seed=7 --plain" "STOP='ORDET',"
    generated "$eight --gener=$gener --nelac=3 --ms2=-1 --nref=8 --seed=5 --nroots=2 --roots=1,2"
    generated "$two --gener=$gener --nelac=4 --nref=6 --nroots=2 --roots=2,2" "NPRINT=2,"
  done
done
threads=

echo "$ncase cases compared against $sha ($finished of them finished with status 0)"
if [ "$failed" != 0 ]; then echo "reports differ"; exit 1; fi
echo "all reports identical"
