#!/usr/bin/env bash
# The two ways in: "./build.sh run" builds and starts the musicdisk,
# "./build.sh test" builds every configuration and runs every test.
# "./build.sh package" makes the Debian package from the run build and
# checks it (scripts/make-package).
# Either first installs the Debian packages that are missing
# (scripts/packages.d: build.list for the program, test-*.list for the tests).
# "run" builds only what runs (build/); the tests build in build-test/.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"
top=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

need_packages() {
  local lists=("$@") missing=()
  local pkg
  for pkg in $(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | sort -u); do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() { # DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$top" -B "$dir" --no-warn-unused-cli "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# What runs: the musicdisk, its player, the archive tool and the archives.
build_program() { # DIR [cmake options...]
  local dir=$1; shift
  configure_and_build "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@"
}

case "${1:-run}" in
  run)
    need_packages scripts/packages.d/build.list
    build_program build
    exec ./build/musicdisk
    ;;
  package)
    need_packages scripts/packages.d/build.list scripts/packages.d/package.list
    build_program build
    scripts/make-package build
    ;;
  test)
    need_packages scripts/packages.d/*.list
    status=0
    scripts/check-tree || status=1
    # The run path must build with the build packages alone: the test
    # packages are made unfindable here, as on a newcomer's machine.
    echo "Building what runs, without the test packages"
    build_program build-run-only -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
      -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON || status=1
    # The Debian package from that build, checked; then installed and removed
    # with apt where that touches nothing else (as root, no musicdisk there).
    if deb=$(scripts/make-package build-run-only); then
      if [ "$(id -u)" -ne 0 ]; then
        echo "Not trying the package with apt: that needs root"
      elif dpkg-query -W -f='${Status}' musicdisk 2>/dev/null | grep -q 'ok installed'; then
        echo "Not trying the package with apt: a musicdisk package is installed here"
      else
        scripts/try-package "$deb" || status=1
      fi
    else
      status=1
    fi
    configure_and_build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
    (cd build-test && ctest --output-on-failure --no-tests=error -j "$jobs") || status=1
    # The sanitizer build runs everything but the slow end-to-end tests.
    configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DMUSICDISK_SANITIZE=ON -DBUILD_TESTING=ON
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure --no-tests=error -j "$jobs" -LE slow) || status=1
    # The fuzz targets, each for a short while.
    CC=clang CXX=clang++ configure_and_build build-fuzz -DMUSICDISK_FUZZ=ON
    scripts/run-fuzzers build-fuzz "${FUZZ_SECONDS:-30}" || status=1
    scripts/test-ratio
    exit $status
    ;;
  *)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
