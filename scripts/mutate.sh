#!/usr/bin/env bash
# Mutation runs: applies, one at a time, the small source changes listed in
# scripts/mutations.list, rebuilds only the test binary of the changed file's subsystem, runs
# it with a time limit, restores the file and prints which mutations the tests killed.
#
#   bash scripts/mutate.sh [LIST] [FIRST [LAST]]
#
# LIST defaults to scripts/mutations.list; FIRST and LAST pick entries by number (1-based).
# A list entry may name the test binary and a GoogleTest filter (the tarnctl suite takes
# minutes in full; a filter keeps each of its runs to the tests of the changed command).
# The build directory is ${MUTATE_BUILD_DIR:-build-mutate}: a tree of its own, so its host
# root never meets the one of a normal build. ${MUTATE_TIMEOUT:-300} seconds limit each run.
# Slow: every mutation recompiles one file and relinks; not part of .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."

list="${1:-scripts/mutations.list}"
first="${2:-1}"
last="${3:-1000000}"
build="${MUTATE_BUILD_DIR:-build-mutate}"
limit="${MUTATE_TIMEOUT:-300}"
log_dir="$build/mutate-logs"

# The test binary that owns a source file.
owning_suite() {
  case "$1" in
    src/*) echo "$(cut -d/ -f2 <<<"$1")_tests" ;;
    platform/hostctl/*) echo "core_tests" ;;
    platform/sablectl/*) echo "extract_tests" ;;
    platform/*) echo "$(cut -d/ -f2 <<<"$1")_tests" ;;
    tools/tarnctl/*) echo "tarnctl_tests" ;;
    runners/*) echo "plugins_tests" ;;
    *) return 1 ;;
  esac
}

# Replaces the pattern (a literal string) on the one line that holds it. Exit 2: no such
# line; 3: more than one.
apply_mutation() {
  python3 - "$1" "$2" "$3" <<'EOF'
import sys
path, pattern, replacement = sys.argv[1:4]
with open(path, encoding="utf-8") as f:
    lines = f.readlines()
hits = [i for i, line in enumerate(lines) if pattern in line]
if not hits:
    sys.exit(2)
if len(hits) > 1:
    sys.exit(3)
lines[hits[0]] = lines[hits[0]].replace(pattern, replacement, 1)
with open(path, "w", encoding="utf-8") as f:
    f.writelines(lines)
EOF
}

saved=""
target_file=""
restore() {
  if [[ -n "$saved" ]]; then
    cp "$saved" "$target_file"
    rm -f "$saved"
    saved=""
  fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_BUILD_BENCH=OFF \
  >/dev/null
mkdir -p "$log_dir"

killed=0
survived=0
invalid=0
number=0
results=()
while IFS= read -r line || [[ -n "$line" ]]; do
  [[ -z "${line//[[:space:]]/}" || "$line" =~ ^[[:space:]]*# ]] && continue
  number=$((number + 1))
  ((number < first || number > last)) && continue
  IFS=$'\x1f' read -r file pattern replacement suite filter <<<"${line// @@ /$'\x1f'}"
  suite="${suite:-$(owning_suite "$file" || true)}"
  filter="${filter:-*}"
  log="$log_dir/$number.log"
  outcome=""
  if [[ ! -f "$file" || -z "$suite" ]]; then
    outcome="invalid (no such file or suite)"
  else
    target_file="$file"
    saved="$(mktemp)"
    cp "$file" "$saved"
    status=0
    apply_mutation "$file" "$pattern" "$replacement" || status=$?
    if ((status == 2)); then
      outcome="invalid (pattern not found)"
    elif ((status != 0)); then
      outcome="invalid (pattern on more than one line)"
    elif ! cmake --build "$build" -j2 --target "$suite" >"$log" 2>&1; then
      outcome="invalid (does not build)"
    else
      # The suite runs from the source folder, as ctest runs it.
      binary="$(find "$build/tests" -type f -name "$suite" | head -n 1)"
      status=0
      timeout -k 10 "$limit" "$binary" --gtest_filter="$filter" >>"$log" 2>&1 || status=$?
      if ((status == 0)); then
        outcome="SURVIVED"
      elif ((status == 124 || status == 137)); then
        outcome="killed (time limit)"
      else
        outcome="killed"
      fi
    fi
    restore
  fi
  case "$outcome" in
    killed*) killed=$((killed + 1)) ;;
    SURVIVED) survived=$((survived + 1)) ;;
    *) invalid=$((invalid + 1)) ;;
  esac
  results+=("$(printf '%3d  %-22s %-16s %s: %s' "$number" "$outcome" "$suite" "$file" "$pattern")")
  echo "${results[-1]}"
done <"$list"

# Leave the build directory built from the unchanged sources.
cmake --build "$build" -j2 >/dev/null 2>&1 || true

echo
echo "== mutation results ($list)"
printf '%s\n' "${results[@]}"
tested=$((killed + survived))
rate="n/a"
((tested > 0)) && rate="$(awk -v k="$killed" -v t="$tested" 'BEGIN { printf "%.1f %%", 100 * k / t }')"
echo "killed $killed, survived $survived, invalid $invalid; kill rate $rate"
