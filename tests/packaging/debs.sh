#!/usr/bin/env bash
# Debian packages test: builds the three binary packages with dpkg-buildpackage from a copy of
# the checkout's files (so neither build files nor packages land in or beside the checkout),
# unpacks them into a throwaway root without touching this machine's package database, and
# checks them: every file at its real path, no trace of the build folder, libraries found
# without a run path, the -dev package's CMake package and pkg-config file usable by outside
# builds, the Python SDK importable, and no lintian error. Usage: debs.sh [BUILD_DIR]
# (the packages and their file lists stay in BUILD_DIR/deb).
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
out="$build/deb"
src="$out/deradidezivizoda"
root="$out/root"
work="$(mktemp -d)"
trap 'rm -rf "$work" "$src"' EXIT
fail() { echo "packages test: $*" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$src" "$root"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null -T - -cf - | tar -xf - -C "$src"

# nocheck: the suites ran on the development build; noddebs: no debug-symbol packages.
(cd "$src" && DEB_BUILD_OPTIONS="nocheck nodoc noddebs parallel=$(nproc)" \
  dpkg-buildpackage -us -uc -b >"$out/build.log" 2>&1) ||
  { tail -n 40 "$out/build.log" >&2; fail "dpkg-buildpackage failed (log: $out/build.log)"; }

version="$(dpkg-parsechangelog -S Version)"
arch="$(dpkg-architecture -q DEB_HOST_ARCH)"
multiarch="$(dpkg-architecture -q DEB_HOST_MULTIARCH)"
for package in libderadidezivizoda1 libderadidezivizoda-dev tarnctl; do
  deb="$out/${package}_${version}_${arch}.deb"
  [ -f "$deb" ] || fail "no package $package"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v -e '/$' -e '^$' \
    >"$out/$package.files"
  dpkg-deb -x "$deb" "$root"
  echo "$package: $(wc -l <"$out/$package.files") files"
done

expect_in() {
  local package="$1" file
  shift
  for file in "$@"; do
    grep -qx "$file" "$out/$package.files" || fail "$package has no $file"
  done
}
lib="usr/lib/$multiarch"
host="usr/lib/corvid/configmanager"
expect_in libderadidezivizoda1 "$lib/libderadidezivizoda.so.1" \
  "$host/bin/cpp_plugin_runner" "$host/bin/py_plugin_runner" \
  "$host/plugin_schemas/plugin_version_1_schema.json" \
  "$host/plugin_schemas/plugin_version_2_schema.json" \
  "$host/plugin_schemas/plugin_version_3_schema.json" \
  "$host/python/tarn_plugin/__init__.py" "$host/python/tarn_plugin/_host_paths.py" \
  usr/lib/tarn/schemas/tarn/ssh/server_config.json \
  lib/systemd/system/tarn-boot.service lib/systemd/system/tarn-compliance.timer
expect_in libderadidezivizoda-dev "$lib/libderadidezivizoda.so" \
  "$lib/cmake/deradidezivizoda/deradidezivizodaConfig.cmake" \
  "$lib/pkgconfig/deradidezivizoda.pc" usr/include/deradidezivizoda/sdk/tarn_plugin.h \
  usr/include/deradidezivizoda/drift/check_compliance.h
expect_in tarnctl usr/sbin/tarnctl usr/share/man/man8/tarnctl.8.gz \
  usr/share/bash-completion/completions/tarnctl
# Every platform library of the source tree ships, in the runtime package, with its link in -dev.
for name in $(sed -n 's/^tarn_platform_library(\([a-z_]*\).*/\1/p' platform/*/CMakeLists.txt); do
  expect_in libderadidezivizoda1 "$lib/lib$name.so.1"
  expect_in libderadidezivizoda-dev "$lib/lib$name.so"
done

# The packages are built for the real host: no file may name the folder they were built in.
if grep -rlF "$src" "$root" >"$work/traces"; then
  fail "files naming the build folder: $(tr '\n' ' ' <"$work/traces")"
fi
[ "$(PYTHONPATH="$root/$host/python" python3 -c \
  'import tarn_plugin._host_paths as p; print(p.PLUGIN_DIR)')" = "/$host/apply_modules/" ] ||
  fail "the Python SDK does not import or does not name the real plugin folder"

# Installed in the system's library folder, programs and libraries need no run path; with that
# folder standing in for the system's, each finds all its libraries.
while IFS= read -r -d '' elf; do
  readelf -h "$elf" >/dev/null 2>&1 || continue
  if readelf -d "$elf" | grep -Eq '\((RUNPATH|RPATH)\)'; then
    fail "${elf#"$root"/} has a run path"
  fi
  if env -i LD_LIBRARY_PATH="$root/$lib" ldd "$elf" | grep -q "not found"; then
    fail "${elf#"$root"/} does not find its libraries"
  fi
done < <(find "$root/$lib" "$root/$host/bin" "$root/usr/sbin" -type f -print0)

# Outside builds against the unpacked -dev package: find_package and pkg-config. The library
# reads the real host's paths, so the consumers are only loaded with every symbol bound (their
# usage message), not run against this machine.
cmake -S tests/consumer/cmake-project -B "$work/cmake-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
# shellcheck disable=SC2046
"${CXX:-c++}" -std=c++17 tests/consumer/consumer.cpp -o "$work/pkg-consumer" \
  $(PKG_CONFIG_PATH="$root/$lib/pkgconfig" pkg-config --cflags --libs deradidezivizoda)
for consumer in "$work/cmake-build/consumer" "$work/pkg-consumer"; do
  status=0
  env -i LD_BIND_NOW=1 LD_LIBRARY_PATH="$root/$lib" "$consumer" 2>"$work/usage" || status=$?
  if [ "$status" != 1 ] || ! grep -q "^usage: consumer" "$work/usage"; then
    fail "$consumer does not load against the unpacked packages: $(cat "$work/usage")"
  fi
done

if command -v lintian >/dev/null; then
  lintian --fail-on error "$out"/*.changes >"$out/lintian.log" 2>&1 ||
    { cat "$out/lintian.log" >&2; fail "lintian reports errors"; }
  echo "lintian: no error, $(grep -c '^W:' "$out/lintian.log" || true) warnings"
fi
echo "packages test: three packages built, unpacked and checked; file lists in $out"
