#!/usr/bin/env bash
# The install rules into a scratch root, checked as the package and the desktop will use
# them: every program in one folder with links in bin/, the desktop entry and metainfo
# accepted by their validators, the icon in every size, the D-Bus services pointing at the
# installed program, and the installed program answering from there.
# Usage: install-check.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d /tmp/tamsel-install-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
usr=$scratch/usr
id=org.tamsel.Tamsel

for program in tamsel pallisk pallisk-window quellor ordhune vessring tamsel-net tamsel-net-smb tamsel-cache; do
  [ -x "$usr/lib/tamsel/$program" ] || fail "$program is not installed in lib/tamsel"
done
for link in tamsel pallisk quellor ordhune vessring tamsel-net tamsel-cache; do
  [ -L "$usr/bin/$link" ] || fail "bin/$link is not a link"
  [ "$(readlink -f "$usr/bin/$link")" = "$(readlink -f "$usr/lib/tamsel/$link")" ] || fail "bin/$link points elsewhere"
done

desktop=$usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
grep -qx 'MimeType=inode/directory;x-scheme-handler/smb;x-scheme-handler/ftp;' "$desktop" || fail "MimeType line"
grep -qx "Icon=$id" "$desktop" || fail "Icon line"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" >/dev/null \
  || fail "appstreamcli refused the metainfo"
grep -q "<release version=\"$version\"" "$usr/share/metainfo/$id.metainfo.xml" || fail "metainfo release is not $version"

[ -s "$usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no SVG icon"
for size in 16 22 24 32 48 64 128 256; do
  png=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
  file "$png" | grep -q "PNG image data, $size x $size" || fail "no ${size}x${size} PNG icon"
done

for service in $id $id.FileManager1; do
  file=$usr/share/dbus-1/services/$service.service
  grep -qx "Exec=$usr/bin/tamsel" "$file" || fail "$service.service does not start the installed program"
done
grep -qx 'Name=org.freedesktop.FileManager1' "$usr/share/dbus-1/services/$id.FileManager1.service" \
  || fail "FileManager1 service name"

# The package names what the program loads without linking it: on a fresh system installed
# without recommended packages, a missing CJK font turned every text into boxes, a missing
# Qt catalogue left Qt's own dialogs in English and a missing icon theme left blank pages in
# the tool bar. The files are the ones the program uses here, so whichever package this
# machine has them from must be a dependency.
depends=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_DEPENDS "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$depends" ] || fail "no package dependencies in $build/CPackConfig.cmake"
for loaded in "$(qtpaths6 --query QT_INSTALL_TRANSLATIONS)/qtbase_zh_TW.qm" \
              "$(fc-match -f '%{file}' 'Noto Sans CJK TC')" \
              /usr/share/icons/Adwaita/index.theme \
              /usr/share/mime/packages/freedesktop.org.xml; do
  owner=$(dpkg -S "$loaded" 2>/dev/null | cut -d: -f1) || fail "no package holds $loaded"
  case ", $depends," in
    *", $owner,"* | *", $owner "* | *"| $owner,"* | *"| $owner "*) ;;
    *) fail "the package does not depend on $owner, which holds $loaded" ;;
  esac
done
grep -qx "StartupWMClass=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")" "$desktop" \
  || fail "StartupWMClass is not the class Qt gives the program's windows (its name)"

# The installed program answers without a display; an unknown option is a usage error.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/tamsel" --version)" = "tamsel $version" ] || fail "--version"
env -u DISPLAY "$usr/bin/tamsel" --help | grep -q 'smb://' || fail "--help"
status=0
env -u DISPLAY "$usr/bin/tamsel" --no-such-option 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "an unknown option ended with $status, not 2"

# Started through its link, tamsel-net finds its companion beside the real program: an
# unknown command is answered by tamsel-net-smb, not by a failed start of it.
status=0
message=$("$usr/bin/tamsel-net" no-such-command 2>&1) || status=$?
[ "$status" = 2 ] || fail "tamsel-net ended with $status"
case $message in
  *tamsel-net-smb:*) fail "tamsel-net did not find tamsel-net-smb: $message" ;;
esac
echo "install tree OK"
