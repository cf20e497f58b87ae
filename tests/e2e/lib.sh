# Shared helpers for the end-to-end tests: run Quorvane in a private tmux
# server, type into it and read its screen back.
set -euo pipefail
# Screen texts are UTF-8; counting their characters needs a UTF-8 locale.
export LC_ALL=C.UTF-8

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
# and the terminal settings after it to $E2E_DIR/stty. Then the shell reads
# one line, as a prompt would, into $E2E_DIR/typed.
e2e_start() {
  tmx kill-server >/dev/null 2>&1 || true
  rm -f "$E2E_DIR"/{status,stty,stty.before,typed,shell.pid}
  local width=$1 height=$2
  shift 2
  printf '%q ' "$@" >"$E2E_DIR/cmd"
  cat >"$E2E_DIR/run.sh" <<RUN
# Ctrl+C and Ctrl+\\ reach this shell too: outlive them to report the status.
trap : INT QUIT
echo \$\$ >"$E2E_DIR/shell.pid"
stty -g >"$E2E_DIR/stty.before"
$(cat "$E2E_DIR/cmd")
echo \$? >"$E2E_DIR/status.tmp"
stty -g >"$E2E_DIR/stty"
mv "$E2E_DIR/status.tmp" "$E2E_DIR/status"
IFS= read -r line
printf '%s\\n' "\$line" >"$E2E_DIR/typed.tmp"
mv "$E2E_DIR/typed.tmp" "$E2E_DIR/typed"
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

# After the program: a line typed at the prompt reaches the shell intact, with
# nothing left over from the program in front of it.
assert_prompt_usable() {
  local line="prompt-check-$RANDOM" deadline=$((SECONDS + 5))
  send -l "$line"
  send Enter
  until [ -f "$E2E_DIR/typed" ]; do
    [ $SECONDS -lt $deadline ] || fail "the shell did not read a typed line"
    sleep 0.05
  done
  [ "$(cat "$E2E_DIR/typed")" = "$line" ] || fail "typed '$line', the shell read '$(cat -v "$E2E_DIR/typed")'"
}

# The process id of the program the shell runs (its only child).
program_pid() {
  local pid="" deadline=$((SECONDS + 10))
  while :; do
    [ -f "$E2E_DIR/shell.pid" ] && pid=$(pgrep -P "$(cat "$E2E_DIR/shell.pid")" | head -n1 || true)
    [ -z "$pid" ] || break
    [ $SECONDS -lt $deadline ] || fail "no program running"
    sleep 0.05
  done
  echo "$pid"
}

# Resident memory of process PID in kB.
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# count_frames SECONDS: how many frames the program draws in that time (each
# frame starts with the top border).
count_frames() {
  tmx pipe-pane -t "$E2E_SESSION" -o "cat >$E2E_DIR/output"
  sleep "$1"
  tmx pipe-pane -t "$E2E_SESSION"
  grep -ao "╭" "$E2E_DIR/output" | wc -l
}

# select_mode INDEX NAME: steps the wait method from the first one to the
# INDEX-th with the m key, until the screen names it.
select_mode() {
  local i
  for ((i = 0; i < $1; i++)); do send m; done
  wait_for "Mode: $2"
}

# The wait methods, in the order the m key steps through them.
E2E_MODES=(Sleep BusyWait HighPrecisionSleep)
