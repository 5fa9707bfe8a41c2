#!/usr/bin/env bash
# The README's test command: set up, build and run every test suite, the consumer test of an
# installed build and the Debian packages test, then the same suites built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the suites that start threads or keep
# memory per thread (the plugin launcher and monitor, the schema folder's second loading
# thread, the extraction's second converting thread, the normal form's second writing thread,
# the JSON layer's and plugin results' kept buffers) with ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
# The include order of docs/architecture.md, checked before the build when python3 is there
# already (setup.sh installs it).
check_layers() { echo "== Include order" && python3 scripts/check_layers.py; }
if command -v python3 >/dev/null; then
  check_layers
  scripts/setup.sh
else
  scripts/setup.sh
  check_layers
fi
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure

echo "== Installed library: CMake and pkg-config consumers"
bash tests/consumer/run.sh "${BUILD_DIR:-build}"

echo "== Debian packages: built, unpacked into a throwaway root and checked"
bash tests/packaging/debs.sh "${BUILD_DIR:-build}"

sanitized() {
  local dir="$1" sanitizers="$2"
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE="$sanitizers" \
    -DTARN_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" "$@"
}

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
sanitized build-asan address,undefined
ctest --test-dir build-asan --output-on-failure

if compgen -G "tests/plugins/*_test.cpp" >/dev/null; then
  echo "== ThreadSanitizer (plugin framework, schema store, extraction, store, JSON, plugin support)"
  sanitized build-tsan thread --target plugins_tests schemastore_tests extract_tests \
    configstore_tests json_tests pluginsupport_tests
  # These builds fork the plugin runners (other builds start them sharing the caller's memory
  # until execve, which this sanitizer cannot follow).
  TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan --output-on-failure \
    -R 'plugins_tests|schemastore_tests|extract_tests|configstore_tests|json_tests|pluginsupport_tests'
fi

# The fuzz targets, built with clang and run on their seed corpora (scripts/fuzz.sh).
scripts/fuzz.sh
