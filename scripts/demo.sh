#!/usr/bin/env bash
# The demo: installs what is missing, builds, and imports sample log files of
# every layout into an embedded SQLite database through the SQLite ODBC driver.
# Everything lives in ./demo: the database, a project-local odbc.ini, an
# installation-values file, the log files and an import settings file.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/install-deps.sh
bash scripts/build.sh build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cli="$here/build/release/bin/vireo-import"

demo="$here/demo"
mkdir -p "$demo/logs"
export ODBCINI="$demo/odbc.ini"
export TARNFOLD_REGISTRY="$demo/registry.ini"

# The database, its stations and sensors: created once.
if [ ! -f "$demo/tarnfold.db" ]; then
  sqlite3 "$demo/tarnfold.db" < src/db/schema/sqlite.sql
  sqlite3 "$demo/tarnfold.db" <<'SQL'
INSERT INTO TF_SITES(STATION_ID, DESCRIPTION, ENABLED) VALUES ('ST01', 'Riverside gauge', 'Y'), ('ST02', 'Hill weather', 'Y'), ('ST03', 'Old well (retired)', 'N');
INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES
  ('ST01', 'TEMP', 'Y'), ('ST01', 'BATT', 'Y'), ('ST01', 'STAGE', 'Y'), ('ST01', 'AT', 'Y'), ('ST01', 'RH', 'Y'),
  ('ST01', 'OLD', 'N'), ('ST02', 'WS.AVG', 'Y'), ('ST02', 'AT', 'Y');
SQL
fi

cat > "$demo/odbc.ini" <<INI
[VireoDemo]
Description=VireoImport demo database
Driver=SQLite3
Database=$demo/tarnfold.db
DBQ=$demo/tarnfold.db
JournalMode=WAL
SyncPragma=NORMAL
Timeout=5000
INI

# The installation's values: the window connects with them at its first start.
{
  echo '[HKEY_LOCAL_MACHINE\Software\Quenta Corporation\Tarnfold\Settings]'
  echo "Home=$demo"
  echo 'ODBC_Source=VireoDemo'
  echo 'ODBC_User=demo'
  printf 'demo\n' | "$cli" protect-password | grep '^ODBC_Pass='
} > "$demo/registry.ini"

# Sample log files, one per layout family.
printf '%s\r\n' \
  '"Vireo 4620 export' \
  'TEMP,06/15/2005,12:30:00,21.5,G' \
  'TEMP,06/15/2005 12:40:00,21.9,G' \
  'BATT,06/15/2005,12:30:00,13.2,G' \
  '06/15/2005,12:50:00,TEMP,22.4,C,G' \
  '06/15/2005 13:00:00,TEMP,22.8,C,G' \
  'TEMP,06/15/2005,13:10:00,n/a,B' \
  > "$demo/logs/single.log"
printf '%s\n' \
  '06/15/2005,15:00:00,ST01,1.25,13.1,55' \
  '06/15/2005,15:15:00,ST01,1.27,13.0,57' \
  '06/15/2005,15:30:00,ST01,1.31,12.9,61' \
  > "$demo/logs/labels.csv"
printf '%s\r\n' \
  '"DATE" "TIME" "STAGE" "BATT"' \
  '06/15/2005 14:00:00 1.40 12.8' \
  '06/15/2005 14:15:00 1.42 12.7' \
  > "$demo/logs/gauge.prn"

# The import list for the label file, as the window would store it.
printf '[Import]\nSensors=ST01:1||ST01.STAGE,ST01:2||ST01.BATT,ST01:3||ST01.RH\n' > "$demo/labels.sfg"

run() { echo "\$ vireo-import $*"; "$cli" "$@"; echo; }
echo "=== what the log files hold"
run summary "$demo/logs/single.log"
for pass in insert update; do
  echo "=== import run ($pass)"
  run import "$demo/logs/single.log" --pair 'TEMP||ST01.TEMP' --pair 'BATT||ST01.BATT'
  run import "$demo/logs/labels.csv" --list "$demo/labels.sfg"
  run import "$demo/logs/gauge.prn" --pair 'STAGE||ST01.STAGE' --pair 'BATT||ST01.BATT'
done

echo "=== what landed in TF_DATA1"
sqlite3 -header -column "$demo/tarnfold.db" \
  "SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE FROM TF_DATA1 ORDER BY STATION_ID, SENSORNAME, TIME_TAG"
echo
echo "Start the window on this data source with:"
echo "  ODBCINI=$demo/odbc.ini TARNFOLD_REGISTRY=$demo/registry.ini $here/build/release/bin/VireoImport"
