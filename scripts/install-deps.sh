#!/usr/bin/env bash
# The Debian packages wdist needs, in one list, grouped by what needs them;
# installs those of the named groups that are missing (Debian 12, Ubuntu 24.04).
#
#   scripts/install-deps.sh [GROUP...]     default: build
#
#   build     the programs and the library (every other group includes it)
#   test      every test: GoogleTest, the Python module's (unittest, NumPy
#             buffers) and the MPI job's
#   bench     the benchmarks (-DWDIST_BUILD_BENCH=ON)
#   analyze   the static analysis of .ci/analyze.sh
#   fuzz      the fuzzing of .ci/fuzz.sh
#   package   the man page, the Debian package and the pkg-config check
#   pip       pip install of the Python module, offline included
#   all       every group
#
# What is installed is asked of dpkg, so a machine that has everything costs
# a fraction of a second and no network. As root apt-get runs directly,
# otherwise through sudo; when neither can be had, or apt-get fails, the
# missing packages are named and the status is 1.
set -euo pipefail

# Recommended packages are left out: every package a build or test needs is
# named here, so a fresh machine shows at once what the list lacks.
group_packages() {
  case "$1" in
    build) echo cmake ninja-build g++ libgmp-dev libcli11-dev ;;
    test) echo libgtest-dev python3-dev pybind11-dev python3-numpy libopenmpi-dev openmpi-bin ;;
    bench) echo libbenchmark-dev ;;
    # analyze.sh configures with clang++ and -DWDIST_MPI=ON for MPI's flags.
    analyze) echo clang clang-tidy cppcheck libopenmpi-dev ;;
    # Plus libFuzzer's runtime, a package named after clang's version (below).
    fuzz) echo clang ;;
    # help2man: the man page from wdist --help; dpkg-dev and file: cpack's
    # dependencies of the Debian package (dpkg-shlibdeps).
    package) echo help2man dpkg-dev file pkg-config ;;
    pip) echo python3-dev pybind11-dev python3-venv python3-setuptools python3-wheel python3-pip ;;
    *) return 1 ;;
  esac
}
all_groups=(build test bench analyze fuzz package pip)

say() { echo "install-deps: $*" >&2; }

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build)
if printf '%s\n' "${groups[@]}" | grep -qx all; then
  groups=("${all_groups[@]}")
fi
wanted=()
for group in build "${groups[@]}"; do
  if ! list=$(group_packages "$group"); then
    say "no group '$group' (groups: ${all_groups[*]}, all)"
    exit 2
  fi
  read -r -a packages <<<"$list"
  wanted+=("${packages[@]}")
done
mapfile -t wanted < <(printf '%s\n' "${wanted[@]}" | sort -u)

if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  say "this installs Debian packages with apt-get and dpkg, which this system lacks;"
  say "install the equivalents of: ${wanted[*]}"
  exit 1
fi

missing_of() { # package... -> those dpkg does not have installed
  local installed
  installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null | awk '$2 == "ii" { print $1 }' || true)
  local p
  for p in "$@"; do
    grep -qxF "$p" <<<"$installed" || echo "$p"
  done
}

sudo=()
log=""
install() { # package...
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      say "missing: $*"
      say "not root, and there is no sudo: as root, run"
      say "  apt-get update && apt-get install --no-install-recommends $*"
      exit 1
    fi
    sudo=(sudo)
  fi
  say "installing (a few minutes on a fresh machine): $*"
  log=$(mktemp "${TMPDIR:-/tmp}/install-deps.XXXXXX")
  if ! { "${sudo[@]}" apt-get update -q && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -q --no-install-recommends "$@"; } >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    say "apt-get failed (the whole output: $log); not installed: $(missing_of "$@" | paste -sd' ')"
    exit 1
  fi
  rm -f "$log"
}

mapfile -t missing < <(missing_of "${wanted[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  install "${missing[@]}"
fi

# libFuzzer and the sanitizer runtimes come in a package named after clang's
# major version (libclang-rt-14-dev on Debian 12, -18- on Ubuntu 24.04).
if printf '%s\n' "${groups[@]}" | grep -qx fuzz; then
  runtime="libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
  if [ -n "$(missing_of "$runtime")" ]; then
    install "$runtime"
  fi
fi

say "the packages for ${groups[*]} are installed"
