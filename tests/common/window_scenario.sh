# The viewer's window scenario, shared by the platforms' window checks
# (sourced by bash). The platform's script starts the show under an X server
# and calls ws_started PID, then the steps ws_step_*: open size, pause and
# F12, resize, full screen there and back (also from maximised), the idle
# pointer, the Escape tap and the close box. It sets WS_FIND (xdotool search
# arguments that find the window), WS_LOG (the show's output), WS_SHOTS (the
# folder F12 writes into), WS_TMP (a scratch folder) and may define
# ws_on_fail, and WS_CENTRED=0 where the opening place is not checked.
# No fixed sleeps stand for a wait: every wait polls with a deadline, and the
# window id is looked up again before every use (windows get replaced).
# Needs xdotool, xprop, xwininfo, ImageMagick and python3.
WS_FRAME=${WS_FRAME:-640 480}

ws_fail() {
  echo "FAIL: $*" >&2
  if declare -F ws_on_fail >/dev/null; then ws_on_fail; fi
  [ -f "${WS_LOG:-}" ] && { echo "--- the show's output:" >&2; cat "$WS_LOG" >&2; }
  exit 1
}
# ws_poll SECONDS COMMAND...: COMMAND every 0.1 s until it succeeds (0) or
# the time is up (1).
ws_poll() {
  local deadline=$(($(date +%s%3N) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(date +%s%3N)" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}
ws_alive() { kill -0 "$WS_PID" 2>/dev/null; }
# A new X server can refuse connections for a moment after xvfb-run starts
# the command (seen under load): a client started then gives up at once.
ws_await_server() { ws_poll 20 eval 'xwininfo -root >/dev/null 2>&1' || ws_fail "the X server takes no connections"; }
ws_window() { xdotool search "${WS_FIND[@]}" 2>/dev/null | head -n 1 | grep .; }
# Waits for the window to show a picture: until then it may still be
# replaced (SDL makes it again for an OpenGL renderer).
ws_started() {
  WS_PID=$1
  ws_poll 60 eval 'ws_drawn || ! ws_alive'
  ws_alive || { wait "$WS_PID"; ws_fail "the show ended (status $?) before its window showed a picture"; }
  ws_drawn || ws_fail "no window with a picture appeared"
}
ws_drawn() {
  ws_shot "$WS_TMP/drawn.png" && [ "$(convert "$WS_TMP/drawn.png" -format '%[fx:maxima.r+maxima.g+maxima.b>0]' info:)" = 1 ]
}
ws_key() {
  local id
  id=$(ws_window) || ws_fail "no window to send $* to"
  xdotool key --window "$id" "$@" || ws_fail "could not send $* to window $id"
}
# The client area: "W H X Y".
ws_geometry() {
  local id WIDTH HEIGHT X Y
  id=$(ws_window) && eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" && echo "$WIDTH $HEIGHT $X $Y"
}
ws_size() { ws_geometry | cut -d' ' -f1-2; }
ws_size_is() { [ "$(ws_size)" = "$1 $2" ]; }
ws_maximized() {
  local state
  state=$(xprop -id "$(ws_window)" _NET_WM_STATE 2>/dev/null)
  [[ $state == *MAXIMIZED_VERT* && $state == *MAXIMIZED_HORZ* ]]
}
ws_has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
ws_screen() { xwininfo -root | awk '/^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {print w, h}'; }
# Numbers of a property as "A B C...", or $3 where it is not set.
ws_numbers() { xprop "$@" 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ' | tr , ' ' | grep .; }
ws_workarea() { local a; a=$(ws_numbers -root _NET_WORKAREA) && cut -d' ' -f1-4 <<<"$a" || echo "0 0 $(ws_screen)"; }
ws_frame_extents() { ws_numbers -id "$(ws_window)" _NET_FRAME_EXTENTS || echo "0 0 0 0"; }

# ws_x ARGS: an X client message (ARGS: WINDOW root|self TYPE DATA...), as a
# window manager or pager sends it, or "cursor": whether the pointer's
# picture has a pixel that is not transparent (status 2 without XFixes).
ws_x() {
  python3 - "$@" <<'EOF'
import ctypes as C, ctypes.util as U, sys
x = C.CDLL(U.find_library("X11"))
x.XOpenDisplay.restype, x.XInternAtom.restype, x.XDefaultRootWindow.restype = C.c_void_p, C.c_ulong, C.c_ulong
x.XOpenDisplay.argtypes, x.XInternAtom.argtypes = [C.c_char_p], [C.c_void_p, C.c_char_p, C.c_int]
x.XDefaultRootWindow.argtypes = x.XFlush.argtypes = x.XCloseDisplay.argtypes = x.XFree.argtypes = [C.c_void_p]
d = x.XOpenDisplay(None) or sys.exit("no X display")
if sys.argv[1] == "cursor":
    if not U.find_library("Xfixes"):
        sys.exit(2)
    class Image(C.Structure):
        _fields_ = [("pos", C.c_short * 2), ("size", C.c_ushort * 2), ("hot", C.c_ushort * 2), ("serial", C.c_ulong),
                    ("pixels", C.POINTER(C.c_ulong))]
    xf = C.CDLL(U.find_library("Xfixes"))
    xf.XFixesGetCursorImage.restype, xf.XFixesGetCursorImage.argtypes = C.POINTER(Image), [C.c_void_p]
    i = xf.XFixesGetCursorImage(d).contents
    sys.exit(0 if any(i.pixels[k] >> 24 for k in range(i.size[0] * i.size[1])) else 1)
class Message(C.Structure):
    _fields_ = [("type", C.c_int), ("serial", C.c_ulong), ("send_event", C.c_int), ("display", C.c_void_p),
                ("window", C.c_ulong), ("message_type", C.c_ulong), ("format", C.c_int), ("l", C.c_long * 5),
                ("pad", C.c_long * 12)]
x.XSendEvent.argtypes = [C.c_void_p, C.c_ulong, C.c_int, C.c_long, C.POINTER(Message)]
atom = lambda a: x.XInternAtom(d, a.encode(), 0)
window = int(sys.argv[1])
m = Message(type=33, window=window, message_type=atom(sys.argv[3]), format=32)  # ClientMessage
for k, v in enumerate(sys.argv[4:]):
    m.l[k] = int(v) if v.isdigit() else atom(v)
# To the root, for the window manager: SubstructureRedirect | SubstructureNotify.
if sys.argv[2] == "root":
    x.XSendEvent(d, x.XDefaultRootWindow(d), 0, (1 << 20) | (1 << 19), C.byref(m))
else:
    x.XSendEvent(d, window, 0, 0, C.byref(m))
x.XCloseDisplay(d)
EOF
}
# ws_maximize 1|0: asks the window manager to maximise or restore.
ws_maximize() {
  ws_x "$(ws_window)" root _NET_WM_STATE "$1" _NET_WM_STATE_MAXIMIZED_VERT _NET_WM_STATE_MAXIMIZED_HORZ 1 ||
    ws_fail "could not ask for the maximised state $1"
}
ws_cursor_hidden() { ws_x cursor; [ $? = 1 ]; }
# Moves the pointer one pixel to and fro over the window, then looks.
ws_nudge_and_see_cursor() {
  local w h x y
  read -r w h x y < <(ws_geometry) && WS_NUDGE=$((1 - ${WS_NUDGE:-0})) &&
    xdotool mousemove $((x + w / 2 + WS_NUDGE)) $((y + h / 2)) && ws_x cursor
}

# ws_shot FILE [root]: the client area (or the screen). import waits for
# ever on a window destroyed while it reads it: a deadline.
ws_shot() {
  local id=root
  [ "${2:-}" = root ] || id=$(ws_window) || return 1
  timeout 20 import -window "$id" "$1" 2>/dev/null
}
ws_same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }
ws_moved() { ws_shot "$2" && ! ws_same "$1" "$2"; }
# ws_letterboxed FILE: the lit pixels lie in the 4:3 picture area (one pixel
# of slack for the scaler's rounding; the bars are black) and span at least
# 3/4 of its width.
ws_letterboxed() {
  local w h x y x0 y0 x1 y1 sw sh fw fh pw ph
  read -r sw sh < <(identify -format '%w %h' "$1")
  read -r fw fh <<<"$WS_FRAME"
  if [ $((sw * fh)) -gt $((sh * fw)) ]; then pw=$((sh * fw / fh)) ph=$sh; else pw=$sw ph=$((sw * fh / fw)); fi
  x0=$(((sw - pw) / 2)) y0=$(((sh - ph) / 2)) x1=$(((sw + pw) / 2)) y1=$(((sh + ph) / 2))
  read -r w h x y < <(convert "$1" -fuzz 0 -format '%@' info: | sed 's/[x+]/ /g')
  WS_WHY="lit area ${w}x${h}+${x}+${y}, picture area $x0,$y0-$x1,$y1 of ${sw}x${sh}"
  [ "$x" -ge $((x0 - 1)) ] && [ "$y" -ge $((y0 - 1)) ] && [ $((x + w)) -le $((x1 + 1)) ] &&
    [ $((y + h)) -le $((y1 + 1)) ] && [ $((w * 4)) -ge $((pw * 3)) ]
}
# ws_await_exit SECONDS: the show's end (status in WS_STATUS), and its
# window's: the next run's search must not find the old window.
ws_await_exit() {
  ws_poll "$1" eval '! ws_alive' || return 1
  WS_STATUS=0
  wait "$WS_PID" || WS_STATUS=$?
  ws_poll "$1" eval '! ws_window >/dev/null' || ws_fail "the window stayed after the show ended"
}

# --- the steps -----------------------------------------------------------------
# The largest whole multiple that fits the work area with the frame (a
# window manager puts the frame on shortly after the window appears).
ws_step_open_size() {
  local ax ay aw ah l r t b fw fh scale w h x y
  if ws_has_wm; then ws_poll 20 eval '[ "$(ws_frame_extents)" != "0 0 0 0" ]' || ws_fail "no frame came"; fi
  read -r ax ay aw ah < <(ws_workarea)
  read -r l r t b < <(ws_frame_extents)
  read -r fw fh <<<"$WS_FRAME"
  scale=$(((aw - l - r) / fw))
  [ $(((ah - t - b) / fh)) -lt "$scale" ] && scale=$(((ah - t - b) / fh))
  [ "$scale" -lt 1 ] && scale=1
  ws_poll 20 ws_size_is $((fw * scale)) $((fh * scale)) ||
    ws_fail "opened at $(ws_size), not ${scale}x in the work area ${aw}x${ah}+$ax+$ay with a frame of $l $r $t $b"
  read -r w h x y < <(ws_geometry)
  [ $((x - l)) -ge "$ax" ] && [ $((y - t)) -ge "$ay" ] && [ $((x + w + r)) -le $((ax + aw)) ] &&
    [ $((y + h + b)) -le $((ay + ah)) ] || ws_fail "the framed window ${w}x${h}+$x+$y leaves the work area"
  [ "${WS_CENTRED:-1}" = 0 ] || ws_poll 20 ws_centred "$ax $ay $aw $ah" "$l $r $t $b" ||
    ws_fail "the framed window is not centred in the work area: $WS_WHY"
  echo "open: $w x $h (${scale}x) at $x,$y, frame $l $r $t $b, work area ${aw}x${ah}+$ax+$ay"
}

# ws_centred "AX AY AW AH" "L R T B": the frame's margins to the work area's
# edges differ by at most 2 px (xwininfo: xdotool's place of a framed window
# is off by the frame).
ws_centred() {
  local ax ay aw ah l r t b x y w h
  read -r ax ay aw ah <<<"$1"
  read -r l r t b <<<"$2"
  read -r x y w h < <(xwininfo -id "$(ws_window)" 2>/dev/null |
    awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} /^ *Width:/ {w = $2} /^ *Height:/ {h = $2}
         END {print x, y, w, h}')
  local dx=$(((x - l - ax) - (ax + aw - x - w - r))) dy=$(((y - t - ay) - (ay + ah - y - h - b)))
  WS_WHY="client ${w}x${h} at $x,$y: the margins left and right differ by $dx px, top and bottom by $dy px"
  [ $((dx * dx)) -le 4 ] && [ $((dy * dy)) -le 4 ]
}

# Space: two screenshots 1 s apart are the same. F12 writes that frame (the
# shot at the opening size, a whole multiple, sampled back to the frame's
# size, is the file). Space again: the picture moves on.
ws_step_pause_and_shot() {
  local before file fw fh
  ws_key space
  ws_poll 20 ws_pause_seen || ws_fail "the picture kept changing after Space"
  before=$(ls "$WS_SHOTS" | grep -c '^nerith-.*\.png$')
  ws_key F12
  ws_poll 20 eval '[ "$(ls "$WS_SHOTS" | grep -c "^nerith-.*\.png$")" -gt "$before" ]' || ws_fail "F12 wrote nothing into $WS_SHOTS"
  file=$(ls -t "$WS_SHOTS"/nerith-*.png | head -n 1)
  read -r fw fh <<<"$WS_FRAME"
  # The bottom rows hold the paused show's bar and F12's note, drawn over the
  # picture only: compare the rows above them.
  convert "$WS_TMP/paused2.png" -sample "${fw}x${fh}!" -crop "${fw}x$((fh * 5 / 6))+0+0" +repage "$WS_TMP/paused-frame.png"
  convert "$file" -crop "${fw}x$((fh * 5 / 6))+0+0" +repage "$WS_TMP/saved-top.png"
  ws_same "$WS_TMP/paused-frame.png" "$WS_TMP/saved-top.png" || ws_fail "$file is not the frame on screen"
  ws_key space
  ws_poll 20 ws_moved "$WS_TMP/paused2.png" "$WS_TMP/resumed.png" || ws_fail "the picture did not move on after Space"
  echo "pause: still for 1 s; F12 wrote ${file##*/}, the frame on screen; Space resumed"
}
ws_pause_seen() {
  ws_shot "$WS_TMP/paused1.png" && sleep 1 && ws_shot "$WS_TMP/paused2.png" &&
    ws_same "$WS_TMP/paused1.png" "$WS_TMP/paused2.png"
}

ws_step_resize() {
  xdotool windowsize "$(ws_window)" "$1" "$2"
  ws_poll 20 ws_size_is "$1" "$2" || ws_fail "the window was not resized to $1 x $2: $(ws_size)"
  ws_poll 20 eval 'ws_shot "$WS_TMP/resized.png" && ws_letterboxed "$WS_TMP/resized.png"' || ws_fail "$1 x $2: $WS_WHY"
  echo "resize: $1 x $2 shows the picture 4:3 between black bars"
}

# ws_step_fullscreen KEYS: the whole screen, letterboxed, and back to the
# same size, place (within 2 px) and maximised state.
ws_step_fullscreen() {
  local before was=0 now=0
  before=$(ws_geometry) || ws_fail "no window"
  ws_maximized && was=1
  ws_key "$1"
  ws_poll 20 ws_size_is $(ws_screen) || ws_fail "$1: the window is $(ws_size), not the whole screen"
  ws_poll 20 eval 'ws_shot "$WS_TMP/full.png" root && ws_letterboxed "$WS_TMP/full.png"' || ws_fail "$1, full screen: $WS_WHY"
  ws_key "$1"
  ws_poll 20 ws_same_place "$before" || ws_fail "$1 back: the window is $(ws_geometry), not $before"
  [ $was = 1 ] && { ws_poll 20 ws_maximized || ws_fail "$1 back: no longer maximised"; }
  ws_maximized && now=1
  [ $now = $was ] || ws_fail "$1 back: maximised $now, was $was"
  echo "$1: the whole screen and back to $(ws_geometry) (was $before), maximised: $now"
}
ws_same_place() {
  local w h x y w0 h0 x0 y0
  read -r w0 h0 x0 y0 <<<"$1"
  read -r w h x y < <(ws_geometry) && [ "$w $h" = "$w0 $h0" ] && [ $(((x - x0) * (x - x0))) -le 4 ] &&
    [ $(((y - y0) * (y - y0))) -le 4 ]
}
ws_step_maximized_fullscreen() {
  ws_maximize 1
  ws_poll 20 ws_maximized || ws_fail "the window manager did not maximise the window"
  ws_poll 20 ws_size_steady || ws_fail "the maximised window does not settle"
  ws_step_fullscreen "$1"
  ws_maximize 0
  ws_poll 20 eval '! ws_maximized' || ws_fail "the window manager did not restore the window"
}
ws_size_steady() { local a; a=$(ws_geometry) && sleep 0.3 && [ "$(ws_geometry)" = "$a" ]; }

ws_step_idle_cursor() {
  ws_x cursor
  [ $? = 2 ] && { echo "cursor: not checked (no XFixes library)"; return 0; }
  ws_poll 20 ws_nudge_and_see_cursor || ws_fail "the pointer is not shown while it moves over the window"
  ws_poll 20 ws_cursor_hidden || ws_fail "the pointer stays on the window without motion"
  ws_poll 20 ws_nudge_and_see_cursor ||
    ws_fail "the pointer does not come back when it moves: $(xdotool getmouselocation 2>&1), window $(ws_geometry)"
  echo "cursor: shown while moving, hidden when still, back on motion"
}

# Down and up again a millisecond later: between two frames.
ws_step_escape_tap() {
  xdotool key --delay 1 --window "$(ws_window)" Escape
  ws_await_exit 20 || ws_fail "a 1 ms Escape tap did not end the show"
  [ "$WS_STATUS" = 0 ] || ws_fail "after Escape the show ended with status $WS_STATUS"
  echo "Escape: a 1 ms tap ended the show with status 0"
}
# The close box: WM_DELETE_WINDOW, as a window manager sends it.
ws_step_close() {
  ws_x "$(ws_window)" self WM_PROTOCOLS WM_DELETE_WINDOW 0 || ws_fail "could not ask the window to close"
  ws_await_exit 20 || ws_fail "closing the window did not end the show"
  [ "$WS_STATUS" = 0 ] || ws_fail "after closing the window the show ended with status $WS_STATUS"
  echo "close: the show ended with status 0"
}

# The switches every scenario makes after opening: pause and shot, full
# screen both ways and back to windows of other sizes, then the idle cursor.
# "maximized": also from a maximized window (needs a window manager).
ws_steps_switching() {
  ws_step_pause_and_shot
  ws_step_fullscreen F11
  ws_step_fullscreen alt+Return
  ws_step_resize 1600 900
  ws_step_fullscreen F11
  ws_step_resize 700 300
  ws_step_fullscreen alt+Return
  if [ "${1:-}" = maximized ]; then
    ws_step_maximized_fullscreen F11
    ws_step_maximized_fullscreen alt+Return
  fi
  ws_step_idle_cursor
}
