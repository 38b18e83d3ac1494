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

case_batch_not_copied() {
  mkdir -p "$work/src/d" "$work/dest"
  printf 'new\n' >"$work/src/f.txt"
  printf 'old\n' >"$work/dest/f.txt"
  run --batch --overwrite=skip --list-not-copied src/f.txt dest
  expect "a skipped file listed: exit 1" same "$status" 1
  expect "the list on stdout" same "$(cat "$out")" "$work/src/f.txt"

  # A file where a folder must go: every file in it fails.
  printf 'x\n' >"$work/src/d/x.txt"
  printf 'blocker\n' >"$work/dest/d"
  run --batch src/d dest
  expect "a failed file: exit 1" same "$status" 1
  expect "the failure is told" has "$err" "Cannot create the destination file"
  expect "the failed file listed" same "$(cat "$out")" "$work/src/d/x.txt"

  # The list file in a folder with a blank: the command quotes its name.
  mkdir -p "$io/my tmp"
  TMPDIR="$io/my tmp" run --batch --overwrite=skip --list-not-copied src/f.txt dest
  expect "a list in a folder with a blank: exit 1" same "$status" 1
  expect "that list on stdout" same "$(cat "$out")" "$work/src/f.txt"
  expect "no complaint" same "$(cat "$err")" "quickferry: 1 not copied:"
}

case_batch_usage_errors() {
  make_tree
  local before
  before=$(snapshot "$work")
  local table=(
    ""
    "src/a.txt"
    "src/missing.txt dest"
    "src/a.txt src/docs/readme.txt dest"
    "--overwrite=sometimes src/a.txt dest"
    "--parallel --serial src/a.txt dest"
    "--no-such-option src/a.txt dest"
    "--config src/a.txt"
  )
  for args in "${table[@]}"; do
    # shellcheck disable=SC2086
    run --batch $args
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

  QUICKFERRY_PLUGIN=$plugin QUICKFERRY_STAND_IN=list run --batch src/a.txt src/docs dest
  expect "a list: exit 1" same "$status" 1
  expect "tmp: prints the list" same "$(cat "$out" | tr '\n' ' ')" "$work/src/a.txt $work/src/docs "
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

case_batch_interrupt() {
  mkdir -p "$work/src" "$work/dest"
  truncate -s 3G "$work/src/large.bin"
  (cd "$work" && exec "$QF" --batch src/large.bin dest >"$out" 2>"$err" </dev/null) &
  local pid=$!
  for _ in $(seq 100); do
    [ -e "$work/dest/large.bin" ] && break
    sleep 0.1
  done
  kill -INT "$pid"
  wait "$pid"
  status=$?
  expect "an interrupt breaks off: exit 1" same "$status" 1
  expect "it says so" has "$err" "broken off"
  expect "no partial target is left" test ! -e "$work/dest/large.bin"
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
# Waits until the screen shows TEXT (20 s at most).
wait_for() {
  for _ in $(seq 100); do
    screen
    grep -qF -- "$1" "$io/screen" && return 0
    sleep 0.2
  done
  echo "  never saw '$1'; the screen:"
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
launch() { keys "clear; $QF $*; echo EXIT=\$?" Enter; }

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
  expect "the shell is back, exit 0" wait_for "EXIT=0"
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
  expect "the overwrite dialog" wait_for "The destination file already exists:"
  for button in "{ Overwrite }" "[ Skip ]" "[ Append ]" "[ Rename ]"; do
    expect "the button $button" has "$io/screen" "$button"
  done
  keys o  # the Overwrite button's hot key
  expect "the shell is back, exit 0" wait_for "EXIT=0"
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
  expect "the progress box" wait_for "Writing:"
  expect "its reading line" has "$io/screen" "Reading:"
  expect "its title" has "$io/screen" "Copying"
  expect "the window title" title_shows Copying
  keys Escape
  expect "broken off: exit 1" wait_for "EXIT=1"
  expect "it says so" has "$io/screen" "broken off"
  expect "no partial target is left" test ! -e "$work/dest/large.bin"
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
  expect "copied: exit 0" wait_for "EXIT=0"
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
  expect "copied: exit 0" wait_for "EXIT=0"
  expect "the copy" cmp "$work/src/a.txt" "$work/dest/a.txt"
}

if ! declare -f "case_$case_name" >/dev/null; then
  echo "no case '$case_name'"
  exit 2
fi
"case_$case_name"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
