#!/usr/bin/env bash
# Runs the built program as a user would, on a private X server, in one scenario:
#   window        help at the console, the window only after a key, its title and size, a
#                 screenshot of the first frame, ESC ends the program with status 0
#   no_display    no usable display: the help, then one line saying a display is needed, and a
#                 non-zero status
#   stdin_closed  standard input closed: no wait for the key, the window opens, ESC ends it
#   stdin_empty   standard input at its end: the same
# Usage: program_test.sh SCENARIO ARMSIM GOLDEN_DIR SCREENSHOT_DIR
set -euo pipefail
scenario=$1 armsim=$2 golden=$3/help_screen.txt shots=$4
title='F:Robot Choice, O:Obstacle Set, G:Goal Set, B:Cal.Method B, C:Path Motion'
work=$(mktemp -d)
xvfb_pid=
armsim_pid=

cleanup() {
  [ -n "$armsim_pid" ] && kill "$armsim_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' TERM INT

fail() {
  echo "FAIL ($scenario): $*" >&2
  exit 1
}

# A private X server on a free display; DISPLAY points at it.
start_xvfb() {
  coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null; }
  xvfb_pid=$XVFB_PID
  local number
  read -r -t 10 number <&"${XVFB[0]}" || fail "Xvfb did not start"
  export DISPLAY=:$number
}

# Waits up to 10 s for the program to end and sets $status to its exit status.
wait_for_exit() {
  for _ in $(seq 100); do
    kill -0 "$armsim_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$armsim_pid" 2>/dev/null && fail "the program did not end"
  status=0
  wait "$armsim_pid" || status=$?
  armsim_pid=
}

find_window() {
  timeout 10 xdotool search --sync --name "^${title//./\\.}\$" | head -n 1
}

press_escape() {
  timeout 5 xdotool mousemove --window "$1" 300 300
  timeout 5 xdotool key Escape
}

# Share of the screenshot's pixels that pass an ImageMagick -fx test.
share() {
  convert "$1" -fx "$2 ? 1 : 0" -format '%[fx:mean]' info:
}

at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

case "$scenario" in
  window)
    start_xvfb
    mkfifo "$work/in"
    "$armsim" <"$work/in" >"$work/out" 2>"$work/err" &
    armsim_pid=$!
    exec 7>"$work/in"
    # The help is printed and the program waits for its key before any window exists.
    for _ in $(seq 100); do
      cmp -s "$work/out" "$golden" && break
      sleep 0.1
    done
    cmp "$work/out" "$golden" || fail "help screen differs from the golden file"
    sleep 0.5
    timeout 5 xdotool search --name "^${title//./\\.}\$" >/dev/null && fail "window before the key"
    printf k >&7
    window=$(find_window) || fail "no window titled '$title'"
    size=$(xwininfo -id "$window" |
      awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    [ "$size" = 600x600 ] || fail "window size $size"
    mkdir -p "$shots"
    # The first frame follows the window's appearance; a loaded machine may take a moment.
    for _ in $(seq 20); do
      xwd -silent -id "$window" | convert xwd:- "$shots/armsim.png"
      white=$(share "$shots/armsim.png" 'r == 1 && g == 1 && b == 1')
      at_least "$white" 0.8 && break
      sleep 0.25
    done
    wall=$(share "$shots/armsim.png" 'r > 0.7 && g < 0.4 && b < 0.4')
    links=$(share "$shots/armsim.png" 'g > 0.7 && b > 0.7 && r < 0.6')
    at_least "$white" 0.8 || fail "white share $white"
    at_least "$wall" 0.01 || fail "wall share $wall"
    at_least "$links" 0.0005 || fail "link colour share $links"
    press_escape "$window"
    wait_for_exit
    exec 7>&-
    [ "$status" -eq 0 ] || fail "exit status $status after ESC: $(cat "$work/err")"
    cmp "$work/out" "$golden" || fail "console output after ESC"
    ;;
  no_display)
    for how in unset unreachable argument; do
      case "$how" in
        unset) env -u DISPLAY "$armsim" </dev/null >"$work/out" 2>&1 & ;;
        unreachable) DISPLAY=:65000 "$armsim" </dev/null >"$work/out" 2>&1 & ;;
        argument) start_xvfb; "$armsim" -display :65000 </dev/null >"$work/out" 2>&1 & ;;
      esac
      armsim_pid=$!
      wait_for_exit
      [ "$status" -ne 0 ] || fail "$how: exit status 0 without a display"
      length=$(stat -c %s "$golden")
      head -c "$length" "$work/out" | cmp - "$golden" || fail "$how: help screen differs"
      rest=$(tail -c +"$((length + 1))" "$work/out")
      [ "$(printf '%s\n' "$rest" | wc -l)" -eq 1 ] || fail "$how: not one line after the help"
      [[ "$rest" == *display* ]] || fail "$how: the line does not say a display is needed: $rest"
    done
    ;;
  stdin_closed | stdin_empty)
    start_xvfb
    if [ "$scenario" = stdin_closed ]; then
      "$armsim" <&- >"$work/out" 2>"$work/err" &
    else
      "$armsim" </dev/null >"$work/out" 2>"$work/err" &
    fi
    armsim_pid=$!
    window=$(find_window) || fail "no window without a key to wait for"
    press_escape "$window"
    wait_for_exit
    [ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/err")"
    cmp "$work/out" "$golden" || fail "help screen differs"
    ;;
  *)
    fail "unknown scenario"
    ;;
esac
echo "ok ($scenario)"
