#!/usr/bin/env bash
# Builds the fuzz tree (clang, libFuzzer, ASan + UBSan) and runs every fuzz
# target for a while.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#     SECONDS   time per target (default 60)
#     TARGET    scan format logline linereader profile importsettings password
#               dateexpr registry (default: all)
#   Environment:
#     FUZZ_JOBS=N       targets run at the same time (default 1)
#     FUZZ_KEEP=1       merge the new corpus entries into fuzz/corpus/<target>
#     FUZZ_BUILD=DIR    build tree (default build/fuzz)
#     FUZZ_SCRATCH=DIR  folder of the files the targets write and read
#                       (default /dev/shm when there is one, else $TMPDIR)
#
# Each target first replays its corpus fuzz/corpus/<target> (the seeds and the
# reproducers of every bug found), then fuzzes. New corpus entries and crash
# reproducers go to a temporary folder, printed at the end; the repository's
# corpus is only changed with FUZZ_KEEP=1.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"

seconds="${1:-60}"
shift || true
all=(scan format logline linereader profile importsettings password dateexpr registry)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
jobs="${FUZZ_JOBS:-1}"
build="${FUZZ_BUILD:-build/fuzz}"

max_len() {
  case "$1" in
    password|dateexpr) echo 128 ;;
    scan|format) echo 512 ;;
    logline) echo 1024 ;;
    registry) echo 2048 ;;
    profile|importsettings) echo 4096 ;;
    linereader) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

# clang-14 with its libFuzzer and sanitizer runtimes.
needed=(clang-14 libclang-rt-14-dev)
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVIREO_BUILD_FUZZ=ON -DVIREO_WERROR=ON -DVIREO_BUILD_GUI=OFF -DVIREO_BUILD_TESTS=OFF -DVIREO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j2

work="$(mktemp -d "${TMPDIR:-/tmp}/vireo-fuzz.XXXXXX")"
scratch="${FUZZ_SCRATCH:-}"
if [ -z "$scratch" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; else scratch="${TMPDIR:-/tmp}"; fi
fi
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1"

run_one() {
  local t="$1" dir="$work/$1" status=0
  mkdir -p "$dir/corpus" "$dir/artifacts"
  if ! TMPDIR="$scratch" "$build/fuzz/fuzz_$t" -runs=0 "fuzz/corpus/$t" >"$dir/replay.log" 2>&1; then
    echo "$t: FAILED replaying fuzz/corpus/$t, log $dir/replay.log"
    return 1
  fi
  TMPDIR="$scratch" "$build/fuzz/fuzz_$t" "$dir/corpus" "fuzz/corpus/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" >"$dir/log" 2>&1 || status=$?
  local execs rate
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log")"
  if [ $status -eq 0 ]; then
    echo "$t: ok, ${seconds}s, ${execs:-?} runs, ${rate:-?} exec/s"
  else
    echo "$t: FAILED (status $status), reproducers in $dir/artifacts, log $dir/log"
  fi
  if [ "${FUZZ_KEEP:-0}" = 1 ]; then
    "$build/fuzz/fuzz_$t" -merge=1 "fuzz/corpus/$t" "$dir/corpus" -max_len="$(max_len "$t")" >/dev/null 2>&1 || true
  fi
  return $status
}

failed=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
echo "work folder: $work"
exit $failed
