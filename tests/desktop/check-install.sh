#!/usr/bin/env bash
# Installs the build into a temporary root (DESTDIR, the configured prefix) and checks the tree a user's
# desktop and package tools see: every file in its place, the udev rule, the RUNPATH that finds
# the private libraries, the desktop file and the AppStream data through their own validators.
# Usage: check-install.sh <build-dir>. Exit 0 passed, 1 failed, 77 a validator is missing (all
# other checks passed).
set -uo pipefail
build=${1:?build folder}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
missing_tools=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The configured prefix: what the D-Bus service file and the man pages were written for.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
DESTDIR="$root" cmake --install "$build" >"$root.log" 2>&1 || { cat "$root.log"; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
usr=$root$prefix

libdir=$(cd "$usr" && ls -d lib/*/tessel lib/tessel 2>/dev/null | head -n1)
for f in bin/tessel bin/tesselctl share/tessel/skin/res.xml share/tessel/DefaultData/Language.config \
         "$libdir/libosConfLib.so" "$libdir/libHookDLL.so" \
         share/dbus-1/interfaces/org.tessel.Tessel1.xml share/dbus-1/services/org.tessel.Tessel.service \
         share/applications/org.tessel.Tessel.desktop share/metainfo/org.tessel.Tessel.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.tessel.Tessel.svg \
         share/icons/hicolor/48x48/apps/org.tessel.Tessel.png \
         share/icons/hicolor/128x128/apps/org.tessel.Tessel.png \
         share/icons/hicolor/256x256/apps/org.tessel.Tessel.png \
         share/man/man1/tessel.1 share/man/man1/tesselctl.1 lib/udev/rules.d/70-tessel.rules \
         lib/systemd/user/tessel.service; do
  [ -e "$usr/$f" ] || fail "not installed: $prefix/$f"
done
# The PNG icons are the size their folder says.
for size in 48 128 256; do
  png=$usr/share/icons/hicolor/${size}x${size}/apps/org.tessel.Tessel.png
  [ -f "$png" ] || continue
  dims=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png")
  [ "$dims" = "${size}x${size}" ] || fail "icon $png is $dims"
done

# The private libraries are found by name through the program's RUNPATH, without ldconfig.
runpath=$(readelf -d "$usr/bin/tessel" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
case "$runpath" in
  '$ORIGIN/'*) resolved=$(cd "$usr/bin/${runpath#\$ORIGIN/}" 2>/dev/null && pwd -P) ;;
  *) resolved= ;;
esac
[ -n "$resolved" ] && [ -f "$resolved/libosConfLib.so" ] ||
  fail "RUNPATH '$runpath' of bin/tessel does not lead to libosConfLib.so"

# The installed program answers without a display, from its own data folder.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TESSEL_DATA_DIR "$usr/bin/tessel" --version 2>&1) ||
  fail "installed tessel --version exited $?"
case "$out" in "tessel "*) ;; *) fail "tessel --version printed: $out" ;; esac
"$usr/bin/tesselctl" --help >/dev/null || fail "installed tesselctl --help failed"

# The udev rule: the user's access through uaccess, for each supported id, never a world mode.
rules=$usr/lib/udev/rules.d/70-tessel.rules
if grep -v '^#' "$rules" | grep -q 'MODE'; then fail "udev rule sets a MODE"; fi
grep -v '^#' "$rules" | grep -q . || fail "udev rule is empty"
grep -v '^#' "$rules" | grep . | grep -vq 'TAG+="uaccess"' && fail "a udev rule line lacks TAG+=\"uaccess\""
ids_rules=$(grep -o 'idVendor}=="[0-9a-f]*", ATTRS{idProduct}=="[0-9a-f]*"' "$rules" |
            sed 's/idVendor}=="\(....\)", ATTRS{idProduct}=="\(....\)"/\1:\2/' | sort -u)
ids_meta=$(grep -o 'usb:v[0-9A-F]\{4\}p[0-9A-F]\{4\}d\*' "$usr/share/metainfo/org.tessel.Tessel.metainfo.xml" |
           sed 's/usb:v\(....\)p\(....\)d\*/\1:\2/' | tr 'A-F' 'a-f' | sort -u)
[ "$ids_rules" = "$ids_meta" ] || fail "modalias entries ($ids_meta) differ from the udev rule's ids ($ids_rules)"

# D-Bus activation starts the installed program, in the tray.
grep -qx "Exec=$prefix/bin/tessel --minimized" "$usr/share/dbus-1/services/org.tessel.Tessel.service" ||
  fail "D-Bus service file does not start $prefix/bin/tessel --minimized"

# The systemd user unit runs the installed program in the background and waits for its bus name.
unit=$usr/lib/systemd/user/tessel.service
grep -qx "ExecStart=$prefix/bin/tessel --background" "$unit" || fail "tessel.service does not start $prefix/bin/tessel --background"
grep -qx "BusName=org.tessel.Tessel" "$unit" || fail "tessel.service does not wait for org.tessel.Tessel"

if command -v man >/dev/null; then
  for page in tessel tesselctl; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page.1: $warnings"
  done
fi

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/org.tessel.Tessel.desktop" || fail "desktop-file-validate"
else
  missing_tools+=(desktop-file-validate)
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --pedantic --no-net --no-color "$usr/share/metainfo/org.tessel.Tessel.metainfo.xml" ||
    fail "appstreamcli validate --pedantic"
else
  missing_tools+=(appstreamcli)
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
if [ ${#missing_tools[@]} -gt 0 ]; then
  echo "SKIPPED: not installed: ${missing_tools[*]} (scripts/install-deps.sh installs them)"
  exit 77
fi
echo "installed tree checked: $(find "$usr" -type f -o -type l | wc -l) files"
