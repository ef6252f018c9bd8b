#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs them.
#   fuzz/run.sh --smoke [name...]    each target 5 s over the seed corpus, one after another,
#                                    in a fresh temporary folder (CI)
#   fuzz/run.sh [seconds] [name...]  long runs side by side under nice -n 19, default 1920 s
#                                    each, every target with its own corpus in $VX_FUZZ_WORK
#                                    (/tmp/veltrix-fuzz/<name>) and its log in <name>.log
# $VX_FUZZ_BUILD names the build folder (build-fuzz).
# Names are fillcopyrec, wildcard, entrylist, md5 (all when none is given). Exits
# non-zero when a target found a crash, a hang, a leak or a sanitizer report; the
# input that caused it is left in $VX_FUZZ_WORK/<name>-crash-*.
set -u
cd "$(dirname "$0")/.."
build=${VX_FUZZ_BUILD:-build-fuzz}
smoke=0
seconds=1920
timeout=${VX_FUZZ_TIMEOUT:-120}  # per input: a niced run on a busy machine stalls for seconds
if [ "${1:-}" = --smoke ]; then smoke=1; seconds=${VX_FUZZ_SMOKE_SECONDS:-5}; timeout=${VX_FUZZ_TIMEOUT:-25}; shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
targets=("$@")
# A smoke run gets a fresh folder of its own: it never disturbs a long run.
fresh=
if [ $smoke = 1 ]; then fresh=${VX_FUZZ_WORK:-$(mktemp -d /tmp/veltrix-fuzz-smoke.XXXXXX)}; work=$fresh
else work=${VX_FUZZ_WORK:-/tmp/veltrix-fuzz}; fi
[ ${#targets[@]} -eq 0 ] && targets=(fillcopyrec wildcard entrylist md5)

echo "==== Fuzz: build ($build)"
mkdir -p "$build"
if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DVELTRIX_FUZZ=ON >"$build/configure.log" 2>&1; then
  cat "$build/configure.log"
  exit 1
fi
cmake --build "$build" -j "${VELTRIX_JOBS:-2}" --target "${targets[@]/#/fuzz_}" >"$build/build.log" 2>&1 ||
  { tail -50 "$build/build.log"; exit 1; }

# Longest input per target: the argument texts must outgrow the 2048-byte fields.
max_len() { case $1 in wildcard) echo 4096 ;; *) echo 8192 ;; esac; }

run_one() {  # name
  local name=$1 corpus=$work/$1
  local dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  mkdir -p "$corpus"
  # New inputs go to the work corpus; the seed corpus in the tree is only read.
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="$(max_len "$name")" -timeout="$timeout" \
    -print_final_stats=1 -artifact_prefix="$work/$name-" "${dict[@]}" \
    "$corpus" "fuzz/corpus/$name" >"$work/$name.log" 2>&1
}

summary() {  # name rc
  local log=$work/$1.log
  printf '%-12s rc=%s executions=%s last: %s\n' "$1" "$2" \
    "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)" \
    "$(grep -a -E '^#[0-9]+.*cov: ' "$log" | tail -1)"
  if [ "$2" -ne 0 ]; then
    grep -a -E -A30 "ERROR:|FINDING|runtime error|unexpected file-system call|deadly signal" "$log" | head -60
  fi
}

mkdir -p "$work"
status=0
if [ $smoke = 1 ]; then
  for name in "${targets[@]}"; do
    run_one "$name"
    rc=$?
    summary "$name" $rc
    [ $rc -ne 0 ] && status=1
  done
else
  declare -A pids
  for name in "${targets[@]}"; do
    nice -n 19 bash -c "$(declare -f max_len run_one); work='$work' build='$build' seconds=$seconds timeout=$timeout; run_one $name" &
    pids[$name]=$!
  done
  echo "==== Fuzz: ${#targets[@]} targets for $seconds s each, logs in $work/<name>.log"
  for name in "${targets[@]}"; do
    wait "${pids[$name]}"
    rc=$?
    summary "$name" $rc
    [ $rc -ne 0 ] && status=1
  done
fi
if [ $status -eq 0 ]; then
  echo "==== Fuzz: no findings"
  [ -n "$fresh" ] && [ -z "${VX_FUZZ_WORK:-}" ] && rm -rf "$fresh"
else
  echo "==== Fuzz: FINDINGS (inputs and logs in $work)"
fi
exit $status
