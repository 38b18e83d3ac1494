#!/usr/bin/env bash
# Builds the release packages from a clean checkout of the committed tree and
# checks them: the Windows ZIP (win32 preset) and the Linux DEB (release
# preset) with what each must hold; then quickferry installed into a
# temporary prefix, and unpacked from the DEB, copies a tree with its build
# folder moved away and no QUICKFERRY_PLUGIN. Ends with "N passed, N failed".
#   bash scripts/package-test.sh [KEEP_DIR]   (KEEP_DIR: leave the work there)
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
work=${1:-}
if [ -z "$work" ]; then
  work=$(mktemp -d /tmp/quickferry-packages.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
version=$(sed -nE 's/^project\(Quickferry VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)

passed=0 failed=0
expect() {  # description, command...
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else echo "FAIL [packages]: $what"; failed=$((failed + 1)); fi
}
same() { [ "$1" = "$2" ] || { echo "  got:      '$1'"; echo "  expected: '$2'"; return 1; }; }
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "note: uncommitted changes are not in the packages (they come from HEAD)"
rm -rf "$work/checkout"
git clone -q --no-hardlinks "$repo" "$work/checkout" || { failed=1; finish; }
cd "$work/checkout"

build() {  # preset: configures without the tests, builds, packs
  { cmake --preset "$1" -DQUICKFERRY_TESTS=OFF && cmake --build --preset "$1" -j2 &&
    (cd "build/$1" && cpack); } >"$work/$1.log" 2>&1 || { tail -30 "$work/$1.log"; return 1; }
}

# ---- Windows: the ZIP ----
zip=build/win32/Quickferry-$version-win32.zip
expect "the win32 build and its package" build win32
expect "the ZIP is named after the version" test -f "$zip"
files="Quickferry/Quickferry.dll Quickferry/QuickferryEng.hlf Quickferry/QuickferryEng.lng Quickferry/QuickferryRus.hlf Quickferry/QuickferryRus.lng Quickferry/readme.txt"
listed=$(cmake -E tar tf "$zip" 2>/dev/null | grep -v '/$' | sort | tr '\n' ' ' | sed 's/ $//')
expect "the ZIP holds one Quickferry folder with the DLL, texts, help and readme" same "$listed" "$files"
rm -rf "$work/zip" && mkdir -p "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$work/checkout/$zip")
for f in QuickferryEng.lng QuickferryRus.lng QuickferryEng.hlf QuickferryRus.hlf; do
  expect "$f byte for byte as committed" cmp "$work/zip/Quickferry/$f" "lang/$f"
done
expect "the readme says how to install" grep -q "Plugins folder" "$work/zip/Quickferry/readme.txt"
expect "the readme has Windows line ends" bash -c "! grep -qv \$'\\r\$' '$work/zip/Quickferry/readme.txt'"
expect "the packed DLL: its four exports, system imports, version resource" bash -c \
  "cmake -DDLL='$work/zip/Quickferry/Quickferry.dll' -P tests/far_abi/check_dll.cmake >/dev/null"

# ---- Linux: the DEB ----
deb=build/release/quickferry_${version}_amd64.deb
expect "the release build and its package" build release
expect "the DEB is named after the version" test -f "$deb"
want="./usr/bin/quickferry ./usr/lib/quickferry/libquickferry-platform.so ./usr/lib/quickferry/libquickferry.so ./usr/share/quickferry/QuickferryEng.hlf ./usr/share/quickferry/QuickferryEng.lng ./usr/share/quickferry/QuickferryRus.hlf ./usr/share/quickferry/QuickferryRus.lng"
got=$(dpkg-deb -c "$deb" 2>/dev/null | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ' | sed 's/ $//')
expect "the DEB holds the host, its libraries, texts and help" same "$got" "$want"
expect "the DEB names the libraries it needs" bash -c \
  "dpkg-deb -f '$deb' Depends | grep -q libsqlite3"

# ---- quickferry from a prefix, the build folder gone ----
prefix=$work/prefix
rm -rf "$prefix"
expect "cmake --install into a prefix" bash -c "cmake --install build/release --prefix '$prefix' >/dev/null"
rm -rf "$work/dpkg" && mkdir -p "$work/dpkg" && dpkg-deb -x "$deb" "$work/dpkg"
mv build "$work/build-moved"
for lib in "$prefix/bin/quickferry" "$prefix/lib/quickferry/libquickferry.so"; do
  expect "$(basename "$lib") finds its libraries from the prefix" bash -c \
    "! LD_LIBRARY_PATH= ldd '$lib' | grep -q 'not found'"
  expect "$(basename "$lib") has no build path in its run path" bash -c \
    "! readelf -d '$lib' | grep -E 'R(UN)?PATH' | grep -q '$work'"
done

tree=$work/tree
copy_with() {  # label, quickferry
  rm -rf "$tree" && mkdir -p "$tree/src/sub" "$tree/dest"
  printf 'one\n' >"$tree/src/a.txt"
  head -c 200000 /dev/urandom >"$tree/src/sub/b.bin"
  (cd "$tree" && env -u QUICKFERRY_PLUGIN QUICKFERRY_REGISTRY="$tree/registry.db" \
    "$2" --batch src/a.txt src/sub dest >"$work/out" 2>&1)
  expect "$1: a copy exits 0" same "$?" 0
  expect "$1: the copies are the sources" diff -r "$tree/src" "$tree/dest"
}
copy_with "installed" "$prefix/bin/quickferry"
copy_with "unpacked from the DEB" "$work/dpkg/usr/bin/quickferry"
(cd "$tree" && env -u QUICKFERRY_PLUGIN QUICKFERRY_REGISTRY="$tree/registry.db" \
  "$prefix/bin/quickferry" --batch --config --lang ru >"$work/out" 2>&1)
expect "installed: the Russian texts are found" grep -q "Процент памяти" "$work/out"
mv "$work/build-moved" build
finish
