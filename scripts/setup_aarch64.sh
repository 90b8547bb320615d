#!/usr/bin/env bash
# Installs what the aarch64 cross build needs on an x86-64 Debian host: the
# cross compiler, the arm64 libraries beside the host's own (multiarch) and
# user-mode emulation to run the C++ tests.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO dpkg --add-architecture arm64
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends g++-aarch64-linux-gnu libtbb-dev:arm64 libgtest-dev:arm64 \
    qemu-user
