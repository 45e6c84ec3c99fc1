# make package: the Debian package's control fields and file list, a stripped executable,
# and lintian without errors (its warnings are printed for the record).
#   bash tests/packaging/deb.sh BUILD_DIR VERSION
source "$(dirname "$0")/../e2e/lib/common.sh"
VERSION=${2:?usage: deb.sh BUILD_DIR VERSION}

ARCH=$(dpkg --print-architecture)
DEB="$BUILD/vantorel_${VERSION}_${ARCH}.deb"
rm -f "$DEB"
(cd "$BUILD" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || fail "cpack: $(cat "$WORK/cpack.log")"
[ -f "$DEB" ] || fail "no $(basename "$DEB")"

field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = vantorel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$VERSION" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$ARCH" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for lib in libc6 libsdl2-2.0-0 libsdl2-mixer-2.0-0 libepoxy0 liblz4-1 libxmp4; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
echo "Depends: $depends"

dpkg-deb -x "$DEB" "$WORK/root"
ID=org.vantorel.Vantorel
(cd "$WORK/root" && find . -type f | sed 's|^\./|/|' | sort) >"$WORK/files"
sort >"$WORK/expected" <<LIST
/usr/games/vantorel
/usr/share/applications/$ID.desktop
/usr/share/doc/vantorel/LICENSE
/usr/share/doc/vantorel/README.md
/usr/share/doc/vantorel/changelog.gz
/usr/share/doc/vantorel/copyright
/usr/share/games/vantorel/README.md
/usr/share/games/vantorel/data/Desktop/persistent.bank
/usr/share/games/vantorel/data/Desktop/persistent.strings.bank
/usr/share/games/vantorel/data/assets.sbpak
/usr/share/icons/hicolor/128x128/apps/$ID.png
/usr/share/icons/hicolor/16x16/apps/$ID.png
/usr/share/icons/hicolor/256x256/apps/$ID.png
/usr/share/icons/hicolor/32x32/apps/$ID.png
/usr/share/icons/hicolor/48x48/apps/$ID.png
/usr/share/icons/hicolor/64x64/apps/$ID.png
/usr/share/man/man6/vantorel.6.gz
/usr/share/metainfo/$ID.metainfo.xml
LIST
diff "$WORK/expected" "$WORK/files" >&2 || fail "file list differs (expected < > packaged)"
[ -x "$WORK/root/usr/games/vantorel" ] || fail "the game is not executable"
readelf -S "$WORK/root/usr/games/vantorel" | grep -q -e '\.symtab' -e '\.debug_' && fail "the game is not stripped"
cmp -s "$WORK/root/usr/share/games/vantorel/data/assets.sbpak" "$BUILD/data/assets.sbpak" || fail "packaged pack differs"

lintian --no-tag-display-limit "$DEB" >"$WORK/lintian" 2>&1 || true
cat "$WORK/lintian"
grep -q '^E:' "$WORK/lintian" && fail "lintian reports errors"
echo "$(basename "$DEB"): control fields, $(wc -l <"$WORK/files") files, stripped, no lintian errors"
