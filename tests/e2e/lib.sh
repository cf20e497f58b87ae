# Shared helpers for the end-to-end tests: run Quorvane in a private tmux
# server, type into it and read its screen back.
set -euo pipefail

E2E_SOCKET="quorvane-e2e-$$"
E2E_DIR=$(mktemp -d)
E2E_SESSION=ui

tmx() { tmux -L "$E2E_SOCKET" "$@"; }

e2e_cleanup() {
  tmx kill-server >/dev/null 2>&1 || true
  rm -rf "$E2E_DIR"
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- screen ---" >&2
  tmx capture-pane -p -t "$E2E_SESSION" >&2 2>/dev/null || true
  exit 1
}

# e2e_start WIDTH HEIGHT COMMAND...: starts a shell in a WIDTH×HEIGHT terminal
# and runs COMMAND in it; the command's exit status goes to $E2E_DIR/status,
# and the terminal settings after it to $E2E_DIR/stty.
e2e_start() {
  local width=$1 height=$2
  shift 2
  printf '%q ' "$@" >"$E2E_DIR/cmd"
  cat >"$E2E_DIR/run.sh" <<RUN
stty -g >"$E2E_DIR/stty.before"
$(cat "$E2E_DIR/cmd")
echo \$? >"$E2E_DIR/status.tmp"
stty -g >"$E2E_DIR/stty"
mv "$E2E_DIR/status.tmp" "$E2E_DIR/status"
exec sleep 600
RUN
  tmx -f /dev/null new-session -d -s "$E2E_SESSION" -x "$width" -y "$height" "bash --norc --noprofile $E2E_DIR/run.sh"
  tmx set-option -t "$E2E_SESSION" status off >/dev/null
}

screen_text() { tmx capture-pane -p -t "$E2E_SESSION"; }

# wait_screen GREP-FLAG PATTERN [SECONDS]: until a line of the screen matches.
wait_screen() {
  local deadline=$((SECONDS + ${3:-10}))
  until screen_text | grep -q "$1" -- "$2"; do
    [ $SECONDS -lt $deadline ] || fail "'$2' did not appear"
    sleep 0.05
  done
}

# wait_for TEXT [SECONDS]: until the screen shows TEXT.
wait_for() { wait_screen -F "$@"; }

# wait_match REGEX [SECONDS]: until a line of the screen matches REGEX.
wait_match() { wait_screen -E "$@"; }

# wait_exit [SECONDS]: until the program has ended; prints its status.
wait_exit() {
  local deadline=$((SECONDS + ${1:-10}))
  until [ -f "$E2E_DIR/status" ]; do
    [ $SECONDS -lt $deadline ] || fail "the program did not end"
    sleep 0.05
  done
  cat "$E2E_DIR/status"
}

send() { tmx send-keys -t "$E2E_SESSION" "$@"; }

# The terminal is as it was before the program: same settings, cursor shown.
assert_terminal_restored() {
  cmp -s "$E2E_DIR/stty.before" "$E2E_DIR/stty" || fail "terminal settings not restored"
  [ "$(tmx display-message -p -t "$E2E_SESSION" '#{cursor_flag}')" = 1 ] || fail "cursor hidden"
}
