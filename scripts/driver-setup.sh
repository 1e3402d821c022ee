# Sourced inside the test network's host namespace by the end-to-end scripts: makes the driver
# ready to be loaded in MODE and names the folder its settings file goes into.
#   driver_setup WORK_DIR   needs MODE (native or wine) and WINDOWS (the Windows build);
#                           sets wine (the loader) and settings_dir (created, empty)
#   driver_teardown         under Wine stops the prefix's server and removes what it kept in /tmp
driver_setup() {
  local work=$1
  wine=/usr/lib/wine/wine64
  if [ "$MODE" = wine ]; then
    # A prefix of this namespace's own: its wineserver must run in here to see these links.
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$wine" wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    local dll
    dll=$("$wine" winepath -w "$WINDOWS/src/com/module/ASIOVelmora.dll" 2>/dev/null)
    "$wine" regsvr32 /s "$dll" >/dev/null 2>&1
    local appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
    [ -d "$appdata" ] || appdata="$WINEPREFIX/drive_c/users/$(id -un)/Application Data"
    settings_dir="$appdata/TOLVENIK Velmora"
  else
    export XDG_CONFIG_HOME="$work/config"
    settings_dir="$XDG_CONFIG_HOME/TOLVENIK Velmora"
  fi
  mkdir -p "$settings_dir"
}

driver_teardown() {
  [ "$MODE" != wine ] || scripts/wine-stop.sh "$WINEPREFIX"
}
