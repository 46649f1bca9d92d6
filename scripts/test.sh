#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a normal optimised build, and a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer. Tests that need PostgreSQL start their own
# throwaway server on 127.0.0.1.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/install-deps.sh

echo "== release build"
bash scripts/build.sh build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build/release && ctest --output-on-failure)

echo "== sanitizer build (ASan + UBSan)"
bash scripts/build.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DVIREO_SANITIZE=ON -DVIREO_BUILD_BENCH=OFF
(cd build/asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure)

# ---------------------------------------------------------------------------
echo "== fuzz regression (clang-14 libFuzzer + ASan + UBSan)"
# Replays every target's corpus (seeds and the reproducers of fixed bugs),
# then fuzzes each target for 10 seconds, two at a time.
fuzz_log="$(mktemp)"
FUZZ_JOBS=2 bash scripts/fuzz.sh 10 | tee "$fuzz_log"
fuzzed=$(grep -c ': ok,' "$fuzz_log" || true)
rm -f "$fuzz_log"

# Every step above stops the script on a failure, so reaching here means all passed.
programs() { (cd "$1" && ctest -N | sed -n 's/^Total Tests: //p'); }
echo "summary: $(($(programs build/release) + $(programs build/asan) + fuzzed)) passed, 0 failed"
