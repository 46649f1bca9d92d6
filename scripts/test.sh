#!/usr/bin/env bash
# Installs what is missing, checks the formatting, then builds and runs the
# whole test suite twice (warnings are errors in both): a normal optimised
# build, and a Debug build with AddressSanitizer and UndefinedBehaviorSanitizer. Each test case is a CTest
# test of its own; the cases that need PostgreSQL share one throwaway server
# on 127.0.0.1 per run. The last line counts what ran:
#   summary: N passed, M failed
# and the script exits non-zero when anything failed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/install-deps.sh

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# The decimal-comma test reads numbers under a German locale; the locale tests
# read log files under German and Finnish ('.' between hours and minutes).
for loc in de_DE fi_FI; do
  if ! locale -a 2>/dev/null | grep -qix "$loc\.utf-\?8"; then
    echo "== generating the $loc.UTF-8 locale"
    $SUDO localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done

passed=0
failed=0

echo "== format (clang-format)"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if clang-format --dry-run --Werror "${sources[@]}"; then
  echo "format: ${#sources[@]} files as clang-format writes them"
  passed=$((passed + 1))
else
  echo "format: the files above differ from clang-format's layout (clang-format -i FILE)"
  failed=$((failed + 1))
fi

echo "== layers (docs/architecture.md)"
if bash scripts/check-layers.sh; then
  echo "layers: no folder includes one above it, and the core includes no Qt"
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

# The check itself must see an include that reaches up however it is spelled,
# and a folder of src/ that the layers do not name: plant each in a copy.
for planted in 'db/Query.cpp:#include <import/ImportRun.h>' \
  'scan/Chronos.h:  #  include "gui/Main.h"' 'logfile/LogRecord.h:#include <QString>' \
  'unplaced/Unit.h:#pragma once'; do
  copy="$(mktemp -d)"
  cp -r src "$copy/"
  mkdir -p "$copy/src/$(dirname "${planted%%:*}")"
  echo "${planted#*:}" >>"$copy/src/${planted%%:*}"
  if bash scripts/check-layers.sh "$copy/src" >/dev/null; then
    echo "layers: the check missed '${planted#*:}' in ${planted%%:*}"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  rm -rf "$copy"
done

# Runs ctest in build tree $1 and adds its counts of test cases, read from
# ctest's own summary, to passed and failed.
run_ctest() {
  local dir="$1" log rc=0 total failures skipped
  shift
  log="$(mktemp)"
  (cd "$dir" && env "$@" ctest -j2 --output-on-failure) 2>&1 | tee "$log" || rc=$?
  total=$(sed -n 's/.* tests\{0,1\} failed out of \([0-9][0-9]*\).*/\1/p' "$log" | tail -1)
  failures=$(sed -n 's/.* \([0-9][0-9]*\) tests\{0,1\} failed out of .*/\1/p' "$log" | tail -1)
  skipped=$(grep -c '(Skipped)' "$log" || true)
  rm -f "$log"
  if [ -z "$total" ] || [ -z "$failures" ]; then
    echo "$dir: ctest ended without a summary (status $rc)"
    failed=$((failed + 1))
    return
  fi
  if [ "$rc" -ne 0 ] && [ "$failures" -eq 0 ]; then failures=1; fi
  echo "$dir: $total test cases, $((total - failures - skipped)) passed, $failures failed, $skipped skipped"
  passed=$((passed + total - failures - skipped))
  failed=$((failed + failures))
}

echo "== release build"
bash scripts/build.sh build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIREO_WERROR=ON
run_ctest build/release

echo "== package (build, lintian, install, run from the installed paths, purge)"
package_log="$(mktemp)"
bash scripts/package-test.sh | tee "$package_log" || true
package_passed=$(sed -n 's/^package: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$package_log")
package_failed=$(sed -n 's/^package: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$package_log")
rm -f "$package_log"
if [ -z "$package_passed" ]; then
  echo "package: the package test ended without its summary"
  failed=$((failed + 1))
else
  passed=$((passed + package_passed))
  failed=$((failed + package_failed))
fi

echo "== sanitizer build (ASan + UBSan)"
bash scripts/build.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DVIREO_SANITIZE=ON -DVIREO_BUILD_BENCH=OFF -DVIREO_WERROR=ON
run_ctest build/asan ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

# ---------------------------------------------------------------------------
echo "== fuzz regression (clang-14 libFuzzer + ASan + UBSan)"
# Replays every target's corpus (seeds and the reproducers of fixed bugs),
# then fuzzes each target for 10 seconds, two at a time.
fuzz_log="$(mktemp)"
fuzz_rc=0
FUZZ_JOBS=2 bash scripts/fuzz.sh 10 | tee "$fuzz_log" || fuzz_rc=$?
fuzzed=$(grep -c ': ok,' "$fuzz_log" || true)
rm -f "$fuzz_log"
passed=$((passed + fuzzed))
if [ "$fuzz_rc" -ne 0 ]; then failed=$((failed + 1)); fi

echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
