#!/usr/bin/env bash
# Installs the Debian packages the build, the link and the tests need, when any is missing.
# Quiet when everything is there; safe to run again.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6sql6-sqlite libqt6sql6-odbc
    libgtest-dev libgmock-dev libbenchmark-dev
    libpugixml-dev libcurl4-openssl-dev zlib1g-dev unixodbc-dev unixodbc sqlite3
    # the update's signature (Ed25519), reading and signing a program file's sections, and the
    # service's readiness and watchdog messages
    libssl-dev openssl binutils libsystemd-dev
    # the window's faces: Wine's Tahoma and Liberation Sans (Arial's metrics)
    fonts-wine fonts-liberation
    # Qt's own texts (a text field's context menu, the folder picker) in Dutch
    qt6-translations-l10n
)
# the tests also reach a PostgreSQL server of their own through its ODBC driver
if [[ "${1:-}" == "--test" ]]; then
    packages+=(postgresql odbc-postgresql python3 openssl)
    # the installation's checks (the menu entry, the service unit) and the update run end to end
    # under a virtual display
    packages+=(desktop-file-utils systemd xvfb openbox x11-utils xdotool)
fi
# pictures of the window: a virtual X display with a window manager and a notification area
if [[ "${1:-}" == "--screenshots" ]]; then
    packages+=(xvfb openbox trayer xdotool x11-utils imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
((EUID == 0)) || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
