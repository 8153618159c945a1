#!/usr/bin/env bash
# Runs the fuzz targets of build-fuzz (configured with -DVORMEX_FUZZ=ON and
# clang, as test.sh does) for SECONDS each, default 20:
#
#   fuzz/run.sh [SECONDS] [TARGET...]      default: every fuzz/<target>_fuzz.cpp
#
# Each starts from its seeds in fuzz/corpus/<target> and what earlier runs
# kept in build-fuzz/corpus/<target>. A crash, a sanitizer report, a failed
# oracle or one input taking over 10 s stops the target and fails the run;
# the input is saved in build-fuzz/findings/. Logs: build-fuzz/fuzz-<target>.log.
# A long run: nice -n 10 fuzz/run.sh 600
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" _fuzz.cpp)"); done
fi

failed=0
for t in "${targets[@]}"; do
  bin=build-fuzz/fuzz/fuzz_$t
  if [ ! -x "$bin" ]; then
    echo "fuzz: $bin is not built" >&2
    failed=1
    continue
  fi
  mkdir -p "build-fuzz/corpus/$t" build-fuzz/findings
  log=build-fuzz/fuzz-$t.log
  # The shipped database is 60 KB; mutating inputs that long would spend the
  # time re-reading it. Smaller files reach every rule of the format.
  options=()
  [ "$t" = deviceini ] && options=(-max_len=8192)
  if "$bin" "${options[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$t-" "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[^ ]+')
    echo "fuzz $t: ${seconds} s, $execs inputs, $speed/s, $last"
  else
    echo "fuzz $t: FAILED (build-fuzz/findings/, $log)" >&2
    grep -E -A30 '^(==[0-9]+==ERROR|oracle:|.*runtime error|ALARM|==[0-9]+== ERROR)' "$log" | head -60 >&2
    failed=1
  fi
done
exit $failed
