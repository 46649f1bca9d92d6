#!/usr/bin/env bash
# Checks that each folder of src/ includes only its own headers and those of
# the layers below it (docs/architecture.md), and that nothing in the core
# includes Qt. An include reaches a folder of src/ whether it is written in
# quotes or in angle brackets. Prints every include that reaches up, and every
# folder of src/ that has no place in the layers; exits 1 when there is one.
# With a folder argument it checks that tree instead of this project's src/.
set -euo pipefail
src="$(cd "${1:-$(dirname "$0")/../src}" && pwd)"

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

include='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
bad=0
for dir in "$src"/*/; do
  folder="$(basename "$dir")"
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "layer: $folder/ has no place in the layers"
    bad=1
    continue
  fi
  while IFS= read -r hit; do
    file="${hit%%:*}"
    target="$(sed -E "s/.*${include}[\"<]([a-z]+)\\/.*/\\1/" <<<"${hit#*:}")"
    # <sys/stat.h> and the like name no folder of ours.
    [ -d "$src/$target" ] || continue
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "layer: ${file#"$src"/} includes $target/"
      bad=1
    fi
  done < <(grep -rHE "${include}[\"<][a-z]+/" "$dir" --include='*.h' --include='*.cpp' || true)
  if [ "$folder" != gui ] && grep -rlE "${include}<Q" "$dir" --include='*.h' --include='*.cpp' >/dev/null; then
    echo "layer: $folder includes Qt"
    bad=1
  fi
done
exit "$bad"
