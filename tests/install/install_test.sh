#!/usr/bin/env bash
# scripts/install.sh and scripts/uninstall.sh on this build, run for real into a home of their own
# (HOME, XDG_DATA_HOME and XDG_CONFIG_HOME in a temporary folder, no user manager reachable):
# the installation folder's files, the menu and autostart entries (desktop-file-validate, and the
# Exec line run), the icons, the service unit (systemd-analyze verify), the refusal of a service
# on the installation folder, an upgrade over data, two installations side by side and the
# uninstall of one of them, the printed uninstall line pasted into a shell, an installation made
# under the names of before carried over, the uninstall that leaves the data, and the start
# command (VeloraUpdater --recover first, whatever becomes of it, then the link).
#
#     tests/install/install_test.sh BUILD_DIR CLIENT_PROGRAM
set -euo pipefail
build=$(realpath -- "$1")
client=$(realpath -- "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)

for tool in desktop-file-validate systemd-analyze systemd-escape sha256sum cmp od; do
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
# must quote it right. (Quotes and a dollar sign come with a later installation: systemd runs no
# program from such a path.)
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
sizes=(16 24 32 48 64 128 256)

install_sh() { "$root/scripts/install.sh" "$@" --build-dir "$build"; }

# An install that must be refused: WHAT, the folder DIR it must not make, a text its message must
# hold, then install.sh's arguments.
expect_refused() {
    local what=$1 dir=$2 why=$3 out rc
    shift 3
    out=$(install_sh "$@" 2>&1) && rc=0 || rc=$?
    check "$what" test "$rc" -ne 0 -a ! -e "$dir"
    check "  and says why" grep -q "$why" <<<"$out"
}

# The entries of the installation in a folder, as its manifest lists them: sets menu, autostart
# and template (empty when it has none), and name, the menu entry's name without .desktop.
names_of() {
    local path
    menu="" autostart="" template=""
    while IFS=$'\t' read -r _ path; do
        case "$path" in
            "$apps"/*.desktop) menu=$path ;;
            "$XDG_CONFIG_HOME/autostart"/*.desktop) autostart=$path ;;
            "$units"/*@.service) template=$path ;;
        esac
    done <"$1/.velora-karvex-install"
    name=${menu##*/}
    name=${name%.desktop}
}
# name size: the installation's icon in the theme
theme_icon() { printf '%s' "$XDG_DATA_HOME/icons/hicolor/${2}x$2/apps/$1.png"; }
# template folder: the service of a unit template on a data folder
unit_of() {
    local base=${1##*/}
    printf '%s%s.service' "${base%.service}" "$(systemd-escape --path "$2")"
}

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

# The uninstall line that install.sh printed, run by a shell as it stands, from another folder.
printed_uninstall() {
    local line
    line=$(sed -n 's/^To remove: //p' <<<"$1")
    [[ -n "$line" ]] && (cd / && bash -c "$line" >/dev/null)
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
names_of "$dir"
unit=$(unit_of "$template" "$folder")
check "its entries are named $name, after the SHA-256 of its folder" \
    test "$name" = "velora-karvex-$(printf '%s' "$dir" | sha256sum | cut -c1-8)"
check "the client is in the installation folder" test -x "$dir/VeloraKarvexClient"
check "the client is byte for byte the build's" cmp -- "$client" "$dir/VeloraKarvexClient"
check "the start command is beside it" test -x "$dir/velora-karvex-start"
cp -p -- "$dir/velora-karvex-start" "$tmp/installed-start"
updater=$(dirname -- "$client")/VeloraUpdater
if [[ -e "$updater" ]]; then
    check "the updater is beside it" test -x "$dir/VeloraUpdater"
fi
for size in "${sizes[@]}"; do
    check "icon $size in the installation folder" test "$(png_size "$dir/icons/velora-karvex-$size.png")" = "${size}x$size"
    check "icon $size in the theme as $name" test "$(png_size "$(theme_icon "$name" "$size")")" = "${size}x$size"
done

# A menu or autostart entry (file) of the installation in a folder (installed) by the name (title)
# it shows: valid, and its Exec line runs the installation's start command, which runs the link.
check_entry() {
    local entry=$1 installed=$2 title=$3 program
    names_of "$installed"
    check "$entry is there" test -f "$entry"
    check "  desktop-file-validate accepts it without a remark" test -z "$(desktop-file-validate "$entry" 2>&1)"
    check "  its name: $title" grep -qxF "Name=$title" "$entry"
    check "  its icon: $name" grep -qxF "Icon=$name" "$entry"
    check "  no terminal" grep -qx 'Terminal=false' "$entry"
    check "  a category" grep -q '^Categories=.\+;$' "$entry"
    program=$(exec_program "$entry" || true)
    check "  Exec names the installation's start command" test "$program" = "$installed/velora-karvex-start"
    check "  which runs the link" eval '"$program" --version 2>/dev/null | grep -q "^Vindo Velora Karvex koppeling "'
}
check_entry "$menu" "$dir" "Vindo Velora Karvex koppeling"
check_entry "$autostart" "$dir" "Vindo Velora Karvex koppeling"

# The unit template of the installation in a folder (installed): valid, and it runs the recovery,
# then the link, of that folder.
check_unit() {
    local template=$1 installed=$2 verify rc line
    check "$template is there" test -f "$template"
    verify=$(systemd-analyze --user verify "$template" 2>&1) && rc=0 || rc=$?
    check "  systemd-analyze verify accepts it without a remark" test "$rc" -eq 0 -a -z "$verify"
    [[ -z "$verify" ]] || echo "$verify" | sed 's/^/     | /'
    for line in 'Type=notify' 'NotifyAccess=main' 'Restart=on-failure' 'RestartPreventExitStatus=3 4' \
        'ExecStartPre=-"'"${installed//%/%%}"'/VeloraUpdater" --recover' \
        'ExecStart="'"${installed//%/%%}"'/VeloraKarvexClient" --headless --folder %f'; do
        check "  $line" grep -qxF -- "$line" "$template"
    done
    check "  a watchdog" grep -qE '^WatchdogSec=[1-9][0-9]*min$' "$template"
}
check_unit "$template" "$dir"
check "the link on $folder is enabled as $unit" test -L "$units/default.target.wants/$unit" -a -e "$units/default.target.wants/$unit"
check "  its instance is the folder" test "$(systemd-escape --unescape --path "${unit#*@}" | sed 's/\.service$//')" = "$folder"
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
check "  the autostart entry stays" test -f "$autostart"
check "  the service stays enabled" test -L "$units/default.target.wants/$unit"

# == A second installation beside it, a service of its own on a folder with an apostrophe: the
# entries of the two never meet, and the uninstall of the second leaves the first as it was
dir2="$home/opt/tweede koppeling"
folder2="$home/links/Vindo's tweede"
first=("$menu" "$autostart" "$template" "$units/default.target.wants/$unit")
for size in "${sizes[@]}"; do first+=("$(theme_icon "$name" "$size")"); done
mkdir -p "$tmp/first"
for i in "${!first[@]}"; do cp -- "${first[i]}" "$tmp/first/$i"; done
first_matches() {
    local i
    for i in "${!first[@]}"; do cmp -s -- "$tmp/first/$i" "${first[i]}" || return 1; done
    test "$(readlink -- "${first[3]}")" = "${first[2]}"
}

expect_refused "a service on the folder of another installation's service is refused" "$dir2" \
    "another installation" "$dir2" --service "$folder"

out2=$(install_sh "$dir2" --autostart --service "$folder2" 2>&1) || {
    echo "$out2"
    echo "FAIL the second install.sh ended with an error"
    exit 1
}
echo "$out2" | sed 's/^/     | /'
names_of "$dir2"
name2=$name
unit2=$(unit_of "$template" "$folder2")
check "the second installation has entries of its own" test "$menu" != "${first[0]}" -a "$template" != "${first[2]}"
check_entry "$menu" "$dir2" "Vindo Velora Karvex koppeling (~/opt/tweede koppeling)"
check_entry "$autostart" "$dir2" "Vindo Velora Karvex koppeling (~/opt/tweede koppeling)"
check_unit "$template" "$dir2"
check "its link on $folder2 is enabled as $unit2" test -L "$units/default.target.wants/$unit2" -a -e "$units/default.target.wants/$unit2"
for size in "${sizes[@]}"; do
    check "its icon $size in the theme" test "$(png_size "$(theme_icon "$name2" "$size")")" = "${size}x$size"
done
check "the first installation's entries, unit and icons are as they were" first_matches

check "the printed uninstall line of the second, run by bash, uninstalls it" printed_uninstall "$out2"
check "  its program files go" test ! -e "$dir2"
for gone in "$menu" "$autostart" "$template" "$units/default.target.wants/$unit2" "$(theme_icon "$name2" 64)"; do
    check "  $gone goes" test ! -e "$gone" -a ! -L "$gone"
done
check "  the first installation's entries, unit and icons stay as they were" first_matches
check "  its service's data folder stays" test -d "$folder2"
names_of "$dir"
check_entry "$menu" "$dir" "Vindo Velora Karvex koppeling"
check_unit "$template" "$dir"

# == The uninstall takes the installation and leaves the data
# what an update leaves beside the program goes with it too
for kept in .VeloraKarvexClient.previous .VeloraKarvexClient.update .VeloraUpdater.lock \
    .VeloraKarvexClient.vk-update-4242; do
    echo kept >"$dir/$kept"
done
out=$("$root/scripts/uninstall.sh" "$dir" 2>&1) || {
    echo "$out"
    echo "FAIL uninstall.sh ended with an error"
    exit 1
}
echo "$out" | sed 's/^/     | /'
for gone in "$menu" "$autostart" "$template" "$units/default.target.wants/$unit" "$dir/VeloraKarvexClient" \
    "$dir/VeloraUpdater" "$dir/velora-karvex-start" "$dir/icons" "$dir/.velora-karvex-install" \
    "$dir/.VeloraKarvexClient.previous" "$dir/.VeloraKarvexClient.update" "$dir/.VeloraUpdater.lock" \
    "$dir/.VeloraKarvexClient.vk-update-4242"; do
    check "uninstall removes $gone" test ! -e "$gone" -a ! -L "$gone"
done
for size in "${sizes[@]}"; do
    check "uninstall removes the theme's icon $size" test ! -e "$(theme_icon "$name" "$size")"
done
check "uninstall leaves the settings file" cmp -- "$tmp/settings.kept" "$dir/VeloraKarvex.xml"
check "uninstall leaves the W2W folder and its document" cmp -- "$root/samples/new/4711.s2c" "$dir/W2W/S2C/4711.s2c"
check "uninstall leaves the service's data folder" cmp -- "$tmp/settings.kept" "$folder/VeloraKarvex.xml"

# == Quotes, a dollar sign, a backquote and a letter outside ASCII in the installation's path:
# the menu entry quotes them, and so does the printed uninstall line; a service is refused (systemd
# would not run the program), and an installation without data goes entirely
bare="$home/opt/Vindo's \"kale\" \$HOME \`id\` map é"
expect_refused "a service from a path with quotes is refused" "$bare" "systemd runs no program" \
    "$bare" --service "$home/links/other"
out=$(install_sh "$bare" 2>&1) && rc=0 || rc=$?
check "an installation in a path with quotes" test "$rc" -eq 0
names_of "$bare"
check_entry "$menu" "$bare" "Vindo Velora Karvex koppeling"
check "its printed uninstall line, run by bash, uninstalls it" printed_uninstall "$out"
check "an installation without data goes with its folder" test ! -e "$bare"
check "  and with it its menu entry" test ! -e "$menu"

# == An installation made when every installation had the same names (velora-karvex.desktop,
# velora-karvex.png, velora-karvex-link@.service): installing again carries its autostart entry
# and its service over to its own names, and its old ones go. The shared menu entry and unit go
# with it when they name its program; when a later installation of that time overwrote them, they
# name that one's program and stay, and the icon with them.
old="$home/opt/oud"
# as install.sh wrote them then: the program in Exec, its % doubled
legacy_entry() {
    printf '[Desktop Entry]\nType=Application\nName=Vindo Velora Karvex koppeling\nExec="%s/VeloraKarvexClient"\n' "${1//%/%%}"
}
old_unit="velora-karvex-link@$(systemd-escape --path "$folder").service"
ours=("$XDG_CONFIG_HOME/autostart/velora-karvex.desktop" "$units/default.target.wants/$old_unit")
shared=("$apps/velora-karvex.desktop" "$units/velora-karvex-link@.service" "$XDG_DATA_HOME/icons/hicolor/16x16/apps/velora-karvex.png")
# last: the installation that wrote the shared files last; shared: whether they stay; title: the
# name of the new menu entry
while IFS='|' read -r last stay title; do
    install_sh "$old" >/dev/null
    names_of "$old"
    rm -f -- "$menu"
    for size in "${sizes[@]}"; do rm -f -- "$(theme_icon "$name" "$size")"; done
    grep -v -e "$name" "$old/.velora-karvex-install" >"$tmp/manifest"
    mkdir -p "$XDG_CONFIG_HOME/autostart" "$units/default.target.wants" "$XDG_DATA_HOME/icons/hicolor/16x16/apps"
    legacy_entry "$home/opt/$last" >"${shared[0]}"
    printf '[Service]\nExecStart="%s/VeloraKarvexClient" --folder %%f\n' "${home//%/%%}/opt/$last" >"${shared[1]}"
    cp -- "$old/icons/velora-karvex-16.png" "${shared[2]}"
    legacy_entry "$old" >"${ours[0]}"
    ln -s "${shared[1]}" "${ours[1]}"
    {
        cat -- "$tmp/manifest"
        printf 'file\t%s\n' "${ours[@]}" "${shared[@]}"
        printf 'unit\t%s\n' "$old_unit"
    } >"$old/.velora-karvex-install"
    install_sh "$old" >/dev/null
    names_of "$old"
    for gone in "${ours[@]}"; do
        check "an installation with the names of before, $last last: its $gone goes" test ! -e "$gone" -a ! -L "$gone"
    done
    for file in "${shared[@]}"; do
        if $stay; then check "  $file stays" test -e "$file"; else check "  $file goes" test ! -e "$file"; fi
    done
    check_entry "$menu" "$old" "$title"
    check "  its autostart entry is carried over" test -f "$autostart"
    check "  its service too" test -L "$units/default.target.wants/$(unit_of "$template" "$folder")"
    check_unit "$template" "$old"
    check "  its manifest no longer names the files of before" \
        eval '! grep -q -e "velora-karvex\.desktop" -e "velora-karvex-link" -e "velora-karvex\.png" "$old/.velora-karvex-install"'
    "$root/scripts/uninstall.sh" "$old" >/dev/null
    check "  and its uninstall leaves nothing of it" test ! -e "$old" -a ! -e "$menu" -a ! -e "$autostart" -a ! -e "$template"
    rm -f -- "${shared[@]}"
done <<'EOF'
oud|false|Vindo Velora Karvex koppeling
ander|true|Vindo Velora Karvex koppeling (~/opt/oud)
EOF

# == The start command, copied as installed into a scratch folder with a stand-in updater and
# link that note their calls in order: the updater is asked to --recover first; then the link
# takes its place with the arguments exactly as given, whether the updater did its work, failed
# or is missing. Through a symbolic link elsewhere it still starts the programs of its own folder.
scratch="$tmp/scratch 'start' \$dir é"
mkdir -p "$scratch" "$tmp/elsewhere"
cp -p -- "$tmp/installed-start" "$scratch/velora-karvex-start"
ln -s "$scratch/velora-karvex-start" "$tmp/elsewhere/velora-karvex-start"
cat >"$scratch/VeloraKarvexClient" <<'EOF'
#!/bin/sh
{ printf 'client'; for a in "$@"; do printf ' [%s]' "$a"; done; echo; } >>"$(dirname -- "$0")/calls"
exit 7
EOF
chmod +x "$scratch/VeloraKarvexClient"
args=(--folder "a b" "" "\$HOME" "*" "it's" "-x")
expected_client="client$(printf ' [%s]' "${args[@]}")"
# updater: what the stand-in updater is; its last line (- for none); its run bits; the calls
# noted, one a line
while IFS='|' read -r updater last mode expected; do
    for start in "$scratch/velora-karvex-start" "$tmp/elsewhere/velora-karvex-start"; do
        rm -f -- "$scratch/VeloraUpdater" "$scratch/calls"
        if [[ "$last" != - ]]; then
            printf '#!/bin/sh\necho "updater $*" >>"$(dirname -- "$0")/calls"\n%s\n' "$last" >"$scratch/VeloraUpdater"
            chmod "$mode" "$scratch/VeloraUpdater"
        fi
        (cd "$tmp" && "$start" "${args[@]}" 2>/dev/null) && rc=0 || rc=$?
        check "start command (${start#"$tmp/"}), an updater that $updater: the link's end is its end" test "$rc" -eq 7
        check "  the calls: ${expected//;/, then }" \
            test "$(cat -- "$scratch/calls" 2>/dev/null)" = "$(tr ';' '\n' <<<"${expected//client/$expected_client}")"
    done
done <<'EOF'
repairs|exit 0|+x|updater --recover;client
fails|exit 3|+x|updater --recover;client
crashes|kill -SEGV $$|+x|updater --recover;client
cannot run|exit 0|-x|client
is missing|-|-|client
EOF

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
