#!/usr/bin/env bash
# Installs, as root with apt-get, whatever of Quickferry's build and test
# packages this Debian 12 machine lacks. Usage: install-deps.sh [linux|fuzz|all]
set -euo pipefail
what=${1:-all}

packages=(build-essential cmake pkg-config libgtest-dev googletest libsqlite3-dev libncurses-dev libasound2-dev tmux attr luajit git dpkg-dev)
if [ "$what" = all ] || [ "$what" = fuzz ]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi
if [ "$what" = all ]; then
  packages+=(g++-mingw-w64-i686 wine wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386'; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
