#!/usr/bin/env bash
# The README's demo command: set up, build, then run the demo against the build's host root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
"${BUILD_DIR:-build}/examples/foundation/foundation_demo"
