#!/usr/bin/env bash
# Installs the link for the user who runs it, in a folder of that user's own, so that a later
# update can replace the program file without root:
#
#     scripts/install.sh [DIR] [--autostart] [--service FOLDER]
#
# DIR (default ~/.local/opt/velora-karvex) receives the program files and the icon files, as
# `cmake --install` lays them out. The window uses DIR as its data folder (settings file, W2W,
# Backups, Logboek). The link appears in the desktop's menu with its icon; --autostart also starts
# the window at every log-in. --service FOLDER runs the link without its window as a systemd user
# service on the data folder FOLDER (a link per folder; never DIR itself, which belongs to the
# window). Running the script again upgrades the installation in place; data is never touched.
# scripts/uninstall.sh DIR takes it all away again, except the data.
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
            "data folder. Give the service a data folder of its own, e.g. --service $HOME/velora-karvex-link"
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
unit_template=velora-karvex-link@.service
units_dir=$config_home/systemd/user

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
program=$dir/VeloraKarvexClient
[[ -x "$program" ]] || die "the installation has no $program"

made=()  # what this run made: "file<TAB>path" and "unit<TAB>name", for uninstall.sh
while IFS= read -r path; do
    [[ -n "$path" ]] && made+=("file	$path")
done <<<"$installed"

# == The desktop: the menu entry and the icon in the theme's sizes
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
desktop_entry() {
    cat <<EOF
[Desktop Entry]
Type=Application
Version=1.4
Name=Vindo Velora Karvex koppeling
Comment=Wisselt ritopdrachten uit tussen de planningdatabase en Karvex
Exec=$(desktop_exec "$program")
Icon=velora-karvex
Terminal=false
Categories=Office;
StartupWMClass=VeloraKarvexClient
EOF
}

applications=$data_home/applications
mkdir -p "$applications"
desktop_entry >"$applications/velora-karvex.desktop"
made+=("file	$applications/velora-karvex.desktop")

for png in "$dir"/icons/velora-karvex-*.png; do
    size=${png##*-}
    size=${size%.png}
    theme_dir=$data_home/icons/hicolor/${size}x${size}/apps
    mkdir -p "$theme_dir"
    cp -- "$png" "$theme_dir/velora-karvex.png"
    made+=("file	$theme_dir/velora-karvex.png")
done
if command -v gtk-update-icon-cache >/dev/null && [[ -f "$data_home/icons/hicolor/index.theme" ]]; then
    gtk-update-icon-cache -q "$data_home/icons/hicolor" || true
fi

if $autostart; then
    mkdir -p "$config_home/autostart"
    desktop_entry >"$config_home/autostart/velora-karvex.desktop"
    made+=("file	$config_home/autostart/velora-karvex.desktop")
fi

# == The service
user_manager() {
    command -v systemctl >/dev/null && systemctl --user show-environment >/dev/null 2>&1
}
# The program's path as the first word of ExecStart: quoted, with \ and " escaped inside the
# quotes, and % and $ doubled so that they are neither specifiers nor variables.
unit_exec() {
    local a=$1
    a=${a//\\/\\\\}
    a=${a//\"/\\\"}
    a=${a//%/%%}
    a=${a//\$/\$\$}
    printf '"%s"' "$a"
}
write_unit_template() {
    local text
    text=$(<"$root/packaging/$unit_template")
    mkdir -p "$units_dir"
    printf '%s\n' "${text//@VK_PROGRAM@/"$(unit_exec "$program")"}" >"$units_dir/$unit_template"
    made+=("file	$units_dir/$unit_template")
}

if [[ -n "$service_folder" ]]; then
    mkdir -p "$service_folder"
    write_unit_template
    unit="velora-karvex-link@$(systemd-escape --path "$service_folder").service"
    made+=("unit	$unit" "file	$units_dir/default.target.wants/$unit")
    if user_manager; then
        systemctl --user daemon-reload
        systemctl --user enable --now "$unit"
        echo "The link runs as the service $unit on $service_folder."
        echo "  status:  systemctl --user status '$unit'"
    else
        # enabled as systemctl enables it: the user manager starts it when it next starts
        mkdir -p "$units_dir/default.target.wants"
        ln -sfn "$units_dir/$unit_template" "$units_dir/default.target.wants/$unit"
        echo "No systemd user manager runs for you now, so the service $unit was not started."
        echo "It is enabled and starts with your user manager at your next log-in; to start it by hand:"
        echo "  systemctl --user daemon-reload && systemctl --user enable --now '$unit'"
    fi
    echo "To keep it running when you are not logged in: loginctl enable-linger ${USER:-$(id -un)}"
elif [[ -f "$units_dir/$unit_template" ]] && grep -qF "$(unit_exec "$program")" "$units_dir/$unit_template"; then
    write_unit_template  # an upgrade: the services of this installation run the new program
fi
if [[ -f "$units_dir/$unit_template" ]] && user_manager; then
    systemctl --user daemon-reload
    systemctl --user try-restart 'velora-karvex-link@*.service' || true
fi

# == What uninstall.sh takes away: what this run made, and what earlier runs made
{
    [[ -f "$manifest" ]] && cat -- "$manifest"
    printf '%s\n' "${made[@]}"
    printf 'file\t%s\n' "$manifest"
} | sort -u >"$manifest.new"
mv -f -- "$manifest.new" "$manifest"

echo "Installed in $dir: $program"
echo "Menu entry: $applications/velora-karvex.desktop"
if $autostart; then
    echo "Started at every log-in: $config_home/autostart/velora-karvex.desktop"
fi
echo "To remove: scripts/uninstall.sh '$dir'"
