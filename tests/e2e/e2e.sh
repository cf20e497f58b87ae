#!/usr/bin/env bash
# End to end, as a user meets Quorvane: in a real terminal (a private tmux
# server), typed at and read back from the screen.
# Usage: e2e.sh BINARY CASE [ARGS...]; the cases are the case_* functions below.
#
# A case leaves nothing running. Every process it starts carries QUORVANE_E2E
# ("SOCKET script|terminal BINARY") in its environment, through tmux, wine and
# setpriv alike, so it is found again when its parent is gone. The program
# must have ended before a new terminal and at the end, or the case fails; the
# rest is ended and waited for. `leftovers`, run last, fails on what is left.
set -euo pipefail
export LC_ALL=C.UTF-8 # screen texts are UTF-8

# ctest ends a case at its TIMEOUT (QUORVANE_E2E_TIMEOUT) by SIGKILL, which no
# trap sees: the case stops itself a margin earlier by a TERM its trap answers.
if [ -n "${QUORVANE_E2E_TIMEOUT:-}" ]; then
  margin=$((QUORVANE_E2E_TIMEOUT / 4 < 30 ? QUORVANE_E2E_TIMEOUT / 4 : 30))
  deadline=$((QUORVANE_E2E_TIMEOUT - margin))
  unset QUORVANE_E2E_TIMEOUT
  exec timeout --signal=TERM --kill-after=$((margin / 2 + 1)) "$deadline" "$0" "$@"
fi

bin=$1 case=$2
shift 2
sock="quorvane-e2e-$$" dir=$(realpath "$(mktemp -d)") cleanups=()
bin_real=$(realpath -m -- "$bin")
export QUORVANE_E2E="$sock script $bin_real"
tmx() { tmux -L "$sock" "$@"; }
send() { tmx send-keys -t ui "$@"; }
screen_text() { tmx capture-pane -p -t ui; }

# mark_of PID: its QUORVANE_E2E into $mark; empty if none or ended (a zombie has no environment).
mark_of() {
  local entry environment=()
  mark=
  { mapfile -d '' environment <"/proc/$1/environ"; } 2>/dev/null || return 0
  for entry in "${environment[@]}"; do
    [[ $entry != QUORVANE_E2E=* ]] || { mark=${entry#*=} && return 0; }
  done
}
# marked PREFIX SUFFIX: the processes (this shell aside) whose QUORVANE_E2E
# starts with PREFIX and ends with SUFFIX, into found (and marks[PID]).
declare -A marks=()
marked() {
  local p
  found=() && marks=()
  for p in /proc/[1-9]*; do
    p=${p#/proc/}
    [ "$p" != $$ ] && [ "$p" != "$BASHPID" ] || continue
    mark_of "$p"
    [[ -n $mark && $mark == "$1"* && $mark == *"$2" ]] || continue
    found+=("$p") && marks[$p]=$mark
  done
}
# still_ours PID...: true while any runs with the mark it was found with (a
# number freed and taken again is someone else's).
still_ours() {
  local p
  for p; do
    mark_of "$p"
    [ -z "$mark" ] || [ "$mark" != "${marks[$p]:-}" ] || return 0
  done
  return 1
}
describe() { [ $# = 0 ] || ps -o pid=,args= -p "$(IFS=, && echo "$*")" 2>/dev/null | sed 's/^ *//' | paste -sd ';'; }
# end PID... (found by `marked`): the tmux servers last, so that the programs
# in their terminals end first. end_now sends TERM and HUP (and CONT, for the
# stopped), and KILL to what is still there five seconds later; each waited for.
end() {
  local p comm servers=() others=()
  for p; do
    comm= && { read -r comm <"/proc/$p/comm"; } 2>/dev/null || true
    [ "$comm" = "tmux: server" ] && servers+=("$p") || others+=("$p")
  done
  end_now "${others[@]}"
  end_now "${servers[@]}"
}
end_now() {
  local signals signal p deadline
  for signals in "TERM HUP CONT" KILL; do
    for signal in $signals; do
      for p; do ! still_ours "$p" || kill -s "$signal" "$p" 2>/dev/null || true; done
    done
    deadline=$((SECONDS + 5))
    while still_ours "$@"; do [ $SECONDS -lt $deadline ] || continue 2 && sleep 0.05; done
    return 0
  done
  echo "e2e: will not end: $(describe "$@")" >&2
}
# end_terminal: before a new terminal and after the case, the program has ended
# (the binary, its copy run as nobody, or what names it as its program: under
# wine the .exe's process), or the case fails; the rest there is ended.
end_terminal() {
  local p exe argv left=()
  marked "$sock " ""
  for p in "${found[@]}"; do
    exe=$(readlink "/proc/$p/exe" 2>/dev/null) || continue
    argv=() && { mapfile -d '' argv <"/proc/$p/cmdline"; } 2>/dev/null || continue
    case ${exe% (deleted)}:${argv[0]:-} in
      "$bin_real":* | "$dir/nobody/quorvane":* | *:"$bin" | *:"$bin_real") left+=("$p") ;;
    esac
  done
  [ ${#left[@]} = 0 ] || fail "left running: $(describe "${left[@]}")"
  marked "$sock terminal " ""
  end "${found[@]}"
}
# in_background COMMAND...: a job the clean-up ends and waits for, if need be.
in_background() { "$@" & cleanups+=("end_job $!"); }
end_job() {
  marked "$sock " ""
  [ -z "${marks[$1]:-}" ] || end "$1"
  wait "$1" 2>/dev/null || true
}

# On exit, by any path: the background jobs, then everything else the run
# started, each waited for; what could not be ended fails the case.
finish() {
  local status=$? c
  trap '' TERM INT HUP
  set +e
  for c in "${cleanups[@]}"; do eval "$c"; done
  marked "$sock " ""; end "${found[@]}"
  marked "$sock " ""
  if [ ${#found[@]} = 0 ]; then rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$sock" # a tmux server leaves it
  else echo "FAIL: still running: $(describe "${found[@]}")" >&2 && status=1; fi
  rm -rf "$dir"
  exit "$status"
}
trap finish EXIT
trap 'echo "FAIL: stopped by SIGTERM (the case'"'"'s deadline?)" >&2; exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

fail() { printf 'FAIL: %s\n--- screen ---\n%s\n' "$*" "$(screen_text 2>/dev/null)" >&2 && exit 1; }
retry() { # SECONDS WHAT COMMAND...: until COMMAND succeeds, or fail with WHAT
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do [ $SECONDS -lt $deadline ] || fail "$what" && sleep 0.05; done
}
screen_has() { screen_text | grep -q "$@"; }
wait_for() { retry "${2:-10}" "'$1' did not appear" screen_has -F -- "$1"; }
wait_match() { retry "${2:-10}" "'$1' did not appear" screen_has -E -- "$1"; }

# start WIDTH HEIGHT COMMAND...: a shell in a WIDTH×HEIGHT terminal runs COMMAND,
# writes its status and the terminal settings (before and after), then reads a line.
start() {
  end_terminal
  rm -f "$dir"/{status,stty.*,typed,shell.pid}
  local width=$1 height=$2 && shift 2
  cat >"$dir/run.sh" <<RUN
trap : INT QUIT # outlive Ctrl+C and Ctrl+\\ to report the status
echo \$\$ >"$dir/shell.pid"
stty -g >"$dir/stty.before"
$(printf '%q ' "$@")
echo \$? >"$dir/status.tmp" && stty -g >"$dir/stty.after" && mv "$dir/status.tmp" "$dir/status"
IFS= read -r line && printf '%s\\n' "\$line" >"$dir/typed"
exec sleep 600
RUN
  QUORVANE_E2E="$sock terminal $bin_real" tmx -f /dev/null new-session -d -s ui -x "$width" -y "$height" \
    "bash --norc --noprofile $dir/run.sh"
  tmx set-option -t ui status off >/dev/null
}

program_pid() { pgrep -P "$(cat "$dir/shell.pid")" || fail "no program running"; }
wait_exit() { retry "${1:-10}" "the program did not end" test -f "$dir/status" && cat "$dir/status"; }
assert_restored() {
  cmp -s "$dir/stty.before" "$dir/stty.after" || fail "terminal settings not restored"
  [ "$(tmx display-message -p -t ui '#{cursor_flag}')" = 1 ] || fail "cursor hidden"
}
# quit_with KEY|-SIGNAL STATUS: the program ends promptly with STATUS, the
# terminal restored, and a line typed after it reaches the shell.
quit_with() {
  case $1 in -*) kill "$1" "$(program_pid)" ;; *) send "$1" ;; esac
  local status && status=$(wait_exit 5)
  [ "$status" = "$2" ] || fail "$1: exit status $status, not $2"
  assert_restored
  send -l "typed-$$" && send Enter
  retry 5 "the shell did not read a typed line" test -f "$dir/typed"
  [ "$(cat "$dir/typed")" = "typed-$$" ] || fail "the shell read '$(cat -v "$dir/typed")'"
}

number() { screen_text | grep -oE -- "$1: [0-9]+" | head -1 | grep -oE '[0-9]+$'; }
has_samples() { [ "$(number Samples)" -ge "$1" ] 2>/dev/null; }
wait_samples() { retry 10 "fewer than $1 samples" has_samples "$1"; }
as_nobody() { # BINARY: a command line running a copy of it as user nobody
  chmod 711 "$dir"
  install -D -m 755 "$1" "$dir/nobody/quorvane"
  echo setpriv --reuid=nobody --regid=nogroup --clear-groups "$dir/nobody/quorvane"
}
threads_of() { find /proc/"$1"/task -mindepth 1 -maxdepth 1 | wc -l; }
threads_are() { [ "$(threads_of "$2")" = "$1" ]; } # COUNT PID
# exits STATUS COMMAND...: COMMAND ends with STATUS, its output in $dir/out and $dir/err.
exits() {
  local want=$1 status && shift
  "$@" </dev/null >"$dir/out" 2>"$dir/err" && status=0 || status=$?
  [ "$status" = "$want" ] || fail "$*: status $status, not $want: $(head -c 2000 "$dir/err")"
}
# metrics FILE PATTERN...: OpenMetrics that promtool takes, ending in # EOF, a line starting with each PATTERN.
metrics() {
  local file=$1 p && shift
  for p; do grep -q "^$p" "$file" || fail "no $p: $(cat "$file")"; done
  [ "$(tail -n1 "$file")" = "# EOF" ] && promtool check metrics <"$file" || fail "$(cat "$file")"
}
# refused SAYS ARGS...: refused before anything starts: status 2, one line
# "quorvane: SAYS...", no output, no thread (strace sees no clone; LeakSanitizer
# cannot work under a tracer), no file $dir/unwritten*.
refused() {
  local says=$1 && shift
  exits 2 env ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -qq -e trace=clone,clone3 -o "$dir/strace" \
    "$bin" "$@"
  [ "$(wc -l <"$dir/err")" = 1 ] && [ ! -s "$dir/out" ] && [[ $(<"$dir/err") == "quorvane: $says"* ]] ||
    fail "$*: said $(cat "$dir/err")"
  ! grep -q clone "$dir/strace" && ! compgen -G "$dir/unwritten*" >/dev/null ||
    fail "$*: a thread started, or a file was written: $(cat "$dir/strace")"
}

# The arrows step "Current", the sampling thread's slack, where it has any (a
# real-time thread, as root, has none and gets none).
check_arrows() {
  current=$(number Current)
  for step in Up:1 Down:0 C-Up:100 C-Down:0; do
    send "${step%:*}" && [ "$current" != 0 ] || sleep 0.2 # the steps of none are none
    wait_for "Current: $((current + (current ? ${step#*:} : 0))) μs"
  done
}

# A key of each kind, as a terminal sends it, has its effect (each key's own
# are the unit tests'); with every core busy a key is answered within two
# seconds and the count keeps rising; the mouse is left to the terminal.
# Then as an ordinary user (where this is root), in a condition: the priority
# refused, it works all the same, the arrows change the slack, the measuring
# thread alone is kept to its CPU with one load thread beside; with -v, the
# lines logged while the screen was up come after it, in order, none in a frame.
case_keys() {
  command -v stress-ng >/dev/null || fail "stress-ng is not installed (scripts/deps.sh installs it)"
  local i before threads pid hogs all run=("$bin")
  start 100 40 "$bin"
  wait_for "Status: 🟢 Running"
  [ "$(tmx display-message -p -t ui '#{mouse_any_flag}')" = 0 ] || fail "the mouse is tracked"
  wait_samples 100 # three digits: any count of two is one after the clear
  threads=$(threads_of "$(program_pid)")
  send m && wait_for "Mode: BusyWait " && wait_match "Samples: [0-9]{1,2} "
  in_background stress-ng --cpu "$(nproc)" --timeout 60s --quiet && hogs=$!
  for i in 1 2; do # well below the 500 the buffer keeps
    before=$(number Samples)
    retry 3 "the sample count stopped at $before" has_samples $((before + 20))
  done
  send f && retry 2 "f was not answered within two seconds" screen_has -F "Filter [IQR]"
  send s && wait_for "Status: 🔴 Stopped"
  [ "$(id -u)" != 0 ] || wait_for "Current: 0 μs" # as root the thread is real-time: no slack
  check_arrows
  quit_with q 0
  end_job "$hogs"
  [ "$(id -u)" != 0 ] || read -ra run <<<"$(as_nobody "$bin")"
  start 100 40 "${run[@]}" -v --method sleep --load 1 --cpu 0
  wait_for "Mode: Sleep load 1, CPU 0" && wait_samples 20 && pid=$(program_pid)
  [ "$(stat -c %u "/proc/$pid")" != 0 ] || fail "running as root"
  # Every thread at nice 0 and the normal policy, where the limits allow no more.
  [ "$(ulimit -e)$(ulimit -r)" != 00 ] || ! awk '{print $19, $41}' /proc/"$pid"/task/*/stat | grep -qv "^0 0$" ||
    fail "a thread got a raised priority"
  [ "$(grep -l '^Cpus_allowed_list:[[:space:]]*0$' /proc/"$pid"/task/*/status | wc -l)" = 1 ] ||
    fail "not the measuring thread alone kept to CPU 0"
  threads_are $((threads + 1)) "$pid" || fail "$(threads_of "$pid") threads, not $threads and one load thread"
  [ "$(number Current)" -gt 0 ] || fail "a normal thread without slack" && check_arrows
  quit_with q 0
  all=$(tmx capture-pane -p -S - -t ui)
  [ "$(grep -c "╭" <<<"$all")" = 1 ] || fail "log lines were written into the frame"
  [ "$(sed -n '/╰/,$p' <<<"$all" | grep -oE 'New Resolution: [0-9]+' | grep -oE '[0-9]+$' | xargs)" = \
    "$((current + 1)) $current $((current + 100)) $current" ] || fail "the debug lines are not all after the frame, in order"
}

# Every way of ending it while it samples, in every wait method (a thread left
# unjoined would abort): the status documented, the terminal as it was. Only
# the interface thread takes the stop signals (hang-up, interrupt, quit,
# termination: mask bits 0, 1, 2, 14), so that none cuts a wait short.
case_stop() {
  local modes=(Sleep BusyWait HighPrecisionSleep) how i m pid task
  for i in 0 1 2; do
    for how in q:0 C-c:130 -TERM:143 'C-\:131'; do
      [ "$i" = 0 ] || [ "${how%:*}" != 'C-\' ] || continue
      start 100 40 "$bin" && wait_for "Status: 🟢 Running"
      for ((m = 0; m < i; m++)); do send m; done
      wait_for "Mode: ${modes[i]} "
      [ "$i$how" != 0q:0 ] || { send s s && sleep 0.3 && wait_for "Status: 🟢 Running"; } # a thread started anew
      pid=$(program_pid)
      for task in /proc/"$pid"/task/*; do
        [ $((0x$(awk '/^SigBlk:/ {print $2}' "$task/status") & 0x4007)) = $([ "${task##*/}" = "$pid" ] && echo 0 ||
          echo $((0x4007))) ] || fail "thread ${task##*/} has the wrong stop signals blocked"
      done
      quit_with "${how%:*}" "${how#*:}"
      echo "ok: ${modes[i]}, ${how%:*} → ${how#*:}"
    done
  done
}

no_suspension_measured() { # the longest wait is no suspension of 200 ms or more
  [ "$(number Max)" -lt 150000 ] || fail "a suspension was measured as a wait: Max $(number Max) μs"
}
# Ctrl+Z leaves the terminal as it was; after fg it draws again, even with
# nothing changed, counts no wait it was stopped in, and Ctrl+C ends it (130).
# Killed suspended or in the background, it leaves the terminal as it was.
# Stopped and continued from outside it measures no suspension and restores
# the terminal it found; an interrupt ignored at start stays ignored.
case_suspend() {
  start 100 40 bash --norc --noprofile -i
  send "PS1='$ '; stty -g >$dir/before; $bin" Enter
  wait_for "Status: 🟢 Running" && send C-z && wait_for "Stopped" && sleep 1
  send "stty -g >$dir/stopped; fg" Enter
  wait_for "Status: 🟢 Running" && sleep 0.3 && no_suspension_measured
  send s && wait_for "Status: 🔴 Stopped" && send C-z
  retry 5 "Ctrl+Z left the frame on screen" eval '! screen_has -F "Status: 🔴 Stopped"'
  send clear Enter && send fg Enter && wait_for "Status: 🔴 Stopped" && send C-c
  retry 5 "Ctrl+C after fg did not end it" eval "! pgrep -xf '$bin' >/dev/null" && sleep 0.2
  send "echo \"status \$?\"; stty -g >$dir/after" Enter && wait_match "^status [0-9]+"
  [ "$(screen_text | grep -oE "^status [0-9]+" | tail -n1)" = "status 130" ] || fail "Ctrl+C after fg"
  cmp -s "$dir/before" "$dir/stopped" || fail "terminal not restored while stopped"
  cmp -s "$dir/before" "$dir/after" || fail "terminal not restored after Ctrl+C"
  local how i pid
  for how in Ctrl+Z background; do
    rm -f "$dir/after" && send clear Enter && send "$bin$([ $how = background ] && echo ' &')" Enter
    [ $how = background ] || { wait_for "Status: 🟢 Running" && send C-z && wait_for "Stopped"; }
    sleep 0.5 && send "kill %1; sleep 0.5; stty -g >$dir/after" Enter
    retry 5 "$how: not ended by kill %1" screen_has -E "Terminated +$bin"
    retry 5 "the shell did not go on" test -s "$dir/after"
    cmp -s "$dir/before" "$dir/after" || fail "$how: terminal not restored after kill %1"
  done
  start 100 40 bash -c 'trap "" INT; exec "$0"' "$bin"
  wait_for "╭" && pid=$(program_pid)
  # A step is one wait of 1 ms and a pause of 5: it takes many stops to stop a wait.
  for i in $(seq 30); do kill -STOP "$pid" && sleep 0.2 && kill -CONT "$pid" && sleep 0.05; done
  sleep 0.1 && no_suspension_measured && send C-c && sleep 0.5
  [ ! -f "$dir/status" ] || fail "an ignored interrupt ended the program"
  quit_with q 0
}

# Without a terminal it stops at once, status 1, with a clear error (on standard
# error too); a version text it cannot write is an error too, not a success.
case_no_terminal() {
  local how
  for how in 'input:"$0" </dev/null' 'output:"$0" >/dev/null' 'output:"$0" >&-'; do
    start 100 40 bash -c "${how#*:}" "$bin"
    [ "$(wait_exit 3)" = 1 ] || fail "${how#*:}: status not 1"
    wait_for "standard ${how%%:*} is not a terminal; Quorvane is interactive" 1
    assert_restored
  done
  for how in '>/dev/full:No space left on device' '>&-:Bad file descriptor'; do
    [ "$(bash -c "\"\$0\" --version ${how%%:*} 2>$dir/err; echo \$?" "$bin")" = 1 ] &&
      [ "$(cat "$dir/err")" = "quorvane: cannot write to standard output: ${how#*:}" ] ||
      fail "--version ${how%%:*}: said '$(cat "$dir/err")'"
  done
}

# Its terminal closed under it with the hang-up ignored (a trap, a session of
# its own), it ends within two seconds with status 1, not spinning on its end
# of input; with the hang-up caught, 129. (The session's shell dies of the
# hang-up, as a terminal's does; the one below it reports the status.)
case_vanish() {
  local how
  for how in "trap '' HUP;:1" "exec setsid:1" ":129"; do
    end_terminal && rm -f "$dir/status"
    cat >"$dir/vanish.sh" <<RUN
trap '' HUP
(trap - HUP; ${how%:*} $(printf '%q' "$bin"))
echo \$? >"$dir/status.tmp" && mv "$dir/status.tmp" "$dir/status"
RUN
    QUORVANE_E2E="$sock terminal $bin_real" tmx -f /dev/null new-session -d -s ui -x 100 -y 40 \
      "sh -c 'sh $dir/vanish.sh; true'"
    wait_for "Status: 🟢 Running" && tmx kill-session -t ui
    retry 2 "${how%:*}: still running two seconds after its terminal closed" test -f "$dir/status"
    [ "$(cat "$dir/status")" = "${how#*:}" ] || fail "${how%:*}: status $(cat "$dir/status"), not ${how#*:}"
  done
}

# Started at 20×5 to 300×100, and resized, sampling or stopped: the frame spans
# the width with both borders on screen, and redrawing scrolls nothing (a frame
# drawn as the terminal changed may scroll once).
frame_is() { # both borders of the newest frame on screen, WIDTH cells wide
  [ "$(screen_text | awk '/╭/ {top = $0} /╰/ {print top; print}' | tail -n2 | while read -r l; do echo ${#l}; done |
    uniq)" = "$1" ]
}
expect_frame() {
  retry 5 "the frame is not $1 wide with both borders on screen" frame_is "$1"
  local history deadline=$((SECONDS + 5))
  until history=$(tmx display-message -p -t ui '#{history_size}') && sleep 0.5 &&
    [ "$(tmx display-message -p -t ui '#{history_size}')" = "$history" ]; do
    [ $SECONDS -lt $deadline ] || fail "each frame scrolls the terminal"
  done
}
case_sizes() {
  local size
  for size in 20x5 300x100; do
    start "${size%x*}" "${size#*x}" "$bin" && expect_frame "${size%x*}" && quit_with q 0
  done
  start 100 40 "$bin"
  for size in 20x5 300x100 80x24 45x35 180x35 110x35 s 90x35 90x30; do # s: stopped, nothing else changes
    [ "$size" != s ] || { send s && wait_for "Status: 🔴 Stopped" && continue; }
    tmx resize-window -t ui -x "${size%x*}" -y "${size#*x}" && expect_frame "${size%x*}"
  done
  quit_with q 0
}

# The report without a terminal: a table, JSON, nothing on standard error. In
# one a progress line shows meanwhile, cut to the width, never from the
# background; Ctrl+C, after a Ctrl+Z, prints what was measured, marked.
case_report() {
  exits 0 "$bin" --report --samples 20
  [ ! -s "$dir/err" ] && grep -qE "^HighPrecisionSleep +20 " "$dir/out" || fail "$(cat "$dir/err" "$dir/out")"
  case_report_json
  start 100 40 bash --norc --noprofile -i # with job control, for Ctrl+Z
  send "PS1='$ '; $bin --report --samples 100000" Enter && wait_match "Measuring 100000 each: Sleep [1-9]"
  send C-z && wait_for "Stopped" && send fg Enter && sleep 0.5 && send C-c
  wait_match "^BusyWait +[1-9]" && wait_for "Interrupted"
  send 'echo "status $?"' Enter && wait_for "status 130"
  send clear Enter && send "$bin --report --samples 100000 >/dev/null & sleep 1; echo waited" Enter
  wait_for waited && sleep 0.5 && ! screen_has Measuring || fail "progress drawn from the background"
  send "kill %1; wait %1; echo \"ended \$?\"" Enter && wait_for "ended 143"
  start 20 10 "$bin" --report --samples 60 --method sleep,busywait
  wait_for "Measuring 60 each:" && wait_exit 10 >/dev/null
  [ "$(tmx capture-pane -p -S - -t ui | grep -c Measuring)" -le 1 ] || fail "the progress line wrapped"
}

# Which wait to use at 2 ms: what each method costs in CPU, Hybrid never early
# and on time; CPU figures the kernel's count agrees with; fallbacks counted.
case_choice() {
  local root=false kernel waits
  exits 0 "$bin" --report --json --method all --interval 2000 --samples 200 --within 20
  [ "$(id -u)" != 0 ] || root=true # as root the measuring thread is real-time: Hybrid is on time
  jq -e --argjson root $root '.methods as $m | ($m | length) == 5 and all($m[]; .interval == 2000 and .fallbacks == 0)
    and ([$m[].cpu_percent] | . as [$sleep, $busy, $timer, $hr, $hybrid] |
      $busy >= 85 and $sleep <= 15 and $hr <= 15 and $hybrid < $busy)
    and ($m[4] | .early == 0 and .min >= 2000 and (($root | not) or .p50 - 2000 <= 15))
    and (.within.choices | length) == 1' "$dir/out" >/dev/null ||
    fail "$(jq -c '.methods[] | [.method, .p50, .p99, .min, .early, .cpu_percent]' "$dir/out")"
  kernel=$( (TIMEFORMAT=%U+%S && time "$bin" --report --json --method busywait --interval 2000 --samples 300 \
    </dev/null >"$dir/json") 2>&1 | bc)
  waits=$(jq '.methods[0] | .cpu_percent / 100 * .avg * .samples / 1000000' "$dir/json")
  echo "process $kernel s, waits $waits s"
  [ "$(echo "$kernel >= $waits * 0.9 && $kernel <= $waits * 1.25" | bc)" = 1 ] || fail "CPU: kernel $kernel s, waits $waits s"
  exits 0 env ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -o /dev/null \
    -e inject=timerfd_create:error=EMFILE "$bin" --report --json --method timer --samples 40
  jq -e '.methods[0].fallbacks == 40' "$dir/out" >/dev/null || fail "fallbacks: $(cat "$dir/out")"
}

# Against a saved run: the table, a gate on p99, the baseline's text shown as
# text, never as control codes; a gate that compared nothing has not passed,
# as the metrics say. Files that are no report as the file system gives them
# (what a file holds is the reader's unit test).
case_compare() {
  local f
  "$bin" --report --json --method sleep,busywait --samples 50 </dev/null >"$dir/base.json"
  jq '.methods[].p99 = 1 | .version = "1\u001b]0;owned\u0007\nSleep forged"' "$dir/base.json" >"$dir/low.json"
  exits 3 "$bin" --report --method sleep,busywait --samples 50 --compare "$dir/low.json" --max-regression 5
  [ "$(grep -c "p99 rose by" "$dir/err")" = 2 ] && grep -qE "^Sleep +p50 " "$dir/out" &&
    grep -qE "^BusyWait +p50 " "$dir/out" && ! grep -q $'\e' "$dir/out" &&
    grep -qF '(Quorvane 1\x1b]0;owned\x07\x0aSleep forged)' "$dir/out" || fail "$(cat -v "$dir/err" "$dir/out")"
  exits 3 "$bin" --report --format openmetrics --method hybrid --resolution 100,200 --within 50 --samples 20 \
    --compare "$dir/base.json" --max-regression 0
  [ "$(wc -l <"$dir/err")" = 1 ] && grep -q "^quorvane: nothing was compared with" "$dir/err" || fail "$(cat "$dir/err")"
  metrics "$dir/out" 'quorvane_baseline_compared 0$' 'quorvane_within_cheapest{method="Hybrid",interval="1000",resolution="200",'
  python3 -c 'print("[" * 100000)' >"$dir/nested.json"
  truncate -s 1G "$dir/sparse.json" && mkdir "$dir/folder.json"
  for f in "$dir/missing.json" "$dir/nested.json" "$dir/sparse.json" /dev/zero "$dir/folder.json"; do
    refused "--compare $f: " --report --compare "$f"
  done
}

# Conditions: bad ones refused before a thread starts; the CPUs the process may
# use as the kernel says, each kept to; metrics by condition; a load a normal
# thread feels; no load thread left by a signal or a failed write.
case_conditions() {
  local args option labels='interval="1000",resolution="default",priority="raised",load="1",cpu="0"'
  for args in "--load 257" "--cpu 99" "--priority fast" "--report --load 1,,2" "--report --cpu 99" \
    "--report --priority fast"; do
    option=${args##*--} && option=${option%% *}
    # shellcheck disable=SC2086 # the words are options
    refused "--$option: " $args
  done
  [ "$(nproc)" -lt 2 ] || { exits 2 taskset -c 0 "$bin" --report --cpu 1 && [ "$(cat "$dir/err")" = \
    "quorvane: --cpu: CPU 1 is not one this process may use; it may use CPUs 0" ] || fail "$(cat "$dir/err")"; }
  case_report_conditions
  jq -e --argjson n "$(nproc)" '(.usable_cpus | length) == $n' "$dir/json" >/dev/null || fail "not every CPU usable"
  # As metrics compared with that report by every key, as promtool takes them.
  exits 0 "$bin" --report --format openmetrics --method sleep,busywait --samples 20 --load 0,1 --cpu 0 --within 50 \
    --compare "$dir/json"
  metrics "$dir/out" "quorvane_load_cpu_ratio{$labels} " "quorvane_wait_migrations{method=\"BusyWait\",$labels} 0$" \
    "quorvane_baseline_wait_seconds{method=\"Sleep\",$labels,statistic=\"p99\"} " 'quorvane_baseline_compared 1$' \
    'quorvane_within_cheapest{' 'quorvane_wait_duration_seconds{.*quantile="0.99"}'
  conditions_under_load
  conditions_signals
}

# At normal priority, as an ordinary user, four busy threads a CPU make a
# sleeping thread wait for its turn; the kernel counts at least the CPU time
# the load threads say they had. (With two a CPU the scheduler still wakes
# the sleeper at once nearly always, so its p99 rests on a few waits.)
conditions_under_load() {
  [ "$(id -u)" = 0 ] || { echo "skipped under load: changing user needs root" && return; }
  local run kernel used load=$((4 * $(nproc)))
  run=$(as_nobody "$bin")
  # shellcheck disable=SC2086 # a command line
  kernel=$( (TIMEFORMAT=%U+%S && time $run --report --json --priority normal --load 0,$load \
    --method sleep,busywait,hybrid --samples 200 </dev/null >"$dir/json") 2>&1 | bc)
  jq -c '.methods[] | [.method, .load, .p50, .p99, .max, .cpu_percent, .load_cpu_percent, .migrations]' "$dir/json"
  jq -e --argjson load $load '.priority == {"process": false, "thread": false}
    and all(.methods[]; .priority_granted == null)
    and (.methods | map(select(.method == "Sleep"))) as [$idle, $loaded]
    | $idle.load == 0 and $loaded.load == $load and $loaded.p99 > 1.5 * $idle.p99' "$dir/json" >/dev/null ||
    fail "the loaded Sleep's p99 is not well above the idle one's"
  # The load ran at least as long as its waits (each of 1 ms or more, so a
  # step each) and the 5 ms pause after each; its threads were on a CPU for
  # their share of that.
  used=$(jq --argjson load $load '[.methods[] | select(.load == $load)]
    | (.[0].load_cpu_percent / 100 * $load) as $cpus
    | [.[] | .samples * (.avg + 5000) / 1000000 * $cpus] | add' "$dir/json")
  echo "process $kernel s, the load's at least $used s"
  [ "$(echo "$kernel >= $used && $used > 0" | bc)" = 1 ] || fail "process CPU $kernel s, the load's $used s"
  jq -e --argjson load $load '[.methods[] | select(.load == $load)][0].load_cpu_percent * $load >= 25' \
    "$dir/json" >/dev/null || fail "the load threads were hardly on a CPU"
}

# A stop signal ends the load with the measuring: while the report so far,
# marked interrupted, waits to be written (into a full pipe), the process has
# no other thread left, and it ends by the signal. A failed write ends it too.
conditions_signals() {
  local signal status keep pid threads
  mkfifo "$dir/out.fifo"
  for signal in TERM:143 INT:130 HUP:129; do
    exec {keep}<>"$dir/out.fifo" # opened both ways: a writer never waits to open it
    head -c 65536 /dev/zero >"$dir/out.fifo" # the pipe is full
    # (A script's background job starts with interrupts ignored.)
    in_background env --default-signal=INT "$bin" --report --json --load 4 --samples 100000 --method sleep </dev/null \
      >"$dir/out.fifo" 2>/dev/null
    pid=$! && sleep 1.5
    threads=$(threads_of $pid) # the main thread, the measuring thread, its controller, the load (a sanitizer's too)
    [ "$threads" -ge 7 ] || fail "no load threads running"
    kill -s "${signal%:*}" $pid
    retry 5 "SIG${signal%:*}: threads left" threads_are $((threads - 6)) $pid # the main thread waits to write
    { timeout 2 cat <&$keep || true; } | tr -d '\0' >"$dir/json"
    exec {keep}<&-
    wait $pid && status=0 || status=$?
    [ "$status" = "${signal#*:}" ] && jq -e .interrupted "$dir/json" >/dev/null ||
      fail "SIG${signal%:*}: status $status, $(head -c 300 "$dir/json")"
  done
  "$bin" --report --load 2 --samples 30 --method sleep </dev/null >/dev/full 2>"$dir/err" && status=0 || status=$?
  [ "$status" = 1 ] && grep -q "No space left on device" "$dir/err" || fail "/dev/full: status $status"
}

# The JSON report as a program reads it; ARGS run the binary (wine for Windows).
case_report_json() {
  "$@" "$bin" --report --samples 200 --method all --json </dev/null >"$dir/json" || fail "JSON report: status $?"
  jq -e '.file_version == 2 and .interrupted == false and .interval == 1000
    and [.methods[].method] == ["Sleep", "BusyWait", "HighPrecisionSleep", "HighResolutionTimer", "Hybrid"]
    and .methods[1].min >= 1000 and .methods[4].min >= 1000
    and all(.methods[]; . as $m | .samples == 200 and ([.histogram[]] | add) == 200 and has("cpu_percent")
      and (.fallbacks | type) == "number" and all(.p50, .p90, .p99, .p999; $m.min <= . and . <= $m.max))' \
    "$dir/json" >/dev/null || fail "$(cat "$dir/json")"
}

# A run of a set duration with -o as a fleet reads it (ARGS run the binary,
# wine for Windows): its file, opened afresh all the while, always parses and
# is partial until the end; three windows per method; spikes in order.
long_run_read() {
  local f=$dir/soak.json pid reads=0 partials=0
  in_background "$@" "$bin" --report --json --method sleep,busywait --duration 6s --window 2s --spike 0 -o "$f" \
    </dev/null >"$dir/out" 2>"$dir/err" && pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    cat "$f" >"$dir/copy" 2>/dev/null || continue
    jq -e . "$dir/copy" >/dev/null 2>&1 || fail "a reader found half a report: $(tail -c 200 "$dir/copy")"
    reads=$((reads + 1)) && ! grep -q '"partial": true' "$dir/copy" || partials=$((partials + 1))
  done
  echo "read $reads times, $partials partial"
  wait "$pid" || fail "status $?: $(cat "$dir/err")"
  [ ! -s "$dir/out" ] && [ "$partials" -gt 0 ] || fail "no partial report read, or output on standard output"
  jq -e '.partial == false and .duration == 6 and .window == 2 and .samples_per_method == null
    and all(.methods[]; (.timeline | length) == 3 and ([.timeline[].count] | add) == .samples)
    and .spikes.count > 0 and (.spikes.kept | map(.time) | . == sort)' "$f" >/dev/null ||
    fail "$(jq -c '.methods[] | [.method, .samples, [.timeline[].count]]' "$f")"
}

# Runs of a set duration: read while they go on; metrics promtool takes; an
# --output no file can be refused; spikes under load at normal priority; as
# root, a full disk leaves the file whole, and spikes reach the kernel's trace.
case_long_run() {
  local status hogs run=("$bin")
  long_run_read
  exits 0 "$bin" --report --format openmetrics --method sleep --duration 2s --window 1s --spike 0 -o "$dir/r.prom"
  metrics "$dir/r.prom" 'quorvane_report_partial 0$' 'quorvane_window_wait_seconds{' 'quorvane_spikes{'
  touch "$dir/plain" && refused "--output $dir/plain/r.json: cannot be written" --report --duration 1s -o "$dir/plain/r.json"
  # Under four CPU hogs a CPU a thread at normal priority wakes late, often (with
  # two a CPU, a few times in five seconds, and at times never).
  in_background stress-ng --cpu $((4 * $(nproc))) --timeout 20s --quiet && hogs=$!
  [ "$(id -u)" != 0 ] || read -ra run <<<"$(as_nobody "$bin")"
  exits 0 "${run[@]}" --report --json --method sleep --duration 5s --window 1s --spike 500
  jq -e '.priority.thread == false and .spikes.count > 0 and (.spikes.kept | map(.time) | . == sort)
    and all(.spikes.kept[]; .us > 1500 and .cpu >= 0)' "$dir/out" >/dev/null ||
    fail "spikes under load: $(jq -c '.priority, (.spikes | del(.kept))' "$dir/out")"
  end_job "$hogs"
  [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null ||
    { echo "skipped: a full disk and the kernel's trace need root and mounts of their own"; return; }
  # A disk of this run's own, filled once the first window is in the file, which
  # stays so; its spikes in the kernel's trace, timed after it started (the trace
  # is the machine's, with earlier runs' spikes). (9: no such mounts here.)
  mkdir "$dir/full"
  unshare -m bash -c 'mount -t tmpfs -o size=1m tmpfs "$1" && mount -t tracefs nodev /sys/kernel/tracing || exit 9
    read -r since _ </proc/uptime
    "$2" --report --json --method sleep --duration 6s --window 2s --spike 0 -o "$1/r.json" </dev/null 2>"$3" & pid=$!
    until [ -s "$1/r.json" ] || ! kill -0 $pid 2>/dev/null; do sleep 0.05; done
    cp "$1/r.json" "$4"; dd if=/dev/zero of="$1/fill" bs=4k 2>/dev/null
    wait $pid; status=$?; cmp -s "$1/r.json" "$4" || status=8
    sed -n "s/.* \([0-9.]*\): tracing_mark_write: quorvane spike: Sleep waited [0-9]* us, over 1000 us; ended on CPU .*/\1/p" \
      /sys/kernel/tracing/trace | awk -v since="$since" "\$1 > since {n++} END {exit !n}" || status=7; exit $status' _ \
    "$dir/full" "$bin" "$dir/err" "$dir/first.json" 2>/dev/null && status=0 || status=$?
  [ "$status" = 9 ] && echo "skipped: a full disk and the kernel's trace (no tmpfs or tracefs)" || { [ "$status" = 1 ] &&
    jq -e '.partial and .spikes.trace_marker' "$dir/first.json" >/dev/null &&
    grep -q "could not be rewritten: No space left on device; it is left as it was" "$dir/err" ||
    fail "a full disk, the trace: status $status, $(cat "$dir/err")"; }
}

# The Windows program's run of a set duration under wine (ARGS run it).
case_long_run_windows() { long_run_read "$@"; }

# page.py ARGS...: the page checks of tests/e2e/page.py.
page_py() { python3 "$(dirname "$(realpath "$0")")/page.py" "$@"; }
# shot PAGE PNG [ARGS...]: headless Chromium's screenshot of PAGE at 1280×800;
# it and every helper it starts waited for (killed after a minute).
shot() {
  local page=$1 png=$2 profile && shift 2
  rm -f "$png" && profile=$(mktemp -d -p "$dir")
  page_py browse 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --host-resolver-rules="MAP * ~NOTFOUND" \
    --user-data-dir="$profile" --window-size=1280,800 "$@" --screenshot="$png" "file://$page" >/dev/null \
    2>"$dir/chromium.err" || fail "chromium on $page: status $?: $(tail -n3 "$dir/chromium.err")"
  [ -s "$png" ] || fail "no screenshot of $page"
}

# The page of a run of a set duration in two conditions: XML, running and
# fetching nothing, a series per entry in every plot with the figures of the
# run's JSON; Chromium draws each plot and asks nothing of the network. Saved
# runs overlay; bad input is refused before measuring, no page written.
case_html() {
  command -v chromium >/dev/null || fail "chromium is not installed (make test installs it)"
  local shown section
  exits 0 "$bin" --report --json --method all --priority raised,normal --duration 4s --window 1s --html "$dir/r.html"
  mv "$dir/out" "$dir/r.json"
  shown=$(page_py check "$dir/r.html" "$dir/r.json") &&
    [ "$shown" = "tradeoff 10, percentiles 10, histograms 10, timeline 10" ] || fail "the page: $shown"
  shot "$dir/r.html" "$dir/r.png" --log-net-log="$dir/net.json"
  page_py drawn "$dir/r.png" && page_py requests "$dir/net.json" || fail "blank, or the page asked for something"
  for section in tradeoff percentiles histograms timeline; do # each alone on the page
    sed "0,/<\/style>/s||header, footer, main > section:not(#$section) { display: none !important; }&|" \
      "$dir/r.html" >"$dir/$section.html" && shot "$dir/$section.html" "$dir/$section.png"
    page_py drawn "$dir/$section.png" "#0072B2" "#D55E00" || fail "the $section plot is not drawn"
  done
  "$bin" --report --json --method sleep,hybrid --interval 2000 --resolution 100,200 --samples 100 </dev/null >"$dir/b.json"
  exits 0 "$bin" --plot "$dir/r.json" "$dir/b.json" -o "$dir/c.html"
  shown=$(page_py check "$dir/c.html" "$dir/r.json" "$dir/b.json") &&
    [ "$shown" = "tradeoff 14, percentiles 14, histograms 14, timeline 10" ] || fail "the overlay: $shown"
  # The check of the network sees a page that asks.
  sed 's|</body>|<img src="http://quorvane.invalid/x.png"/></body>|' "$dir/c.html" >"$dir/asks.html"
  shot "$dir/asks.html" "$dir/asks.png" --log-net-log="$dir/asks.json"
  ! page_py requests "$dir/asks.json" 2>/dev/null || fail "a request of the page went unseen"
  head -c 500 "$dir/r.json" >"$dir/cut.json"
  refused "--plot $dir/cut.json: is cut short" --plot "$dir/r.json" "$dir/cut.json" -o "$dir/unwritten.html"
  refused "--html $dir/none/r.html: cannot be written" --report --html "$dir/none/r.html"
}

# The Windows program's page under wine (ARGS run it), a series per method;
# wine counts no CPU time, so the trade-off has none.
case_report_html() {
  local shown
  (cd "$dir" && "$@" "$bin" --report --samples 100 --method all --json --html page.html </dev/null >json) ||
    fail "status $?"
  shown=$(page_py check "$dir/page.html" "$dir/json") && [ "$shown" = "tradeoff 0, percentiles 5, histograms 5" ] ||
    fail "the page: $shown"
}

# Conditions through the platform's calls (ARGS run the binary: wine for
# Windows): an entry per CPU, load and method, each kept to its CPU; a CPU
# that is not there refused.
case_report_conditions() {
  "$@" "$bin" --report --json --cpu all --load 0,1 --method sleep,busywait --samples 30 </dev/null >"$dir/json" ||
    fail "status $?"
  jq -e '.usable_cpus as $cpus | .methods as $m | ($m | length) == 4 * ($cpus | length)
    and ([$m[].cpu] | unique) == $cpus and ([$m[].load] | unique) == [0, 1]
    and all($m[]; .migrations == 0 and .samples == 30 and .priority == "raised" and has("cpu_kind"))' "$dir/json" \
    >/dev/null || fail "$(jq -c '.methods[] | [.method, .load, .cpu, .migrations, .samples]' "$dir/json")"
  exits 2 "$@" "$bin" --report --cpu 99
  grep -q "^quorvane: --cpu: CPU 99 does not exist" "$dir/err" && [ ! -s "$dir/out" ] || fail "--cpu 99: $(cat "$dir/err")"
}

# The Windows program under wine (ARGS run it) in a terminal: the frame
# readable, a key of each kind answered, q and Ctrl+C ending it. Not looked
# for: the labels' emoji (wine's console shows none outside the BMP), arrow
# keys (it gives no virtual-terminal input), a resolution (it grants 1000 μs).
case_windows_screen() {
  start 100 40 "$@" "$bin"
  wait_for "Quorvane V" 60 && wait_for "Mode: Sleep " && wait_match "Max: [0-9]+μs"
  wait_for "Controls: [M]ode  [F]ilter  [C]lear  [S]tart/Stop  [↑↓]Timer  [Q]uit"
  # The figures in bold yellow, which a console shows as bright yellow.
  tmx capture-pane -e -p -t ui | grep -q $'\e\\[93m[0-9]' || fail "no figure in bright yellow"
  send m && wait_for "Mode: BusyWait " && wait_samples 20
  send f && wait_for "Filter [IQR]"
  send s && wait_for "Stopped"
  quit_with q 0
  start 100 40 "$@" "$bin"
  wait_for "Mode: Sleep " 60 && quit_with C-c 130
}

# Random keys, stray bytes and resizes against a sanitizer build for SECONDS:
# no report, no growing memory, and q still ends it. Args: [SECONDS] [SEED]
case_soak() {
  local end=$((SECONDS + ${1:-30})) logs="$dir/sanitizer" seed=${2:-$$} pid rss=()
  RANDOM=$seed && echo "seed $seed"
  local keys=(m M c C s S f F Up Down C-Up C-Down x Enter Tab Escape F1 Home Left M-x C-l "-H c3 a9" "-H ff fe 80"
    "-H 1b 5b 31 3b 35" "-H 1b 5b 3c 30 3b 31 30 3b 35 4d" "-H 1b 5b 39 39 39 39 39 39 39 39 39 39 41" "-H 1b 1b")
  # A small quarantine: the default 256 MB of freed memory would read as growth.
  start 100 40 env ASAN_OPTIONS="log_path=$logs:quarantine_size_mb=1" UBSAN_OPTIONS="log_path=$logs:halt_on_error=1" "$bin"
  wait_for "╭" 30 && pid=$(program_pid)
  while [ $SECONDS -lt $end ]; do
    # shellcheck disable=SC2086 # a key, or -H and its bytes
    [ $((RANDOM % 8)) = 0 ] && tmx resize-window -t ui -x $((20 + RANDOM % 181)) -y $((5 + RANDOM % 56)) ||
      send ${keys[RANDOM % ${#keys[@]}]}
    rss+=("$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")") || fail "it ended: $(cat "$logs"* 2>/dev/null)"
    sleep 0.0$((RANDOM % 5))
  done
  tmx resize-window -t ui -x 100 -y 40 && sleep 0.5 && quit_with q 0
  ! compgen -G "$logs*" >/dev/null || fail "sanitizer report: $(cat "$logs"*)"
  # A leak per key or frame keeps growing: the last fifth may not top the second by 10 % + 2 MB.
  local n=${#rss[@]} early late
  early=$(printf '%s\n' "${rss[@]:n/5:n/5}" | sort -n | tail -n1)
  late=$(printf '%s\n' "${rss[@]:n-n/5}" | sort -n | tail -n1)
  [ "$late" -le $((early + early / 10 + 2048)) ] || fail "memory grew from $early kB to $late kB"
}

# After the suite (ctest's fixture clean-up runs it last): nothing that a run
# of BINARY started still runs. What is found is named, ended, and fails this.
case_leftovers() {
  local p left=() what
  marked "" " $bin_real"
  for p in "${found[@]}"; do [[ ${marks[$p]} == "$sock "* ]] || left+=("$p"); done
  [ ${#left[@]} = 0 ] && return
  what=$(describe "${left[@]}")
  end "${left[@]}"
  fail "left running by the suite: $what"
}

"case_$case" "$@"
end_terminal
echo "ok: $case"
