# shellcheck shell=bash disable=SC2154 # run.sh's variables
# run_headless.sh: the headless part of run.sh, sourced by it (not run on its own).
# It uses run.sh's variables (top, dir, program, service_url) and functions
# (start_service, stop_service, publish_update_folder, point_at_service and
# strip_member_files, from scripts/service.sh).
#
# Everything is watched from outside, as a person would see it: top-level X windows of the
# client's process (the main window carries the running-instance marker "Kavrel"), the
# screen, and the study service's record of the requests it received.

readonly kDemoUser=zhangsan
readonly kDemoPassword=123456
readonly kMarkerValue=3797956697 # 0xE2603859, the running-instance marker's value
readonly kTile=window_kaodian    # first function tile: its place does not move with the width
readonly kTileLabel=考点精讲
readonly kTilePage=testSites_sitesList.htm
# Every service answer comes this late, so the login window stays up long enough to be seen.
readonly kAnswerDelayMs=1000

screen_pid=
client_pid=
headless_run=
screenshots=()

headless_cleanup() {
  stop_client
  stop_service
  if [ -n "$screen_pid" ] && kill -0 "$screen_pid" 2>/dev/null; then
    kill "$screen_pid" 2>/dev/null || true
    wait "$screen_pid" 2>/dev/null || true
  fi
}

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds or SECONDS of real time
# have passed (a poll may itself take a while); false when time runs out.
wait_until() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

client_running() { [ -n "$client_pid" ] && kill -0 "$client_pid" 2>/dev/null; }
client_gone() { ! client_running; }

stop_client() {
  client_running || return 0
  kill "$client_pid" 2>/dev/null || true
  wait_until 5 client_gone || kill -9 "$client_pid" 2>/dev/null || true
  wait "$client_pid" 2>/dev/null || true
}

# start_screen: a private Xvfb screen on a free display; sets DISPLAY.
start_screen() {
  local fdfile=$headless_run/display
  : >"$fdfile"
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$fdfile" 2>"$headless_run/xvfb.log" &
  screen_pid=$!
  if ! wait_until 20 test -s "$fdfile"; then
    cat "$headless_run/xvfb.log" >&2
    echo "run.sh: Xvfb did not start" >&2
    exit 1
  fi
  DISPLAY=:$(head -1 "$fdfile")
  export DISPLAY
}

# client_windows: one line "ID X Y WIDTH HEIGHT main|other" per shown top-level window of
# the client.
client_windows() {
  local id pid info
  for id in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ { print $1 }'); do
    pid=$(xprop -id "$id" _NET_WM_PID 2>/dev/null | awk '{ print $3 }')
    [ "$pid" = "$client_pid" ] || continue
    info=$(xwininfo -id "$id" 2>/dev/null) || continue
    grep -q "Map State: IsViewable" <<<"$info" || continue
    local kind=other
    xprop -id "$id" Kavrel 2>/dev/null | grep -q "= $kMarkerValue\$" && kind=main
    awk -v id="$id" -v kind="$kind" '
      /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
      /^ +Width:/ { w = $NF } /^ +Height:/ { h = $NF }
      END { print id, x, y, w, h, kind }' <<<"$info"
  done
}

main_window() { client_windows | awk '$6 == "main"' | head -1; }
# The login window is the client's other window of the login layout's size.
login_window() { client_windows | awk -v size="$login_size" '$6 == "other" && $4 "x" $5 == size' | head -1; }
any_window_shown() { [ -n "$(client_windows)" ]; }
window_shown_or_client_gone() { any_window_shown || client_gone; }
main_window_shown() { [ -n "$(main_window)" ]; }
login_window_shown() { [ -n "$(login_window)" ]; }
login_window_closed() { ! login_window_shown; }

# layout_size LAYOUT: "WxH" of a layout of the shipped skin.
layout_size() {
  sed -n "s/.*<layout name=\"$1\" width=\"\([0-9]*\)\" height=\"\([0-9]*\)\".*/\1x\2/p" \
    "$headless_run/program/skin/config.xml" | head -1
}

# requests: one line per request the service received: "post CMD[:DATASOURCE]" for service
# posts, "METHOD PATH" for everything else.
requests() {
  curl -s --max-time 5 "$service_url/control/requests" | jq -r '
    .requests[] |
    if .path == "/service/post" then
      (.body | fromjson? // {}) as $b |
      "post " + ($b.cmd // "?") +
      (if $b.cmd == "load" then
         ":" + ((($b.content | if type == "string" then (fromjson? // {}) else . end) // {}).datasource // "?")
       else "" end)
    else .method + " " + .path end' 2>/dev/null || true
}
login_requested() { requests | grep -q '^post login$'; }
requests_after_login() { requests | sed -n '/^post login$/,$p' | tail -n +2; }
signed_in() { login_window_closed && [ -n "$(requests_after_login)" ]; }
# Main-window pages carry the cache-buster, "?randomtime=...".
page_requested() { requests | grep -q -e "^GET /soft/$kTilePage\$" -e "^GET /soft/$kTilePage?"; }

screenshot() {
  local file=$screenshots_dir/$1
  import -window root "$file" 2>/dev/null && screenshots+=("$file")
}

# remember_demo_member INI: remembered login at level 3 (name, password, automatic login),
# written as the client writes its settings (section "info", CRLF line ends). The member
# has started the client before and seen this version's news, so neither the guidance
# tour nor the what's-new window stands between the login and the main window.
remember_demo_member() {
  printf '[info]\r\nuser=%s\r\npassword=%s\r\nautologin=3\r\nfirstlogin=1\r\nhasupdate=1\r\n' \
    "$kDemoUser" "$kDemoPassword" >"$1"
}

# click_element NAME: a real click in the middle of a main-window element, placed where the
# skin lays it out for the window's present size.
click_element() {
  local win place
  win=$(main_window)
  [ -n "$win" ] || return 1
  read -r _ wx wy ww wh _ <<<"$win"
  place=$("$dir/tools/skinrender/skinrender" "$headless_run/program/skin/config.xml" MainFrame_Window \
    "$headless_run/where.png" --size "${ww}x${wh}" --where "$1") || return 1
  read -r _ ex ey ew eh <<<"$place"
  xdotool mousemove --sync $((wx + ex + ew / 2)) $((wy + ey + eh / 2)) click 1
}

run_headless() {
  local tool
  for tool in Xvfb xwininfo xprop xdotool import curl jq; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
  done
  if [ ! -x "$program/Kavrel" ]; then
    echo "run.sh: $program/Kavrel is not built; nothing to run" >&2
    exit 1
  fi

  headless_run=$dir/headless
  screenshots_dir=$dir/screenshots
  # Only this run's own pictures go: the session program test keeps its own in screenshots/session.
  rm -rf "$headless_run"
  rm -f "$screenshots_dir"/[0-9]-*.png
  mkdir -p "$headless_run" "$screenshots_dir"
  trap headless_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  # A scratch program folder: the build's own settings and logs stay as they are.
  cp -a "$program" "$headless_run/program"
  strip_member_files "$headless_run/program"
  start_service "${KAVREL_SERVICE_PORT:-0}" "$headless_run/update"
  point_at_service "$headless_run/program" "$service_url"
  publish_update_folder "$headless_run/program" "$headless_run/update" "$headless_run/snapshot"
  remember_demo_member "$headless_run/program/data/config.ini"
  login_size=$(layout_size window_landing)

  curl -s --max-time 5 -X POST "$service_url/control/fault" \
    -d "{\"path\": \"/service/post\", \"delayMs\": $kAnswerDelayMs, \"times\": 0}" >/dev/null

  start_screen
  echo "run.sh: no display; running the client on Xvfb $DISPLAY with $kDemoUser remembered for automatic login"
  (cd "$headless_run/program" && exec ./Kavrel "$@") >"$headless_run/client.log" 2>&1 &
  client_pid=$!

  local came_up=no saw_login=no signed=no page=no clicked=no
  wait_until 30 window_shown_or_client_gone || true
  any_window_shown && came_up=yes
  if [ "$came_up" = no ]; then
    local why="no window of it appeared within 30 s"
    if client_gone; then
      local code=0
      wait "$client_pid" || code=$?
      why="it ended with exit code $code before showing a window"
    fi
    screenshot 0-no-window.png || true
    echo "run.sh: the client did not come up; its output ($headless_run/client.log):" >&2
    tail -n 20 "$headless_run/client.log" >&2 || true
    print_result
    echo "Summary: Kavrel did not come up: $why."
    return 1
  fi

  # The login window opens over the main window, modally, right after start.
  if wait_until 10 login_window_shown; then
    saw_login=yes
    screenshot 1-login-window.png || true
  fi
  if [ "$saw_login" = yes ] || login_requested; then
    wait_until 20 signed_in && signed=yes
  fi
  wait_until 10 main_window_shown || true
  screenshot 2-main-window.png || true

  if main_window_shown && click_element "$kTile"; then
    clicked=yes
    if wait_until 3 page_requested; then
      page=yes
    else
      screenshot 3-after-click.png || true
      wait_until 12 page_requested && page=yes
    fi
    if [ "$page" = yes ]; then
      # The page was fetched; give the web view a moment to draw it.
      sleep 1.5
      screenshot 3-study-page.png || true
    fi
  fi

  print_result
  local summary="Kavrel came up"
  if [ "$saw_login" = yes ]; then summary+="; its login window opened"; else summary+="; no login window opened"; fi
  if login_requested; then
    local after
    # No request after the login yet is an answer too, not a failure of the pipe.
    after=$({ requests_after_login | grep '^post' || true; } | sed 's/^post //' | sort | uniq -c | awk '{ printf "%s%s x%s", sep, $2, $1; sep = ", " }')
    if [ "$signed" = yes ]; then
      summary+=" and it signed in as $kDemoUser (login request, then: ${after:-nothing})"
    else
      summary+=" and sent a login request for $kDemoUser, but the sign-in did not complete within 20 s"
    fi
  else
    summary+=", and no login took place: no login request reached the service"
  fi
  if [ "$clicked" = no ]; then
    summary+="; the function tile could not be clicked (no main window)"
  elif [ "$page" = yes ]; then
    summary+="; a click on the tile $kTileLabel opened the study page $kTilePage"
  else
    summary+="; a click on the tile $kTileLabel opened no study page"
  fi
  echo "Summary: $summary."
  stop_client
  return 0
}

print_result() {
  local file
  echo "Screenshots:"
  for file in "${screenshots[@]}"; do echo "  $file"; done
  echo "Requests the study service received:"
  requests | sed 's/^/  /'
  echo "Client output: $headless_run/client.log"
}
