#!/usr/bin/env bash
# Without a terminal on standard input or output Quorvane stops at once with a
# clear error and status 1: it neither hangs nor spins a core. Help and
# version still work through a pipe.
source "$(dirname "$0")/lib.sh"
bin=$1

# run_bounded EXPECTED_STATUS TEXT COMMAND...: runs COMMAND with a time limit;
# it must end with EXPECTED_STATUS, write TEXT on standard output, and use
# little time and CPU.
run_bounded() {
  local expected=$1 text=$2 status=0 spent
  shift 2
  TIMEFORMAT='%R %U %S'
  { time timeout 10 "$@" >"$E2E_DIR/out" 2>"$E2E_DIR/err"; } 2>"$E2E_DIR/time" || status=$?
  [ "$status" != 124 ] || fail "$*: still running after 10 s"
  [ "$status" = "$expected" ] || fail "$*: exit status $status, not $expected"
  grep -qF -- "$text" "$E2E_DIR/out" || fail "$*: '$text' not in its output: $(cat "$E2E_DIR/out")"
  read -r real user sys <"$E2E_DIR/time"
  spent=$(awk -v r="$real" -v u="$user" -v s="$sys" 'BEGIN {print (r < 3 && u + s < 1) ? "ok" : "slow"}')
  [ "$spent" = ok ] || fail "$*: took ${real}s, ${user}s user and ${sys}s system CPU"
  echo "ok: $* → $status in ${real}s"
}

run_bounded 1 "standard input is not a terminal" "$bin" </dev/null
run_bounded 1 "standard input is not a terminal" "$bin" </dev/null -v
run_bounded 0 "Quorvane CLI Version 1.0.1" "$bin" --version </dev/null
run_bounded 0 "Show version and exit" "$bin" --help </dev/null

# redirected LABEL TEXT SCRIPT: in a terminal, bash runs SCRIPT with the
# program as $0 and a file as $1; the program ends with status 1, TEXT shows
# on the screen or in the file, and the terminal is left as it was.
redirected() {
  local status shown
  e2e_start 100 40 bash -c "$3" "$bin" "$E2E_DIR/redirected"
  status=$(wait_exit 5)
  [ "$status" = 1 ] || fail "$1 in a terminal: exit status $status"
  shown=$(screen_text; cat "$E2E_DIR/redirected" 2>/dev/null || true)
  grep -qF "$2" <<<"$shown" || fail "$1 in a terminal: '$2' not shown"
  assert_terminal_restored
  echo "ok: $1 in a terminal → 1"
}

redirected "</dev/null" "❌ TUI Error: standard input is not a terminal" '"$0" </dev/null'
redirected "| cat" "❌ TUI Error: standard output is not a terminal" '"$0" | cat; exit "${PIPESTATUS[0]}"'
redirected ">file" "❌ TUI Error: standard output is not a terminal" '"$0" >"$1"'
