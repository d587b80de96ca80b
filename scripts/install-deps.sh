#!/usr/bin/env bash
# Installs every Debian package Vrenn needs to build, test and fuzz.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev
  zlib1g-dev libminizip-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev
  libopenexr-dev
  libassimp-dev assimp-utils
  libsdl2-dev libepoxy-dev
  libegl1 libegl-mesa0 libgl1 libgl1-mesa-dri
  libfreetype-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  libembree-dev # only the caster comparison benchmark links it, never the program
  imagemagick procps
  xvfb xdotool # the real-window test: an X server of its own, keys and mouse sent through it
  dpkg-dev     # the Debian package: dpkg-shlibdeps finds the programs' library packages
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${packages[@]}"
