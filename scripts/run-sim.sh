#!/usr/bin/env bash
# Runs the station server on the simulated station in config/sim/.
# Installs the dependencies and builds the "default" preset first.
# Extra arguments are passed on to the server.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"

server="${root}/build/default/server/tessarel_server"
if [[ ! -x "${server}" ]]; then
    echo "run-sim: ${server} does not exist: the server program has not been built." >&2
    echo "run-sim: (server/ must be present in this checkout for it to be built)" >&2
    exit 1
fi
if [[ ! -d "${root}/config/sim" ]]; then
    echo "run-sim: ${root}/config/sim does not exist: no simulated station to run." >&2
    exit 1
fi

cd "${root}/config/sim"
exec "${server}" "$@"
