#!/usr/bin/env bash
# Checks that each folder of src/ includes only its own headers and those of
# the layers below it (docs/architecture.md), and that nothing in the core
# includes Qt. Prints every include that reaches up; exits 1 when there is one.
set -euo pipefail
src="$(cd "$(dirname "$0")/../src" && pwd)"

declare -A allowed=(
  [scan]="scan"
  [files]="files"
  [status]="status files scan"
  [settings]="settings status files scan"
  [logfile]="logfile files scan"
  [db]="db scan"
  [import]="import db logfile settings status files scan"
  [follow]="follow import db logfile settings status files scan"
  [preview]="preview db logfile scan"
  [cli]="cli follow preview import db logfile settings status files scan"
  [gui]="gui follow preview import db logfile settings status files scan"
)

bad=0
for folder in "${!allowed[@]}"; do
  [ -d "$src/$folder" ] || continue
  while IFS= read -r hit; do
    file="${hit%%:*}"
    target="$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$hit")"
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "layer: ${file#"$src"/} includes $target/"
      bad=1
    fi
  done < <(grep -rHE '^#include "[a-z]+/' "$src/$folder" --include='*.h' --include='*.cpp' || true)
  if [ "$folder" != gui ] && grep -rlE '^#include <Q' "$src/$folder" --include='*.h' --include='*.cpp' >/dev/null; then
    echo "layer: $folder includes Qt"
    bad=1
  fi
done
exit "$bad"
