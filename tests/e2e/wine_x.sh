# Shared by the Wine end-to-end scripts: a private X server, a Wine prefix of their own
# beside the caller's, Wine drawing its own window frames (there is no window manager), and
# the helpers that find, drive and wait for windows. Sourced; expects $wine. Exits 77
# (skipped) when no X server can run.
#
# The prefix is a separate one because a Wine server binds its desktop to the display of
# the first program that needs one: a program started without a display by another test
# in a shared prefix would leave every window of this one invisible. Its server is ended
# on the way out, so the next run's desktop is made on that run's display.
skip=77
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}-x11"
mkdir -p "$WINEPREFIX"
before_x_ends() { wineserver -k 2>/dev/null; }
# Wine takes its time to show a window.
settle=0.5
wait_tries=300
source "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"
# A server left over from an earlier run would keep that run's display.
wineserver -k 2>/dev/null
# Without a window manager Wine draws the caption and frame itself, and places windows
# exactly where the program asks. (This first call also makes the prefix on a first run.)
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# The Windows form of a Unix path.
win() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
