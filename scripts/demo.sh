#!/usr/bin/env bash
# The README's demo command: set up and build, lay out the demo host in the build's host root
# (examples/demo-host), then walk through a short scenario with tarnctl.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

BUILD_DIR="${BUILD_DIR:-build}"
BUILD="$(cd "$BUILD_DIR" && pwd)"
TARNCTL="$BUILD/tools/tarnctl/tarnctl"
# The scenario runs in the folder of the documents, so that commands and messages stay short.
cd examples/demo-host/documents
STEP=0

BOLD="" PLAIN=""
if [ -t 1 ] && [ -z "${NO_COLOR:-}" ]; then BOLD=$'\033[1m' PLAIN=$'\033[0m'; fi

# step TEXT: a heading for what the user is about to see.
step() {
  STEP=$((STEP + 1))
  printf '\n%s== %d. %s%s\n' "$BOLD" "$STEP" "$1" "$PLAIN"
}

# run ARGS...: shows and runs one tarnctl command; a non-zero exit status is shown, not fatal.
run() {
  printf '$ tarnctl %s\n' "$*"
  local status=0
  "$TARNCTL" --quiet "$@" || status=$?
  if ((status != 0)); then printf '(exit status %d)\n' "$status"; fi
}

step "Lay out the demo host in $BUILD_DIR/root, seeded from this machine's files"
"$BUILD/examples/demo-host/lay-out.sh"
run host show
run plugins list

step "Compare the host with desired.json: every difference is drift (secrets masked)"
run compliance desired.json

step "What applying it costs: nothing beyond the change itself"
run impact "desired.json"

step "Apply it: the plugins rewrite the host's files"
run apply --yes "desired.json"
echo "--- $BUILD_DIR/root/etc/resolv.conf now:"
tail -n 3 "$BUILD/root/etc/resolv.conf"

step "Compare again: the host is compliant"
run compliance "desired.json"

step "One key at a time: read, set and delete the NTP servers"
printf '$ tarnctl config get system/time/ntp\n'
"$TARNCTL" config get system/time/ntp
run config set --yes system/time/ntp '{"servers": ["ntp9.example.net", "192.0.2.124"]}'
echo "--- the NTP line of $BUILD_DIR/root/etc/systemd/timesyncd.conf now:"
grep '^NTP=' "$BUILD/root/etc/systemd/timesyncd.conf"
run config delete --yes system/time/ntp
echo "--- NTP lines left: $(grep -c '^NTP=' "$BUILD/root/etc/systemd/timesyncd.conf")"

step "An MTU change needs maintenance mode: refused outside it, applied inside it"
run impact "maintenance.json"
run apply --yes "maintenance.json"
run host maintenance enter
run apply --yes "maintenance.json"
run host maintenance exit

step "A document with mistakes: the schema and a plugin's own checks find them"
run validate "invalid.json"

step "A kernel option needs a reboot: the document is stored for the next boot"
run impact "reboot.json"
run apply --yes "reboot.json"
echo "--- the stored desired configuration's kernel options:"
"$TARNCTL" --json extract desired | python3 -c \
  'import json, sys; print(json.dumps(json.load(sys.stdin)["system"]["boot"]["kernel"]))'

step "The reboot: boot run applies the stored document with the boot-capable plugins"
run boot status
run boot run
echo "--- $BUILD_DIR/root/etc/default/grub.d/50-tarn-kernel.cfg now:"
tail -n 1 "$BUILD/root/etc/default/grub.d/50-tarn-kernel.cfg"
run compliance "reboot.json"

step "Early bootstrap: authentication, then networking, before anything else"
run bootstrap --early "early.json"
echo "--- $BUILD_DIR/root/etc/systemd/network/20-tarn-lsw.netdev now:"
cat "$BUILD/root/etc/systemd/network/20-tarn-lsw.netdev"

step "A network-boot deployment: its files are kept in the store across the reboot"
DEPLOY="$BUILD/root/etc/corvid"
mkdir -p "$DEPLOY/fleetboot" "$DEPLOY/firewall"
cp ../deployment/waiterNotify.json "$DEPLOY/fleetboot/waiterNotify.json"
cp ../deployment/fleetboot.xml "$DEPLOY/firewall/fleetboot.xml"
# deployment_files: the files below etc/corvid of the root, or "none".
deployment_files() {
  (cd "$DEPLOY" && shopt -s nullglob && files=(*/*) && echo "${files[*]:-none}")
}
echo "--- deployment files in $BUILD_DIR/root/etc/corvid: $(deployment_files)"
run bootstrap "bootstrap.json"
echo "--- after the bootstrap: $(deployment_files)"
run boot run
echo "--- restored by the boot: $(deployment_files)"
cat "$DEPLOY/fleetboot/waiterNotify.json"; echo
run --json boot status

step "Export the host: the desired document for the next hosts, and what telemetry sees"
EXPORTED="$BUILD/root/exported.json"
run export -o "$EXPORTED"
head -n 12 "$EXPORTED"
printf '$ tarnctl compliance %s\n' "$EXPORTED"
"$TARNCTL" compliance "$EXPORTED" 2>/dev/null || printf '(exit status %d)\n' "$?"
printf '$ tarnctl telemetry --exclude configManagerTarnConfig\n'
"$TARNCTL" telemetry --exclude configManagerTarnConfig

printf '\nDone. The demo host stays in %s/root; see docs/demo-host.md.\n' "$BUILD_DIR"
