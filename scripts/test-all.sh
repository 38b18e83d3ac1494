#!/usr/bin/env bash
# Builds Quickferry for Linux, for Linux under AddressSanitizer and
# UndefinedBehaviorSanitizer, and for 32-bit Windows, and runs every test
# (the Windows ones under Wine); the engine's threaded tests run once more
# under ThreadSanitizer, and the description reader is fuzzed for 30 s; the
# release packages (ZIP, DEB) are built from a clean checkout and checked.
# Ends with the passed and failed counts of each platform and of all
# together; exits non-zero when anything failed.
#   bash scripts/test-all.sh [linux|linux-sanitizers|linux-threads|fuzz|windows|packages]...
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh all || { echo "installing the build packages failed"; exit 1; }

export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/quickferry/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts
# Through qemu's user-mode emulation (scripts/run-32bit-under-qemu.sh) Wine
# lacks a few things; the tests that need them say so and are skipped.
if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  export QUICKFERRY_QEMU_USER=1
fi
# CI ends the whole run at 90 minutes. Wine under emulation is slow and now
# and then hangs where it should end, so every Wine call has a bound, and
# the Windows tests get what is left of this budget (seconds from the
# script's start): a stuck Wine is reported, not cut off unseen.
budget=${QUICKFERRY_TEST_BUDGET:-4800}

# The processes of this prefix: the server, its services, the programs.
wine_pids() {
  local dir env e
  for dir in /proc/[0-9]*; do   # builtins only: it runs every 5 s
    mapfile -d '' env 2>/dev/null <"$dir/environ" || continue
    for e in "${env[@]}"; do
      [ "$e" = "WINEPREFIX=$WINEPREFIX" ] || continue
      case $(readlink "$dir/exe") in
        *qemu-i386*|*/wine*) echo "${dir#/proc/}" ;;
      esac
      break
    done
  done
}

# The processor time they have used, in clock ticks.
wine_ticks() {
  local pid stat rest sum=0
  for pid in $(wine_pids); do
    read -r stat <"/proc/$pid/stat" 2>/dev/null || continue
    read -r -a rest <<<"${stat##*) }"   # after the name, which may hold blanks
    sum=$((sum + rest[11] + rest[12]))  # utime, stime
  done
  echo "$sum"
}

# Ends them all, even an emulated Wine that hung instead of ending.
stop_wine() {
  timeout -k 5 30 wineserver -k >/dev/null 2>&1
  local pid
  for pid in $(wine_pids); do kill -9 "$pid" 2>/dev/null; done
  return 0
}

# Runs a Wine command for at most LIMIT seconds. Hung Wine under emulation
# uses no processor time at all, so five minutes without any is taken as
# a hang; either way Wine is ended whole, since a stuck server would hold
# the next command too.
wine_for() {  # limit, command...
  local limit=$1 job rc ticks last=-1 idle=0; shift
  timeout -k 30 "$limit" "$@" &
  job=$!
  while sleep 5 && kill -0 "$job" 2>/dev/null; do
    ticks=$(wine_ticks)
    if [ "$ticks" = "$last" ]; then idle=$((idle + 5)); else idle=0 last=$ticks; fi
    if [ $idle -ge 300 ]; then
      echo "=== windows: '$*' used no processor time for $idle s: taken as hung" >&3
      kill "$job" 2>/dev/null
      break
    fi
  done
  wait "$job"; rc=$?
  if [ $idle -ge 300 ] || [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
    [ $idle -ge 300 ] || echo "=== windows: '$*' still running after $limit s" >&3
    stop_wine
    [ $rc -ne 0 ] || rc=124
  fi
  return $rc
}

prepare_wine() {  # the prefix, made once; only where Wine can start
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || return 0
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  local start=$SECONDS try
  for try in 1 2; do
    echo "=== windows: creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # wineboot returns early; the set-up goes on until the server ends.
    wine_for 2100 sh -c 'wineboot -i; wineserver -w' >/dev/null 2>&1 </dev/null
    [ -f "$WINEPREFIX/system.reg" ] && break
    stop_wine
    rm -rf "$WINEPREFIX"
    [ $((budget - SECONDS)) -gt 2400 ] || break
  done
  echo "=== windows: the Wine prefix took $((SECONDS - start)) s"
}

declare -A passed failed
total_passed=0 total_failed=0
status=0
log_dir=build/logs
exec 3>&1   # this script's own output, for messages from inside redirections
mkdir -p "$log_dir"

build() {  # name, preset, log: configures and builds; a failure counts once
  local name=$1 preset=$2 log=$3
  echo "=== $name: configure and build"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)"; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "$name: the build failed (log: $log)"
    passed[$name]=0 failed[$name]=1
    status=1
    return 1
  fi
}

run_platform() {  # name, preset
  local name=$1 preset=$2 log="$log_dir/$1.log"
  build "$name" "$preset" "$log" || return
  echo "=== $name: tests"
  ctest --preset "$preset" 2>&1 | tee -a "$log" | grep -E "^ *[0-9]+/[0-9]+ Test .*(Failed|Timeout|Exception)|tests passed|\*\*\*" || true
  local line p f n
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    tail -60 "$log"
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

# Windows: each test program runs once under Wine with all its tests (one
# Wine start per program instead of one per test, and no discovery step);
# the counts come from GoogleTest's own summary. The DLL's export check
# needs no Wine.
run_windows() {
  local name=windows log="$log_dir/windows.log" p=0 f=0
  build "$name" win32 "$log" || return
  echo "=== $name: tests"
  local exe out ran ok skipped bad
  # Into a file, not a pipe: Wine's background services inherit the
  # output of the program that started them and never close it.
  local file="$PWD/$log_dir/windows-program.log"
  # Wine needs the kernel to run 32-bit programs; some machines cannot.
  # The build above still checks that everything compiles without warnings.
  local programs=(build/win32/tests/*.exe)
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "$name: this machine cannot run 32-bit programs, so Wine cannot start:"
    echo "$name: the test programs were built but NOT run; only the DLL's export check runs"
    echo "$name: (scripts/run-32bit-under-qemu.sh lets them run, slowly, through qemu)"
    programs=()
  elif [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "=== windows: there is no Wine prefix, so the test programs were NOT run"
    programs=()
    f=$((f + 1))
  elif [ -n "${QUICKFERRY_QEMU_USER:-}" ]; then
    echo "$name: Wine runs through qemu's user-mode emulation here: slow, and the tests it cannot serve are skipped"
  fi
  for exe in "${programs[@]}"; do
    local name_exe tries=1 start left
    name_exe=$(basename "$exe")
    # Under emulation a program now and then dies or hangs inside Wine
    # itself; such a run (no summary) gets one more try, its end shown.
    [ -z "${QUICKFERRY_QEMU_USER:-}" ] || tries=2
    while :; do
      out="" ran=""
      left=$((budget - SECONDS))
      if [ $left -lt 120 ]; then
        echo "=== windows: $name_exe NOT run: the time budget of $budget s is spent"
        break
      fi
      start=$SECONDS
      (cd build/win32/tests && wine_for $((left < 1800 ? left : 1800)) wine "$name_exe" >"$file" 2>&1 </dev/null)
      out=$(cat "$file")
      echo "$out" >>"$log"
      ran=$(sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran\..*/\1/p' <<<"$out" | tail -1)
      tries=$((tries - 1))
      [ -z "$ran" ] && [ $tries -gt 0 ] || break
      echo "$out" | tail -30
      echo "=== windows: $name_exe ended without GoogleTest's summary after $((SECONDS - start)) s; once more"
      stop_wine
    done
    ok=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' <<<"$out" | tail -1)
    skipped=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?,.*/\1/p' <<<"$out" | tail -1)
    bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?,.*/\1/p' <<<"$out" | tail -1)
    [ "${skipped:-0}" -eq 0 ] || echo "$name_exe: $skipped skipped (counted as passed; the reasons are in $log)"
    if [ -z "$ran" ]; then
      echo "$out" | tail -30
      echo "=== windows: $name_exe ended without GoogleTest's summary"
      f=$((f + 1))
      continue
    fi
    echo "=== windows: $name_exe ran $ran tests in $((SECONDS - start)) s"
    grep -E '^\[  FAILED  \] [A-Za-z]' <<<"$out" | sort -u || true
    p=$((p + ${ok:-0} + ${skipped:-0}))
    f=$((f + ${bad:-0}))
  done
  # Run as ctest would, without ctest: its test discovery starts Wine.
  if cmake -DDLL=build/win32/src/Quickferry.dll -P tests/far_abi/check_dll.cmake >>"$log" 2>&1; then
    p=$((p + 1))
  else
    echo "DllExportsAndImports failed"
    f=$((f + 1))
  fi
  echo "$name: $p passed, $f failed"
  passed[$name]=$p failed[$name]=$f
  [ "$f" -eq 0 ] || status=1
}

run_fuzz() {
  echo "=== fuzz: the description reader and writer, 30 s"
  if bash scripts/fuzz.sh 30 >"$log_dir/fuzz.log" 2>&1; then
    passed[fuzz]=1 failed[fuzz]=0
  else
    tail -30 "$log_dir/fuzz.log"
    passed[fuzz]=0 failed[fuzz]=1
    status=1
  fi
}

run_packages() {
  echo "=== packages: the ZIP and the DEB from a clean checkout, installed and run"
  local log="$log_dir/packages.log" line
  bash scripts/package-test.sh >"$log" 2>&1
  grep -E '^FAIL|^note' "$log" || true
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)
  if [ -z "$line" ]; then
    tail -30 "$log"
    passed[packages]=0 failed[packages]=1
    status=1
    return
  fi
  passed[packages]=${line%% *}
  failed[packages]=$(sed -E 's/.*, ([0-9]+) failed/\1/' <<<"$line")
  [ "${failed[packages]}" -eq 0 ] || status=1
}

# Everything, or only the platforms named: linux linux-sanitizers
# linux-threads fuzz packages windows. Windows comes last: it takes what
# is left of the budget.
chosen=(${*:-linux linux-sanitizers linux-threads fuzz packages windows})
for name in "${chosen[@]}"; do
  phase_start=$SECONDS
  case $name in
    linux) run_platform linux linux ;;
    linux-sanitizers) run_platform linux-sanitizers asan ;;
    linux-threads) run_platform linux-threads tsan ;;
    fuzz) run_fuzz ;;
    packages) run_packages ;;
    windows)
      # One server for all the Windows tests, and Wine's services started
      # now with nothing to hold open.
      prepare_wine
      wine_for 300 wineserver -p >/dev/null 2>&1
      wine_for 900 wineboot >/dev/null 2>&1 </dev/null
      run_windows
      stop_wine
      ;;
    *) echo "unknown platform: $name"; exit 2 ;;
  esac
  echo "=== $name: took $((SECONDS - phase_start)) s, $SECONDS s since the start"
done

echo
for name in "${chosen[@]}"; do
  echo "$name: ${passed[$name]} passed, ${failed[$name]} failed"
  total_passed=$((total_passed + passed[$name]))
  total_failed=$((total_failed + failed[$name]))
done
echo "total: $total_passed passed, $total_failed failed"
exit $status
