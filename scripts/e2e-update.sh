#!/usr/bin/env bash
# The live update end to end, as a person does it: an installed link at version 1.0.0.0 (its window
# under a virtual display), a local update server that offers 1.0.0.1 (the same build with another
# version record, signed with a key made here and carried by the installed program), "UPDATE
# CONTROLE", "Download en installeer", "OK" - and then the updater installs the new version and
# starts it: the window's caption ends in "- v1.0.0.1" and the settings file is as it was.
#
#     scripts/e2e-update.sh [BUILD_DIR]      (default: build)
#
# Exits non-zero, saying why, when any step fails or cannot run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib/desktop.sh
build=$(cd "${1:-build}" && pwd)
scripts/deps.sh --test

fail() {
    echo "e2e-update: FAILED: $*" >&2
    for f in "$work"/*.log "$inst/VeloraUpdater.log"; do
        [[ -f "$f" ]] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
    done
    exit 1
}

work=$(mktemp -d /tmp/vk-e2e.XXXXXX)
inst="$work/installatie met spatie"
pids=()
# The updater runs on its own, started by the link; it is found by its program file.
updater_pids() {
    local exe
    for exe in /proc/[0-9]*/exe; do
        [[ "$(readlink "$exe" 2>/dev/null)" == "$inst/VeloraUpdater" ]] && basename "$(dirname "$exe")"
    done
    return 0
}
# "X Y WIDTH HEIGHT" of the window WIN as the display has it.
window_geometry() {
    local X="" Y="" WIDTH="" HEIGHT="" SCREEN="" WINDOW=""
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X $Y $WIDTH $HEIGHT"
}
cleanup() {
    for pid in $(updater_pids); do kill "$pid" 2>/dev/null || true; done
    if [[ -f "$inst/.VeloraKarvex.lock" ]]; then
        holder=$(head -n 1 "$inst/.VeloraKarvex.lock" 2>/dev/null || true)
        [[ "$holder" =~ ^[0-9]+$ ]] && kill "$holder" 2>/dev/null || true
    fi
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    for _ in $(seq 50); do
        [[ -z "$(updater_pids)" ]] && break
        sleep 0.1
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'fail "a step failed at line $LINENO"' ERR

# The installation, with a release key of this run's own.
cmake --install "$build" --prefix "$inst" >/dev/null
[[ -x "$inst/VeloraKarvexClient" && -x "$inst/VeloraUpdater" ]] || fail "the installation has no program or no updater"
openssl genpkey -algorithm ed25519 -out "$work/release.pem" 2>/dev/null
openssl pkey -in "$work/release.pem" -pubout -outform DER | tail -c 32 >"$work/release.pub"
objcopy --update-section .vk_release_key="$work/release.pub" "$inst/VeloraKarvexClient"
scripts/sign.sh "$work/release.pem" "$inst/VeloraKarvexClient" >/dev/null

# The new version: 1.0.0.1, signed.
mkdir "$work/server"
cp "$inst/VeloraKarvexClient" "$work/server/VeloraKarvexClient"
"$build/src/update/vk_version_record" --raw 1.0.0.1 "$work/record.bin"
objcopy --update-section .vk_version="$work/record.bin" "$work/server/VeloraKarvexClient"
scripts/sign.sh "$work/release.pem" "$work/server/VeloraKarvexClient" >/dev/null
[[ "$("$work/server/VeloraKarvexClient" --version)" == "Vindo Velora Karvex koppeling 1.0.0.1" ]] ||
    fail "the new version does not say 1.0.0.1"

port=$((20000 + RANDOM % 20000))
printf '[VeloraKarvexClient]\r\nVersion=1.0.0.1\r\nDownloadFileURL=http://127.0.0.1:%s/VeloraKarvexClient\r\n' \
    "$port" >"$work/server/Updates.txt"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/server" >"$work/server.log" 2>&1 &
pids+=($!)
answers() { python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=1)' "$1" 2>/dev/null; }
for _ in $(seq 50); do
    answers "http://127.0.0.1:$port/Updates.txt" && break
    sleep 0.1
done
answers "http://127.0.0.1:$port/Updates.txt" || fail "the update server does not answer"

# The data folder is the installation folder, as when the link is started from the menu.
write_demo_settings "$inst/VeloraKarvex.xml" 5

# A virtual display with a window manager.
start_desktop 95 || fail "Xvfb does not start"

# The sanitizer build's leak report would count the link's end at the hand-over as a failure.
export ASAN_OPTIONS=detect_leaks=0
VK_UPDATE_URL="http://127.0.0.1:$port/Updates.txt" "$inst/VeloraKarvexClient" >"$work/client.log" 2>&1 &
win=$(find_window "Vindo Velora Karvex koppeling - v1.0.0.0" 30) || true
[[ -n "$win" ]] || fail "no window with the caption of version 1.0.0.0"
sleep 0.5
press_update_check "$win"
notify=$(find_window "Nieuwe versie is beschikbaar" 30) || true
[[ -n "$notify" ]] || fail "the update check shows no new version"
sleep 0.3
notify_geometry=$(window_geometry "$notify")
xdotool mousemove --window "$notify" 121 290 click 1 # "Download en installeer"
# The download window covers the notification window exactly: nothing of it can be clicked while
# the download runs. It stays on the screen until the message that the update starts is answered.
download=$(find_window "Download nieuwe versie" 30) || true
[[ -n "$download" ]] || fail "no download window after \"Download en installeer\""
for _ in $(seq 25); do
    download_geometry=$(window_geometry "$download" 2>/dev/null) || true
    [[ "$download_geometry" == "$notify_geometry" ]] && break
    sleep 0.2
done
[[ "$download_geometry" == "$notify_geometry" ]] ||
    fail "the download window (x y width height: $download_geometry) does not cover the notification window ($notify_geometry)"
info=$(find_window "informatie" 60) || true
[[ -n "$info" ]] || fail "no message that the update starts"
sleep 0.3
xdotool windowactivate --sync "$info" 2>/dev/null || true
xdotool key Return # "OK", on the message box that has the focus

# The link starts the updater and ends; the updater waits for the folder, installs, starts the new
# version and watches it for a while, then ends itself. Each stage is awaited on its own, so a
# failure says which one stalled.
for _ in $(seq 300); do
    grep -q "Update van" "$inst/VeloraUpdater.log" 2>/dev/null && break
    sleep 0.1
done
grep -q "Update van" "$inst/VeloraUpdater.log" 2>/dev/null || fail "the link did not start the updater after \"OK\""
for _ in $(seq 1200); do
    [[ -z "$(updater_pids)" ]] && break
    sleep 0.1
done
[[ -z "$(updater_pids)" ]] ||
    fail "the updater is still busy after 120 s; its last step: $(tail -n 1 "$inst/VeloraUpdater.log")"
grep -q "Versie 1.0.0.1 draait en houdt de map" "$inst/VeloraUpdater.log" ||
    fail "the updater ended without the new version running; its last step: $(tail -n 1 "$inst/VeloraUpdater.log")"
new=$(find_window "Vindo Velora Karvex koppeling - v1.0.0.1" 30) || true
[[ -n "$new" ]] || fail "no window with the caption of version 1.0.0.1"
[[ "$("$inst/VeloraKarvexClient" --version)" == "Vindo Velora Karvex koppeling 1.0.0.1" ]] ||
    fail "the installed program is not 1.0.0.1"
cmp -s "$work/server/VeloraKarvexClient" "$inst/VeloraKarvexClient" || fail "the installed program is not the download"
for value in "sqlite:planning.db" "<Debiteur_Text>1024<" "<Gebruiker_Text>7<" "<Interval_Text>5<"; do
    grep -qF "$value" "$inst/VeloraKarvex.xml" || fail "the settings file lost $value"
done
[[ -f "$inst/Backups/VeloraKarvexClient" ]] || fail "no copy of the previous version in Backups"
echo "e2e-update: the link updated itself from 1.0.0.0 to 1.0.0.1 and runs; its settings are intact"
echo "The updater's log:"
sed 's/^/    /' "$inst/VeloraUpdater.log"
