#!/usr/bin/env bash
# Installs into a temporary DESTDIR: exactly the expected files arrive, and the
# desktop's own tools accept the menu entry and the AppStream data.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

DESTDIR="$dest" cmake --install "$build" --prefix /usr/local >/dev/null

expected="usr/local/bin/tallyscope
usr/local/bin/vl4300-sim
usr/local/etc/tallyscope/example.conf
usr/local/lib/systemd/system/tallyscope-headless@.service
usr/local/share/applications/org.tallyscope.Tallyscope.desktop
usr/local/share/doc/tallyscope/README.md
usr/local/share/doc/tallyscope/copyright
usr/local/share/doc/tallyscope/docs/architecture.md
usr/local/share/doc/tallyscope/docs/decisions.md
usr/local/share/doc/tallyscope/docs/line-monitor.png
usr/local/share/doc/tallyscope/docs/performance.md
usr/local/share/doc/tallyscope/docs/stations.png
usr/local/share/doc/tallyscope/docs/tallyscope.png
usr/local/share/doc/tallyscope/docs/testing.md
usr/local/share/doc/tallyscope/docs/trend.png
usr/local/share/icons/hicolor/256x256/apps/org.tallyscope.Tallyscope.png
usr/local/share/icons/hicolor/48x48/apps/org.tallyscope.Tallyscope.png
usr/local/share/icons/hicolor/scalable/apps/org.tallyscope.Tallyscope.svg
usr/local/share/man/man1/tallyscope.1.gz
usr/local/share/man/man1/vl4300-sim.1.gz
usr/local/share/metainfo/org.tallyscope.Tallyscope.metainfo.xml"
actual=$(cd "$dest" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "Installed files differ from the expected ones (< expected, > installed):"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi

share=$dest/usr/local/share
status=0
# Hints and warnings count as failures too: the validators print nothing for a clean file.
out=$(desktop-file-validate "$share/applications/org.tallyscope.Tallyscope.desktop" 2>&1) || status=1
[ -z "$out" ] || { echo "$out"; status=1; }
appstreamcli validate --no-net "$share/metainfo/org.tallyscope.Tallyscope.metainfo.xml" ||
    status=1

exit $status
