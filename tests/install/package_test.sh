#!/usr/bin/env bash
# The Debian package: dependencies from the linked libraries, each named in the
# README; no lintian error or warning; the service unit not enabled, the example
# options a conffile; the unpacked program runs.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
deb=$(echo "$work"/out/tallyscope_"$version"-1_*.deb)
[ -f "$deb" ] || { echo "no package in $work/out"; ls "$work/out"; exit 1; }

status=0
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6charts6 \
               libmosquitto1 libc6; do
    case ", $depends" in
        *", $library "*) ;;
        *) echo "Depends lacks $library: $depends"; status=1 ;;
    esac
done
# The README's Installing section names every package the package depends on.
readme=$(cd "$(dirname "$0")/../.." && pwd)/README.md
for package in $(echo "$depends" | tr ',' '\n' | sed -E 's/^ *//; s/[ (].*//'); do
    grep -q "\`$package\`" "$readme" || { echo "README.md does not name the dependency $package"; status=1; }
done

# Errors and warnings fail; information tags and lintian's own notes do not.
# (--allow-root: the tests may run as root in a container.)
command -v lintian >/dev/null || { echo "lintian is not installed (make deps)"; exit 1; }
lintian --allow-root "$deb" >"$work/lintian.log" 2>&1 || true
if grep -E '^(E|W): ' "$work/lintian.log"; then status=1; fi

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
echo "$files" | grep -qx './usr/lib/systemd/system/tallyscope-headless@.service' ||
    { echo "the package lacks the service unit"; status=1; }
# Enabling is the administrator's choice, per line.
if echo "$files" | grep '^./etc/systemd/'; then status=1; fi
dpkg-deb -I "$deb" conffiles | grep -qx /etc/tallyscope/example.conf ||
    { echo "/etc/tallyscope/example.conf is no conffile"; status=1; }

dpkg-deb -x "$deb" "$work/root"
# The changelog's latest entry is this version.
top=$(zcat "$work/root/usr/share/doc/tallyscope/changelog.Debian.gz" | head -1)
case $top in
    "tallyscope ($version-1) "*) ;;
    *) echo "changelog.Debian names another version: $top"; status=1 ;;
esac
got=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/tallyscope" --version)
[ "$got" = "tallyscope $version" ] || { echo "tallyscope --version: $got"; status=1; }
exit $status
