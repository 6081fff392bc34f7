# The viewer's window scenario, shared by the platforms' window checks
# (sourced; bash). A platform's script starts the show under an X server,
# says how its window is found and where F12 writes, and runs the steps:
#
#   ws_step_open_size           the largest whole multiple that fits the work
#                               area, frame included
#   ws_step_pause_and_shot      Space pauses (two screenshots 1 s apart are
#                               equal), F12 writes the frame on screen, Space
#                               resumes
#   ws_step_resize W H          resized, the picture 4:3 between black bars
#   ws_step_fullscreen KEYS     F11 or Alt+Enter there and back: whole screen,
#                               then the same place (within 2 px), size and
#                               maximised state
#   ws_step_maximized_fullscreen KEYS   the same from a maximised window
#                               (under a window manager)
#   ws_step_idle_cursor         the pointer over the window hides when still
#                               (after 2 s) and comes back when it moves
#   ws_step_escape_tap          Escape down and up 1 ms later: exit status 0
#   ws_step_close               closing the window: exit status 0
#
# The script sets before the steps:
#   WS_FIND      xdotool search arguments that find the window (an array)
#   WS_PID       the show's process id (ws_started sets it)
#   WS_LOG       its output, shown on failure
#   WS_SHOTS     the folder F12 writes into
#   WS_FRAME     the frame's size, "640 480"
# and may define ws_on_fail (called before exiting on a failure).
#
# Nothing here sleeps for a fixed time to wait for something: every wait
# polls with a deadline (a loaded machine draws frames late, and keys are
# read once a frame), and the window id is looked up again before every use
# (a window can be replaced, as Wine does).
# Needs: xdotool, xprop, xwininfo, ImageMagick (import, convert, compare),
# python3 (the X client messages).

WS_FRAME=${WS_FRAME:-640 480}
WS_STATUS=

ws_fail() {
  echo "FAIL: $*" >&2
  if declare -F ws_on_fail >/dev/null; then ws_on_fail; fi
  if [ -n "${WS_LOG:-}" ] && [ -f "$WS_LOG" ]; then
    echo "--- the show's output:" >&2
    cat "$WS_LOG" >&2
  fi
  exit 1
}

ws_now_ms() { date +%s%3N; }

# ws_poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds
# (0) or SECONDS have passed (1).
ws_poll() {
  local deadline=$(($(ws_now_ms) + $1 * 1000))
  shift
  while :; do
    "$@" && return 0
    [ "$(ws_now_ms)" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

ws_alive() { kill -0 "$WS_PID" 2>/dev/null; }

# The window's id now (empty, status 1, when there is none).
ws_window() {
  local id
  id=$(xdotool search "${WS_FIND[@]}" 2>/dev/null | head -n 1)
  [ -n "$id" ] && echo "$id"
}

# ws_started PID: waits for the show's window to show a picture. Until
# then the window may still be replaced (SDL makes it again for an OpenGL
# renderer), and an id found earlier is no use.
ws_started() {
  WS_PID=$1
  ws_poll 60 eval 'ws_drawn || ! ws_alive'
  ws_alive || ws_fail "the show ended before its window showed a picture"
  ws_drawn || ws_fail "no window with a picture appeared"
}
ws_drawn() {
  local shot
  shot=$(mktemp --suffix .png) || return 1
  ws_shot "$shot" && [ "$(convert "$shot" -format '%[fx:maxima.r+maxima.g+maxima.b > 0]' info:)" = 1 ]
  local drawn=$?
  rm -f "$shot"
  return $drawn
}

# ws_key KEY...: the keys to the window, found again now.
ws_key() {
  local id
  id=$(ws_window) || ws_fail "no window to send $* to"
  xdotool key --window "$id" "$@" || ws_fail "could not send $* to window $id"
}

# Client area: "W H X Y" (X Y on the screen).
ws_geometry() {
  local id WIDTH HEIGHT X Y
  id=$(ws_window) || return 1
  eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || return 1
  echo "$WIDTH $HEIGHT $X $Y"
}
ws_size() { local g; g=$(ws_geometry) || return 1; set -- $g; echo "$1 $2"; }
ws_size_is() { [ "$(ws_size)" = "$1 $2" ]; }
ws_await_size() { ws_poll "${3:-20}" ws_size_is "$1" "$2"; }

ws_maximized() {
  local id state
  id=$(ws_window) || return 1
  state=$(xprop -id "$id" _NET_WM_STATE 2>/dev/null)
  [[ $state == *_NET_WM_STATE_MAXIMIZED_VERT* && $state == *_NET_WM_STATE_MAXIMIZED_HORZ* ]]
}
ws_not_maximized() { ! ws_maximized; }

ws_has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The screen's size "W H", and the work area "X Y W H" (the screen's where no
# window manager tells it).
ws_screen() { xwininfo -root | awk '/^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {print w, h}'; }
ws_workarea() {
  local area
  area=$(xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *//p' | cut -d, -f1-4 | tr -d ' ' | tr , ' ')
  if [ -n "$area" ]; then echo "$area"; else echo "0 0 $(ws_screen)"; fi
}
# The window manager's frame around the window: "LEFT RIGHT TOP BOTTOM".
ws_frame_extents() {
  local id ext
  id=$(ws_window) || return 1
  ext=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ' | tr , ' ')
  echo "${ext:-0 0 0 0}"
}

# ws_client_message TARGET ROOT? TYPE DATA...: an X client message, as a
# window manager or a pager sends it (xdotool of the distributions cannot).
ws_client_message() {
  python3 - "$@" <<'EOF'
import ctypes, ctypes.util, sys
x = ctypes.CDLL(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class Message(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Message)]
d = x.XOpenDisplay(None)
if not d:
    sys.exit("no X display")
window, to_root, kind = int(sys.argv[1]), sys.argv[2] == "root", sys.argv[3]
atom = lambda a: x.XInternAtom(d, a.encode(), 0)
m = Message(type=33, window=window, message_type=atom(kind), format=32)  # ClientMessage
for i, v in enumerate(sys.argv[4:]):
    m.l[i] = int(v) if v.isdigit() else atom(v)
# To the root: for the window manager (SubstructureRedirect | SubstructureNotify).
target, mask = (x.XDefaultRootWindow(d), (1 << 20) | (1 << 19)) if to_root else (window, 0)
x.XSendEvent(d, target, 0, mask, ctypes.byref(m))
x.XFlush(d)
x.XCloseDisplay(d)
EOF
}

# Whether the pointer's picture has a pixel that is not transparent (XFixes:
# the cursor as the server draws it). Status 2 without libXfixes.
ws_cursor_visible() {
  python3 - <<'EOF'
import ctypes, ctypes.util, sys
x, name = ctypes.CDLL(ctypes.util.find_library("X11")), ctypes.util.find_library("Xfixes")
if not name:
    sys.exit(2)
xf = ctypes.CDLL(name)
class Image(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort), ("serial", ctypes.c_ulong),
                ("pixels", ctypes.POINTER(ctypes.c_ulong))]
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XCloseDisplay.argtypes = x.XFree.argtypes = [ctypes.c_void_p]
xf.XFixesGetCursorImage.restype = ctypes.POINTER(Image)
xf.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
if not d:
    sys.exit("no X display")
image = xf.XFixesGetCursorImage(d)
if not image:
    sys.exit(2)
i = image.contents
shown = any(i.pixels[k] & 0xFF000000 for k in range(i.width * i.height))
x.XFree(image)
x.XCloseDisplay(d)
sys.exit(0 if shown else 1)
EOF
}
ws_cursor_hidden() { ws_cursor_visible; [ $? = 1 ]; }
# Moves the pointer one pixel over the window (to and fro), then looks.
ws_nudge_and_see_cursor() {
  local w h x y
  read -r w h x y < <(ws_geometry) || return 1
  WS_NUDGE=$((1 - ${WS_NUDGE:-0}))
  xdotool mousemove $((x + w / 2 + WS_NUDGE)) $((y + h / 2)) 2>/dev/null
  ws_cursor_visible
}

# The close box: WM_DELETE_WINDOW, as a window manager sends it.
ws_close_window() {
  local id
  id=$(ws_window) || ws_fail "no window to close"
  ws_client_message "$id" self WM_PROTOCOLS WM_DELETE_WINDOW 0 || ws_fail "could not ask window $id to close"
}
ws_maximize() {
  local id
  id=$(ws_window) || ws_fail "no window to maximise"
  ws_client_message "$id" root _NET_WM_STATE 1 _NET_WM_STATE_MAXIMIZED_VERT _NET_WM_STATE_MAXIMIZED_HORZ 1 ||
    ws_fail "could not ask for window $id to be maximised"
}
ws_unmaximize() {
  local id
  id=$(ws_window) || ws_fail "no window to unmaximise"
  ws_client_message "$id" root _NET_WM_STATE 0 _NET_WM_STATE_MAXIMIZED_VERT _NET_WM_STATE_MAXIMIZED_HORZ 1 ||
    ws_fail "could not ask for window $id to be unmaximised"
}

# ws_shot FILE [root]: the window's client area (or the whole screen).
# import waits for ever on a window destroyed while it reads it: a deadline.
ws_shot() {
  local id
  if [ "${2:-}" = root ]; then
    timeout 20 import -window root "$1" 2>/dev/null && return 0
  else
    id=$(ws_window) && timeout 20 import -window "$id" "$1" 2>/dev/null && return 0
  fi
  return 1
}
ws_same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

# The bounding box of the pixels that are not black: "W H X Y".
ws_lit_box() { convert "$1" -fuzz 0 -format '%@' info: | sed 's/[x+]/ /g'; }
# The 4:3 picture area of a W x H client: "X0 Y0 X1 Y1".
ws_picture_area() {
  local w=$1 h=$2 pw ph
  read -r fw fh <<<"$WS_FRAME"
  if [ $((w * fh)) -gt $((h * fw)) ]; then pw=$((h * fw / fh)) ph=$h; else pw=$w ph=$((w * fh / fw)); fi
  echo "$(((w - pw) / 2)) $(((h - ph) / 2)) $(((w + pw) / 2)) $(((h + ph) / 2))"
}
# ws_letterboxed FILE: the lit pixels of the shot lie inside its 4:3 picture
# area (the bars black) and span at least 3/4 of its width (not a shrunken
# or blank picture).
ws_letterboxed() {
  local w h x y x0 y0 x1 y1 sw sh
  read -r sw sh < <(identify -format '%w %h' "$1")
  read -r x0 y0 x1 y1 < <(ws_picture_area "$sw" "$sh")
  read -r w h x y < <(ws_lit_box "$1")
  WS_WHY="lit area ${w}x${h}+${x}+${y}, picture area $x0,$y0-$x1,$y1 of ${sw}x${sh}"
  # One pixel of slack: the scaler may round the picture's edge either way.
  [ "$x" -ge $((x0 - 1)) ] && [ "$y" -ge $((y0 - 1)) ] && [ $((x + w)) -le $((x1 + 1)) ] &&
    [ $((y + h)) -le $((y1 + 1)) ] && [ $((w * 4)) -ge $(((x1 - x0) * 3)) ]
}

# ws_await_exit SECONDS: waits for the show to end; its status in WS_STATUS.
# The window is gone too: the X server may take its time over a client that
# has left, and the next run's search must not find the old window.
ws_await_exit() {
  ws_poll "$1" eval '! ws_alive' || return 1
  WS_STATUS=0
  wait "$WS_PID" || WS_STATUS=$?
  ws_poll "$1" eval '! ws_window >/dev/null' || ws_fail "the window stayed after the show ended"
  return 0
}

# --- the steps -----------------------------------------------------------------

ws_step_open_size() {
  local ax ay aw ah l r t b fw fh scale
  ws_poll 20 eval '[ "$(ws_size)" != "" ]' || ws_fail "the window has no size"
  # A window manager puts its frame on and tells its size shortly after the
  # window appears.
  if ws_has_wm; then ws_poll 20 eval '[ "$(ws_frame_extents)" != "0 0 0 0" ]' || ws_fail "no frame came"; fi
  read -r ax ay aw ah < <(ws_workarea)
  read -r l r t b < <(ws_frame_extents)
  read -r fw fh <<<"$WS_FRAME"
  scale=$(((aw - l - r) / fw))
  [ $(((ah - t - b) / fh)) -lt "$scale" ] && scale=$(((ah - t - b) / fh))
  [ "$scale" -lt 1 ] && scale=1
  ws_await_size $((fw * scale)) $((fh * scale)) ||
    ws_fail "opened at $(ws_size), not $((fw * scale)) x $((fh * scale)) (${scale}x) in the work area ${aw}x${ah}+$ax+$ay with a frame of $l $r $t $b"
  local w h x y
  read -r w h x y < <(ws_geometry)
  [ $((x - l)) -ge "$ax" ] && [ $((y - t)) -ge "$ay" ] && [ $((x + w + r)) -le $((ax + aw)) ] &&
    [ $((y + h + b)) -le $((ay + ah)) ] ||
    ws_fail "the window with its frame ($l $r $t $b) around ${w}x${h}+$x+$y leaves the work area ${aw}x${ah}+$ax+$ay"
  echo "open: ${w} x ${h} (${scale}x) at $x,$y, frame $l $r $t $b, work area ${aw}x${ah}+$ax+$ay"
}

# Space pauses: two screenshots a second apart are the same picture. F12
# then writes that frame: the shot, scaled back to the frame's size, is the
# file (the window shows whole multiples at the opening size). Space again:
# the picture moves on.
ws_step_pause_and_shot() {
  local dir=$1 w h
  read -r w h < <(ws_size)
  ws_key space
  # The key is read on the next frame: paused once two looks agree.
  ws_poll 20 ws_pause_seen "$dir" || ws_fail "the picture kept changing after Space"
  ws_shot "$dir/paused2.png" || ws_fail "no screenshot"
  ws_same "$dir/paused1.png" "$dir/paused2.png" || ws_fail "the picture moved while paused"
  local before
  before=$(find "$WS_SHOTS" -maxdepth 1 -name 'nerith-*.png' 2>/dev/null | wc -l)
  ws_key F12
  ws_poll 20 eval '[ "$(find "$WS_SHOTS" -maxdepth 1 -name "nerith-*.png" | wc -l)" -gt "$before" ]' ||
    ws_fail "F12 wrote no nerith-*.png into $WS_SHOTS"
  local file
  file=$(ls -t "$WS_SHOTS"/nerith-*.png | head -n 1)
  read -r fw fh <<<"$WS_FRAME"
  [ "$(identify -format '%wx%h' "$file")" = "${fw}x${fh}" ] || ws_fail "$file is not ${fw}x${fh}"
  convert "$dir/paused2.png" -sample "${fw}x${fh}!" "$dir/paused-frame.png"
  ws_same "$dir/paused-frame.png" "$file" || ws_fail "$file is not the frame on screen"
  ws_key space
  ws_poll 20 ws_moved "$dir/paused2.png" "$dir/resumed.png" || ws_fail "the picture did not move on after Space"
  echo "pause: still for 1 s; F12 wrote $(basename "$file"), the frame on screen; Space resumed"
}
ws_pause_seen() {
  ws_shot "$1/paused1.png" || return 1
  sleep 1
  ws_shot "$1/paused2.png" || return 1
  ws_same "$1/paused1.png" "$1/paused2.png"
}
ws_moved() { ws_shot "$2" && ! ws_same "$1" "$2"; }

ws_step_resize() {
  local dir=$1 w=$2 h=$3 id
  id=$(ws_window) || ws_fail "no window to resize"
  xdotool windowsize "$id" "$w" "$h"
  ws_await_size "$w" "$h" || ws_fail "the window was not resized to ${w}x$h: $(ws_size)"
  # Drawn again at the new size by the next frame.
  ws_poll 20 ws_shot_letterboxed "$dir/resized-${w}x$h.png" || ws_fail "${w}x$h: $WS_WHY"
  echo "resize: ${w}x$h shows the picture 4:3 between black bars"
}
ws_shot_letterboxed() { ws_shot "$1" && ws_letterboxed "$1"; }

# ws_step_fullscreen DIR KEYS: to full screen and back.
ws_step_fullscreen() {
  local dir=$1 keys=$2 before after sw sh was_max=no
  before=$(ws_geometry) || ws_fail "no window"
  ws_maximized && was_max=yes
  read -r sw sh < <(ws_screen)
  ws_key "$keys"
  ws_await_size "$sw" "$sh" || ws_fail "$keys: the window is $(ws_size), not the whole screen ${sw}x$sh"
  ws_poll 20 eval "ws_shot '$dir/full.png' root && ws_letterboxed '$dir/full.png'" || ws_fail "$keys, full screen: $WS_WHY"
  ws_key "$keys"
  ws_poll 20 ws_same_place "$before" ||
    ws_fail "$keys back: the window is $(ws_geometry), not $before (size, place within 2 px)"
  if [ $was_max = yes ]; then
    ws_poll 20 ws_maximized || ws_fail "$keys back: no longer maximised"
  else
    ws_not_maximized || ws_fail "$keys back: maximised now"
  fi
  echo "$keys: the whole screen and back to $(ws_geometry) (was $before), maximised: $was_max"
}
ws_same_place() {
  local w h x y w0 h0 x0 y0
  read -r w0 h0 x0 y0 <<<"$1"
  read -r w h x y < <(ws_geometry) || return 1
  [ "$w" = "$w0" ] && [ "$h" = "$h0" ] && [ $(((x - x0) * (x - x0))) -le 4 ] && [ $(((y - y0) * (y - y0))) -le 4 ]
}

ws_step_maximized_fullscreen() {
  local dir=$1 keys=$2
  ws_maximize
  ws_poll 20 ws_maximized || ws_fail "the window manager did not maximise the window"
  # Settled: the size stays for a moment.
  ws_poll 20 ws_size_steady || ws_fail "the maximised window does not settle"
  ws_step_fullscreen "$dir" "$keys"
  ws_unmaximize
  ws_poll 20 ws_not_maximized || ws_fail "the window manager did not unmaximise the window"
}
ws_size_steady() {
  local a
  a=$(ws_geometry) || return 1
  sleep 0.3
  [ "$(ws_geometry)" = "$a" ]
}

ws_step_idle_cursor() {
  ws_cursor_visible
  if [ $? = 2 ]; then
    echo "cursor: not checked (no XFixes library)"
    return 0
  fi
  ws_poll 20 ws_nudge_and_see_cursor || ws_fail "the pointer is not shown while it moves over the window"
  ws_poll 20 ws_cursor_hidden || ws_fail "the pointer stays on the window without motion"
  ws_poll 20 ws_nudge_and_see_cursor || ws_fail "the pointer does not come back when it moves"
  echo "cursor: shown while moving, hidden when still, back on motion"
}

ws_step_escape_tap() {
  local id
  id=$(ws_window) || ws_fail "no window for Escape"
  # Down and up again a millisecond later: between two frames.
  xdotool key --delay 1 --window "$id" Escape
  ws_await_exit 20 || ws_fail "a 1 ms Escape tap did not end the show"
  [ "$WS_STATUS" = 0 ] || ws_fail "after Escape the show ended with status $WS_STATUS"
  echo "Escape: a 1 ms tap ended the show with status 0"
}

ws_step_close() {
  ws_close_window
  ws_await_exit 20 || ws_fail "closing the window did not end the show"
  [ "$WS_STATUS" = 0 ] || ws_fail "after closing the window the show ended with status $WS_STATUS"
  echo "close: the show ended with status 0"
}
