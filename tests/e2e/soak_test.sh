#!/usr/bin/env bash
# Soak: random key presses for a while — every control key but q, keys the
# program does not know, stray bytes and escape sequences, now and then a
# resize — against the sanitizer build. Afterwards q still ends it with status
# 0, the sanitizers reported nothing (leaks at exit included), and its
# resident memory did not keep growing.
# Usage: soak_test.sh BINARY [SECONDS] [SEED]
source "$(dirname "$0")/lib.sh"
bin=$1
duration=${2:-30}
seed=${3:-$$}
RANDOM=$seed
echo "soak: ${duration}s, seed $seed"

controls=(m M c C s S f F Up Down C-Up C-Down)
# Named keys of no meaning to the program. Ctrl+C, Ctrl+\ and Ctrl+Z are
# signals and Ctrl+S, Ctrl+Q flow control, not keys: they are left out.
unknown=(x X z 0 9 Enter Tab BTab Escape BSpace Space F1 F5 F12 Home End PPage NPage IC DC Left Right
  S-Up M-x C-a C-d C-l)
# Raw bytes: UTF-8 text, an invalid byte run, cut and malformed sequences,
# mouse and cursor reports, an over-long parameter, OSC and DCS strings.
raw=("c3 a9" "ce bc" "f0 9f 8e ae" "ff fe 80" "1b 5b" "1b 5b 31 3b 35" "1b 5b 31 3b 35 41"
  "1b 5b 3c 30 3b 31 30 3b 35 4d" "1b 5b 3c 30 3b 31 30 3b 35 6d" "1b 5b 31 32 3b 31 52"
  "1b 5b 39 39 39 39 39 39 39 39 39 39 39 39 41" "1b 5d 30 3b 74 69 74 6c 65 1b 5c" "1b 50 30 24 72 1b 5c"
  "1b 1b 1b" "1b 4f 41" "1b 5b 5b 41" "00" "7f" "18")

pick() { local -n pool=$1; printf '%s' "${pool[RANDOM % ${#pool[@]}]}"; }

logs="$E2E_DIR/sanitizer"
e2e_start 100 40 env \
  ASAN_OPTIONS="log_path=$logs:detect_leaks=1:quarantine_size_mb=1" \
  UBSAN_OPTIONS="log_path=$logs:print_stacktrace=1:halt_on_error=1" \
  "$bin"
wait_for "╭" 30
pid=$(program_pid)

rss=()
keys=0
end=$((SECONDS + duration))
next_sample=$SECONDS
while [ $SECONDS -lt "$end" ]; do
  case $((RANDOM % 10)) in
    0 | 1 | 2 | 3) send "$(pick controls)" "$(pick controls)" "$(pick controls)" ;;
    4 | 5 | 6) send "$(pick unknown)" "$(pick unknown)" ;;
    7 | 8) send -H $(pick raw) ;;
    9) tmx resize-window -t "$E2E_SESSION" -x $((20 + RANDOM % 181)) -y $((5 + RANDOM % 56)) ;;
  esac
  keys=$((keys + 1))
  if ! kill -0 "$pid" 2>/dev/null; then
    cat "$logs"* >&2 2>/dev/null || true
    fail "the program ended during the soak with status $(wait_exit 5) (seed $seed)"
  fi
  if [ $SECONDS -ge "$next_sample" ]; then
    rss+=("$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")")
    next_sample=$((SECONDS + 1))
  fi
  sleep 0.0$((RANDOM % 5))
done

# Any sequence cut short is flushed after a pause; then q must end it.
tmx resize-window -t "$E2E_SESSION" -x 100 -y 40
sleep 0.5
send q
status=$(wait_exit 30)
if compgen -G "$logs*" >/dev/null; then
  cat "$logs"* >&2
  fail "sanitizer report (seed $seed)"
fi
[ "$status" = 0 ] || fail "exit status $status after the soak (seed $seed)"
assert_terminal_restored

# Memory: after the first fifth (allocator and caches warming up), the peak of
# the last fifth may not exceed the peak of the second fifth by more than 10 %
# plus 2 MB; a leak per key or per frame grows without end.
n=${#rss[@]}
[ "$n" -ge 10 ] || fail "only $n memory samples"
fifth=$((n / 5))
peak() { printf '%s\n' "$@" | sort -n | tail -n1; }
early=$(peak "${rss[@]:fifth:fifth}")
late=$(peak "${rss[@]:n-fifth}")
limit=$((early + early / 10 + 2048))
[ "$late" -le "$limit" ] || fail "memory grew from ${early} kB to ${late} kB (seed $seed): ${rss[*]}"
echo "rss: ${rss[*]}"
echo "ok: $keys key batches in ${duration}s, no sanitizer report, RSS ${early} kB → ${late} kB"
