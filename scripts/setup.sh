#!/bin/sh
# Installs what the build and the tests need on a Debian machine, if it is missing.
set -eu

# xvfb and a Japanese font for the tests on a display (cmake/wine-display-run.sh): without the
# font, the boxes' Japanese texts are drawn as squares.
# clang and lld: the release build (cmake/mingw-w64-x86_64-clang.cmake), on MinGW-w64 GCC's
# runtime, and the MSVC-ABI host test; llvm: the Visual Studio import libraries and the PDBs'
# GUIDs; perl (with its Encode modules): the clang build's code page 932 literals; g++-mingw-w64
# also builds the trap run; osslsigncode and zip: the package; nlohmann-json3-dev: the host
# tool's JSON; clang-tidy: scripts/check-tidy.sh; locales: the locale ja_JP.UTF-8 (below).
packages="cmake make g++-mingw-w64-x86-64-posix wine googletest nlohmann-json3-dev openssl clang-format clang-tidy xvfb fonts-ipafont-gothic fonts-wine llvm clang lld perl osslsigncode zip locales"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y $missing
fi

# The Wine runners refuse to run without ja_JP.UTF-8 (cmake/japanese-locale.sh): Debian makes
# the locales named in /etc/locale.gen.
. "$(dirname "$0")/../cmake/japanese-locale.sh"
if ! kest_has_japanese_locale; then
    if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen
fi
