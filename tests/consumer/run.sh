#!/usr/bin/env bash
# Consumer test of an installed build: installs build/ into a temporary prefix (and once more
# with DESTDIR), checks that installing left the build's host root alone and that the
# installed runner finds its libraries, then builds an outside CMake project (find_package)
# and an outside pkg-config build, each linking the library and checking compliance against
# a key schema laid out in the build's host root (which it resets, as the suites do), and
# builds and applies a C++ plugin from tarnctl plugins new. Usage: run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
root="$build/root"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "consumer test: $*" >&2; exit 1; }

touch "$work/before-install"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
DESTDIR="$work/dest" cmake --install "$build" --prefix /usr >/dev/null
if [ -d "$root" ] && [ -n "$(find "$root" -newer "$work/before-install" -print -quit)" ]; then
  fail "installing changed files under the build's host root $root"
fi
[ -x "$work/dest/usr/lib/corvid/configmanager/bin/cpp_plugin_runner" ] ||
  fail "DESTDIR install has no C++ runner at its real path"
runner="$work/prefix/lib/corvid/configmanager/bin/cpp_plugin_runner"
[ -x "$runner" ] || fail "no C++ runner below the prefix"
if env -i LD_TRACE_LOADED_OBJECTS=1 "$runner" | grep -q "not found"; then
  fail "the installed C++ runner does not find its libraries"
fi
for file in include/deradidezivizoda/sdk/tarn_plugin.h lib/corvid/configmanager/python/tarn_plugin \
            lib/corvid/configmanager/plugin_schemas/plugin_version_3_schema.json; do
  [ -e "$work/prefix/$file" ] || fail "$file is not installed"
done

# The host the consumers check, laid out afresh: the runners and manifest schemas of the
# build, one key schema, no value for it on the host and no plugin.
rm -rf "$root"
plugins="$root/usr/lib/corvid/configmanager/apply_modules"
mkdir -p "$plugins" "$root/var/lib/tarn/configstore" "$root/var/lib/tarn/state" \
  "$root/var/log/tarn" "$root/var/corvid/lifecycle" "$root/usr/lib/tarn/schemas"
mkdir -p "$root/sys/class/dmi/id"
echo "4c4c4544-0042-3510-8052-b4c04f503232" >"$root/sys/class/dmi/id/product_uuid"
cmake --build "$build" --target tarn_runners_layout plugin_schemas >/dev/null
schema="$root/usr/lib/tarn/schemas/consumer/check/flag.json"
mkdir -p "$(dirname "$schema")"
echo '{"definition": {"type": "object", "properties": {"on": {"type": "boolean"}}}}' >"$schema"
trap 'rm -rf "$work" "$root/usr/lib/tarn/schemas/consumer" "$plugins/consumer" \
  "$root/var/lib/tarn/plugins"' EXIT
desired='{"consumer": {"check": {"flag": {"on": true}}}}'
expect() {
  local program="$1" out
  out="$("$program" "$desired")" || fail "$program failed"
  [ "$out" = "drift ADDS /consumer/check/flag" ] || fail "$program printed '$out'"
  out="$("$program" '{}')" || fail "$program failed"
  [ "$out" = "compliant" ] || fail "$program printed '$out' for an empty document"
}

cmake -S tests/consumer/cmake-project -B "$work/cmake-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
expect "$work/cmake-build/consumer"

pc_dir="$(dirname "$(find "$work/prefix" -name deradidezivizoda.pc)")"
libdir="$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir deradidezivizoda)"
# shellcheck disable=SC2046
"${CXX:-c++}" -std=c++17 tests/consumer/consumer.cpp -o "$work/pkg-consumer" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs deradidezivizoda) -Wl,-rpath,"$libdir"
expect "$work/pkg-consumer"

# A C++ plugin from tarnctl plugins new, built against the installed package, applies.
tarnctl="$build/tools/tarnctl/tarnctl"
"$tarnctl" --quiet plugins new --lang c++ consumer/check/native
cmake -S "$plugins/consumer/check/native" -B "$work/plugin-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/plugin-build" >/dev/null
"$tarnctl" --quiet plugins validate || fail "the new C++ plugin does not validate"
echo '{"consumer": {"check": {"native": {"value": "on"}}}}' >"$work/native.json"
"$tarnctl" --quiet apply --yes "$work/native.json" || fail "the new C++ plugin does not apply"
[ "$(cat "$root/var/lib/tarn/plugins/consumer/check/native.json")" = '{"value":"on"}' ] ||
  fail "the new C++ plugin did not write its value"
"$tarnctl" --quiet compliance "$work/native.json" || fail "not compliant after the apply"
echo "consumer test: CMake and pkg-config consumers and a new C++ plugin build and run"
