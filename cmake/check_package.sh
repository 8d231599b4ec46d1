#!/usr/bin/env bash
# Checks the Debian package: the files are where Debian puts them, and lintian finds neither an
# error nor a warning.
#   cmake/check_package.sh build/veskparser_VERSION_ARCH.deb
set -euo pipefail
deb=$1
expected="./usr/bin/veskparser
./usr/bin/veskparser-sweep
./usr/share/applications/veskparser.desktop
./usr/share/doc/veskparser/changelog.gz
./usr/share/doc/veskparser/copyright
./usr/share/icons/hicolor/scalable/apps/veskparser.svg
./usr/share/man/man1/veskparser-sweep.1.gz
./usr/share/man/man1/veskparser.1.gz"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
if [ "$files" != "$expected" ]; then
    echo "The package's files are not where Debian puts them:" >&2
    diff <(echo "$expected") <(echo "$files") >&2 || true
    exit 1
fi
# Each field read whole: grep -q leaving a pipe early would fail dpkg-deb, and pipefail the check.
for field in Depends Description Maintainer; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || { echo "No $field in $deb" >&2; exit 1; }
done
grep -q libqt6widgets6 <<<"$(dpkg-deb -f "$deb" Depends)" ||
    { echo "Qt is not among the dependencies" >&2; exit 1; }
status=0
findings=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$findings" || true
[ "$status" -eq 0 ] || { echo "lintian finds errors or warnings in $deb" >&2; exit 1; }
echo "$deb: files in place, dependencies computed, lintian finds no error and no warning"
