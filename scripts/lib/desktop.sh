# What the scripts that drive the real window share: a virtual X display with a window manager,
# finding a window by its caption, and the settings of a demonstration data folder.
# Sourced (not run); the caller keeps an array `pids` of the background processes to end.

# Starts Xvfb on the first free display from FIRST (1100x640, like a small laptop screen) and
# openbox on it; exports DISPLAY. Fails when the display does not come up.
start_desktop() {
    local n=$1
    while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
    export DISPLAY=:$n
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
    Xvfb "$DISPLAY" -screen 0 1100x640x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    xdpyinfo >/dev/null 2>&1 || return 1
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
}

# Prints the id of a visible window whose caption matches CAPTION, waiting up to SECONDS; fails
# when none appears. Searched again and again rather than with xdotool's --sync: a window that
# closes while xdotool reads it ends that search with an X error.
find_window() {
    local deadline=$((SECONDS + $2)) id
    while ((SECONDS < deadline)); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

# Puts the keyboard focus into the link's window WIN with a click on an empty spot of its first
# page; from there Ctrl+Tab goes from page to page as a user would.
focus_link_window() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    xdotool mousemove --window "$1" 700 320 click 1
}

# In the link's window WIN: Ctrl+Tab to the second page and a click on its button
# "UPDATE CONTROLE", which asks the update server for a new version.
press_update_check() {
    focus_link_window "$1"
    xdotool key --window "$1" ctrl+Tab
    sleep 0.3
    xdotool mousemove --window "$1" 250 170 click 1
}

# Writes the settings file of a demonstration data folder: the embedded database, debtor 1024,
# user 7, polling every INTERVAL seconds, automatic handling on.
write_demo_settings() {
    cat >"$1" <<XML
<?xml version="1.0" encoding="iso-8859-1"?>
<Configuration>
  <Hoofdscherm>
    <xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>
    <Debiteur_Text>1024</Debiteur_Text>
    <Gebruiker_Text>7</Gebruiker_Text>
    <Interval_Text>$2</Interval_Text>
    <Automatisch_Checked>TRUE</Automatisch_Checked>
  </Hoofdscherm>
</Configuration>
XML
}
