#!/usr/bin/env bash
# "Kerfo-Encrypt" in five real file managers: installs Thunar, Nemo, Caja, GNOME Files
# and Dolphin with the built .deb, then, as an ordinary user with a fresh home for each
# file manager, drives each one on notes.txt, "my notes.txt" and secret.kfo, then on three
# plain files selected together (drive.py), and checks that installing Kerfo left plain
# text to its own default program.
#   run.sh BUILD_DIR [MANAGER...]     (default: all five)
# Changes the system (packages, a user), so it runs only as root on a Debian-like
# system; elsewhere it says why and exits 77 (skipped). The menus' screenshots land in
# BUILD_DIR/file-manager-shots.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
user=kerfo-fm-test
managers=(thunar nemo caja nautilus dolphin)
[ $# -gt 1 ] && managers=("${@:2}")
# --no-install-recommends still gives working file managers; caja-actions and
# python3-nautilus are what put Kerfo's entry into Caja and GNOME Files.
packages=(thunar nemo caja caja-actions nautilus python3-nautilus dolphin openbox
          python3-gi gir1.2-atspi-2.0 at-spi2-core dbus-daemon xdg-utils xvfb xdotool x11-utils)

if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    echo "SKIPPED: the file-manager test installs packages and needs root on Debian"
    exit 77
fi

apt() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"; }
started=$SECONDS
missing=()
for pkg in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -ne 0 ]; then
    apt update >/dev/null && apt install --no-install-recommends "${missing[@]}" >/dev/null ||
        { echo "FAIL: could not install ${missing[*]}"; exit 1; }
fi

work=$(mktemp -d /tmp/kerfo-fm.XXXXXX)
had_kerfo=$(dpkg-query -W -f='${Status}' kerfo 2>/dev/null | grep -c 'install ok installed')
cleanup() {
    [ "$had_kerfo" = 0 ] && apt purge kerfo >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1; then
    echo "FAIL: cpack could not build the .deb"; cat "$work/cpack.log"; exit 1
fi
deb=$(ls "$work"/deb/kerfo_*.deb)
chmod 755 "$work" "$work/deb"; chmod 644 "$deb"
apt install --no-install-recommends "$deb" >/dev/null || { echo "FAIL: apt-get cannot install $deb"; exit 1; }
echo "installed the five file managers and $(basename "$deb") in $((SECONDS - started)) s"

id "$user" >/dev/null 2>&1 || useradd --system --user-group --shell /bin/sh --no-create-home "$user"
shots="$build/file-manager-shots"
rm -rf "$shots" && mkdir -p "$shots" && chown "$user" "$shots"
cp "$here/drive.py" "$work/drive.py" && chmod 644 "$work/drive.py"

# Runs $@ as the test user in home $1, with nothing of root's environment. Qt shows
# its widgets to AT-SPI only when asked; GTK 4 draws with Cairo, as GL through
# llvmpipe starves GNOME Files' main loop on a loaded machine.
as_user() {
    local home=$1
    shift
    runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
        USER="$user" XDG_RUNTIME_DIR="$home/.run" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 GSK_RENDERER=cairo "$@"
}

failures=0
for fm in "${managers[@]}"; do
    home="$work/home-$fm"
    mkdir -p "$home/Files" && chown -R "$user:" "$home"
    as_user "$home" sh -c 'mkdir -m 700 "$HOME/.run" && cd "$HOME/Files" &&
        printf "Dear diary,\nnothing happened.\n" >notes.txt &&
        printf "a file name with a space\n" >"my notes.txt" &&
        printf "secret\n" >secret.txt && echo pw | kerfo-cli encrypt secret.txt --password-stdin >/dev/null &&
        kerfo-desktop-integration install >/dev/null' ||
        { echo "FAIL: $fm: could not prepare the test user's folder"; failures=$((failures + 1)); continue; }
    if ! as_user "$home" timeout -k 10 240 dbus-run-session -- \
            python3 "$work/drive.py" "$fm" "$home/Files" "$shots" 2>"$work/$fm.log"; then
        failures=$((failures + 1))
        echo "--- $fm's session (last lines):"
        tail -n 20 "$work/$fm.log"
    fi
done

# A plain file opens in whatever opened it before Kerfo came; an encrypted one in Kerfo.
home="$work/home-xdg"
mkdir -p "$home" && chown "$user:" "$home"
# The package's one application entry, whatever the application's id names it.
entry=$(dpkg-query -L kerfo | sed -n 's|^/usr/share/applications/\([^/]*\.desktop\)$|\1|p')
if [ "$(wc -w <<<"$entry")" != 1 ]; then
    echo "FAIL: the package has $(wc -w <<<"$entry") application entries (${entry//$'\n'/ }), not one"
    failures=$((failures + 1))
fi
for check in "text/plain:not $entry" "application/x-kerfo:$entry"; do
    mime=${check%%:*} want=${check#*:}
    got=$(as_user "$home" xdg-mime query default "$mime")
    if { [ "$want" = "not $entry" ] && [ "$got" != "$entry" ]; } || [ "$got" = "$want" ]; then
        echo "ok: xdg-mime query default $mime gives '${got}' ($want)"
    else
        echo "FAIL: xdg-mime query default $mime gives '${got}', wanted $want"
        failures=$((failures + 1))
    fi
done

echo "file managers: $((SECONDS - started)) s in all, $failures failed; screenshots in $shots"
[ "$failures" -eq 0 ]
