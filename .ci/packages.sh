#!/usr/bin/env bash
# The packages people install, each tried as its user would, from a clean
# clone of the committed tree:
#   pip     a fresh virtual environment of Debian's python3 installs the clone
#           offline (--no-build-isolation, --no-index); the Python tests run
#           against the installed module from a folder of their own, and the
#           installed program wdist computes the example;
#   CMake   the clone built as a packager would (Release, no tests) and
#           installed to a prefix; tests/downstream/ configured against it
#           with find_package(wdist), built and run;
#   cpack   the Debian package and the tarball; the package's contents
#           listed and checked, the package unpacked, its wdist run and the
#           downstream source compiled through its pkg-config file.
#
#   .ci/packages.sh        work folder: build-packages, or $WDIST_PACKAGES_BUILD
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${WDIST_PACKAGES_BUILD:-$root/build-packages}
cd "$root"
scripts/install-deps.sh package pip

rm -rf "$work"
mkdir -p "$work"
git clone --quiet "$root" "$work/clone"
clone=$work/clone
step() { echo "packages: $* ($SECONDS s)"; }

step "pip: a venv of /usr/bin/python3 installs the clone offline"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-build-isolation --no-index "$clone"
mkdir -p "$work/elsewhere"
(
  cd "$work/elsewhere"
  unset PYTHONPATH
  module=$("$work/venv/bin/python" -c 'import wdist; print(wdist.__file__)')
  case "$module" in
    "$work/venv/"*) echo "packages: import wdist: $module" ;;
    *) echo "packages: import wdist found $module, not the venv's module"; exit 1 ;;
  esac
  # python -m unittest, with Ctrl-C's handler in place: a run started with
  # SIGINT ignored (as a background job) would pass that on to the tests of
  # Ctrl-C and their children (CTest resets it for the same tests).
  WDIST_CLI="$work/venv/bin/wdist" PYTHONDONTWRITEBYTECODE=1 "$work/venv/bin/python" -c '
import signal, sys, unittest
signal.signal(signal.SIGINT, signal.default_int_handler)
unittest.main(module=None, argv=["python -m unittest"] + sys.argv[1:])' discover -s "$clone/tests/python" -t "$clone/tests/python"
  "$work/venv/bin/wdist" "$clone/examples/EXAM.txt" >exam.out
  grep -q "record 1: q=2 n=7 k=4 rank=4 d=3" exam.out
  echo "packages: the venv's wdist computed $(grep -c record exam.out) records of the example"
)

step "CMake: the library installed, a downstream project built against it"
cmake -S "$clone" -B "$work/build" -G Ninja -DWDIST_BUILD_TESTS=OFF >/dev/null
cmake --build "$work/build"
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
cmake -S "$clone/tests/downstream" -B "$work/downstream" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/downstream" >/dev/null
"$work/downstream/hamming"

step "cpack: the Debian package and the tarball"
(cd "$work/build" && cpack -G DEB >/dev/null && cpack -G TGZ >/dev/null)
deb=$(echo "$work"/build/wdist_*.deb)
ls "$work"/build/wdist-*.tar.gz >/dev/null
dpkg-deb --field "$deb"
dpkg-deb --contents "$deb" | tee "$work/deb-contents.txt"
for file in usr/bin/wdist usr/bin/wdist-narrow usr/bin/wdist-wide usr/share/man/man1/wdist.1.gz \
  usr/include/wdist/wdist.h usr/include/wdist/version.h libwdist.a wdistConfig.cmake wdistTargets.cmake wdist.pc; do
  grep -q "$file\$" "$work/deb-contents.txt" || { echo "packages: the Debian package lacks $file"; exit 1; }
done
dpkg-deb --extract "$deb" "$work/deb"
"$work/deb/usr/bin/wdist" "$clone/examples/EXAM.txt" | cmp - "$work/elsewhere/exam.out"
pc=$(dirname "$(find "$work/deb" -name wdist.pc)")
g++ -o "$work/hamming-pkg-config" "$clone/tests/downstream/hamming.cpp" $(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs wdist)
"$work/hamming-pkg-config"
step "done"
