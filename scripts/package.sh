#!/usr/bin/env bash
# Builds the Debian package build/package/vireoimport_<version>_amd64.deb the
# way a packager builds: Debian's compiler flags (dpkg-buildflags: -O2,
# _FORTIFY_SOURCE, stack protector, RELRO and BIND_NOW), no tests, no
# benchmarks, installed under /usr, stripped; dependencies from the binaries
# (dpkg-shlibdeps), the ODBC drivers as recommends.
#   scripts/package.sh [cmake options...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/install-deps.sh
out="$here/build/package"
tree="$out/tree"

export DEB_BUILD_MAINT_OPTIONS="${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}"
eval "$(dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS: the preprocessor's flags go with the compilers'.
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"

cmake -S "$here" -B "$tree" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DVIREO_BUILD_TESTS=OFF -DVIREO_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$tree" -j"$(nproc)"
rm -f "$out"/vireoimport_*.deb
(cd "$tree" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/vireoimport_*_amd64.deb
