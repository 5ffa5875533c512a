#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
    # toolchain
    build-essential cmake ninja-build pkg-config
    # libraries
    libboost-dev
    libboost-thread-dev libboost-chrono-dev libboost-date-time-dev
    libboost-filesystem-dev libboost-system-dev libboost-atomic-dev
    libarmadillo-dev libopenblas-dev
    libhdf5-dev hdf5-tools
    libpugixml-dev
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    graphviz libxml2-utils
    python3 python3-requests python3-websockets
    # operator page tests (headless browser)
    chromium
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$pkg")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all ${#PACKAGES[@]} packages already installed"
    exit 0
fi

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
    SUDO=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y "${missing[@]}"
echo "install-deps: done"
