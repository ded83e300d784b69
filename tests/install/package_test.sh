#!/usr/bin/env bash
# Builds the Debian package, checks that its dependencies were computed from the
# linked Qt 6 libraries, unpacks it with dpkg-deb and runs the unpacked programs.
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
deb=$(echo "$work"/out/tallyscope_"$version"_*.deb)
[ -f "$deb" ] || { echo "no package in $work/out"; ls "$work/out"; exit 1; }

status=0
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6charts6 libc6; do
    case ", $depends" in
        *", $library "*) ;;
        *) echo "Depends lacks $library: $depends"; status=1 ;;
    esac
done

dpkg-deb -x "$deb" "$work/root"
got=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/tallyscope" --version)
[ "$got" = "tallyscope $version" ] || { echo "tallyscope --version: $got"; status=1; }
"$work/root/usr/bin/vl4300-sim" --help | grep -q '^Usage: vl4300-sim' ||
    { echo "vl4300-sim --help did not show its usage"; status=1; }
exit $status
