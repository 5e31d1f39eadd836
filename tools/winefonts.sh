# Sourced with WINEPREFIX set, by tools/xvfb.sh for every prefix it starts.
# Wine has no SimSun (宋体), the face Chinese Windows draws dialogs and the
# tool's units with: it falls back to a CJK face with taller lines, and a
# three-line label of 40 pixels loses its last line. AR PL UMing CN (Debian's
# fonts-arphic-uming) takes its place under both names, as on Windows.
if ! grep -q '^\[Software\\\\Wine\\\\Fonts\\\\Replacements\]' "$WINEPREFIX/user.reg" 2>/dev/null; then
    for keel_face in SimSun 宋体; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$keel_face" /d 'AR PL UMing CN' /f \
            >/dev/null 2>&1 </dev/null || true
    done
    unset keel_face
fi
# Window captions draw their buttons with Marlett's letters ('r' is the close
# cross); without the face they come out as the letters "0 1 r". Debian's
# Wine 8 looks for its own fonts in "<data dir>\../fonts", a path with a
# forward slash inside a DOS name that its file lookup never finds (see
# `WINEDEBUG=+file`), so fonts-wine's /usr/share/wine/fonts is never read.
# Every Wine reads the prefix's C:\windows\Fonts, where Windows keeps Marlett.
keel_fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$keel_fonts" ] && [ ! -f "$keel_fonts/marlett.ttf" ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$keel_fonts/"
fi
unset keel_fonts
