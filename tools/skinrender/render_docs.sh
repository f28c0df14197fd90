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
# more between buttons; study-plan steps 65 apart, guide arrows 92 apart from 132.
rows="--set top_button.C=43 --set mid_button.C=43 --set bottom_button.C=43"
plan="--set window_menu_buttom.C=65 --set window_menu_guide.C=92 --set window_menu_guide.B=132"
"$render" "$skin" MainFrame_Window "$out/main_window.png" $rows \
    --style time_first=num0 --style time_mid=num8 --style time_last=num5
"$render" "$skin" MainFrame_Window "$out/main_window_orange.png" --orange $rows $plan \
    --hide nonlogin --show vip_login --text "username=张晓明 【VIP会员】" --text "userlevel=等级：三级" \
    --text "userScore=金币：260" --text "window_email=3" --style time_first=num1 --style time_mid=num2 --style time_last=num6 \
    --hide window_moren --show window_menu --text "todayplan=复习民法总则第三章，完成刑法考点练习 40 题"
"$render" "$skin" MainFrame_Window "$out/main_window_tour.png" $rows \
    --show window_mask --show window_guidance_parent
"$render" "$skin" window_landing "$out/login_window.png"
"$render" "$skin" window_landing "$out/login_window_orange.png" --orange
"$render" "$skin" login_sysnew "$out/notice_window.png" \
    --text "window_login_success=您好，系统已为你更新到新的版本。"
"$render" "$skin" login_sysnew "$out/notice_window_link.png" --orange --hide window_login_success \
    --show window_login_sysnew_link --text "window_login_sysnew_link=民法总则第三章练习题讨论（新回复）
点击查看详情"
