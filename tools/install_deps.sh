#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need. Packages that
# are already present are skipped, so a second run costs a dpkg query only.
set -eu

packages=(
    cmake g++ make pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libsdl2-dev libfluidsynth-dev timgm6mb-soundfont
    libfreetype-dev fonts-ipafont-gothic libpng-dev
    xvfb xauth xfonts-base
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q -o DPkg::Lock::Timeout=300 \
    --no-install-recommends "${missing[@]}"
