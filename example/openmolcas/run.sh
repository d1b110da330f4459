#!/bin/sh
# Runs ciprop on the OpenMolcas case in a scratch folder; the binary files
# are stored compressed and unpacked there first.
set -e
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/case/." "$work/"
cd "$work"
for f in *.gz; do gzip -d "$f"; done
"$exe" < input
