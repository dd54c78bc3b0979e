#!/bin/bash
# Checks the Debian packages the way a site installs them. For CI's throwaway machine:
# it installs and purges packages, so it runs as root and only where that is harmless.
#
#   package-check.sh PACKAGE_DIR [OUTPUT_DIR]
#
# PACKAGE_DIR holds galvorn_<version>_<arch>.deb and galvorn-devsim_<version>_<arch>.deb
# (./run package writes them to build/package). In order:
#   1. lintian reports no errors, the metainfo passes appstreamcli validate and the
#      desktop entry desktop-file-validate;
#   2. apt installs both packages; galvorn-netprep carries its two capabilities;
#   3. galvorn-cli --version names the package's version, and galvorn-cli list finds a
#      simulated camera inside a private network namespace, as JSON and as a table
#      whose column titles come from the installed language files;
#   4. the window starts from the installed place under Xvfb, in a private namespace
#      beside a simulated camera; its diagnostics, in the user's data folder, say that
#      its texts came from the installed language file; a screenshot is saved to
#      OUTPUT_DIR/installed-window.png;
#   5. purging both packages leaves nothing of theirs in /usr.
# The programs run with HOME and the XDG folders in a temporary folder, so that what
# they write is found and removed. OUTPUT_DIR (default: PACKAGE_DIR) also receives the
# lintian report.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)

readonly kCameraMac=02:1A:2B:18:00:01
readonly kCameraAddress=192.0.2.18
readonly kWindowSeconds=30
# The texts of the checks, where an English system finds them.
readonly kLanguageFile="/usr/share/galvorn/language/English (United States).ini"

say() { printf '== package-check: %s\n' "$*" >&2; }
fail() {
    printf '== package-check FAILED: %s\n' "$*" >&2
    exit 1
}

# Inside the display and the namespace (the script runs itself there with --window):
# starts the window, waits until it is mapped, saves a screenshot to $1 and ends the
# window.
window_inner() {
    local shot=$1 pid seconds=0
    /usr/bin/galvorn &
    pid=$!
    until xwininfo -root -tree | grep -qF '("galvorn" "Galvorn")'; do
        kill -0 "$pid" 2>/dev/null || fail "the window ended at start"
        [[ $seconds -lt $kWindowSeconds ]] || fail "no window after $kWindowSeconds s"
        sleep 1
        seconds=$((seconds + 1))
    done
    # The device list fills within a search period.
    sleep 8
    /usr/bin/python3 -c 'import os, sys
from PIL import ImageGrab
ImageGrab.grab(xdisplay=os.environ["DISPLAY"]).save(sys.argv[1])' "$shot"
    kill "$pid"
    wait "$pid" || true
}

if [[ ${1:-} == --window ]]; then
    shift
    window_inner "$@"
    exit 0
fi

if [[ $# -lt 1 ]]; then
    echo "usage: $0 PACKAGE_DIR [OUTPUT_DIR]" >&2
    exit 2
fi
packages=$(cd "$1" && pwd)
output=$(mkdir -p "${2:-$packages}" && cd "${2:-$packages}" && pwd)
if [[ $(id -u) -ne 0 ]]; then
    echo "package-check: installs packages, so it runs as root" >&2
    exit 2
fi

main_deb=$(ls "$packages"/galvorn_*.deb)
devsim_deb=$(ls "$packages"/galvorn-devsim_*.deb)

work=$(mktemp -d "${TMPDIR:-/tmp}/galvorn-package-check.XXXXXX")
installed=0
cleanup() {
    if [[ $installed -eq 1 ]]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq galvorn galvorn-devsim >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The text of a message key in the installed English language file.
installed_text() {
    sed -n "s/^$1=//p" "$kLanguageFile" | tr -d '\r'
}

# What the checks run; the throwaway machine may not have it yet.
install_tools() {
    say "installing the checks' tools"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        lintian appstream desktop-file-utils x11-utils xvfb xauth python3-pil libcap2-bin \
        iproute2 util-linux >/dev/null
}

check_files() {
    say "lintian"
    lintian --fail-on error --tag-display-limit 0 "$main_deb" "$devsim_deb" \
        >"$output/lintian.txt" 2>&1 || {
        cat "$output/lintian.txt" >&2
        fail "lintian reports errors"
    }
    cat "$output/lintian.txt" >&2
    dpkg-deb -x "$main_deb" "$work/contents"
    say "appstreamcli validate"
    appstreamcli validate --no-net "$work"/contents/usr/share/metainfo/*.metainfo.xml ||
        fail "the metainfo does not validate"
    say "desktop-file-validate"
    desktop-file-validate "$work"/contents/usr/share/applications/*.desktop ||
        fail "the desktop entry does not validate"
}

install_packages() {
    find /usr -xdev | sort >"$work/usr-before"
    say "apt install $(basename "$main_deb") $(basename "$devsim_deb")"
    installed=1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "$main_deb" "$devsim_deb" >/dev/null
    dpkg-query -L galvorn galvorn-devsim | sort -u >"$work/package-paths"
    getcap /usr/bin/galvorn-netprep | grep -q 'cap_net_admin,cap_net_raw=ep' ||
        fail "galvorn-netprep lacks its capabilities: $(getcap /usr/bin/galvorn-netprep)"
}

# Runs a command with HOME and the XDG folders of its own, beside one simulated camera
# in a private network namespace (tools/devsim/demo-netns.sh), with the installed
# simulator.
beside_camera() {
    mkdir -p "$work/home"
    mkdir -p -m 700 "$work/home/runtime"
    cat >"$work/camera.conf" <<EOF
[camera]
mac = $kCameraMac
bind = $kCameraAddress
productModel = IPC-PACKAGE
EOF
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
        XDG_RUNTIME_DIR="$work/home/runtime" \
        GALVORN_DEVSIM=/usr/bin/galvorn-devsim GALVORN_DEMO_CONFIG="$work/camera.conf" \
        "$repo/tools/devsim/demo-netns.sh" "$@"
}

check_cli() {
    local version
    version=$(dpkg-query -W -f='${Version}' galvorn)
    say "galvorn-cli --version"
    /usr/bin/galvorn-cli --version | grep -qF "$version" ||
        fail "galvorn-cli --version does not name $version"
    say "galvorn-cli list beside a simulated camera"
    beside_camera /bin/sh -c '/usr/bin/galvorn-cli list --json >"$1" && /usr/bin/galvorn-cli list >"$2"' \
        sh "$work/list.json" "$work/list.txt" || fail "galvorn-cli list failed"
    /usr/bin/python3 - "$work/list.json" "$kCameraMac" "$kCameraAddress" <<'PY' ||
import json, sys
devices = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
assert any(sys.argv[2] in line.values() and sys.argv[3] in line.values() for line in devices), devices
PY
        fail "galvorn-cli list --json does not show the camera: $(cat "$work/list.json")"
    local title
    title=$(installed_text IDCS_DEVICE_NAME)
    [[ -n $title ]] && head -n 1 "$work/list.txt" | grep -qF "$title" ||
        fail "the device list's titles are not the installed texts: $(head -n 1 "$work/list.txt")"
}

check_window() {
    say "the window under Xvfb beside a simulated camera"
    beside_camera xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" \
        "$here/package-check.sh" --window "$output/installed-window.png" ||
        fail "the window did not start from the installed place"
    say "screenshot: $output/installed-window.png"
    grep -rqF "texts from $kLanguageFile" "$work/home/data/Galvorn/log" ||
        fail "the window's diagnostics in the data folder do not name $kLanguageFile"
}

# Every path the purge left in /usr that was not there before the installation must
# belong to a package that is still installed (the libraries apt pulled in).
check_purge() {
    say "apt purge galvorn galvorn-devsim"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq galvorn galvorn-devsim >/dev/null
    installed=0
    find /usr -xdev | sort >"$work/usr-after"
    local left=() path
    while IFS= read -r path; do
        [[ -e $path ]] || continue
        dpkg-query -S "$path" >/dev/null 2>&1 || left+=("$path")
    done < <(sort -u "$work/package-paths" <(comm -13 "$work/usr-before" "$work/usr-after"))
    [[ ${#left[@]} -eq 0 ]] || fail "left in /usr after the purge: ${left[*]}"
}

install_tools
check_files
install_packages
check_cli
check_window
check_purge
say "all checks passed"
