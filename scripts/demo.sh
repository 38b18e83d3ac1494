#!/usr/bin/env bash
# The main job: builds Quickferry for Linux, makes a small sample tree in a
# temporary folder, copies it with `quickferry --batch`, and shows the result.
# The settings go to a temporary registry: yours are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh linux
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target quickferry quickferry_host >/dev/null
qf=$PWD/build/linux/hosts/console/quickferry

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUICKFERRY_REGISTRY="$work/registry.db"
cd "$work"
mkdir -p photos/2023 photos/2024 backup
printf 'Trip to the coast\n' >photos/notes.txt
head -c 3000000 /dev/urandom >photos/2023/beach.raw
head -c 1500000 /dev/urandom >photos/2024/garden.raw
printf 'beach.raw Sunset on the beach\n' >photos/2023/Descript.ion

show() { echo "\$ $*"; "$@"; }

echo "== the sample tree"
find photos -printf '%y %10s %p\n' | sort -k3
echo
echo "== copy it"
show "$qf" --batch photos backup
echo "exit status $?"
echo
echo "== the copy"
find backup -printf '%y %10s %p\n' | sort -k3
diff -r photos backup/photos && echo "(identical to the source)"
echo
echo "== again, keeping what is there: nothing is copied twice"
printf 'changed\n' >photos/notes.txt
show "$qf" --batch --overwrite=skip --list-not-copied photos/notes.txt backup/photos
echo "exit status $? (skipped by your rule; the list above: files not copied)"
echo
echo "== move the 2024 folder into a new archive folder"
show "$qf" --batch --move photos/2024 archive/
echo "exit status $?"
find photos archive -printf '%y %10s %p\n' | sort -k3
echo
echo "On a terminal, quickferry shows the plug-in's own menu, copy dialog and"
echo "progress box:  $qf photos backup"
