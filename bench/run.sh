#!/usr/bin/env bash
# Copy throughput of the plug-in (through the `quickferry` host in batch
# mode, serial and parallel) side by side with cp, cp --reflink=never and
# rsync --whole-file, and a move within one file system against mv.
# Alternating rounds; medians; ratios to cp and to cp --reflink=never.
#
#   bash bench/run.sh [ROUNDS] [WORK_DIR]
#   QUICKFERRY_BENCH=/path/to/quickferry bash bench/run.sh ...   (another build)
#
# Before each timed run the destination is removed and the disks synced
# outside the timing, and the source is re-read so the page cache is warm.
# Every run writes into a new folder: creating many files right after
# deleting as many is far slower for a while on some file systems.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
work=${2:-$(mktemp -d -p "${TMPDIR:-/var/tmp}" quickferry-bench.XXXXXX)}
mkdir -p "$work"

need=()
command -v rsync >/dev/null || need+=(rsync)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

# QUICKFERRY_BENCH names another build's host (with its plug-in beside it)
# to compare against, e.g. a copy of an earlier release build.
if [ -n "${QUICKFERRY_BENCH:-}" ]; then
  qf=$QUICKFERRY_BENCH
else
  cmake --preset release >/dev/null
  cmake --build --preset release -j"$(nproc)" --target quickferry quickferry_host >/dev/null
  qf=$PWD/build/release/hosts/console/quickferry
fi
echo "start: $(uptime)"
export QUICKFERRY_REGISTRY="$work/registry.db"

# ---- Sources ----------------------------------------------------------------
if [ ! -f "$work/big/big.bin" ]; then
  mkdir -p "$work/big"
  head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/big/big.bin"
fi
if [ ! -d "$work/small/tree" ]; then
  mkdir -p "$work/small/tree"
  awk 'BEGIN { srand(7); for (d = 0; d < 200; ++d) for (f = 0; f < 100; ++f)
         printf "%d %d %d\n", d, f, 1024 + int(rand() * 15 * 1024) }' |
    while read -r d f size; do
      [ "$f" = 0 ] && mkdir -p "$work/small/tree/d$d"
      head -c "$size" /dev/urandom >"$work/small/tree/d$d/f$f"
    done
fi
small_files=20000
big_bytes=$(stat -c %s "$work/big/big.bin")

warm() { find "$1" -type f -exec cat {} + >/dev/null; }

timed() {  # COMMAND...: elapsed seconds (microsecond clock) and peak KiB into $work/time.txt
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$work/peak.txt" "$@" >/dev/null 2>&1 || true
  local end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $(tail -1 "$work/peak.txt")" >"$work/time.txt"
}

# run NAME SOURCE COMMAND...: one timed run into a new folder; appends
# "name seconds peak-kib" to $results.
results=$work/results.txt
rm -rf "$work/out"
: >"$results"
n=0
last_big=
run() {
  local name=$1 source=$2; shift 2
  n=$((n + 1))
  local dest=$work/out/$n
  # Trees stay until the end: creating thousands of files right after
  # deleting as many is slow for minutes. A single big file may go.
  [ -z "$last_big" ] || rm -rf "$last_big"
  last_big=
  mkdir -p "$dest"
  sync
  warm "$source"
  timed "$@" "$source" "$dest/"
  echo "$name $(tail -1 "$work/time.txt")" >>"$results"
  case $name in big:*) last_big=$dest ;; esac
}

tools=(cp cp-noreflink rsync qf-serial qf-parallel)
copy_with() {  # tool source
  case $1 in
    cp) run "$2:cp" "$3" cp -r ;;
    cp-noreflink) run "$2:cp-noreflink" "$3" cp -r --reflink=never ;;
    rsync) run "$2:rsync" "$3" rsync -a --whole-file ;;
    qf-serial) run "$2:qf-serial" "$3" "$qf" --batch --serial --overwrite=overwrite ;;
    qf-parallel) run "$2:qf-parallel" "$3" "$qf" --batch --parallel --overwrite=overwrite ;;
  esac
}

for ((r = 0; r < rounds; ++r)); do
  for ((i = 0; i < ${#tools[@]}; ++i)); do
    t=${tools[$(((i + r) % ${#tools[@]}))]}
    copy_with "$t" big "$work/big/big.bin"
    copy_with "$t" small "$work/small/tree"
  done
  # The move: the tree goes over and comes back untimed.
  for mover in mv qf-move; do
    mkdir -p "$work/moved"
    sync
    if [ $mover = mv ]; then
      timed mv "$work/small/tree" "$work/moved/"
    else
      timed "$qf" --batch --move "$work/small/tree" "$work/moved/"
    fi
    echo "move:$mover $(tail -1 "$work/time.txt")" >>"$results"
    mv "$work/moved/tree" "$work/small/tree"
  done
done
rm -rf "$work/out" "$work/moved"

# ---- Report -----------------------------------------------------------------
awk -v big="$big_bytes" -v files="$small_files" '
  { t[$1] = t[$1] " " $2; m[$1] = ($3 > m[$1] ? $3 : m[$1]) }
  function median(list,   a, k, i, j, x) {
    k = split(list, a, " ")
    for (i = 2; i <= k; ++i) { x = a[i]; for (j = i - 1; j > 0 && a[j] > x; --j) a[j + 1] = a[j]; a[j + 1] = x }
    return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
  }
  END {
    for (k in t) med[k] = median(t[k])
    printf "%-26s %10s %12s %10s %9s %9s\n", "case:tool", "median s", "rate", "peak MiB", "vs cp", "vs cp-nr"
    n = split("big:cp big:cp-noreflink big:rsync big:qf-serial big:qf-parallel small:cp small:cp-noreflink small:rsync small:qf-serial small:qf-parallel move:mv move:qf-move", order, " ")
    for (i = 1; i <= n; ++i) {
      k = order[i]; split(k, p, ":"); c = p[1]
      if (!(k in med)) continue
      s = med[k]
      if (c == "big") rate = sprintf("%.0f MB/s", (s > 0 ? big / s / 1e6 : 0))
      else if (c == "small") rate = sprintf("%.0f files/s", (s > 0 ? files / s : 0))
      else rate = "-"
      ref = (c == "move") ? med["move:mv"] : med[c ":cp"]
      refnr = (c == "move") ? med["move:mv"] : med[c ":cp-noreflink"]
      # Ratios of throughput: above 1 is faster than the reference.
      printf "%-26s %10.3f %12s %10.1f %9.2f %9.2f\n", k, s, rate, m[k] / 1024, (s > 0 ? ref / s : 0), (s > 0 ? refnr / s : 0)
    }
  }' "$results"
echo "end: $(uptime)"
echo "(rounds: $rounds; work folder: $work; raw times in $results)"
