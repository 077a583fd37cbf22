#!/usr/bin/env bash
# Installs the Debian packages Velquin needs to build, run and test. Safe to run again:
# it asks apt-get only for what is missing. With --fuzz it also installs clang and its
# sanitizer and libFuzzer runtimes, which fuzz/run.sh needs.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libzip-dev libexpat1-dev libxml2-dev zlib1g-dev libicu-dev nettle-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    python3 xauth xvfb fonts-liberation
    parallel dpkg-dev file lintian appstream
)
if [ "${1:-}" = "--fuzz" ]; then
    PACKAGES+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
