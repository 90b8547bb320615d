#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages and Python packages).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends g++ libtbb-dev nlohmann-json3-dev libgtest-dev \
    chromium libjs-three
python3 -m pip install -q --upgrade "scikit-build-core>=0.10" "cmake>=3.24" ninja numpy scipy pytest playwright
