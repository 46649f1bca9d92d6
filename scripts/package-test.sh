#!/usr/bin/env bash
# Builds the Debian package, checks it (lintian, desktop-file-validate,
# appstreamcli), installs it, runs what it installed from the installed
# paths, removes it again and checks that nothing of it is left. Run as root
# on a machine where the package may be installed and removed (CI).
# Prints one line per check, "pass: ..." or "FAIL: ...", and at the end:
#   package: N passed, M failed
# and exits non-zero when a check failed.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"

passed=0
failed=0
check() {  # check NAME COMMAND...: runs the command, counts and prints the outcome
  local name="$1" log
  shift
  log="$(mktemp)"
  if "$@" >"$log" 2>&1; then
    echo "pass: $name"
    passed=$((passed + 1))
  else
    echo "FAIL: $name"
    sed 's/^/    /' "$log" | tail -40
    failed=$((failed + 1))
  fi
  rm -f "$log"
}
finish() {
  echo "package: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

echo "== building the package"
if ! deb="$(bash scripts/package.sh | tail -1)" || [ ! -f "$deb" ]; then
  echo "FAIL: scripts/package.sh built no package"
  failed=$((failed + 1))
  finish
fi
echo "package: $deb"
passed=$((passed + 1))

work="$(mktemp -d "${TMPDIR:-/tmp}/vireo-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"

lintian_clean() {
  # Errors fail; warnings are printed (none today). Informational tags kept:
  # binary-has-unneeded-section (CPack strips as strip does),
  # package-contains-documentation-outside-usr-share-doc (the help is read by
  # the window at run time) and package-supports-alternative-init-but-no-init.d-script
  # (watch runs under systemd or cron, see vireo-import(1)).
  lintian --fail-on error "$deb" | tee "$work/lintian.txt"
}
check "lintian shows no errors" lintian_clean
sed -n 's/^[W]: /    warning kept: /p' "$work/lintian.txt"
check "desktop-file-validate" desktop-file-validate "$work/root/usr/share/applications/vireoimport.desktop"
appstream_clean() {
  # Errors fail; kept: cid-desktopapp-is-not-rdns (the program has no domain
  # of its own to name it by; the id is the desktop entry's name).
  local report
  report="$(appstreamcli validate --no-net "$work/root/usr/share/metainfo/vireoimport.metainfo.xml")"
  echo "$report"
  ! grep -q '^E:' <<<"$report" && ! grep '^W:' <<<"$report" | grep -qv cid-desktopapp-is-not-rdns
}
check "appstreamcli validate shows no errors" appstream_clean

echo "== installing it"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/install.log" 2>&1 || cat "$work/install.log"
check "installed" dpkg -s vireoimport
dpkg -L vireoimport | sort >"$work/files.txt"

check "vireo-import --version" sh -c '/usr/bin/vireo-import --version | grep -qx "vireo-import Version 1\..*"'
check "VireoImport --version without a window" sh -c 'env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/VireoImport --version | grep -q "^VireoImport Version"'
man_quiet() {
  local page="$1" warnings
  warnings="$(man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "$warnings"; return 1; }
  man -l "$page" 2>/dev/null | grep -q "EXIT STATUS\|SYNOPSIS"
}
check "man vireo-import(1) renders without warnings" man_quiet /usr/share/man/man1/vireo-import.1.gz
check "man VireoImport(1) renders without warnings" man_quiet /usr/share/man/man1/VireoImport.1.gz

completes() {  # completes "WORDS..." EXPECTED...: the completion of the last word offers each EXPECTED
  local line="$1" offered
  shift
  offered="$(bash -c '
    source /usr/share/bash-completion/bash_completion
    source /usr/share/bash-completion/completions/vireo-import
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE="$1" COMP_POINT=${#1}
    _vireo_import vireo-import "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$line")"
  for want in "$@"; do grep -qx -- "$want" <<<"$offered" || { echo "'$line' offers: $offered"; return 1; }; done
}
check "completion lists the commands" completes "vireo-import " import watch sensors values summary stations \
  station-sensors init-db add-station protect-password
check "completion lists an option of a command" completes "vireo-import import --dr" --dry-run
check "completion lists file names" completes "vireo-import sensors $here/samples/" $(ls -d "$here"/samples/* | head -1)

units_clean() {
  local units report
  units="$(dirname "$(grep '/vireo-watch.service$' "$work/files.txt")")"
  report="$(cd "$units" && SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no ./vireo-watch.service \
    ./vireo-watch@lists.service ./vireo-watch@.timer 2>&1)"
  [ -z "$report" ] || { echo "$report"; return 1; }
  getent passwd vireo
}
check "systemd units verify, their user is there" units_clean

echo "== a database of one's own"
db="$work/db"
mkdir -p "$db" "$db/home"
cat >"$db/odbc.ini" <<INI
[VireoPackage]
Driver=SQLite3
Database=$db/loggers.db
Timeout=5000
INI
printf '%s\r\n' 'TEMP,06/15/2005,12:30:00,21.5,G' 'TEMP,06/15/2005,12:40:00,21.9,G' \
  'BATT,06/15/2005,12:30:00,13.2,G' 'OTHER,06/15/2005,12:30:00,1.0,G' >"$db/gauge.log"
own() { env -u XDG_CONFIG_HOME HOME="$db/home" ODBCINI="$db/odbc.ini" TARNFOLD_REGISTRY="$db/none.ini" "$@"; }
check "init-db" own /usr/bin/vireo-import init-db --dsn VireoPackage
check "init-db again refuses (exit 2)" sh -c 'HOME="$1/home" ODBCINI="$1/odbc.ini" /usr/bin/vireo-import init-db --dsn VireoPackage; [ $? -eq 2 ]' _ "$db"
check "add-station" own /usr/bin/vireo-import add-station ST01 TEMP BATT --dsn VireoPackage
check "import" own /usr/bin/vireo-import import "$db/gauge.log" --pair 'TEMP||ST01.TEMP' --pair 'BATT||ST01.BATT' \
  --dsn VireoPackage
rows() { [ "$(sqlite3 "$db/loggers.db" 'SELECT STATION_ID, SENSORNAME, ORIG_VALUE FROM TF_DATA1 ORDER BY 2, TIME_TAG')" = "$(printf 'ST01|BATT|13.2\nST01|TEMP|21.5\nST01|TEMP|21.9')" ]; }
check "the rows landed in TF_DATA1" rows
# The user's own settings file is what the installed program reads.
mkdir -p "$db/home/.config/VireoImport"
printf '[DataBase]\nDataSource=VireoPackage\n' >"$db/home/.config/VireoImport/VireoImport.VFG"
check "the per-user settings file gives the connection" sh -c \
  'HOME="$1/home" ODBCINI="$1/odbc.ini" TARNFOLD_REGISTRY=/nonexistent /usr/bin/vireo-import stations | grep -qx ST01' _ "$db"

echo "== the window from the desktop entry"
window_icon() {
  local exec_line
  exec_line="$(sed -n 's/^Exec=//p' /usr/share/applications/vireoimport.desktop | sed 's/ %[fFuU]//g')"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    HOME="$2/home" ODBCINI="$2/odbc.ini" TARNFOLD_REGISTRY=/nonexistent $1 &
    pid=$!
    for _ in $(seq 1 120); do
      id="$(xwininfo -root -tree 2>/dev/null | sed -n "s/^ *\(0x[0-9a-f]*\) \"Vireo\/4620 - Tarnfold Log Import\".*/\1/p" | head -1)"
      [ -n "$id" ] && break
      sleep 0.5
    done
    status=1
    if [ -n "$id" ]; then
      xprop -id "$id" _NET_WM_ICON | head -c 300
      echo
      xprop -id "$id" _NET_WM_ICON | grep -q "Icon (\|_NET_WM_ICON(CARDINAL) = [0-9]" && status=0
    else
      echo "no window came up"
    fi
    kill "$pid"; wait "$pid" 2>/dev/null
    exit $status' _ "$exec_line" "$db"
}
check "the window starts from the desktop entry's Exec line and shows its icon" window_icon

echo "== removing it"
DEBIAN_FRONTEND=noninteractive dpkg --purge vireoimport >"$work/purge.log" 2>&1 || cat "$work/purge.log"
left() {
  local bad=0
  dpkg -s vireoimport >/dev/null 2>&1 && { echo "still installed"; bad=1; }
  while IFS= read -r path; do
    [ -e "$path" ] && [ ! -d "$path" ] && { echo "left: $path"; bad=1; }
  done <"$work/files.txt"
  for folder in /usr/share/vireoimport /usr/share/doc/vireoimport /var/lib/vireo-watch; do
    [ -e "$folder" ] && { echo "left: $folder"; bad=1; }
  done
  return $bad
}
check "nothing of it is left" left
finish
