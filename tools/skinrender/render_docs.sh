#!/bin/sh
# Renders the README's pictures of the skin into docs/images/.
# Usage: tools/skinrender/render_docs.sh <build folder>
set -eu
build=${1:-build}
root=$(cd "$(dirname "$0")/../.." && pwd)
render="$build/tools/skinrender/skinrender"
skin="$root/skin/config.xml"
out="$root/docs/images"
mkdir -p "$out"
# The client's resize handling at the default width 1008: button groups (1008-789)/5 = 43
# more between buttons.
rows="--set top_button.C=43 --set mid_button.C=43 --set bottom_button.C=43"
"$render" "$skin" MainFrame_Window "$out/main_window.png" $rows \
    --style time_first=num0 --style time_mid=num8 --style time_last=num5
"$render" "$skin" window_landing "$out/login_window_orange.png" --orange
"$render" "$skin" login_sysnew "$out/notice_window.png" \
    --text "window_login_success=您好，系统已为你更新到新的版本。"
