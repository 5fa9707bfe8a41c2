#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/ (only the targets and what they link) and runs each on its seed corpus for
# FUZZ_SECONDS (default 30), two at a time. New inputs go to build-fuzz/corpus/, never into
# the tree; a crash leaves its input in build-fuzz/artifacts/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARN_FUZZ=ON -DTARN_BUILD_TESTS=OFF -DTARN_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzz_targets

run_one() {
  local target="$1" seconds="$2" dir="$3"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
    -artifact_prefix="$dir/artifacts/$target-" -print_final_stats=1)
  if [ -f "fuzz/$target.dict" ]; then options+=(-dict="fuzz/$target.dict"); fi
  mkdir -p "$dir/corpus/$target" "$dir/artifacts"
  if "$dir/fuzz/$target" "${options[@]}" "$dir/corpus/$target" "fuzz/corpus/$target" \
    >"$dir/$target.log" 2>&1; then
    echo "$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/$target.log" |
      grep -o '[0-9]*$') runs, no crash"
  else
    echo "$target: FAILED (last lines of $dir/$target.log):"
    tail -n 40 "$dir/$target.log"
    return 1
  fi
}
export -f run_one

targets=$(sed -n 's/^tarn_fuzz(\([a-z_]*\).*/\1/p' fuzz/CMakeLists.txt)
echo "== Fuzz targets, ${seconds} s each"
printf '%s\n' $targets | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$dir"
