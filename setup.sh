#!/usr/bin/env bash
# Installs what is missing on Debian 12, builds Kormial into build/, then
# starts the window (`./setup.sh run`) or runs the whole test suite
# (`./setup.sh test`).
set -euo pipefail
cd "$(dirname "$0")"

packages=(qt6-base-dev libgl-dev libgtest-dev cmake ninja-build g++ desktop-file-utils appstream qt6-image-formats-plugins)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=()
        [ "$(id -u)" -eq 0 ] || sudo=(sudo)
        echo "Installing: ${missing[*]}"
        "${sudo[@]}" apt-get update -q
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build
}

case "${1:-}" in
run)
    install_missing
    build
    shift
    if [ -x build/kormial ]; then
        exec build/kormial "$@"
    fi
    exec build/kormial-cli "$@"
    ;;
test)
    install_missing
    build
    ctest --test-dir build --output-on-failure -j "$(nproc)"
    ;;
*)
    echo "usage: ./setup.sh run | test" >&2
    exit 2
    ;;
esac
