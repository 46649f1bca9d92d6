#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# they are missing. Run as root (or through sudo).
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  googletest libgtest-dev libbenchmark-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libjpeg-dev
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql sqlite3 libsqlite3-dev libpq-dev
  libhowardhinnant-date-dev tzdata
  postgresql-15 xvfb xauth locales
  lintian desktop-file-utils appstream man-db bash-completion x11-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
