#!/usr/bin/env bash
# Fuzzes the description-file reader and writer with libFuzzer for a bounded
# time (default 30 s): read -> write -> read must give the same table and
# lose no byte the user wrote. The target and the description code are
# built with clang and its fuzzer, address and undefined-behaviour
# instrumentation; the rest of the plug-in comes from the Linux build.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

bash scripts/install-deps.sh fuzz
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target quickferry_core quickferry_platform >/dev/null

out=build/fuzz
mkdir -p "$out/corpus"
# Only objects whose source is still there: a build folder keeps the
# objects of files since moved or removed.
core=build/linux/src/CMakeFiles/quickferry_core.dir
objects=$(find "$core" -name '*.o' ! -name 'descriptions.cpp.o' | while read -r o; do
  rel=${o#"$core"/}
  [ ! -f "src/${rel%.o}" ] || echo "$o"
done)
clang++-14 -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -fno-exceptions -Isrc tests/fuzz/descriptions_fuzz.cpp src/describe/descriptions.cpp $objects \
  -Lbuild/linux/src/platform -lquickferry-platform -Wl,-rpath,"$PWD/build/linux/src/platform" \
  -o "$out/descriptions_fuzz"
# Seeds: the shapes a description file takes.
printf 'a.txt first\r\n"b c.txt" second\r\n >more\r\n' >"$out/corpus/seed1"
printf 'alone\n"unclosed text\rx.txt\tt' >"$out/corpus/seed2"
QUICKFERRY_REGISTRY="$out/registry.db" "$out/descriptions_fuzz" -max_total_time="$seconds" \
  -max_len=8192 -timeout=10 "$out/corpus" 2>&1 | tail -5
