#!/usr/bin/env bash
# Without a terminal on standard input or output Quorvane stops at once with a
# clear error and status 1, and leaves the terminal it was started from as it
# was.
source "$(dirname "$0")/lib.sh"
bin=$1

# redirected TEXT SCRIPT: in a terminal, bash runs SCRIPT with the program as $0.
redirected() {
  e2e_start 100 40 bash -c "$2" "$bin"
  local status
  status=$(wait_exit 3)
  [ "$status" = 1 ] || fail "$2: exit status $status, not 1"
  wait_for "❌ TUI Error: $1" 1
  assert_terminal_restored
  echo "ok: $2 → 1"
}

redirected "standard input is not a terminal" '"$0" </dev/null'
redirected "standard output is not a terminal" '"$0" | cat; exit "${PIPESTATUS[0]}"'
