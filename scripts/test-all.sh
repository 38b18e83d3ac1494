#!/usr/bin/env bash
# Builds Quickferry for Linux, for Linux under AddressSanitizer and
# UndefinedBehaviorSanitizer, and for 32-bit Windows, and runs every test
# (the Windows ones under Wine). Ends with the passed and failed counts of
# each platform and of all together; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh all || { echo "installing the build packages failed"; exit 1; }

export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/quickferry/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

declare -A passed failed
total_passed=0 total_failed=0
status=0
log_dir=build/logs
mkdir -p "$log_dir"

run_platform() {  # name, preset
  local name=$1 preset=$2 log="$log_dir/$1.log"
  echo "=== $name: configure and build"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)"; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "$name: the build failed (log: $log)"
    passed[$name]=0 failed[$name]=1
    status=1
    return
  fi
  echo "=== $name: tests"
  ctest --preset "$preset" 2>&1 | tee -a "$log" | grep -E "^ *[0-9]+/[0-9]+ Test .*(Failed|Timeout|Exception)|tests passed|\*\*\*" || true
  local line p f n
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    echo "$name: ctest printed no summary (log: $log)"
    passed[$name]=0 failed[$name]=1
    status=1
    return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  n=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  p=$((n - f))
  passed[$name]=$p failed[$name]=$f
  [ "$f" -eq 0 ] || status=1
}

run_platform linux linux
run_platform linux-sanitizers asan
wineserver -p >/dev/null 2>&1 || true  # one server for all the Windows tests
run_platform windows win32
wineserver -k >/dev/null 2>&1 || true

echo
for name in linux linux-sanitizers windows; do
  echo "$name: ${passed[$name]} passed, ${failed[$name]} failed"
  total_passed=$((total_passed + passed[$name]))
  total_failed=$((total_failed + failed[$name]))
done
echo "total: $total_passed passed, $total_failed failed"
exit $status
