#!/usr/bin/env bash
# Builds the libFuzzer targets of the parsers that take outside input (clang, with the address and
# undefined sanitizers; folder build-fuzz) and runs each for a given time, one after another or several at
# once. Not part of ./test.sh: a finding is turned into a case of the parser's own unit test.
#   bench/fuzz.sh [--seconds N] [--jobs J] [TARGET...]
# Targets: CommandLineParser XDateTime SchoolConfig CVConfig ConnectionString (default: all). Each starts
# from its seed corpus (bench/fuzz/corpus/TARGET) and keeps what it learns in build-fuzz/corpus/TARGET, so a
# later run goes on from there, with the dictionary bench/fuzz/TARGET.dict where there is one; a finding is
# written to build-fuzz/findings/TARGET/ and the script ends non-zero. The summary gives each target's run
# time, executions and coverage.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
jobs=1
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(CommandLineParser XDateTime SchoolConfig CVConfig ConnectionString)

command -v clang++ >/dev/null || { echo "clang is needed: apt-get install clang" >&2; exit 2; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" -DNORV_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

# Runs one target for the given time; its log in build-fuzz/logs/TARGET.log.
run_one() {
  local target=$1
  local corpus=build-fuzz/corpus/$target findings=build-fuzz/findings/$target
  mkdir -p "$corpus" "$findings" build-fuzz/logs
  local dictionary=()
  [ ! -f "bench/fuzz/$target.dict" ] || dictionary=(-dict="bench/fuzz/$target.dict")
  # Leak checks stay on; a run stops at its first finding and keeps the input under findings/.
  # -rss_limit_mb: a parser that holds gigabytes for a small input is a finding too.
  "build-fuzz/fuzz/${target}_fuzz" "$corpus" "bench/fuzz/corpus/$target" -max_total_time="$seconds" \
    -rss_limit_mb=1024 -max_len=8192 -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" \
    "${dictionary[@]}" \
    >"build-fuzz/logs/$target.log" 2>&1
}

status=0
pids=()
names=()
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  run_one "$target" &
  pids+=($!)
  names+=("$target")
done
for i in "${!pids[@]}"; do
  target=${names[$i]}
  if wait "${pids[$i]}"; then result=clean; else result="FINDING (see build-fuzz/findings/$target)"; status=1; fi
  log=build-fuzz/logs/$target.log
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  secs=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  echo "$target: $result; ${runs:-?} executions, ${secs:-?} per second, ${cov:-cov: ?}; log $log"
done
exit $status
