#!/usr/bin/env bash
# Takes away what scripts/install.sh put in place for the installation in DIR:
#
#     scripts/uninstall.sh DIR
#
# the menu entry, the autostart entry, the icons, the service units (stopped and disabled first
# where a user manager runs) and the program files in DIR. The data stays: the settings file, the
# W2W folders, Backups, Logboek, the databases, in DIR and in the services' folders. DIR itself
# goes only when nothing else is left in it.
#
# Exactly what DIR's manifest (.velora-karvex-install) lists goes, by its full path or unit name:
# the entries of another installation carry that installation's own name (velora-karvex-<id>, see
# install.sh) and stay, as does everything else in the folders the entries share.
set -euo pipefail

die() {
    echo "uninstall.sh: $*" >&2
    exit 2
}
(($# == 1)) && [[ -n "$1" ]] || die "usage: scripts/uninstall.sh DIR"
dir=$(realpath -m -- "$1")
manifest=$dir/.velora-karvex-install
[[ -f "$manifest" ]] || die "no installation of the link in $dir (no $manifest)"

user_manager() {
    command -v systemctl >/dev/null && systemctl --user show-environment >/dev/null 2>&1
}

# the services first, while their program is still there to end in order
if user_manager; then
    while IFS=$'\t' read -r kind what; do
        if [[ "$kind" == unit ]]; then
            systemctl --user disable --now "$what" || true
        fi
    done <"$manifest"
fi

folders=()
while IFS=$'\t' read -r kind what; do
    if [[ "$kind" == file && "$what" != "$manifest" ]]; then
        rm -f -- "$what"
        folders+=("$(dirname -- "$what")")
    fi
done <"$manifest"
rm -f -- "$manifest"
# What the updater keeps beside the program goes with it: the previous program, the marker of an
# unsettled update, the temporary copies of a killed updater and the installation's lock. Its log
# stays with the data.
rm -f -- "$dir/.VeloraKarvexClient.previous" "$dir/.VeloraKarvexClient.update" "$dir/.VeloraUpdater.lock" \
    "$dir"/.VeloraKarvexClient.vk-update-* "$dir"/.VeloraKarvexClient.update.tmp-*

if user_manager; then
    systemctl --user daemon-reload || true
fi

# Folders the installation made inside DIR (icons/) go when they are empty; those outside DIR
# (the menu's, the icon theme's, the units') stay: other programs share them.
for folder in "${folders[@]}"; do
    if [[ "$folder" == "$dir"/* ]]; then
        rmdir --ignore-fail-on-non-empty -- "$folder" 2>/dev/null || true
    fi
done
rmdir --ignore-fail-on-non-empty -- "$dir" 2>/dev/null || true

if [[ -d "$dir" ]]; then
    echo "Removed the link from $dir; the data in it stays: $(ls -A -- "$dir" | tr '\n' ' ')"
else
    echo "Removed the link and $dir."
fi
