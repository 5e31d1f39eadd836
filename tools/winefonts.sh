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
