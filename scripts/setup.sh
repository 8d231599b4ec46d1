# Sourced by ./run and ./test: installs what the build needs, once, and configures build/.

# Installs the Debian packages that are missing, as root or through sudo; does nothing when
# every one of them is there.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Missing packages (${missing[*]}) and no sudo: install them as root." >&2
            return 1
        fi
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# fonts-wine brings a face with the metrics of the window's original sans serif.
# liburing-dev: small logs read through io_uring (the build goes without it, on plain calls).
# nlohmann-json3-dev: the command's JSON Lines. libsystemd-dev: its entries for the journal (the
# build goes without it, on lines begun with their priority).
BUILD_PACKAGES=(g++ cmake make pkg-config qt6-base-dev libgtest-dev libbenchmark-dev liburing-dev
    nlohmann-json3-dev libsystemd-dev fonts-dejavu-core fonts-wine)
# The Debian package and its checks (systemd-analyze verifies its units, desktop-file-validate and
# gio its menu entry), and the code's format (./test only).
PACKAGE_PACKAGES=(dpkg-dev file lintian systemd clang-format desktop-file-utils libglib2.0-bin)
# The tests' real faults: a FUSE file system without nameless files (./test only).
TEST_PACKAGES=(bindfs fuse3)
# The Windows build of the sweep and its tests under Wine (./test only).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest wine wine64)
# The 64-bit ARM build of the sweep and its tests under qemu (./test only).
ARM_PACKAGES=(g++-aarch64-linux-gnu googletest qemu-user)

jobs() { nproc 2>/dev/null || echo 2; }

build_main() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
    cmake --build build -j"$(jobs)"
}
