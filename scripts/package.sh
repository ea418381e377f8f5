#!/usr/bin/env bash
# Builds the Debian package of the working tree and checks it with lintian.
#   scripts/package.sh            -> out/package/tessel_<version>_<arch>.deb
# The tracked and new files (not build/ or out/) are copied to a temporary folder and built
# there with dpkg-buildpackage -b -us -uc, so the working tree gets no debian/tessel/ or
# obj-*/ folders. Prints the package's installed size and file count. Exit 1 when lintian
# reports a warning or an error.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${TESSEL_PACKAGE_OUT:-$src/out/package}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/tessel" "$out"
(cd "$src" && git ls-files -co --exclude-standard | while IFS= read -r f; do [ -e "$f" ] && printf '%s\0' "$f"; done) |
  (cd "$src" && tar --null -T - -cf -) | tar -xf - -C "$work/tessel"

cmake_args=""
if command -v ccache >/dev/null; then
  cmake_args="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
start=$(date +%s)
(cd "$work/tessel" &&
  DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" TESSEL_CMAKE_ARGS="$cmake_args" \
    dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) || { tail -n 60 "$work/build.log"; exit 1; }
echo "package built in $(( $(date +%s) - start )) s"

deb=$(ls "$work"/tessel_*.deb | head -n1)
cp "$deb" "$out/"
deb=$out/$(basename "$deb")
changes=$(ls "$work"/tessel_*.changes | head -n1)

echo "package: $deb"
echo "installed size: $(dpkg-deb -f "$deb" Installed-Size) KiB, download size: $(( $(stat -c %s "$deb") / 1024 )) KiB"
echo "files: $(dpkg-deb -c "$deb" | grep -vc '^d') (and $(dpkg-deb -c "$deb" | grep -c '^d') folders)"
echo "depends: $(dpkg-deb -f "$deb" Depends)"

if command -v lintian >/dev/null; then
  lintian --fail-on warning,error --info "$changes"
  echo "lintian: no warnings or errors"
else
  echo "lintian is not installed; skipped"
fi
