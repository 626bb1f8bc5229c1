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
#   map           'M': frames with the progress while the map is computed, redrawn as it counts,
#                 then the legend's colours in the bottom-right corner; 'M' again, a key that
#                 is ignored, and ESC while computing ends the program with status 0
#   resize        the 600 x 600 frame is the golden one; resized to 1000 x 500 with xdotool, the
#                 wall's edge foot and the goal workpiece's centre are within 2 pixels of where
#                 an independent projection with the new aspect puts them; back at 600 x 600
#                 the golden frame again
#   workcell      --workcell: a bad file, a goal beyond the type's reach and a missing file are
#                 refused with one line on stderr and status 2 before the help or any window; a
#                 good file's type, goal and wall in the help's settings, then the window, ESC
#                 ends it; the example workcells solved by --solve
#   terminal      no display; in a pseudo-terminal under an interactive shell (dash), the
#                 terminal's settings (stty -g) after the start-up wait are those before it, for
#                 each way out: a key, Ctrl-D, Ctrl-C, Ctrl-Z (restored while stopped) then fg
#                 and a key, SIGTERM
# Usage: program_test.sh SCENARIO ARMSIM GOLDEN_DIR SCREENSHOT_DIR
set -euo pipefail
scenario=$1 armsim=$2 golden=$3/help_screen.txt shots=$4 golden_frame=$3/frame_600.png
title='F:Robot Choice, O:Obstacle Set, G:Goal Set, B:Cal.Method B, C:Path Motion'
work=$(mktemp -d)
xvfb_pid=
armsim_pid=
shell_pid=

cleanup() {
  [ -n "$armsim_pid" ] && kill "$armsim_pid" 2>/dev/null || true
  [ -n "$shell_pid" ] && kill "$shell_pid" 2>/dev/null || true
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

# The program started on the private X server with its console on a FIFO (descriptor 7), the
# start-up key typed, its window found ($window) and its first frame drawn.
start_window_program() {
  start_xvfb
  mkfifo "$work/in"
  "$armsim" <"$work/in" >"$work/out" 2>"$work/err" &
  armsim_pid=$!
  exec 7>"$work/in"
  printf k >&7
  window=$(find_window) || fail "no window titled '$title'"
  timeout 5 xdotool mousemove --window "$window" 300 300
  for _ in $(seq 40); do
    screenshot "$work/first.png"
    at_least "$(convert "$work/first.png" -fill black +opaque white -format '%[fx:mean]' info:)" 0.8 &&
      return 0
    sleep 0.25
  done
  fail "no first frame"
}

# ImageMagick's XWD reader leaves out a screenshot's first row and column: how many it left out
# of a window $2 x $3 in the screenshot $1 (0 or 1), so that screenshot pixel (x, y) is window
# pixel (x + offset, y + offset), counted from the top left.
shot_offset() {
  local size
  size=$(identify -format '%w %h' "$1")
  [ "$size" = "$2 $3" ] && { echo 0; return; }
  [ "$size" = "$(($2 - 1)) $(($3 - 1))" ] && { echo 1; return; }
  fail "screenshot of $size for a window of $2 x $3"
}

# Pixels of the screenshot $1 of a 600 x 600 window that differ from the golden frame.
differs_from_golden() {
  local offset
  offset=$(shot_offset "$1" 600 600)
  convert "$golden_frame" -crop "$((600 - offset))x$((600 - offset))+$offset+$offset" +repage \
    "$work/golden_cropped.png"
  compare -metric AE "$work/golden_cropped.png" "$1" null: 2>&1 || true
}

# The pixels of a screenshot's region ($2 = WxH+X+Y) as lines "x y r g b", the region's own
# coordinates.
pixels() {
  convert "$1" -crop "$2" +repage txt:- | awk -F'[,:() ]+' 'NR > 1 { print $1, $2, $3, $4, $5 }'
}

# Where the frame puts model point ($1, $2, $3) in a window $4 x $5: "x y" in pixels from the
# window's top left. Independent of the program: gluPerspective with a 30 degree field of view
# across the window's narrower side and the window's aspect ratio, gluLookAt from the camera
# (14 cos 0.2, 14 sin 0.2, 8) at the origin with z up, then the start-up view (turned 2 degrees
# about x, y and z, shifted by (-1, -1, -2)), all on the modelview matrix.
project() {
  awk -v X="$1" -v Y="$2" -v Z="$3" -v W="$4" -v H="$5" '
    function rad(a) { return a * 3.14159265358979 / 180 }
    function multiply(B,   i, j, k, s) {
      for (i = 0; i < 4; i++) for (j = 0; j < 4; j++) {
        s = 0; for (k = 0; k < 4; k++) s += M[i, k] * B[k, j]; T[i, j] = s
      }
      for (i = 0; i < 4; i++) for (j = 0; j < 4; j++) M[i, j] = T[i, j]
    }
    function identity(A,   i, j) {
      for (i = 0; i < 4; i++) for (j = 0; j < 4; j++) A[i, j] = i == j
    }
    function turn(a, axis,   c, s, p, q) {
      identity(R); c = cos(rad(a)); s = sin(rad(a)); p = (axis + 1) % 3; q = (axis + 2) % 3
      R[p, p] = c; R[p, q] = -s; R[q, p] = s; R[q, q] = c; multiply(R)
    }
    BEGIN {
      aspect = W / H
      fovy = 30
      if (aspect < 1) fovy = 2 * atan2(sin(rad(15)) / cos(rad(15)) / aspect, 1) * 180 / 3.14159265358979
      f = cos(rad(fovy) / 2) / sin(rad(fovy) / 2)
      identity(M); M[0, 0] = f / aspect; M[1, 1] = f; M[2, 2] = -101 / 99; M[2, 3] = -200 / 99
      M[3, 2] = -1; M[3, 3] = 0
      ex = 14 * cos(0.2); ey = 14 * sin(0.2); ez = 8; n = sqrt(ex * ex + ey * ey + ez * ez)
      fx = -ex / n; fy = -ey / n; fz = -ez / n
      sx = fy; sy = -fx; n = sqrt(sx * sx + sy * sy); sx /= n; sy /= n
      ux = sy * fz; uy = -sx * fz; uz = sx * fy - sy * fx
      identity(L)
      L[0, 0] = sx; L[0, 1] = sy; L[0, 3] = -(sx * ex + sy * ey)
      L[1, 0] = ux; L[1, 1] = uy; L[1, 2] = uz; L[1, 3] = -(ux * ex + uy * ey + uz * ez)
      L[2, 0] = -fx; L[2, 1] = -fy; L[2, 2] = -fz; L[2, 3] = fx * ex + fy * ey + fz * ez
      multiply(L)
      turn(2, 0); turn(2, 1); turn(2, 2)
      identity(S); S[0, 3] = -1; S[1, 3] = -1; S[2, 3] = -2; multiply(S)
      for (i = 0; i < 4; i++) c[i] = M[i, 0] * X + M[i, 1] * Y + M[i, 2] * Z + M[i, 3]
      printf "%.2f %.2f\n", (c[0] / c[3] + 1) / 2 * W, H - (c[1] / c[3] + 1) / 2 * H
    }'
}

# Whether "x y" ($1) is within 2 pixels of "x y" ($2).
within_2_pixels() {
  awk -v a="$1" -v b="$2" 'BEGIN { split(a, p, " "); split(b, q, " ");
    exit !((p[1] - q[1]) ^ 2 + (p[2] - q[2]) ^ 2 <= 4) }'
}

# The pixels of the screenshot $1 of a window $2 x $3 within $5 pixels (a square) of the window
# point "x y" ($4), as lines "x y r g b" in window pixels.
pixels_near() {
  local offset x y
  offset=$(shot_offset "$1" "$2" "$3")
  read -r x y <<<"$4"
  x=$(printf '%.0f' "$x") y=$(printf '%.0f' "$y")
  pixels "$1" "$((2 * $5 + 1))x$((2 * $5 + 1))+$((x - $5 - offset))+$((y - $5 - offset))" |
    awk -v dx="$((x - $5))" -v dy="$((y - $5))" '{ print $1 + dx, $2 + dy, $3, $4, $5 }'
}

# In the screenshot $1 of a window $2 x $3: the wall's edge foot, found near the projected point
# "x y" ($4) as the middle of the lowest row of wall-coloured pixels within 20 pixels ("x y" of
# that row's pixel centres, or "none").
wall_foot_near() {
  pixels_near "$@" 20 | awk '
    BEGIN { lowest = -1 }
    $3 > 150 && $4 < 90 && $5 < 90 {
      if ($2 > lowest) { lowest = $2; sum = 0; n = 0 }
      if ($2 == lowest) { sum += $1; n++ }
    }
    END { if (n == 0) print "none"; else printf "%.2f %.2f\n", sum / n + 0.5, lowest + 0.5 }'
}

# In the screenshot $1 of a window $2 x $3: the goal workpiece, found near the projected point
# "x y" ($4) as the centre of its lit colour's pixels within 25 pixels, or "none".
workpiece_near() {
  pixels_near "$@" 25 | awk '
    $3 > 140 && $3 < 220 && $4 > 60 && $4 < 120 && $5 > 60 && $5 < 120 && $3 - $4 > 60 {
      sx += $1; sy += $2; n++
    }
    END { if (n < 20) print "none"; else printf "%.2f %.2f\n", sx / n + 0.5, sy / n + 0.5 }'
}

# The grey-framed panel in the bottom-right corner (350 x 150) of a 600 x 600 screenshot $1:
# "height dark" (its frame's height and the dark pixels inside it), or "none".
corner_panel() {
  pixels "$1" '350x150+249+449' | awk '
    $3 == 153 && $4 == 153 && $5 == 153 {
      if (n == 0 || $1 < x0) x0 = $1; if ($1 > x1) x1 = $1
      if (n == 0 || $2 < y0) y0 = $2; if ($2 > y1) y1 = $2; n++
    }
    $3 < 80 && $4 < 80 && $5 < 80 { dx[++d] = $1; dy[d] = $2 }
    END {
      if (n < 100) { print "none"; exit }
      for (k = 1; k <= d; k++) inside += dx[k] > x0 && dx[k] < x1 && dy[k] > y0 && dy[k] < y1
      print y1 - y0 + 1, inside
    }'
}

# Pixels of the bottom-right corner (200 x 140) of a 600 x 600 screenshot $1 within 3 of the
# colour r g b ($2 $3 $4), and their mean row: "count mean_y".
corner_colour() {
  pixels "$1" '200x140+399+459' | awk -v r="$2" -v g="$3" -v b="$4" '
    ($3 - r) ^ 2 <= 9 && ($4 - g) ^ 2 <= 9 && ($5 - b) ^ 2 <= 9 { n++; sy += $2 }
    END { printf "%d %.1f\n", n, (n > 0 ? sy / n : -1) }'
}

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
      --threads --out --csv --workcell; do
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
  map)
    start_window_program
    mkdir -p "$shots"
    # The PNG's colours (Okabe-Ito) at the floor's opacity 0.6 over white.
    touch='102 197 171' clear='154 210 242' blocked='230 158 102'
    for colour in "$touch" "$clear" "$blocked"; do
      # shellcheck disable=SC2086
      read -r n _ <<<"$(corner_colour "$work/first.png" $colour)"
      [ "$n" -eq 0 ] || fail "legend colour $colour in the corner before 'M'"
    done
    press M
    # While it computes: frames with the progress panel, at least two different ones.
    progress_frames=0 changed=0
    for _ in $(seq 400); do
      screenshot "$work/progress.png"
      [ "$(occurrences '実行可能性マップ完了')" -eq 0 ] || break
      read -r height dark _ <<<"$(corner_panel "$work/progress.png") 0"
      if [ "$height" = 48 ] && [ "$dark" -ge 100 ]; then
        progress_frames=$((progress_frames + 1))
        if [ "$progress_frames" -eq 1 ]; then
          cp "$work/progress.png" "$shots/map_progress.png"
        else
          pixels_changed=$(compare -metric AE "$shots/map_progress.png" "$work/progress.png" null: 2>&1 ||
            true)
          [ "$pixels_changed" -gt 0 ] && changed=1
        fi
      fi
      sleep 0.1
    done
    [ "$progress_frames" -ge 1 ] || fail "no frame with the progress while computing"
    [ "$changed" -eq 1 ] || fail "the progress was not redrawn while computing"
    wait_for_text '実行可能性マップ完了' 1
    # The legend once the map is shown (the next redraw).
    for _ in $(seq 40); do
      screenshot "$shots/map_legend.png"
      # shellcheck disable=SC2086
      read -r touch_n _ <<<"$(corner_colour "$shots/map_legend.png" $touch)"
      [ "$touch_n" -ge 150 ] && break
      sleep 0.25
    done
    # shellcheck disable=SC2086
    read -r clear_n clear_y <<<"$(corner_colour "$shots/map_legend.png" $clear)"
    # shellcheck disable=SC2086
    read -r blocked_n blocked_y <<<"$(corner_colour "$shots/map_legend.png" $blocked)"
    # A swatch each, touch twice (under Method B's mark too), top to bottom: touch, clear, blocked.
    [ "$touch_n" -ge 150 ] || fail "touching pose's colour: $touch_n pixels in the corner"
    [ "$clear_n" -ge 80 ] || fail "clear pose's colour: $clear_n pixels in the corner"
    [ "$blocked_n" -ge 80 ] || fail "blocked colour: $blocked_n pixels in the corner"
    at_least "$blocked_y" "$clear_y" || fail "clear ($clear_y) not above blocked ($blocked_y)"
    read -r height _ _ <<<"$(corner_panel "$shots/map_legend.png") 0"
    [ "$height" -ge 100 ] || fail "no legend panel in the corner ($height)"

    # 'M' hides the map, 'M' computes it again; 'B' meanwhile is ignored (no Method B trace);
    # ESC quits before the map is done.
    press M M B
    wait_for_text '//--------------実行可能性マップ' 2
    press Escape
    wait_for_exit
    exec 7>&-
    [ "$status" -eq 0 ] || fail "exit status $status after ESC while computing: $(cat "$work/err")"
    [ "$(occurrences '実行可能性マップ完了')" -eq 1 ] || fail "the second map was finished"
    [ "$(occurrences 'B解法')" -eq 0 ] || fail "'B' acted while the map was computed"
    ;;
  resize)
    start_window_program
    [ "$(differs_from_golden "$work/first.png")" = 0 ] ||
      fail "the 600 x 600 frame differs from the golden frame"
    foot=$(project 0 1.3 0 1000 500)
    goal=$(project -0.6 2.2 0.1 1000 500)
    timeout 5 xdotool windowsize "$window" 1000 500
    mkdir -p "$shots"
    for _ in $(seq 40); do
      sleep 0.25
      screenshot "$shots/resized.png"
      size=$(identify -format '%wx%h' "$shots/resized.png")
      [ "$size" = 999x499 ] || [ "$size" = 1000x500 ] || continue
      found=$(wall_foot_near "$shots/resized.png" 1000 500 "$foot")
      [ "$found" != none ] && break
    done
    within_2_pixels "$found" "$foot" || fail "wall's edge foot at $found, projected at $foot"
    found=$(workpiece_near "$shots/resized.png" 1000 500 "$goal")
    [ "$found" != none ] || fail "no goal workpiece near $goal"
    within_2_pixels "$found" "$goal" || fail "goal workpiece at $found, projected at $goal"
    timeout 5 xdotool windowsize "$window" 600 600
    for _ in $(seq 40); do
      sleep 0.25
      screenshot "$work/back.png"
      [ "$(differs_from_golden "$work/back.png")" = 0 ] && break
    done
    [ "$(differs_from_golden "$work/back.png")" = 0 ] ||
      fail "the 600 x 600 frame after resizing back"
    press_escape "$window"
    wait_for_exit
    exec 7>&-
    [ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/err")"
    ;;
  workcell)
    start_xvfb
    printf '{"obstacles": [{"name": "post", "size": [0.2, 0.2, 1.5], "position": [1.6, 1.6]}]}' \
      >"$work/bad.json"
    printf '{"type": 2, "goal": [9, 9, 0]}' >"$work/far.json"
    for file in bad far missing; do
      case $file in
        bad) says="obstacle 1 ('post'): position: must be an array of 3 numbers" ;;
        far) says="goal out of reach for robot type 2" ;;
        missing) says="cannot be read" ;;
      esac
      "$armsim" --workcell "$work/$file.json" </dev/null >"$work/out" 2>"$work/err" &
      armsim_pid=$!
      wait_for_exit
      [ "$status" -eq 2 ] || fail "$file: exit status $status"
      [ ! -s "$work/out" ] || fail "$file: the help was printed before the refusal"
      [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$file: not one line on stderr: $(cat "$work/err")"
      grep -qF "armsim: $work/$file.json: $says" "$work/err" || fail "$file: $(cat "$work/err")"
      timeout 5 xdotool search --name "^${title//./\\.}\$" >/dev/null && fail "$file: a window"
    done
    printf '{"type": 2, "goal": [-1, 2, 0], "wall": 0.9}' >"$work/good.json"
    mkfifo "$work/in"
    "$armsim" --workcell "$work/good.json" <"$work/in" >"$work/out" 2>"$work/err" &
    armsim_pid=$!
    exec 7>"$work/in"
    wait_for_text 'rh[]=(  0.00   0.90   0.00)' 1
    grep -qF 'rwG[]=( -1.00   2.00   0.00)' "$work/out" || fail "the file's goal not in the settings"
    grep -qF 'JRTYPE2=' "$work/out" || fail "the file's type not in the settings"
    printf k >&7
    window=$(find_window) || fail "no window titled '$title' with a good file"
    press_escape "$window"
    wait_for_exit
    exec 7>&-
    [ "$status" -eq 0 ] || fail "exit status $status after ESC: $(cat "$work/err")"
    unset DISPLAY
    for file in "$(dirname "$golden")"/../../../workcells/*.json; do
      status=0
      "$armsim" --solve --workcell "$file" >"$work/out" 2>"$work/err" </dev/null || status=$?
      [ "$status" -eq 0 ] || fail "--solve --workcell $file: status $status: $(cat "$work/err")"
    done
    ;;
  terminal)
    unset DISPLAY
    mkfifo "$work/in"
    # Ctrl-C and Ctrl-\ act as at a user's terminal (a background job of this script would
    # otherwise pass them on ignored).
    env --default-signal=INT,QUIT script -qfec 'dash -i' /dev/null <"$work/in" >"$work/out" 2>&1 \
      &
    shell_pid=$!
    exec 7>"$work/in"
    # Types a command line into the shell and waits up to 10 s for the file it writes.
    type_line() {
      printf '%s\n' "$1" >&7
      for _ in $(seq 1000); do
        [ -s "$2" ] && return 0
        sleep 0.01
      done
      fail "the shell did not run: $1"
    }
    settings() { stty -F "$pts" -g; }
    # Waits up to 10 s until the condition $1 (a command) holds.
    wait_until() {
      for _ in $(seq 1000); do
        "$@" && return 0
        sleep 0.01
      done
      return 1
    }
    single_key_mode() { [ "$(settings)" != "$before" ]; }
    stopped() { [ "$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" = T ]; }
    running() { [ -e "/proc/$pid" ] && ! stopped; }
    ended() { [ ! -e "/proc/$pid" ]; }
    type_line "tty > $work/tty; stty -g > $work/before" "$work/before"
    pts=$(cat "$work/tty") before=$(cat "$work/before")
    for way in key end_of_input ctrl_c ctrl_z_fg sigterm; do
      type_line "sh -c 'echo \$\$ > $work/pid_$way; exec \"$armsim\"'" "$work/pid_$way"
      pid=$(cat "$work/pid_$way")
      wait_until single_key_mode || fail "$way: the program did not wait for its key"
      case $way in
        key) printf k >&7 ;;
        end_of_input) printf '\004' >&7 ;;
        ctrl_c) printf '\003' >&7 ;;
        ctrl_z_fg)
          printf '\032' >&7
          wait_until stopped || fail "Ctrl-Z did not stop the program"
          [ "$(settings)" = "$before" ] || fail "terminal left in single-key mode while stopped"
          printf 'fg\n' >&7
          wait_until running || fail "fg did not continue the program"
          wait_until single_key_mode || fail "no single-key mode after fg"
          printf k >&7
          ;;
        sigterm) kill -TERM "$pid" ;;
      esac
      wait_until ended || fail "$way: the program did not end"
      type_line "stty -g > $work/after_$way" "$work/after_$way"
      [ "$(cat "$work/after_$way")" = "$before" ] ||
        fail "$way: terminal settings $(cat "$work/after_$way"), before $before"
    done
    printf 'exit\n' >&7
    exec 7>&-
    wait "$shell_pid" || true
    shell_pid=
    ;;
  *)
    fail "unknown scenario"
    ;;
esac
echo "ok ($scenario)"
