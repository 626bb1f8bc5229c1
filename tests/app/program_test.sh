#!/usr/bin/env bash
# Runs the built program as a user would, on a private X server, in one scenario:
#   window        help at the console, the window only after a key, its title and size, a
#                 screenshot of the first frame, ESC ends the program with status 0
#   no_display    no usable display: the help, then one line saying a display is needed, and a
#                 non-zero status
#   stdin_closed  standard input closed: no wait for the key, the window opens, ESC ends it
#   stdin_empty   standard input at its end: the same
#   session       a user's session: a new goal with 'G' and a new wall with 'O' typed into the
#                 console, Method B by 'a' and 'b' until the final pose, then 'C' and 100 's';
#                 the traces read from the console, screenshots before and after the motion
#   command_line  no display: --help, --solve, --method-b and --map, and bad input refused with
#                 one line on stderr and status 2
#   urdf          no display: --urdf of every type, with and without --scene, accepted by
#                 urdfdom's check_urdf with every link in its tree, --out writing what stdout
#                 shows; bad input refused with status 2 and no file left
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

# Occurrences of a fixed text in the console output so far.
occurrences() {
  grep -oF -- "$1" "$work/out" | wc -l
}

# Waits up to 10 s until the console output holds at least $2 occurrences of the text $1.
wait_for_text() {
  for _ in $(seq 1000); do
    [ "$(occurrences "$1")" -ge "$2" ] && return 0
    sleep 0.01
  done
  fail "waited in vain for $2 x '$1'"
}

# Waits until $2 'a' or 'b' steps ($1) have finished, with or without a solution.
wait_for_steps() {
  local done_text failed_text
  if [ "$1" = a ]; then
    done_text='cntBa=' failed_text=' B-a 位置姿勢逆運動学の解なし'
  else
    done_text='cntBb=' failed_text='B-b 壁端直線に接触するアームなし'
  fi
  for _ in $(seq 1000); do
    [ $(($(occurrences "$done_text") + $(occurrences "$failed_text"))) -ge "$2" ] && return 0
    sleep 0.01
  done
  fail "step '$1' number $2 did not finish"
}

press() {
  timeout 5 xdotool key --delay 5 "$@"
}

# Screenshot of the window into a PNG file.
screenshot() {
  timeout 10 xwd -silent -id "$window" | convert xwd:- "$1"
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
  session)
    start_xvfb
    mkfifo "$work/in"
    "$armsim" <"$work/in" >"$work/out" 2>"$work/err" &
    armsim_pid=$!
    exec 7>"$work/in"
    printf k >&7
    window=$(find_window) || fail "no window titled '$title'"
    timeout 5 xdotool mousemove --window "$window" 300 300
    back='....描画画面へ......'

    press G
    wait_for_text '新しいワーク位置(コンマ無しの3数値) rwG[]= ' 1
    printf -- '-1 2 0\n' >&7
    wait_for_text "$back" 1
    grep -qF 'rwG[]=( -1.00   2.00   0.00)' "$work/out" || fail "new goal not in the settings"
    press O
    wait_for_text '新しい端位置(Ｙ座標値のみ入力) rh[]= ' 1
    printf '0.8\n' >&7
    wait_for_text "$back" 2
    grep -qF 'rh[]=(  0.00   0.80   0.00)' "$work/out" || fail "new wall not in the settings"

    # Method B: 'a' and 'b' in turn until a step reports the final pose.
    press B
    wait_for_text '------------------ B解法 -----------------------------------------------------' 1
    solved=
    for pair in $(seq 300); do
      for step in a b; do
        press "$step"
        wait_for_steps "$step" "$pair"
        if grep -qF -e '壁端直線に接触し位置決めされた解が得られた．' -e '壁端直線から離れて位置決めされた解が得られた．' "$work/out"; then
          solved=$pair
          break 2
        fi
      done
    done
    [ -n "$solved" ] || fail "no final pose after 300 pairs of steps"
    echo "final pose after $solved pairs of steps"

    # The picture before and after the motion, each taken while a goal dialog holds the frame.
    mkdir -p "$shots"
    press C G
    wait_for_text '新しいワーク位置(コンマ無しの3数値) rwG[]= ' 2
    screenshot "$shots/before_motion.png"
    printf -- '-1 2 0\n' >&7
    wait_for_text "$back" 3
    press C $(printf 's %.0s' $(seq 100)) G
    wait_for_text '新しいワーク位置(コンマ無しの3数値) rwG[]= ' 3
    screenshot "$shots/after_motion.png"
    printf -- '-1 2 0\n' >&7
    wait_for_text "$back" 4

    changed=$(compare -metric AE "$shots/before_motion.png" "$shots/after_motion.png" null: 2>&1 || true)
    at_least "$changed" 2000 || fail "only $changed pixels changed with the motion"
    # Link colour in the first (u) and the second (v) picture.
    in_u='(u.g > 0.7 && u.b > 0.7 && u.r < 0.6)'
    in_v='(v.g > 0.7 && v.b > 0.7 && v.r < 0.6)'
    left=$(convert "$shots/before_motion.png" "$shots/after_motion.png" \
      -fx "$in_u && !$in_v ? 1 : 0" -format '%[fx:mean]' info:)
    arrived=$(convert "$shots/before_motion.png" "$shots/after_motion.png" \
      -fx "$in_v && !$in_u ? 1 : 0" -format '%[fx:mean]' info:)
    at_least "$left" 0.0005 || fail "the robot did not leave its initial place ($left)"
    at_least "$arrived" 0.0005 || fail "the robot did not arrive anywhere new ($arrived)"

    press Escape
    wait_for_exit
    exec 7>&-
    [ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/err")"
    ;;
  command_line)
    # No display, no terminal: the window-free modes, --help, and bad input (one line on
    # stderr, nothing on stdout, status 2, no file left).
    unset DISPLAY
    run() {
      status=0
      "$armsim" "$@" >"$work/out" 2>"$work/err" </dev/null || status=$?
    }
    run --help
    [ "$status" -eq 0 ] || fail "--help exit status $status"
    for option in --solve --method-b --map --type --goal --wall --json --max-steps --step \
      --threads --out --csv; do
      grep -q -- "$option" "$work/out" || fail "--help does not list $option"
    done
    run --solve --type 3 --json
    [ "$status" -eq 0 ] || fail "--solve exit status $status: $(cat "$work/err")"
    grep -q '"kind": "touch"' "$work/out" || fail "--solve lists no touching pose"
    run --solve --goal -1 1.4 0
    [ "$status" -eq 1 ] || fail "--solve without solution: status $status"
    grep -q "cuts into the wall" "$work/err" || fail "--solve gives no reason"
    run --method-b --type 3
    [ "$status" -eq 1 ] || fail "--method-b type 3: status $status"
    run --method-b --max-steps 400
    [ "$status" -eq 0 ] || fail "--method-b type 1: status $status"
    grep -q "壁端直線に接触し位置決めされた解が得られた" "$work/out" || fail "--method-b trace"
    run --map --type 2 --step 0.5 --out "$work/map.png" --csv "$work/map.csv"
    [ "$status" -eq 0 ] || fail "--map exit status $status: $(cat "$work/err")"
    [ "$(head -c 8 "$work/map.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
      fail "--map wrote no PNG"
    head -1 "$work/map.csv" | grep -q '^type,x,y,class,' || fail "--map wrote no CSV header"
    while IFS='|' read -r arguments; do
      # shellcheck disable=SC2086
      run $arguments
      [ "$status" -eq 2 ] || fail "'$arguments': status $status"
      [ ! -s "$work/out" ] || fail "'$arguments' printed on stdout"
      [ "$(wc -l <"$work/err")" -eq 1 ] || fail "'$arguments': not one line on stderr"
    done <<'BAD'
--frobnicate
--solve --type five
--solve --type 5
--solve --goal nan 2 0
--solve --wall inf
--solve --goal 9 9 0
--solve --wall 3.3
--method-b --max-steps 0
--map --step 0
--map --step 0.0001
--map --out /nonexistent/map.png
BAD
    [ ! -e /nonexistent/map.png ] || fail "a file was left behind"
    ;;
  urdf)
    unset DISPLAY
    command -v check_urdf >/dev/null || fail "no check_urdf (Debian package liburdfdom-tools)"
    mkdir "$work/files"
    for type in 1 2 3 4; do
      for scene in '' --scene; do
        what="type $type${scene:+ $scene}"
        # shellcheck disable=SC2086
        "$armsim" --urdf --type "$type" $scene >"$work/printed.urdf" || fail "$what: status $?"
        check_urdf "$work/printed.urdf" >"$work/check" 2>&1 ||
          fail "$what: check_urdf refuses it: $(cat "$work/check")"
        grep -qx "robot name is: armsim_type$type" "$work/check" || fail "$what: robot name"
        children=$([ -n "$scene" ] && echo 3 || echo 1)  # link1, and the wall and the floor
        grep -q "root Link: base_link has $children child" "$work/check" || fail "$what: tree"
        # shellcheck disable=SC2086
        "$armsim" --urdf --type "$type" $scene --out "$work/files/robot.urdf" ||
          fail "$what --out: status $?"
        cmp -s "$work/files/robot.urdf" "$work/printed.urdf" || fail "$what: --out differs"
        rm "$work/files/robot.urdf"
      done
    done
    # Bad input: status 2, one line on stderr, no file.
    for bad in "--type 9 --out $work/files/robot.urdf" "--out $work/files/missing/robot.urdf"; do
      status=0
      # shellcheck disable=SC2086
      "$armsim" --urdf $bad >"$work/out" 2>"$work/err" || status=$?
      [ "$status" -eq 2 ] && [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" -eq 1 ] ||
        fail "--urdf $bad: status $status, $(cat "$work/err")"
      [ -z "$(ls -A "$work/files")" ] || fail "--urdf $bad left a file"
    done
    ;;
  *)
    fail "unknown scenario"
    ;;
esac
echo "ok ($scenario)"
