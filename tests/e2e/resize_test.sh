#!/usr/bin/env bash
# Quorvane runs in terminals from 20×5 to 300×100 and follows the terminal
# when it is resized while running: the frame always spans the terminal's
# width, fits its height (both borders on screen, nothing scrolled into the
# history frame after frame), nothing crashes, and q still ends it cleanly.
source "$(dirname "$0")/lib.sh"
bin=$1

history_size() { tmx display-message -p -t "$E2E_SESSION" '#{history_size}'; }

# expect_frame WIDTH: the newest frame (the last bottom border on the screen)
# becomes WIDTH columns wide with its top border on screen too, and redrawing
# it scrolls nothing.
expect_frame() {
  local screen bottom top history deadline=$((SECONDS + 5))
  while :; do
    screen=$(screen_text)
    bottom=$(grep "╰" <<<"$screen" | tail -n1 || true)
    top=$(awk '/╭/ {top = $0} /╰/ {print top}' <<<"$screen" | tail -n1)
    [ "${#bottom}" -ne "$1" ] || [ "${#top}" -ne "$1" ] || break
    [ $SECONDS -lt $deadline ] || fail "frame is ${#bottom} wide, not the terminal's $1, or its top is not on screen"
    sleep 0.1
  done
  # A frame drawn just as the terminal changed may have the old height and the
  # next one scroll once; after that the scrollback must stay as it is.
  deadline=$((SECONDS + 5))
  history=$(history_size)
  while sleep 0.5; [ "$(history_size)" != "$history" ]; do
    [ $SECONDS -lt $deadline ] || fail "each frame scrolls the terminal ($history → $(history_size) lines)"
    history=$(history_size)
  done
}

quit_cleanly() {
  send q
  local status
  status=$(wait_exit 5)
  [ "$status" = 0 ] || fail "exit status $status"
  assert_terminal_restored
}

for size in 20x5 21x6 80x24 80x30 132x43 300x100; do
  e2e_start "${size%x*}" "${size#*x}" "$bin"
  expect_frame "${size%x*}"
  quit_cleanly
  echo "ok: started at $size"
done

e2e_start 100 40 "$bin"
expect_frame 100
for size in 20x5 300x100 80x30 33x7 250x60 21x6 120x40; do
  tmx resize-window -t "$E2E_SESSION" -x "${size%x*}" -y "${size#*x}"
  expect_frame "${size%x*}"
done
# A burst of resizes, faster than frames are drawn.
for width in 30 200 45 180 60 160 75 140 90 110; do
  tmx resize-window -t "$E2E_SESSION" -x "$width" -y 35
done
expect_frame 110
quit_cleanly
echo "ok: followed every resize while running"
