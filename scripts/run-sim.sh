#!/usr/bin/env bash
# Runs the station server on the simulated station of config/sim/.
# Installs the dependencies and builds the "default" preset first.
# The server runs in build/sim-station/, a copy of config/sim/ refreshed at every start; the
# operator settings persisted there are kept (the shipped start settings are taken only when it
# has none), so running never changes the tracked files.
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

station="${root}/build/sim-station"
mkdir -p "${station}"
for file in "${root}"/config/sim/*; do
    name=$(basename "${file}")
    if [[ "${name}" == tessarel_settings.json && -e "${station}/${name}" ]]; then
        continue
    fi
    cp -p "${file}" "${station}/${name}"
done
echo "run-sim: running in ${station} (delete its tessarel_settings.json to start from the shipped settings)"
cd "${station}"
exec "${server}" "$@"
