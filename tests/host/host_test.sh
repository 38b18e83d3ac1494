#!/usr/bin/env bash
# End-to-end tests of the quickferry host: the real binary ($QUICKFERRY) on
# real trees in a fresh temporary folder; the terminal cases run it in a
# private tmux server. Usage: host_test.sh CASE. Ends with "N passed, N failed"
# for the checks of that case.
set -uo pipefail
QF=${QUICKFERRY:?the quickferry binary}
case_name=${1:?a case}

# The plug-in's language follows the locale: English unless a case says.
unset LC_ALL LC_MESSAGES
export LANG=C.UTF-8

work=$(mktemp -d)  # the trees
io=$(mktemp -d)    # the registry, temporary files, captured output
export QUICKFERRY_REGISTRY=$io/registry.db TMPDIR=$io/tmp
mkdir -p "$TMPDIR"
out=$io/out err=$io/err
socket=qf-test-$$
cleanup() {
  tmux -L "$socket" kill-server 2>/dev/null
  [ -n "${QF_PRIVATE_MOUNTS:-}" ] && umount "$work/tmpfs" "$work/view" 2>/dev/null
  rm -rf "$work" "$io"
}
trap cleanup EXIT

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { echo "FAIL [$case_name]: $*"; failed=$((failed + 1)); }
expect() {  # description, command...
  local what=$1
  shift
  if "$@"; then ok; else fail "$what"; fi
}
same() { [ "$1" = "$2" ] || { echo "  got:      '$1'"; echo "  expected: '$2'"; return 1; }; }
has() { grep -qF -- "$2" "$1" || { echo "  no '$2' in $1:"; sed 's/^/    /' "$1"; return 1; }; }

# quickferry in $work, no terminal; status in $status, output in $out, $err.
run() {
  (cd "$work" && "$QF" "$@" >"$out" 2>"$err" </dev/null)
  status=$?
}

# A listing with sizes and checksums, to compare trees.
snapshot() {
  (cd "$1" && find . -printf '%y %p %s\n' | sort && find . -type f -exec md5sum {} + | sort -k2)
}

make_tree() {
  mkdir -p "$work/src/docs/deep" "$work/dest"
  printf 'alpha\n' >"$work/src/a.txt"
  head -c 300000 /dev/urandom >"$work/src/b.bin"
  printf 'readme\n' >"$work/src/docs/readme.txt"
  printf 'deep\n' >"$work/src/docs/deep/x.txt"
  printf 'hidden\n' >"$work/src/.hidden"
}

# ---- Batch mode --------------------------------------------------------------

case_batch_copy() {
  make_tree
  local before
  before=$(snapshot "$work/src")
  run --batch src/a.txt src/b.bin src/docs src/.hidden dest
  expect "a complete copy exits 0" same "$status" 0
  expect "the copies are the sources" diff -r "$work/src" "$work/dest"
  expect "the sources are untouched" same "$(snapshot "$work/src")" "$before"
  expect "nothing on stdout" same "$(cat "$out")" ""
  run --batch src/a.txt dest/renamed.txt
  expect "a file copied to a new name" same "$(cat "$work/dest/renamed.txt" 2>&1)" alpha
}

case_batch_move() {
  make_tree
  cp -a "$work/src" "$work/original"
  run --batch --move src/a.txt src/docs dest
  expect "a complete move exits 0" same "$status" 0
  expect "the moved file arrived" cmp "$work/original/a.txt" "$work/dest/a.txt"
  expect "the moved folder arrived" diff -r "$work/original/docs" "$work/dest/docs"
  expect "the moved items left the source" same "$(ls -A "$work/src" | tr '\n' ' ')" ".hidden b.bin "
  run --batch --move --current src/b.bin src/c.bin
  expect "--current renames in place" cmp "$work/original/b.bin" "$work/src/c.bin"
}

case_batch_overwrite_modes() {
  # mode, exit status, expected target, expected extra file ("" for none),
  # stderr note. Nobody answers "ask": the file stays, and that is told.
  local table=(
    "ask|1|old||exists, skipped"
    "skip|0|old||"
    "overwrite|0|new||"
    "append|0|old new||"
    "rename|0|old|f_1.txt|"
  )
  for row in "${table[@]}"; do
    IFS='|' read -r mode code target extra note <<<"$row"
    rm -rf "$work/src" "$work/dest"
    mkdir -p "$work/src" "$work/dest"
    printf 'new\n' >"$work/src/f.txt"
    printf 'old\n' >"$work/dest/f.txt"
    run --batch --overwrite="$mode" src/f.txt dest
    expect "$mode: exit $code" same "$status" "$code"
    expect "$mode: the target" same "$(cat "$work/dest/f.txt" | tr '\n' ' ' | sed 's/ $//')" "$target"
    if [ -n "$extra" ]; then
      expect "$mode: the new name" same "$(cat "$work/dest/$extra" 2>&1)" new
    else
      expect "$mode: no other file" same "$(ls "$work/dest")" f.txt
    fi
    [ -z "$note" ] || expect "$mode: says so" has "$err" "$note"
  done
}

case_batch_only_newer() {
  mkdir -p "$work/src" "$work/dest"
  printf 'fresh\n' >"$work/src/newer.txt"
  printf 'stale\n' >"$work/dest/newer.txt"
  touch -d '2001-01-01' "$work/dest/newer.txt"
  printf 'stale\n' >"$work/src/older.txt"
  touch -d '2001-01-01' "$work/src/older.txt"
  printf 'kept\n' >"$work/dest/older.txt"
  run --batch --only-newer --overwrite=overwrite src/newer.txt src/older.txt dest
  expect "exit 0" same "$status" 0
  expect "an older target is replaced" same "$(cat "$work/dest/newer.txt")" fresh
  expect "a newer target is kept" same "$(cat "$work/dest/older.txt")" kept
}

# The exit status: files left by the user's own rule are no failure; a
# failed run lists every file not copied on stderr.
case_batch_not_copied() {
  mkdir -p "$work/src/d" "$work/dest"
  printf 'new\n' >"$work/src/f.txt"
  printf 'old\n' >"$work/dest/f.txt"
  run --batch --overwrite=skip --list-not-copied src/f.txt dest
  expect "a file skipped by rule: exit 0" same "$status" 0
  expect "--list-not-copied lists it on stderr" has "$err" "$work/src/f.txt"
  expect "nothing on stdout" same "$(cat "$out")" ""
  run --batch --overwrite=skip src/f.txt dest
  expect "without --list-not-copied: exit 0" same "$status" 0
  expect "and no list" same "$(cat "$err")" ""
  touch -d '2001-01-01' "$work/src/f.txt"
  run --batch --only-newer src/f.txt dest
  expect "a file that is not newer: exit 0" same "$status" 0

  # A file where a folder must go: the folder and every file in it fail.
  printf 'x\n' >"$work/src/d/x.txt"
  printf 'blocker\n' >"$work/dest/d"
  run --batch src/d dest
  expect "a failed folder: exit 1" same "$status" 1
  expect "the failure is told" has "$err" "Cannot create the destination folder"
  expect "the files not copied are listed" has "$err" "$work/src/d/x.txt"
  expect "nothing on stdout either" same "$(cat "$out")" ""

  # The list file in a folder with a blank: the command quotes its name.
  mkdir -p "$io/my tmp"
  TMPDIR="$io/my tmp" run --batch --overwrite=skip --list-not-copied src/f.txt dest
  expect "a list in a folder with a blank: exit 0" same "$status" 0
  expect "the list read, nothing else said" same "$(cat "$err")" "quickferry: 1 not copied:
$work/src/f.txt"
}

# Refused before anything moves.
case_batch_refusals() {
  make_tree
  local before
  before=$(snapshot "$work")
  run --batch --move src/docs src/docs/deep
  expect "a folder into its own subfolder: exit 1" same "$status" 1
  expect "it says why" has "$err" "Cannot move a folder into itself"
  expect "nothing moved" same "$(snapshot "$work")" "$before"
}

case_batch_usage_errors() {
  make_tree
  printf 'one\n' >"$work/dest/one.txt"
  local before
  before=$(snapshot "$work")
  # Each row is evaluated, so that '' is an empty argument.
  local table=(
    ""
    "src/a.txt"
    "src/missing.txt dest"
    "src/a.txt src/docs/readme.txt dest"
    "--overwrite=sometimes src/a.txt dest"
    "--parallel --serial src/a.txt dest"
    "--no-such-option src/a.txt dest"
    "--config src/a.txt"
    "'' dest"
    "src/a.txt ''"
    "--current '' dest"
    "--overwrite=overwrite src/a.txt src/b.bin dest/one.txt"
    "--move --overwrite=overwrite src/a.txt src/b.bin dest/one.txt"
    "--move src/a.txt src/docs dest/new-name"
  )
  for args in "${table[@]}"; do
    eval "run --batch $args"
    expect "'$args': exit 2" same "$status" 2
    expect "'$args': a message" test -s "$err"
  done
  expect "nothing was touched" same "$(snapshot "$work")" "$before"
  run --help
  expect "--help exits 0" same "$status" 0
  expect "--help shows the usage" has "$out" "usage: quickferry"
}

case_batch_hand_back() {
  make_tree
  local plugin=${QUICKFERRY_STAND_IN_PLUGIN:?}
  QUICKFERRY_PLUGIN=$plugin QUICKFERRY_STAND_IN=copy run --batch src/a.txt src/docs dest
  expect "copy handed back: exit 0" same "$status" 0
  expect "the host says so" has "$err" "handed the copy back"
  expect "the host copied the file" cmp "$work/src/a.txt" "$work/dest/a.txt"
  expect "the host copied the folder" diff -r "$work/src/docs" "$work/dest/docs"

  mkdir -p "$work/moved"
  QUICKFERRY_PLUGIN=$plugin QUICKFERRY_STAND_IN=move run --batch --move src/b.bin moved
  expect "move handed back: exit 0" same "$status" 0
  expect "the host moved the file" test -f "$work/moved/b.bin" -a ! -e "$work/src/b.bin"

  QUICKFERRY_PLUGIN=$plugin QUICKFERRY_STAND_IN=list run --batch --list-not-copied src/a.txt src/docs dest
  expect "a list without a failure: exit 0" same "$status" 0
  expect "tmp: prints the list" same "$(grep "^$work" "$err" | tr '\n' ' ')" "$work/src/a.txt $work/src/docs "
}

case_batch_answers() {
  make_tree
  QUICKFERRY_PLUGIN=$QUICKFERRY_STAND_IN_PLUGIN QUICKFERRY_STAND_IN=ask run --batch src/a.txt dest
  expect "Skip for an error, No for a warning" same "$(cat "$out")" "error box: 1, warning: 1"
  expect "the error is told" has "$err" "Cannot open the source file"
  expect "the warning is told" has "$err" "--force goes on"
  expect "exit 1" same "$status" 1
  QUICKFERRY_PLUGIN=$QUICKFERRY_STAND_IN_PLUGIN QUICKFERRY_STAND_IN=ask run --batch --force src/a.txt dest
  expect "--force: Yes for a warning" same "$(cat "$out")" "error box: 1, warning: 0"
}

case_batch_language() {
  mkdir -p "$work"
  LANG=ru_RU.UTF-8 run --batch --config
  expect "a Russian locale: exit 0" same "$status" 0
  expect "the Russian texts, as UTF-8" has "$out" "[x] Разрешить параллельный режим"
  LANG=ru_RU.UTF-8 run --batch --config --lang en
  expect "--lang wins over the locale" has "$out" "Allow parallel reading and writing"
  LC_ALL=ru_RU.UTF-8 LANG=en_GB.UTF-8 run --batch --config
  expect "LC_ALL wins over LANG" has "$out" "Разрешить"
  run --batch --config --lang Russian
  expect "--lang by the language's name" has "$out" "Разрешить"
  run --batch --config --lang xx
  expect "an unknown language: exit 2" same "$status" 2
  expect "it says so" has "$err" "no language file for 'xx'"
}

# An interrupt, a hang-up or a termination breaks off as Esc does: the file
# being written goes, so that a later --only-newer run cannot keep it.
case_batch_interrupt() {
  mkdir -p "$work/src"
  truncate -s 3G "$work/src/large.bin"
  local signals=(INT TERM HUP) pids=() signal i
  # All three at once; each is signalled once its target is being written.
  for signal in "${signals[@]}"; do
    mkdir -p "$work/$signal"
    (cd "$work" && exec "$QF" --batch src/large.bin "$signal" >"$io/out.$signal" \
      2>"$io/err.$signal" </dev/null) &
    pids+=($!)
  done
  for i in 0 1 2; do
    signal=${signals[$i]}
    for _ in $(seq 1200); do
      [ -s "$work/$signal/large.bin" ] && break
      sleep 0.1
    done
    expect "SIG$signal: the copy was under way" test -s "$work/$signal/large.bin"
    kill -"$signal" "${pids[$i]}"
  done
  for i in 0 1 2; do
    signal=${signals[$i]}
    wait "${pids[$i]}"
    status=$?
    expect "SIG$signal breaks off: exit 1" same "$status" 1
    expect "SIG$signal: it says so" has "$io/err.$signal" "broken off"
    expect "SIG$signal: no partial target is left" test ! -e "$work/$signal/large.bin"
  done
  # The same name, now small and older than a partial file would be.
  rm "$work/src/large.bin"
  printf 'whole\n' >"$work/src/large.bin"
  touch -d '2001-01-01' "$work/src/large.bin"
  run --batch --only-newer src/large.bin TERM
  expect "a later --only-newer run copies it" same "$(cat "$work/TERM/large.bin" 2>&1)" whole
}

# ---- Names, identity and links ------------------------------------------------

# Runs the calling case again in a private mount namespace (tmpfs, bind
# mounts); true in the namespace. Elsewhere the case goes on without them.
private_mounts() {
  [ -n "${QF_PRIVATE_MOUNTS:-}" ] && return 0
  if unshare -m --propagation private true 2>/dev/null; then
    QF_PRIVATE_MOUNTS=1 unshare -m --propagation private bash "$0" "$case_name"
    exit $?
  fi
  return 1
}
# Mounts a tmpfs at $1; false (with a note) where none can be mounted.
mount_tmpfs() {
  mkdir -p "$1"
  [ -n "${QF_PRIVATE_MOUNTS:-}" ] && mount -t tmpfs tmpfs "$1" 2>/dev/null && return 0
  echo "SKIP [$case_name]: no tmpfs can be mounted here (needs unshare -m as root)"
  return 1
}

# Every name a Linux folder can hold that Windows gives meaning to.
make_name_tree() {
  local t=$1 i name hex
  mkdir -p "$t/bytes" "$t/bs\\dir" "$t/x" "$t/trail. " "$t/deep/er"
  printf 'escape\n' >"$t/..\\..\\..\\..\\escape"
  printf 'dotdot\n' >"$t/..\\target.txt"
  printf 'sibling\n' >"$t/target.txt"
  printf 'in bs\n' >"$t/bs\\dir/f"
  printf 'x/y\n' >"$t/x/y"
  printf 'x\\y\n' >"$t/x\\y"
  printf 'colon\n' >"$t/f:s1"
  printf 'f\n' >"$t/f"
  printf 'reserved\n' >"$t/a*b?c\"d<e>f|g"
  printf 'dot\n' >"$t/trail."
  printf 'space\n' >"$t/trail "
  printf 'dots\n' >"$t/..."
  printf 'lower\n' >"$t/a.txt"
  printf 'upper\n' >"$t/A.txt"
  printf 'Desc\n' >"$t/Descript.ion"
  printf 'desc\n' >"$t/descript.ion"
  printf 'latin1\n' >"$t/caf"$'\xe9'
  printf 'escaped-looking\n' >"$t/"$'\xff\xba'"x"$'\xff\x7f'
  printf 'long\n' >"$t/$(printf 'n%.0s' $(seq 255))"
  printf 'deep\n' >"$t/deep/er/z:z"
  for i in $(seq 1 255); do
    [ "$i" -eq 47 ] && continue
    printf -v hex %02x "$i"
    printf -v name "b\\x$hex"
    printf '%s' "$i" >"$t/bytes/$name"
    # In first place too where Windows reads the byte (and for the escape byte).
    [ "$i" -lt 32 ] || [[ "$i" =~ ^(34|42|58|60|62|63|92|124|255)$ ]] || continue
    printf -v name "\\x${hex}e"
    printf '%s' "$i" >"$t/bytes/$name"
  done
}

# Everything below $1 but the named subtrees, to see that nothing else changed.
snapshot_except() {
  local root=$1
  shift
  local prune=()
  for p in "$@"; do prune+=(-path "./$p" -prune -o); done
  (cd "$root" && find . "${prune[@]}" -printf '%y %p %s\n' | sort)
}

case_batch_names() {
  private_mounts
  local tmpfs=""
  mount_tmpfs "$work/tmpfs" && tmpfs=$work/tmpfs
  local base=$work/u1/u2
  # filesystem|operation|mode
  local rows=()
  for fs_ in same ${tmpfs:+tmpfs}; do
    for op in copy move; do
      for mode in serial parallel; do rows+=("$fs_|$op|$mode"); done
    done
  done
  make_name_tree "$work/original"
  printf 'bait\n' >"$work/escape"  # where ..\..\..\..\escape would lead
  setfattr -n user.s1 -v stream "$work/original/f" 2>/dev/null
  for row in "${rows[@]}"; do
    IFS='|' read -r where op mode <<<"$row"
    local dest=$base/dest
    [ "$where" = tmpfs ] && dest=$tmpfs/u1/u2/dest
    rm -rf "$work/u1" "${tmpfs:-$work/none}"/*
    mkdir -p "$base/src" "$dest"
    cp -a "$work/original" "$base/src/t"
    local before tmpfs_before=""
    before=$(snapshot_except "$work" original u1/u2/src u1/u2/dest tmpfs)
    [ -n "$tmpfs" ] && tmpfs_before=$(snapshot_except "$tmpfs" u1/u2/dest)
    local args=(--batch "--$mode")
    [ "$op" = move ] && args+=(--move)
    run "${args[@]}" "$base/src/t" "$dest"
    expect "$row: exit 0" same "$status" 0
    [ "$status" -eq 0 ] || sed 's/^/    /' "$err" | head -20
    expect "$row: the copy equals the source" diff -r "$work/original" "$dest/t"
    expect "$row: nothing outside the destination changed" \
      same "$(snapshot_except "$work" original u1/u2/src u1/u2/dest tmpfs)" "$before"
    [ -n "$tmpfs" ] && expect "$row: nothing else on the tmpfs changed" \
      same "$(snapshot_except "$tmpfs" u1/u2/dest)" "$tmpfs_before"
    expect "$row: f:s1 is no stream of f" \
      bash -c "! getfattr --only-values -n user.s1 '$dest/t/f' 2>/dev/null | grep -q colon"
    if [ "$op" = move ]; then
      expect "$row: the source is gone" test ! -e "$base/src/t"
    else
      expect "$row: the source is whole" diff -r "$work/original" "$base/src/t"
    fi
  done

  # A name whose escaped form cannot fit is refused by itself, and said so.
  local long
  long=$(printf ':%.0s' $(seq 200))
  for dest in "$base/dest" ${tmpfs:+"$tmpfs/dest"}; do
    rm -rf "$work/u1" "$dest"
    mkdir -p "$base/src/t" "$dest"
    printf 'long\n' >"$base/src/t/$long"
    printf 'ok\n' >"$base/src/t/ok"
    local args=(--batch)
    [ "$dest" != "$base/dest" ] && args+=(--move)
    run "${args[@]}" "$base/src/t" "$dest"
    expect "too long once escaped ${args[*]}: exit 1" same "$status" 1
    expect "too long: told" has "$err" "too long"
    expect "too long: the rest arrived" same "$(cat "$dest/t/ok")" ok
    expect "too long: its source stays" same "$(cat "$base/src/t/$long")" long
    expect "too long: nothing written elsewhere" same "$(ls "$dest/t")" ok
  done

  # Case on Linux: two names, and a change of case alone renames.
  rm -rf "$work/u1"
  mkdir -p "$base/src"
  printf 'lower\n' >"$base/src/a.txt"
  run --batch "$base/src/a.txt" "$base/src/A.txt"
  expect "a.txt to A.txt: exit 0" same "$status" 0
  expect "a.txt to A.txt: copied" same "$(cat "$base/src/A.txt" 2>&1)" lower
  run --batch --move --current "$base/src/a.txt" "$base/src/B.txt"
  run --batch --move --current "$base/src/B.txt" "$base/src/b.txt"
  expect "a case-only rename: exit 0" same "$status" 0
  expect "a case-only rename: renamed" same "$(ls "$base/src" | tr '\n' ' ')" "A.txt b.txt "
  mkdir -p "$base/Data" "$base/data"
  run --batch "$base/src/A.txt" "$base/Data"
  expect "into Data/ beside data/" same "$(ls "$base/Data")" A.txt

  # Masks make what Windows makes; a typed ':' is part of the name.
  printf 'make\n' >"$base/src/Makefile"
  run --batch "$base/src/Makefile" "$base/Data/*.*"
  expect "*.* keeps Makefile" same "$(ls "$base/Data" | tr '\n' ' ')" "A.txt Makefile "
  run --batch --move "$base/src/b.txt" "${tmpfs:-$base}/notes-2024-01-01 10:30.txt"
  expect "a typed colon: exit 0" same "$status" 0
  expect "a typed colon names the file" same "$(cat "${tmpfs:-$base}/notes-2024-01-01 10:30.txt")" lower

  # Drives and shares the host does not have are refused.
  local snap
  snap=$(snapshot_except "$work")
  for typed in '\\server\share\x' 'Q:\x'; do
    run --batch "$base/src/A.txt" "$typed"
    expect "$typed: exit 2" same "$status" 2
    expect "$typed: told" has "$err" "drive or share"
  done
  expect "no drive or share: nothing made" same "$(snapshot_except "$work")" "$snap"
}

case_batch_same_file() {
  private_mounts
  mkdir -p "$work/src/t" "$work/dest" "$work/view"
  printf 'precious\n' >"$work/src/t/f"
  ln -s src "$work/linked"
  ln "$work/src/t/f" "$work/dest/f"
  ln -s ../src/t/f "$work/dest/back"
  local bind=""
  [ -n "${QF_PRIVATE_MOUNTS:-}" ] && mount --bind "$work/src" "$work/view" 2>/dev/null && bind=1
  [ -n "$bind" ] || echo "SKIP [$case_name]: no bind mount here (needs unshare -m as root)"
  # args|what
  local rows=(
    "--overwrite=append src/t/f linked/t/f|append through a linked folder"
    "--overwrite=overwrite src/t/f linked/t|overwrite through a linked folder"
    "--overwrite=append src/t/f dest|append onto a hard link"
    "--move --overwrite=overwrite src/t/f dest|move onto a hard link"
    "--move --overwrite=overwrite src/t/f dest/back|move onto a link back to it"
    "src/t/f src/t|a file onto itself"
  )
  [ -n "$bind" ] && rows+=("--move --overwrite=overwrite src/t view/|move onto a bind mount"
                          "--overwrite=append src/t/f view/t|append through a bind mount")
  for row in "${rows[@]}"; do
    IFS='|' read -r args what <<<"$row"
    # shellcheck disable=SC2086
    run --batch $args
    expect "$what: exit 1" same "$status" 1
    expect "$what: told" has "$err" "the same file"
    expect "$what: the file stays whole" same "$(cat "$work/src/t/f" 2>&1)" precious
  done
}

case_batch_links() {
  private_mounts
  local tmpfs=""
  mount_tmpfs "$work/tmpfs" && tmpfs=$work/tmpfs
  local rows=("$work/dest")
  [ -n "$tmpfs" ] && rows+=("$tmpfs/dest")
  for dest in "${rows[@]}"; do
    for op in copy move; do
      rm -rf "$work/src" "$work/outside" "$dest"
      mkdir -p "$work/src/t/sub" "$work/outside" "$dest"
      printf 'out\n' >"$work/outside/keep.txt"
      printf 'in\n' >"$work/src/t/sub/in.txt"
      ln -s "$work/outside" "$work/src/t/out"
      ln -s . "$work/src/t/self"
      ln -s .. "$work/src/t/sub/up"
      ln -s sub/in.txt "$work/src/t/file-link"
      ln -s nowhere "$work/src/t/dangling"
      cp -a "$work/src/t" "$work/original"
      local args=(--batch)
      [ "$op" = move ] && args+=(--move)
      # A scan that followed self or up would never end.
      (cd "$work" && timeout 60 "$QF" "${args[@]}" src/t "$dest" >"$out" 2>"$err" </dev/null)
      status=$?
      local row="$op to ${dest#$work/}"
      expect "$row: exit 0" same "$status" 0
      expect "$row: links arrive as links" diff -r --no-dereference "$work/original" "$dest/t"
      expect "$row: the link keeps its target" same "$(readlink "$dest/t/out")" "$work/outside"
      expect "$row: the outside folder is untouched" same "$(cat "$work/outside/keep.txt" 2>&1)" out
      [ "$op" = move ] && expect "$row: the source is gone" test ! -e "$work/src/t"
      rm -rf "$work/original"
    done
  done
}

# ---- On a terminal (tmux) ---------------------------------------------------

tmux_start() {
  command -v tmux >/dev/null || { fail "tmux is not installed (scripts/install-deps.sh linux)"; return 1; }
  LANG=C.UTF-8 tmux -L "$socket" -f /dev/null new-session -d -x 100 -y 30 \
    "env QUICKFERRY_REGISTRY=$QUICKFERRY_REGISTRY TMPDIR=$TMPDIR PS1='$ ' bash --norc --noprofile"
  tmux -L "$socket" send-keys "cd $work" Enter
}
keys() { tmux -L "$socket" send-keys "$@"; }
screen() { tmux -L "$socket" capture-pane -p >"$io/screen"; }
# Waits until one capture of the screen shows every TEXT given (20 s at
# most): a screen caught mid-redraw shows only part of a box.
wait_for() {
  local text missing
  for _ in $(seq 100); do
    screen
    missing=
    for text in "$@"; do
      grep -qF -- "$text" "$io/screen" || { missing=$text; break; }
    done
    [ -z "$missing" ] && return 0
    sleep 0.2
  done
  echo "  never saw '$missing'; the screen:"
  sed 's/^/    /' "$io/screen"
  return 1
}
title_shows() {
  for _ in $(seq 25); do
    tmux -L "$socket" display -p '#{pane_title}' | grep -qF -- "$1" && return 0
    sleep 0.2
  done
  return 1
}
launch() { keys "clear; $QF $*; echo EXIT=[\$?]" Enter; }

case_terminal_copy() {
  make_tree
  tmux_start || return
  launch src/a.txt src/docs dest
  expect "the operation menu" wait_for "1 Copy files"
  expect "its title" has "$io/screen" "Quickferry"
  expect "its move item" has "$io/screen" "2 Move files"
  expect "the panels" has "$io/screen" "$work/src"
  keys Enter
  expect "the copy dialog" wait_for "Copy the selected items to:"
  expect "the destination" has "$io/screen" "Z:${work//\//\\}\\dest\\"
  expect "the start button" has "$io/screen" "{ Start }"
  expect "the cancel button" has "$io/screen" "[ Cancel ]"
  keys Enter
  expect "the shell is back, exit 0" wait_for "EXIT=[0]"
  expect "no dialog is left" bash -c "! grep -q 'Copy the selected' '$io/screen'"
  expect "copied" diff -r "$work/src/docs" "$work/dest/docs"
}

case_terminal_overwrite_dialog() {
  make_tree
  printf 'old\n' >"$work/dest/a.txt"
  tmux_start || return
  launch src/a.txt dest
  expect "the menu" wait_for "1 Copy files"
  keys Enter
  expect "the copy dialog" wait_for "{ Start }"
  keys Enter
  expect "the overwrite dialog with its four buttons" wait_for \
    "The destination file already exists:" "{ Overwrite }" "[ Skip ]" "[ Append ]" "[ Rename ]"
  keys o  # the Overwrite button's hot key
  expect "the shell is back, exit 0" wait_for "EXIT=[0]"
  expect "overwritten" same "$(cat "$work/dest/a.txt")" alpha
}

case_terminal_esc_breaks_off() {
  mkdir -p "$work/src" "$work/dest"
  truncate -s 3G "$work/src/large.bin"
  tmux_start || return
  launch src/large.bin dest
  expect "the menu" wait_for "1 Copy files"
  keys Enter
  expect "the copy dialog" wait_for "{ Start }"
  keys Enter
  expect "the progress box" wait_for "Writing:" "Reading:" "Copying"
  expect "the window title" title_shows Copying
  keys Escape
  expect "broken off: exit 1" wait_for "EXIT=[1]"
  expect "it says so" has "$io/screen" "broken off"
  expect "no partial target is left" test ! -e "$work/dest/large.bin"

  # SIGTERM does what Esc does.
  local shell pid
  shell=$(tmux -L "$socket" display -p '#{pane_pid}')
  launch src/large.bin dest
  expect "the menu again" wait_for "1 Copy files"
  keys Enter
  expect "the copy dialog again" wait_for "{ Start }"
  keys Enter
  expect "the progress box again" wait_for "Writing:"
  for _ in $(seq 600); do  # until the target is being written
    [ -s "$work/dest/large.bin" ] && break
    sleep 0.1
  done
  expect "the target is being written" test -s "$work/dest/large.bin"
  pid=$(pgrep -P "$shell" -x quickferry)
  expect "quickferry runs" test -n "$pid"
  [ -n "$pid" ] && kill -TERM "$pid"
  expect "SIGTERM breaks off: exit 1" wait_for "EXIT=[1]"
  expect "no partial target after SIGTERM" test ! -e "$work/dest/large.bin"
}

case_terminal_help() {
  make_tree
  tmux_start || return
  launch src/a.txt dest
  expect "the menu" wait_for "1 Copy files"
  keys F1
  expect "F1 in the menu: its help" wait_for "Operation menu"
  keys Escape
  sleep 0.3  # Esc then Enter at once would be Alt+Enter
  keys Enter
  expect "the copy dialog" wait_for "{ Start }"
  keys F1
  expect "F1 in the copy dialog: its help" wait_for "Copy dialog"
  expect "what the options mean" has "$io/screen" "Parallel read and write"
  keys Tab Enter  # the second link: the overwrite dialog
  expect "a link followed" wait_for "File already exists"
  keys BSpace
  expect "back to the copy dialog's help" wait_for "Copy dialog"
  keys Escape
  expect "the dialog again" wait_for "{ Start }"
  expect "the help gone" bash -c "! grep -q 'Reads the next piece' '$io/screen'"
  keys Enter
  expect "copied: exit 0" wait_for "EXIT=[0]"
  expect "the copy" cmp "$work/src/a.txt" "$work/dest/a.txt"
}

case_terminal_russian() {
  make_tree
  tmux_start || return
  launch --lang ru src/a.txt dest
  expect "the Russian menu" wait_for "1 Копировать файлы"
  keys Enter
  expect "the Russian copy dialog" wait_for "{ Начать }"
  expect "its options" has "$io/screen" "Одновременно читать и писать"
  keys F1
  expect "the Russian help" wait_for "Диалог копирования"
  keys Escape
  expect "the dialog again" wait_for "{ Начать }"
  keys M-y  # Alt and the key of "Н": the Start button's hot key
  expect "copied: exit 0" wait_for "EXIT=[0]"
  expect "the copy" cmp "$work/src/a.txt" "$work/dest/a.txt"
  # A locale the system does not have still means a UTF-8 terminal.
  keys "clear; LANG=ru_XX.UTF-8 $QF src/a.txt dest; echo EXIT=[\$?]" Enter
  expect "a missing locale: its language, drawn in UTF-8" wait_for "1 Копировать файлы" "╔"
  keys Escape
  expect "closed" wait_for "EXIT=[1]"
}

if ! declare -f "case_$case_name" >/dev/null; then
  echo "no case '$case_name'"
  exit 2
fi
"case_$case_name"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
