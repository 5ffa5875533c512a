#!/usr/bin/env bash
# Installs the dependencies, then configures, builds and runs every test in the
# "default" preset, again in the "asan" (address + undefined sanitizer) preset and in the
# "tsan" (thread sanitizer) preset.
# Stops at the first failure with a non-zero exit status.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
for preset in default asan tsan; do
    echo "=== ${preset}: configure"
    cmake --preset "${preset}"
    echo "=== ${preset}: build"
    cmake --build --preset "${preset}" -j "${jobs}"
    echo "=== ${preset}: test"
    ctest --preset "${preset}" -j "${jobs}"
done
echo "=== all presets passed"
