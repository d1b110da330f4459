#!/bin/sh
# Runs ciprop on the bundled case in a scratch folder, so that the scratch
# files of the run (BID75, BID93, ...) do not land in the source tree.
set -e
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -d "$here/case" ]; then cp -r "$here/case/." "$work/"; fi
cd "$work"
if [ -f input ]; then "$exe" < input; else "$exe" < /dev/null; fi
