#!/usr/bin/env bash
# Installs the link for the user who runs it, in a folder of that user's own, so that a later
# update can replace the program file without root:
#
#     scripts/install.sh [DIR] [--autostart] [--service FOLDER]
#
# DIR (default ~/.local/opt/velora-karvex) receives the program files, the start command and the
# icon files, as `cmake --install` lays them out. The window uses DIR as its data folder (settings
# file, W2W, Backups, Logboek). The link appears in the desktop's menu with its icon; --autostart
# also starts the window at every log-in. --service FOLDER runs the link without its window as a
# systemd user service on the data folder FOLDER (a link per folder; never DIR itself, which
# belongs to the window). Running the script again upgrades the installation in place; data is
# never touched. scripts/uninstall.sh DIR takes it all away again, except the data.
#
# Every installation has entries of its own, named velora-karvex-<id> with <id> the first 8 hex
# digits of the SHA-256 of DIR's absolute path: the menu entry, the autostart entry, the icon in
# the theme and the unit template velora-karvex-<id>@.service. Installations in two folders
# never overwrite each other's entries, and the uninstall of one takes only its own (those its
# manifest DIR/.velora-karvex-install lists). The entries start the link through
# DIR/velora-karvex-start, which first lets VeloraUpdater --recover repair an update that was
# ended half way; the unit does the same in its ExecStartPre.
#
# --build-dir BUILD installs from an existing build instead of installing the Debian packages and
# building build/ first (the tests use it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

die() {
    echo "install.sh: $*" >&2
    exit 2
}
usage() {
    echo "Usage: scripts/install.sh [DIR] [--autostart] [--service FOLDER] [--build-dir BUILD]"
}
# One word for a POSIX shell (bash, zsh and fish read it alike), whatever it holds: in single
# quotes, each ' as '\''.
sh_quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

dir=""
autostart=false
service_folder=""
build=""
while (($#)); do
    case "$1" in
        --autostart) autostart=true ;;
        --service | --build-dir)
            (($# >= 2)) && [[ -n "$2" ]] || die "$1 needs a folder"
            if [[ "$1" == --service ]]; then service_folder=$2; else build=$2; fi
            shift
            ;;
        --service=*) service_folder=${1#--service=} ;;
        --build-dir=*) build=${1#--build-dir=} ;;
        -h | --help)
            usage
            exit 0
            ;;
        -*) usage >&2; die "unknown option: $1" ;;
        *)
            [[ -z "$dir" ]] || die "one installation folder only (got \"$dir\" and \"$1\")"
            dir=$1
            ;;
    esac
    shift
done
dir=$(realpath -m -- "${dir:-$HOME/.local/opt/velora-karvex}")
# the manifest and the menu entry hold one path a line
[[ "$dir" != *$'\n'* && "$service_folder" != *$'\n'* ]] || die "a folder name with a line break is not supported"
# cmake --install takes a backslash in its prefix for an escape
[[ "$dir" != *\\* ]] || die "cmake cannot install into a folder whose path holds a backslash ($dir)"

# A window and a service never share a data folder: the window's is the installation folder, and
# the second of two links on one folder would find it taken.
if [[ -n "$service_folder" ]]; then
    service_folder=$(realpath -m -- "$service_folder")
    if [[ "$service_folder" == "$dir" ]]; then
        die "the service's folder cannot be the installation folder $dir: the window uses that one as its" \
            "data folder. Give the service a data folder of its own, e.g. --service $(sh_quote "$HOME/velora-karvex-link")"
    fi
    command -v systemd-escape >/dev/null || die "--service needs systemd (systemd-escape is missing)"
    # systemd runs no program whose path holds a quote, a backslash or a control character
    if [[ "$dir" =~ [\'\"\\[:cntrl:]] ]]; then
        die "systemd runs no program from a folder whose path holds ', \" or \\ ($dir):" \
            "install in another folder to run the link as a service"
    fi
fi

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
config_home=${XDG_CONFIG_HOME:-$HOME/.config}
manifest=$dir/.velora-karvex-install
program=$dir/VeloraKarvexClient
updater=$dir/VeloraUpdater
start_command=$dir/velora-karvex-start
# The installation's own name for all it puts outside DIR
id=$(printf '%s' "$dir" | sha256sum | cut -c1-8)
name=velora-karvex-$id
applications=$data_home/applications
menu_entry=$applications/$name.desktop
autostart_entry=$config_home/autostart/$name.desktop
units_dir=$config_home/systemd/user
unit_template=$name@.service

# A folder that a link of another installation runs on is refused: two links never share one.
if [[ -n "$service_folder" ]]; then
    instance=$(systemd-escape --path "$service_folder")
    for other in "$units_dir"/default.target.wants/velora-karvex-*@"$instance".service; do
        if [[ -L "$other" && "${other##*/}" != "$name@$instance.service" ]] &&
            ! { [[ -f "$manifest" ]] && grep -qxF "file	$other" "$manifest"; }; then
            die "a link of another installation runs on $service_folder already (${other##*/});" \
                "two links never share a data folder"
        fi
    done
fi

# == The program, built as ./run builds it
if [[ -z "$build" ]]; then
    "$root/scripts/deps.sh"
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    build=$root/build
    # the program, its updater (installed beside it) and the icon's files
    targets=(VeloraKarvexClient VeloraUpdater vk_icons)
    cmake --build "$build" --target "${targets[@]}" | grep -vE '^\[[0-9]+/[0-9]+\]' || true
fi
build=$(realpath -- "$build")
[[ -f "$build/CMakeCache.txt" ]] || die "$build is not a build folder"

# == The installation folder: cmake --install writes each file anew (a running program keeps the
# file it started from), and says which files are the installation's.
mkdir -p "$dir"
installed=$(cmake --install "$build" --prefix "$dir" | sed -nE 's/^-- (Installing|Up-to-date): //p')
[[ -x "$program" ]] || die "the installation has no $program"
[[ -x "$start_command" ]] || die "the installation has no $start_command"

made=()  # what this run made: "file<TAB>path" and "unit<TAB>name", for uninstall.sh
while IFS= read -r path; do
    [[ -n "$path" ]] && made+=("file	$path")
done <<<"$installed"

# Exec quoting of a desktop entry: the argument in double quotes with ", `, $ and \ escaped, then
# every \ doubled once more for the value's own escapes, and % doubled for the field codes.
desktop_exec() {
    local a=$1
    a=${a//\\/\\\\}
    a=${a//\"/\\\"}
    a=${a//\`/\\\`}
    a=${a//\$/\\\$}
    a="\"$a\""
    a=${a//\\/\\\\}
    printf '%s' "${a//%/%%}"
}
# A program's path as the first word of a unit's Exec line: quoted, with \ and " escaped inside
# the quotes, and % and $ doubled so that they are neither specifiers nor variables.
unit_exec() {
    local a=$1
    a=${a//\\/\\\\}
    a=${a//\"/\\\"}
    a=${a//%/%%}
    a=${a//\$/\$\$}
    printf '"%s"' "$a"
}
user_manager() {
    command -v systemctl >/dev/null && systemctl --user show-environment >/dev/null 2>&1
}

# == Before every installation had names of its own, all used one set: velora-karvex.desktop,
# velora-karvex.png, velora-karvex-link@.service. Those that this installation's manifest lists
# go, and are made anew under its own names (its autostart entry and its services alike); a
# shared entry or unit that names another installation's program stays, and so do the icons
# while a menu entry of that time shows them.
legacy=()          # the manifest's lines that go
legacy_folders=()  # the data folders of its services
legacy_icons=()
if [[ -f "$manifest" ]]; then
    while IFS=$'\t' read -r kind what; do
        case "$kind/${what##*/}" in
            unit/velora-karvex-link@*.service)
                if user_manager; then systemctl --user disable --now "$what" || true; fi
                what_folder=${what#velora-karvex-link@}
                legacy_folders+=("$(systemd-escape --unescape --path "${what_folder%.service}")")
                ;;
            file/velora-karvex.desktop)
                if grep -qF -- "$(desktop_exec "$program")" "$what" 2>/dev/null; then
                    [[ "$what" == "$config_home/autostart/"* ]] && autostart=true
                    rm -f -- "$what"
                fi
                ;;
            file/velora-karvex-link@.service)
                if grep -qF -- "$(unit_exec "$program")" "$what" 2>/dev/null; then rm -f -- "$what"; fi
                ;;
            file/velora-karvex-link@*.service) rm -f -- "$what" ;;
            file/velora-karvex.png) legacy_icons+=("$what") ;;
            *) continue ;;
        esac
        legacy+=("$kind	$what")
    done <"$manifest"
    if [[ ! -e "$applications/velora-karvex.desktop" ]]; then
        rm -f -- "${legacy_icons[@]}"
    fi
fi

# == The desktop: the menu entry, the icon in the theme's sizes, and the autostart entry
# The visible name is the link's own; where the menu holds another installation's entry already,
# the folder follows it (~ for the home folder), so that the two are told apart. (The value is a
# localestring: no backslash comes this far, and a control character is shown as "?".)
entry_name="Vindo Velora Karvex koppeling"
for entry in "$applications"/velora-karvex*.desktop; do
    if [[ -e "$entry" && "$entry" != "$menu_entry" ]]; then
        shown=$dir
        # shellcheck disable=SC2088 # a ~ to be read, not expanded
        [[ "$shown" == "$HOME"/* ]] && shown="~/${shown#"$HOME"/}"
        entry_name+=" (${shown//[[:cntrl:]]/?})"
        break
    fi
done
desktop_entry() {
    cat <<EOF
[Desktop Entry]
Type=Application
Version=1.4
Name=$entry_name
Comment=Wisselt ritopdrachten uit tussen de planningdatabase en Karvex
Exec=$(desktop_exec "$start_command")
Icon=$name
Terminal=false
Categories=Office;
StartupWMClass=VeloraKarvexClient
EOF
}

mkdir -p "$applications"
desktop_entry >"$menu_entry"
made+=("file	$menu_entry")

for png in "$dir"/icons/velora-karvex-*.png; do
    size=${png##*-}
    size=${size%.png}
    theme_dir=$data_home/icons/hicolor/${size}x${size}/apps
    mkdir -p "$theme_dir"
    cp -- "$png" "$theme_dir/$name.png"
    made+=("file	$theme_dir/$name.png")
done
if command -v gtk-update-icon-cache >/dev/null && [[ -f "$data_home/icons/hicolor/index.theme" ]]; then
    gtk-update-icon-cache -q "$data_home/icons/hicolor" || true
fi

if $autostart; then
    mkdir -p "$config_home/autostart"
    desktop_entry >"$autostart_entry"
    made+=("file	$autostart_entry")
fi

# == The services: the one asked for, and those carried over from the names of before
service_folders=()
if [[ -n "$service_folder" ]]; then service_folders+=("$service_folder"); fi
for folder in "${legacy_folders[@]}"; do
    if [[ "$folder" != "$service_folder" ]]; then service_folders+=("$folder"); fi
done

write_unit_template() {
    local text
    text=$(<"$root/packaging/velora-karvex-link@.service")
    text=${text//@VK_UPDATER@/"$(unit_exec "$updater")"}
    mkdir -p "$units_dir"
    printf '%s\n' "${text//@VK_PROGRAM@/"$(unit_exec "$program")"}" >"$units_dir/$unit_template"
    made+=("file	$units_dir/$unit_template")
}

if [[ -f "$units_dir/$unit_template" ]]; then
    # an upgrade: the services of this installation run the new program
    write_unit_template
    if user_manager; then
        systemctl --user daemon-reload
        systemctl --user try-restart "$name@*.service" || true
    fi
elif ((${#service_folders[@]})); then
    write_unit_template
fi

for folder in "${service_folders[@]}"; do
    mkdir -p "$folder"
    unit="$name@$(systemd-escape --path "$folder").service"
    made+=("unit	$unit" "file	$units_dir/default.target.wants/$unit")
    if user_manager; then
        systemctl --user daemon-reload
        systemctl --user enable --now "$unit"
        echo "The link runs as the service $unit on $folder."
        echo "  status:  systemctl --user status $(sh_quote "$unit")"
    else
        # enabled as systemctl enables it: the user manager starts it when it next starts
        mkdir -p "$units_dir/default.target.wants"
        ln -sfn "$units_dir/$unit_template" "$units_dir/default.target.wants/$unit"
        echo "No systemd user manager runs for you now, so the service $unit was not started."
        echo "It is enabled and starts with your user manager at your next log-in; to start it by hand:"
        echo "  systemctl --user daemon-reload && systemctl --user enable --now $(sh_quote "$unit")"
    fi
done
if ((${#service_folders[@]})); then
    echo "To keep it running when you are not logged in: loginctl enable-linger ${USER:-$(id -un)}"
fi

# == What uninstall.sh takes away: what this run made, and what earlier runs made (but the names
# of before, gone above)
{
    if [[ -f "$manifest" ]]; then
        if ((${#legacy[@]})); then
            grep -vxF -f <(printf '%s\n' "${legacy[@]}") -- "$manifest" || true
        else
            cat -- "$manifest"
        fi
    fi
    printf '%s\n' "${made[@]}"
    printf 'file\t%s\n' "$manifest"
} | sort -u >"$manifest.new"
mv -f -- "$manifest.new" "$manifest"

echo "Installed in $dir: $program, started by $start_command"
echo "Menu entry: $menu_entry ($entry_name)"
if $autostart; then
    echo "Started at every log-in: $autostart_entry"
fi
echo "To remove: $(sh_quote "$root/scripts/uninstall.sh") $(sh_quote "$dir")"
