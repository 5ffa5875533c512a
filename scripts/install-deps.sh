#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
    # toolchain
    build-essential cmake ninja-build pkg-config ccache
    # libraries
    libboost-dev
    libboost-thread-dev libboost-chrono-dev libboost-date-time-dev
    libboost-filesystem-dev libboost-system-dev libboost-atomic-dev
    libboost-fiber-dev libboost-context-dev
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
# node and npm drive the operator page's test and fetch its plotting library; a machine may
# have them from another source already (a nodejs that bundles npm)
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    missing+=(nodejs npm)
fi

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
    SUDO=(sudo)
fi

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all ${#PACKAGES[@]} packages already installed"
else
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${SUDO[@]}" apt-get update
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y "${missing[@]}"
fi

# npm packages of the operator page (served by the control-system server, not committed):
# installed into platform/controlsystem/web/node_modules exactly as package-lock.json pins them;
# skipped when that installation is already current.
web_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/platform/controlsystem/web"
if [[ -f "$web_dir/package-lock.json" ]]; then
    if cmp -s "$web_dir/package-lock.json" "$web_dir/node_modules/.installed-package-lock.json"; then
        echo "install-deps: npm packages of the operator page already installed"
    else
        echo "install-deps: installing the npm packages of the operator page"
        (cd "$web_dir" && npm ci --no-audit --no-fund \
            && cp package-lock.json node_modules/.installed-package-lock.json)
    fi
fi
echo "install-deps: done"
