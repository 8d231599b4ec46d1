#!/usr/bin/env bash
# Checks the Debian package: the files are where Debian puts them, systemd finds no fault in its
# units and rates each service's exposure 3.5 or less, desktop-file-validate none in its menu
# entry, and lintian finds neither an error nor a
# warning.
#   cmake/check_package.sh build/veskparser_VERSION_ARCH.deb
set -euo pipefail
deb=$1
expected="./usr/bin/veskparser
./usr/bin/veskparser-sweep
./usr/lib/systemd/system/veskparser-follow@.service
./usr/lib/systemd/system/veskparser-sweep@.service
./usr/lib/systemd/system/veskparser-sweep@.timer
./usr/lib/systemd/user/veskparser-follow@.service
./usr/lib/systemd/user/veskparser-sweep@.service
./usr/lib/systemd/user/veskparser-sweep@.timer
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

# The units as the package installs them, each with an instance whose folder needs escaping. A
# user's manager and the system's are given the same files. They are verified under the system's
# manager with the package's tree as the root, where the program and the manual page they name are
# the package's own: a user manager's units cannot be verified under another root. This system's
# units lie beneath them for what they depend on.
root=$(mktemp -d "${TMPDIR:-/tmp}/vesk-package.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/usr/lib/systemd"
cp -a /usr/lib/systemd/system "$root/usr/lib/systemd/"
dpkg-deb -x "$deb" "$root"
instance=$(systemd-escape -p "/srv/ut-a/Server Logs")
units=()
for unit in "$root"/usr/lib/systemd/user/*; do
    name=$(basename "$unit")
    cmp -s "$unit" "$root/usr/lib/systemd/system/$name" ||
        { echo "The user's and the system's $name differ in $deb" >&2; exit 1; }
    units+=("${name/@./@$instance.}")
done
status=0
faults=$(MANPATH="$root/usr/share/man" systemd-analyze --root="$root" --recursive-errors=yes \
    verify "${units[@]}" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$faults" ]; then
    echo "$faults" >&2
    echo "systemd-analyze verify finds faults in the units of $deb" >&2
    exit 1
fi

# Each service's exposure as systemd-analyze security rates it, under both managers; above 3.5
# fails. The system's as installed, running as root for want of the account's drop-in, which only
# lowers it; the user's from its file, with a runtime and configuration folder of the check's own.
mkdir -m 0700 "$root/user-runtime" "$root/user-config"
rated=
for unit in "${units[@]}"; do
    [[ $unit == *.service ]] || continue
    for manager in system user; do
        if [ "$manager" = system ]; then
            analyze=(systemd-analyze --root="$root" security --offline=true --threshold=35 "$unit")
        else
            analyze=(env XDG_RUNTIME_DIR="$root/user-runtime" XDG_CONFIG_HOME="$root/user-config"
                systemd-analyze --user security --offline=true --threshold=35
                "$root/usr/lib/systemd/user/$unit")
        fi
        status=0
        report=$("${analyze[@]}" 2>&1) || status=$?
        rating=$(sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\) .*/\1/p' <<<"$report")
        if [ "$status" -ne 0 ] || [ -z "$rating" ]; then
            echo "$report" >&2
            echo "systemd-analyze security rates the $manager's $unit above 3.5, or not at all" >&2
            exit 1
        fi
        rated="${rated:+$rated, }$manager's ${unit%%@*}@.service $rating"
    done
done

# The menu entry as installed: valid, handing the folder it is given to the program, and offered
# for folders without becoming their default. Where no mimeapps.list names a default (a bare window
# manager), the first entry in name order that takes folders is the default: each stand-in file
# manager beside it must stay so.
entry="$root/usr/share/applications/veskparser.desktop"
status=0
faults=$(desktop-file-validate "$entry" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$faults" ]; then
    echo "$faults" >&2
    echo "desktop-file-validate finds faults in $entry" >&2
    exit 1
fi
for line in 'Exec=veskparser %f' 'MimeType=inode/directory;'; do
    grep -qxF "$line" "$entry" || { echo "No '$line' in $entry" >&2; exit 1; }
done
desktop=$root/desktop
for manager in caja nemo org.gnome.Nautilus org.kde.dolphin pcmanfm thunar; do
    rm -rf "$desktop"
    mkdir -p "$desktop/applications" "$desktop/config"
    cp "$entry" "$desktop/applications/"
    printf '%s\n' '[Desktop Entry]' Type=Application "Name=$manager" 'Exec=true %U' \
        'MimeType=inode/directory;' >"$desktop/applications/$manager.desktop"
    update-desktop-database "$desktop/applications"
    handlers=$(env -u XDG_CURRENT_DESKTOP LC_ALL=C PATH="$root/usr/bin:$PATH" \
        XDG_DATA_DIRS="$desktop" XDG_DATA_HOME="$desktop/config" XDG_CONFIG_HOME="$desktop/config" \
        XDG_CONFIG_DIRS="$desktop/config" gio mime inode/directory)
    default=$(sed -n 's/^Default application for .*: //p' <<<"$handlers")
    offered=$(grep -cxF "	veskparser.desktop" <<<"$handlers" || true)
    if [ "$default" != "$manager.desktop" ] || [ "$offered" -eq 0 ]; then
        echo "$handlers" >&2
        echo "Beside $manager.desktop, veskparser.desktop is not offered for folders, or is" \
            "their default" >&2
        exit 1
    fi
done

status=0
findings=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$findings" || true
[ "$status" -eq 0 ] || { echo "lintian finds errors or warnings in $deb" >&2; exit 1; }
echo "$deb: files in place, units verified (${units[*]}), exposure rated ($rated), the menu" \
    "entry valid and offered for folders, never their default, dependencies computed, lintian" \
    "finds no error and no warning"
