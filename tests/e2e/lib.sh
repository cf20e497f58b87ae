# Shared helpers for the end-to-end tests: run Quorvane in a private tmux
# server, type into it and read its screen back.
set -euo pipefail
# Screen texts are UTF-8; counting their characters needs a UTF-8 locale.
export LC_ALL=C.UTF-8

E2E_SOCKET="quorvane-e2e-$$"
E2E_DIR=$(mktemp -d)
E2E_SESSION=ui

tmx() { tmux -L "$E2E_SOCKET" "$@"; }
send() { tmx send-keys -t "$E2E_SESSION" "$@"; }
screen_text() { tmx capture-pane -p -t "$E2E_SESSION"; }

e2e_cleanup() {
  tmx kill-server >/dev/null 2>&1 || true
  rm -rf "$E2E_DIR"
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- screen ---" >&2
  screen_text >&2 2>/dev/null || true
  exit 1
}

# retry SECONDS WHAT COMMAND...: runs COMMAND until it succeeds; fails with
# "WHAT" if that takes longer than SECONDS.
retry() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "$what"
    sleep 0.05
  done
}

# e2e_start WIDTH HEIGHT COMMAND...: starts a shell in a WIDTH×HEIGHT terminal
# and runs COMMAND in it; the command's exit status goes to $E2E_DIR/status,
# and the terminal settings before and after it to $E2E_DIR/stty.{before,after}.
# Then the shell reads one line, as a prompt would, into $E2E_DIR/typed.
e2e_start() {
  tmx kill-server >/dev/null 2>&1 || true
  rm -f "$E2E_DIR"/{status,stty.*,typed,shell.pid}
  local width=$1 height=$2
  shift 2
  cat >"$E2E_DIR/run.sh" <<RUN
# Ctrl+C and Ctrl+\\ reach this shell too: outlive them to report the status.
trap : INT QUIT
echo \$\$ >"$E2E_DIR/shell.pid"
stty -g >"$E2E_DIR/stty.before"
$(printf '%q ' "$@")
echo \$? >"$E2E_DIR/status.tmp"
stty -g >"$E2E_DIR/stty.after"
mv "$E2E_DIR/status.tmp" "$E2E_DIR/status"
IFS= read -r line
printf '%s\\n' "\$line" >"$E2E_DIR/typed.tmp"
mv "$E2E_DIR/typed.tmp" "$E2E_DIR/typed"
exec sleep 600
RUN
  tmx -f /dev/null new-session -d -s "$E2E_SESSION" -x "$width" -y "$height" "bash --norc --noprofile $E2E_DIR/run.sh"
  tmx set-option -t "$E2E_SESSION" status off >/dev/null
}

screen_has() { screen_text | grep -q "$@"; }
# wait_for TEXT [SECONDS], wait_match REGEX [SECONDS]: until a line of the
# screen shows TEXT or matches REGEX.
wait_for() { retry "${2:-10}" "'$1' did not appear" screen_has -F -- "$1"; }
wait_match() { retry "${2:-10}" "'$1' did not appear" screen_has -E -- "$1"; }

# wait_exit [SECONDS]: until the program has ended; prints its status.
wait_exit() {
  retry "${1:-10}" "the program did not end" test -f "$E2E_DIR/status"
  cat "$E2E_DIR/status"
}

# The terminal is as it was before the program: same settings, cursor shown.
assert_terminal_restored() {
  cmp -s "$E2E_DIR/stty.before" "$E2E_DIR/stty.after" || fail "terminal settings not restored"
  [ "$(tmx display-message -p -t "$E2E_SESSION" '#{cursor_flag}')" = 1 ] || fail "cursor hidden"
}

# quit_with HOW STATUS: a key, or a signal (-TERM) sent to the program, ends
# it promptly with STATUS and the terminal restored.
quit_with() {
  case $1 in
    -*) kill "$1" "$(program_pid)" ;;
    *) send "$1" ;;
  esac
  local status
  status=$(wait_exit 5)
  [ "$status" = "$2" ] || fail "$1: exit status $status, not $2"
  assert_terminal_restored
}

# The process id of the program the shell runs (its only child).
program_pid() { pgrep -P "$(cat "$E2E_DIR/shell.pid")" || fail "no program running"; }

# count_frames SECONDS: how many frames the program draws in that time (each
# frame starts with the top border).
count_frames() {
  tmx pipe-pane -t "$E2E_SESSION" -o "cat >$E2E_DIR/output"
  sleep "$1"
  tmx pipe-pane -t "$E2E_SESSION"
  grep -ao "╭" "$E2E_DIR/output" | wc -l
}

# as_nobody BINARY: a command line that runs a copy of BINARY, out of the
# build folder whose permissions may bar it, as the unprivileged user nobody.
as_nobody() {
  chmod 711 "$E2E_DIR"
  install -D -m 755 "$1" "$E2E_DIR/nobody/quorvane"
  echo setpriv --reuid=nobody --regid=nogroup --clear-groups "$E2E_DIR/nobody/quorvane"
}
