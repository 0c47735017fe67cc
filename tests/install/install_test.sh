#!/usr/bin/env bash
# scripts/install.sh and scripts/uninstall.sh on this build, run for real into a home of their own
# (HOME, XDG_DATA_HOME and XDG_CONFIG_HOME in a temporary folder, no user manager reachable):
# the installation folder's files, the menu and autostart entries (desktop-file-validate, and the
# Exec line run), the icons, the service unit (systemd-analyze verify), the refusal of a service
# on the installation folder, an upgrade over data, and the uninstall that leaves the data.
#
#     tests/install/install_test.sh BUILD_DIR CLIENT_PROGRAM
set -euo pipefail
build=$(realpath -- "$1")
client=$(realpath -- "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)

for tool in desktop-file-validate systemd-analyze systemd-escape cmp od; do
    command -v "$tool" >/dev/null || {
        echo "FAIL: $tool is missing (scripts/deps.sh --test installs it)"
        exit 1
    }
done

failures=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A blank, a per cent sign and a letter outside ASCII in every path: each file that names a path
# must quote it right. (Quotes and a dollar sign come with a second installation further down:
# systemd runs no program from such a path.)
home="$tmp/home of Vindo 100%"
export HOME=$home XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$tmp/runtime"
# no user manager: the test's service must never reach the machine's
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
dir="$home/opt/velora karvex"
folder="$home/links/link één"
apps=$XDG_DATA_HOME/applications
units=$XDG_CONFIG_HOME/systemd/user
unit="velora-karvex-link@$(systemd-escape --path "$folder").service"
sizes=(16 24 32 48 64 128 256)

install_sh() { "$root/scripts/install.sh" "$@" --build-dir "$build"; }

# The width and height of a PNG file, from its header.
png_size() { od -An -tu1 -j16 -N8 -- "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'; }

# The program of a desktop entry's Exec line, its quoting undone as the desktop does it: the
# value's escapes, then the quotes, then the field codes.
exec_program() {
    local line value arg="" quoted=false c i
    line=$(grep -m1 '^Exec=' -- "$1") || return 1
    value=${line#Exec=}
    value=${value//\\\\/$'\x01'}
    value=${value//$'\x01'/\\}
    for ((i = 0; i < ${#value}; i++)); do
        c=${value:i:1}
        if $quoted && [[ "$c" == \\ ]]; then
            i=$((i + 1))
            arg+=${value:i:1}
        elif [[ "$c" == '"' ]]; then
            $quoted && quoted=false || quoted=true
        elif ! $quoted && [[ "$c" == ' ' ]]; then
            break
        else
            arg+=$c
        fi
    done
    printf '%s' "${arg//%%/%}"
}

# == A service on the installation folder is refused, however the folder is spelled, and nothing
# is installed
for spelling in "$dir" "$dir/" "$dir/icons/.." "$home/opt/./velora karvex"; do
    set +e
    out=$(install_sh "$dir" --service "$spelling" 2>&1)
    rc=$?
    set -e
    check "--service \"$spelling\" on the installation folder is refused" test "$rc" -ne 0
    check "  and says why" grep -q "installation folder" <<<"$out"
    check "  and installs nothing" test ! -e "$dir" -a ! -e "$units"
done

check "a folder with a backslash is refused" eval '! install_sh "$home/opt/back\\slash" 2>/dev/null && test ! -e "$home/opt/back\\slash"'

# == The installation
out=$(install_sh "$dir" --autostart --service "$folder" 2>&1) || {
    echo "$out"
    echo "FAIL install.sh ended with an error"
    exit 1
}
echo "$out" | sed 's/^/     | /'
check "the client is in the installation folder" test -x "$dir/VeloraKarvexClient"
check "the client is byte for byte the build's" cmp -- "$client" "$dir/VeloraKarvexClient"
updater=$(dirname -- "$client")/VeloraUpdater
if [[ -e "$updater" ]]; then
    check "the updater is beside it" test -x "$dir/VeloraUpdater"
fi
for size in "${sizes[@]}"; do
    check "icon $size in the installation folder" test "$(png_size "$dir/icons/velora-karvex-$size.png")" = "${size}x$size"
    check "icon $size in the theme" \
        test "$(png_size "$XDG_DATA_HOME/icons/hicolor/${size}x$size/apps/velora-karvex.png")" = "${size}x$size"
done

# A menu or autostart entry (file) of the installation in a folder (installed): valid, and its
# Exec line runs the installed program.
check_entry() {
    local entry=$1 installed=$2 program
    check "$entry is there" test -f "$entry"
    check "  desktop-file-validate accepts it without a remark" test -z "$(desktop-file-validate "$entry" 2>&1)"
    check "  its name" grep -qx 'Name=Vindo Velora Karvex koppeling' "$entry"
    check "  its icon" grep -qx 'Icon=velora-karvex' "$entry"
    check "  no terminal" grep -qx 'Terminal=false' "$entry"
    check "  a category" grep -q '^Categories=.\+;$' "$entry"
    program=$(exec_program "$entry" || true)
    check "  Exec names the installed program" test "$program" = "$installed/VeloraKarvexClient"
    check "  which runs" eval '"$program" --version | grep -q "^Vindo Velora Karvex koppeling "'
}
check_entry "$apps/velora-karvex.desktop" "$dir"
check_entry "$XDG_CONFIG_HOME/autostart/velora-karvex.desktop" "$dir"

check "the service unit is written" test -f "$units/velora-karvex-link@.service"
verify=$(systemd-analyze --user verify "$units/velora-karvex-link@.service" 2>&1) && rc=0 || rc=$?
check "systemd-analyze verify accepts it without a remark" test "$rc" -eq 0 -a -z "$verify"
[[ -z "$verify" ]] || echo "$verify" | sed 's/^/     | /'
for line in 'Type=notify' 'NotifyAccess=main' 'Restart=on-failure' 'RestartPreventExitStatus=3 4' \
    'ExecStart="'"${dir//%/%%}"'/VeloraKarvexClient" --headless --folder %f'; do
    check "  $line" grep -qxF -- "$line" "$units/velora-karvex-link@.service"
done
check "  a watchdog" grep -qE '^WatchdogSec=[1-9][0-9]*min$' "$units/velora-karvex-link@.service"
check "the link on $folder is enabled as $unit" test -L "$units/default.target.wants/$unit" -a -e "$units/default.target.wants/$unit"
check "  its instance is the folder" test "$(systemd-escape --unescape --path "${unit#velora-karvex-link@}" | sed 's/\.service$//')" = "$folder"
check "  its folder is made" test -d "$folder"
check "without a user manager install.sh says how to start it" grep -q 'systemctl --user .*enable --now' <<<"$out"
check "and how to keep it running without a log-in" grep -q "loginctl enable-linger" <<<"$out"

# == An upgrade in place keeps the data
mkdir -p "$dir/W2W/S2C" "$folder/W2W/S2C"
printf '<Configuration><Hoofdscherm><Interval_Text>7</Interval_Text></Hoofdscherm></Configuration>' >"$dir/VeloraKarvex.xml"
cp -- "$root/samples/new/4711.s2c" "$dir/W2W/S2C/"
cp -- "$dir/VeloraKarvex.xml" "$folder/VeloraKarvex.xml"
cp -- "$dir/VeloraKarvex.xml" "$tmp/settings.kept"
out=$(install_sh "$dir" 2>&1) || {
    echo "$out"
    echo "FAIL install.sh again ended with an error"
    exit 1
}
check "after the upgrade the client is the build's" cmp -- "$client" "$dir/VeloraKarvexClient"
check "  the settings file is untouched" cmp -- "$tmp/settings.kept" "$dir/VeloraKarvex.xml"
check "  the waiting document too" cmp -- "$root/samples/new/4711.s2c" "$dir/W2W/S2C/4711.s2c"
check "  the autostart entry stays" test -f "$XDG_CONFIG_HOME/autostart/velora-karvex.desktop"
check "  the service stays enabled" test -L "$units/default.target.wants/$unit"

# == The uninstall takes the installation and leaves the data
out=$("$root/scripts/uninstall.sh" "$dir" 2>&1) || {
    echo "$out"
    echo "FAIL uninstall.sh ended with an error"
    exit 1
}
echo "$out" | sed 's/^/     | /'
for gone in "$apps/velora-karvex.desktop" "$XDG_CONFIG_HOME/autostart/velora-karvex.desktop" \
    "$units/velora-karvex-link@.service" "$units/default.target.wants/$unit" "$dir/VeloraKarvexClient" \
    "$dir/VeloraUpdater" "$dir/icons" "$dir/.velora-karvex-install"; do
    check "uninstall removes $gone" test ! -e "$gone" -a ! -L "$gone"
done
for size in "${sizes[@]}"; do
    check "uninstall removes the theme's icon $size" test ! -e "$XDG_DATA_HOME/icons/hicolor/${size}x$size/apps/velora-karvex.png"
done
check "uninstall leaves the settings file" cmp -- "$tmp/settings.kept" "$dir/VeloraKarvex.xml"
check "uninstall leaves the W2W folder and its document" cmp -- "$root/samples/new/4711.s2c" "$dir/W2W/S2C/4711.s2c"
check "uninstall leaves the service's data folder" cmp -- "$tmp/settings.kept" "$folder/VeloraKarvex.xml"

# == Quotes and a dollar sign in the installation's path: the menu entry quotes them; a service
# is refused (systemd would not run the program), and an installation without data goes entirely
bare="$home/opt/Vindo's \"kale\" \$HOME map"
set +e
out=$(install_sh "$bare" --service "$home/links/other" 2>&1)
rc=$?
set -e
check "a service from a path with quotes is refused" test "$rc" -ne 0 -a ! -e "$bare"
check "  and says why" grep -q "systemd runs no program" <<<"$out"
check "an installation in a path with quotes" install_sh "$bare" >/dev/null
check_entry "$apps/velora-karvex.desktop" "$bare"
check "its uninstall" "$root/scripts/uninstall.sh" "$bare" >/dev/null
check "an installation without data goes with its folder" test ! -e "$bare"
check "  and with it its menu entry" test ! -e "$apps/velora-karvex.desktop"

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
