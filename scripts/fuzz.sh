#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang, ASan + UBSan) and runs them.
#
#   scripts/fuzz.sh smoke             each target for a short, fixed budget from its corpus (make test)
#   scripts/fuzz.sh long [SECONDS]    each target for SECONDS (default 600), in a working corpus
#                                     under build/fuzz/work that persists between runs (make fuzz)
#   scripts/fuzz.sh hostile [RUNS]    script_fuzz for RUNS executions (default 1000000) with a browser
#                                     that holds no reference across its calls, from the corpus
#   scripts/fuzz.sh merge             adds to tests/fuzz/corpus the working-corpus inputs that reach
#                                     code the committed corpus does not
#   scripts/fuzz.sh coverage          line coverage of the module's sources reached by the corpora
#
# The committed corpora (tests/fuzz/corpus/<target>) are only read, except by `merge`. A crash leaves
# its input in build/fuzz/artifacts/; replay it with build/fuzz/tests/fuzz/<target> <file>
# (SCRIPT_FUZZ_TRACE=1 makes script_fuzz print what the input does).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-smoke}
seconds=${2:-600}
smoke_seconds=20
targets=(decoder_fuzz script_fuzz origin_fuzz bridge_fuzz)
build=build/fuzz
bin=$build/tests/fuzz
# Decoder inputs are texts; script inputs are programs, where longer ones do more.
declare -A max_len=([decoder_fuzz]=4096 [script_fuzz]=2048 [origin_fuzz]=512 [bridge_fuzz]=4096)

build_targets() {
  [ -f $build/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
  cmake --build $build -j"${JOBS:-2}" --target "${targets[@]}" decode_driver >/dev/null
}

# run TARGET WORKDIR SECONDS: fuzzes from the committed corpus, keeping new inputs in WORKDIR.
run() {
  local target=$1 work=$2 budget=$3 log=$build/$1.log
  mkdir -p "$work" $build/artifacts
  echo "fuzz: $target for ${budget}s"
  if ! "$bin/$target" "$work" "tests/fuzz/corpus/$target" -max_total_time="$budget" -timeout=10 \
      -max_len="${max_len[$target]}" -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1; then
    grep -a -B2 -A30 -m1 -E "^==[0-9]+==|script_fuzz:|decoder_fuzz:|runtime error|SUMMARY" "$log" || tail -40 "$log"
    echo "fuzz: $target FAILED (log: $log, inputs: $build/artifacts/)"
    return 1
  fi
  # The last progress line (executions, coverage, features, corpus) and the run's totals.
  grep -a -E "^#[0-9]+" "$log" | tail -1
  grep -a -E "stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)" "$log"
}

case $mode in
  smoke)
    build_targets
    for target in "${targets[@]}"; do
      rm -rf "$build/smoke/$target"
      run "$target" "$build/smoke/$target" $smoke_seconds
    done
    ;;
  long)
    build_targets
    for target in "${targets[@]}"; do run "$target" "$build/work/$target" "$seconds"; done
    ;;
  hostile)
    build_targets
    runs=${2:-1000000}
    mkdir -p $build/artifacts
    echo "fuzz: script_fuzz, hostile browser, $runs runs"
    started=$SECONDS
    rm -rf $build/hostile && mkdir -p $build/hostile  # new inputs go here, not into the committed corpus
    if ! SCRIPT_FUZZ_HOSTILE=1 "$bin/script_fuzz" -runs="$runs" -timeout=10 -max_len="${max_len[script_fuzz]}" \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/script_fuzz-hostile-" \
        $build/hostile tests/fuzz/corpus/script_fuzz >$build/script_fuzz-hostile.log 2>&1; then
      grep -a -B2 -A30 -m1 -E "^==[0-9]+==|script_fuzz:|runtime error|SUMMARY" $build/script_fuzz-hostile.log
      echo "fuzz: script_fuzz (hostile) FAILED (log: $build/script_fuzz-hostile.log)"
      exit 1
    fi
    grep -a -E "stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" $build/script_fuzz-hostile.log
    echo "fuzz: $((SECONDS - started)) s"
    ;;
  merge)
    build_targets
    for target in "${targets[@]}"; do
      # By edges only (no hit counts), which keeps the committed corpus to a few hundred small files.
      "$bin/$target" -merge=1 -use_counters=0 -max_len="${max_len[$target]}" -artifact_prefix="$build/artifacts/" \
        "tests/fuzz/corpus/$target" "$build/work/$target" 2>&1 | grep -a -E "MERGE-OUTER: [0-9]+ new files" || true
    done
    ;;
  coverage)
    # The module's sources built with clang's source coverage, fed every corpus input once.
    cov=build/fuzz-coverage
    [ -f $cov/CMakeCache.txt ] || cmake -S . -B $cov -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug -DNPTOVI_TESTS=ON -DNPTOVI_FUZZ=ON \
      -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping -fsanitize=fuzzer-no-link" \
      -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
    cmake --build $cov -j"${JOBS:-2}" --target "${targets[@]}" >/dev/null
    for target in "${targets[@]}"; do
      corpora=("tests/fuzz/corpus/$target")
      [ -d "$build/work/$target" ] && corpora+=("$build/work/$target")
      rm -f $cov/$target.profraw
      LLVM_PROFILE_FILE=$cov/$target.profraw "$cov/tests/fuzz/$target" -runs=0 \
        -artifact_prefix="$cov/$target-" "${corpora[@]}" >/dev/null 2>&1
      llvm-profdata merge -sparse $cov/$target.profraw -o $cov/$target.profdata
      echo "== $target"
      llvm-cov report "$cov/tests/fuzz/$target" -instr-profile=$cov/$target.profdata \
        plugin/ printing/ adapters/ platform/
    done
    ;;
  *)
    echo "usage: scripts/fuzz.sh smoke | long [SECONDS] | hostile [RUNS] | merge | coverage" >&2
    exit 2
    ;;
esac
