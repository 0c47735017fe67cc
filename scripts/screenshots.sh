#!/usr/bin/env bash
# Pictures of the window as a person sees it: the program runs under a virtual X display with a
# window manager and a notification area, handles the sample documents once, and is photographed
# on each of its six pages, with the tray icon's menu open, with the folder picker and with a text
# field's context menu (both in Qt's Dutch texts). The PNG files go to
# build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib/desktop.sh
scripts/deps.sh --screenshots
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target VeloraKarvexClient VeloraUpdater | grep -vE '^\[[0-9]+/[0-9]+\]' || true

out=$root/build/screenshots
demo=$root/build/screenshot-demo
client=$root/build/src/shell/VeloraKarvexClient
rm -rf "$out" "$demo"
mkdir -p "$out" "$demo/W2W/S2C"
write_demo_settings "$demo/VeloraKarvex.xml" 1
cp samples/new/*.s2c "$demo/W2W/S2C/"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

start_desktop 91 || { echo "screenshots: Xvfb does not start" >&2; exit 1; }
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
    --transparent false --tint 0xd6d6d6 >/dev/null 2>&1 &
pids+=($!)
sleep 1

"$client" --folder "$demo" >"$out/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
win=$(find_window "Vindo Velora Karvex koppeling" 30)
# the first cycle has answered every sample document
for _ in $(seq 100); do
    [[ $(ls "$demo/W2W/C2S" 2>/dev/null | grep -ci '\.c2s$' || true) -ge 3 ]] && break
    sleep 0.1
done
sleep 0.5

shoot() {
    # the window with the frame that the window manager gives it
    import -frame -window "$win" "$out/$1.png"
}

focus_link_window "$win"
pages=(1-instellingen 2-bijwerken 3-logboek 4-bestanden 5-pakket 6-overig)
for i in "${!pages[@]}"; do
    sleep 0.3
    shoot "${pages[$i]}"
    xdotool key --window "$win" ctrl+Tab
done

# the tray icon's menu, on the whole screen
# (trayer sits in the bottom right corner and holds only the link's icon)
eval "$(xdotool getdisplaygeometry --shell)"
xdotool mousemove $((WIDTH - 12)) $((HEIGHT - 12)) click 3
sleep 0.5
import -window root "$out/7-traymenu.png"
xdotool key Escape

# Qt's own texts in Dutch: the folder picker behind the button at the right end of the inbound
# folder field (page "Bestanden"), and the context menu of a text field (right click in Logboek)
focus_link_window "$win"
for _ in 1 2 3; do xdotool key --window "$win" ctrl+Tab; done
sleep 0.3
xdotool mousemove --window "$win" 567 76 click 1
picker=$(find_window "Map kiezen" 30)
sleep 0.5
import -frame -window "$picker" "$out/7b-map-kiezen.png"
# Escape goes to the focused picker, not to its window by id: the key's release would be sent to a
# window that the press has already closed, which xdotool reports as an X error
xdotool windowactivate --sync "$picker" 2>/dev/null || true
xdotool key Escape
sleep 0.3
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key --window "$win" ctrl+shift+Tab
sleep 0.3
xdotool mousemove --window "$win" 400 200 click 3
sleep 0.5
import -window root "$out/7c-contextmenu-logboek.png"
xdotool key Escape

# The update: a local update server, "UPDATE CONTROLE", the notification window, the download
# window while it downloads, and the download window at its end with the message that the update
# starts (after which the link ends, and the updater refuses the server's file, which is no signed
# program, and starts the link again).
kill -TERM "$client_pid"
wait "$client_pid" || true
update_port=$((20000 + RANDOM % 20000))
python3 scripts/update-server.py "$update_port" VeloraKarvexClient &
pids+=($!)
sleep 0.5
VK_UPDATE_URL="http://127.0.0.1:$update_port/Updates.txt" "$client" --folder "$demo" >>"$out/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
win=$(find_window "Vindo Velora Karvex koppeling" 30)
sleep 0.5
press_update_check "$win"
notify=$(find_window "Nieuwe versie is beschikbaar" 30)
sleep 0.5
import -frame -window "$notify" "$out/8-nieuwe-versie.png"
xdotool mousemove --window "$notify" 121 290 click 1  # "Download en installeer"
downloadbox=$(find_window "Download nieuwe versie" 30)
sleep 2.5
import -frame -window "$downloadbox" "$out/9-download.png"
for _ in $(seq 100); do
    xdotool search --onlyvisible --name "informatie" >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 0.3
import -window root "$out/10-download-klaar.png"
xdotool key Return
wait "$client_pid" || true
for _ in $(seq 100); do
    grep -q "De vorige versie gestart" "$demo/VeloraUpdater.log" 2>/dev/null && break
    sleep 0.2
done
# the link the updater started again ends with the pictures
holder=$(head -n 1 "$demo/.VeloraKarvex.lock" 2>/dev/null || true)
[[ "$holder" =~ ^[0-9]+$ ]] && kill "$holder" 2>/dev/null || true
echo "Pictures in $out:"
ls -1 "$out"
