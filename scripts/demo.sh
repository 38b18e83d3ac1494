#!/usr/bin/env bash
# The main job: builds Quickferry for Linux and runs the plug-in through the
# `quickferry` host on a small sample tree in a temporary folder, printing
# every call the plug-in makes of its host.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh linux
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target quickferry quickferry_host >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUICKFERRY_REGISTRY="$work/registry.db"   # the demonstration leaves your settings alone
mkdir -p "$work/src/docs" "$work/dest"
echo "first file" >"$work/src/a.txt"
echo "second file" >"$work/src/b.txt"
echo "a document" >"$work/src/docs/readme.txt"
qf=build/linux/hosts/console/quickferry

echo "== quickferry --config"
"$qf" --config
echo
echo "== quickferry src/a.txt src/b.txt src/docs dest"
"$qf" "$work/src/a.txt" "$work/src/b.txt" "$work/src/docs" "$work/dest"
echo
echo "== quickferry --move --current src/a.txt dest"
"$qf" --move --current "$work/src/a.txt" "$work/dest"
echo
echo "dest now holds: $(ls -A "$work/dest" | tr '\n' ' ')(the copy dialog and the engine are still to come)"
