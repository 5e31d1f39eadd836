#!/usr/bin/env bash
# Builds the device layer's test APKs from the small sources in tests/apk/
# with Debian's aapt, aapt2 and zipalign, then the layouts those cannot write
# (compact, offset16, sparse, deflated) with tools/rewrite_arsc.py, and
# androguard's reading of them for comparison.
# Usage: make_test_apks.sh SOURCE_DIR OUT_DIR
# Output: OUT_DIR/<case>.apk, OUT_DIR/<case>.ids ("string/name 0x7f020000"
# lines from the generated R.java), OUT_DIR/androguard.txt and
# OUT_DIR/framework_labels.txt.
set -euo pipefail

src=$(cd "$1" && pwd)
out=$2
tools=$(cd "$(dirname "$0")" && pwd)
framework=/usr/share/android-framework-res/framework-res.apk
python=/usr/bin/python3
work=$out/work
rm -rf "$work"
mkdir -p "$work" "$out"

# The resource ids aapt gave, from R.java, for tests to look up by name.
ids_of() {  # R.java dir, output file
    find "$1" -name R.java -exec cat {} + |
        awk '/class [a-z]+ \{/ { type = $5 } /public static final int/ { split($5, kv, "="); sub(";", "", kv[2]); print type "/" kv[1], kv[2] }' |
        sort >"$2"
}

# Tiny launcher icons: a square of the density's size (48 px at mdpi).
icon() {  # file, pixels
    mkdir -p "$(dirname "$1")"
    convert -size "$2x$2" xc:'#3366cc' "PNG32:$1"
}

# One case with aapt: copy the sources, add icons, package, align.
build() {  # case, output name, extra aapt options...
    local name=$1 apk=$2
    shift 2
    local dir=$work/$apk
    cp -r "$src/$name" "$dir"
    mkdir -p "$dir/res"
    if [ "$name" = icons ]; then
        icon "$dir/res/mipmap-mdpi/ic_launcher.png" 48
        icon "$dir/res/mipmap-hdpi/ic_launcher.png" 72
        icon "$dir/res/mipmap-xhdpi/ic_launcher.png" 96
        icon "$dir/res/mipmap-mdpi/ic_launcher_fg.png" 108
        icon "$dir/res/mipmap-hdpi/ic_activity.png" 72
    elif [ "$name" = icons_drawable ]; then
        icon "$dir/res/drawable-mdpi/ic_app.png" 48
        icon "$dir/res/drawable-hdpi/ic_app.png" 72
        icon "$dir/res/drawable-xhdpi/ic_app.png" 96
    fi
    mkdir -p "$dir/gen"
    aapt package -f -M "$dir/AndroidManifest.xml" -S "$dir/res" -I "$framework" -J "$dir/gen" \
        -F "$dir/unaligned.apk" "$@" >/dev/null
    zipalign -f 4 "$dir/unaligned.apk" "$out/$apk.apk"
    ids_of "$dir/gen" "$out/$apk.ids"
}

for c in locales refs launcher literal blank_literal blank_resource alias nolabel nolauncher icons icons_xml framework_label; do
    build "$c" "$c" --min-sdk-version 21
done
# The same table with a UTF-16 value pool (aapt's choice before API 7).
build locales locales_utf16 --utf16

# A language split: the base keeps the default string, the split the
# Chinese ones, as Play's bundles deliver them. aapt names the split after
# its configurations; on a phone it is split_config.zh.apk.
dir=$work/split
cp -r "$src/split" "$dir"
mkdir -p "$dir/gen"
aapt package -f -M "$dir/AndroidManifest.xml" -S "$dir/res" -I "$framework" -J "$dir/gen" \
    -F "$dir/base.apk" --split zh-rCN,zh-rTW >/dev/null
zipalign -f 4 "$dir/base.apk" "$out/split_base.apk"
zipalign -f 4 "$dir/base_zh-rCN_zh-rTW.apk" "$out/split_config.zh.apk" 2>/dev/null ||
    zipalign -f 4 "$(ls "$dir"/*zh-rCN*.apk | head -n 1)" "$out/split_config.zh.apk"
ids_of "$dir/gen" "$out/split_base.ids"

# A density split: the xhdpi drawables live in split_config.xhdpi.apk (aapt,
# like bundletool, keeps mipmaps in the base for launchers).
build icons_drawable icons_drawable --split xhdpi
zipalign -f 4 "$work/icons_drawable/unaligned_xhdpi-v4.apk" "$out/split_config.xhdpi.apk"

# aapt2, which writes sparse types for minSdk 26 and a different local extra field.
dir=$work/locales_aapt2
mkdir -p "$dir/gen"
aapt2 compile --dir "$src/locales/res" -o "$dir/res.zip"
grep -v uses-sdk "$src/locales/AndroidManifest.xml" >"$dir/AndroidManifest.xml"
aapt2 link -o "$out/locales_aapt2.apk" -I "$framework" --manifest "$dir/AndroidManifest.xml" \
    --min-sdk-version 26 --enable-sparse-encoding --java "$dir/gen" "$dir/res.zip"
ids_of "$dir/gen" "$out/locales_aapt2.ids"

# Layouts of newer writers, made from aapt's tables.
for mode in compact sparse sparsecompact deflate; do
    for c in locales launcher icons; do
        "$python" "$tools/rewrite_arsc.py" "$mode" "$out/$c.apk" "$out/${c}_$mode.apk"
        cp "$out/$c.ids" "$out/${c}_$mode.ids"
    done
done

# A large file whose central directory (400 entries) lies before the last
# 64 KB: a 60,000-byte comment fills the tail.
"$python" - "$out/locales.apk" "$out/big.apk" <<'PY'
import random, sys, zipfile
random.seed(7)
with zipfile.ZipFile(sys.argv[1]) as zin, zipfile.ZipFile(sys.argv[2], 'w') as zout:
    zout.writestr('assets/pad.bin', bytes(random.getrandbits(8) for _ in range(300000)), zipfile.ZIP_STORED)
    for i in range(400):
        zout.writestr('assets/f%03d.txt' % i, 'file %d' % i, zipfile.ZIP_DEFLATED)
    for info in zin.infolist():
        zout.writestr(info, zin.read(info.filename))
    zout.comment = b'test archive comment. ' * 2727 + b'123456'
PY
cp "$out/locales.ids" "$out/big.ids"

# The "encrypted" bit set on every entry that is not encrypted, as packers
# do to stop tools that believe it; phones ignore the bit.
"$python" - "$out/locales.apk" "$out/fake_encrypted.apk" <<'PY'
import shutil, struct, sys, zipfile
shutil.copy(sys.argv[1], sys.argv[2])
with zipfile.ZipFile(sys.argv[2]) as z:
    local = [i.header_offset for i in z.infolist()]
    central, count = z.start_dir, len(z.infolist())
data = bytearray(open(sys.argv[2], 'rb').read())
for at in local:                      # local header: flags at +6
    data[at + 6] |= 1
at = central
for _ in range(count):                # central header: flags at +8
    data[at + 8] |= 1
    name, extra, comment = struct.unpack_from('<HHH', data, at + 28)
    at += 46 + name + extra + comment
open(sys.argv[2], 'wb').write(data)
PY
cp "$out/locales.ids" "$out/fake_encrypted.ids"

# androguard's reading of the cases it understands (it predates compact entries).
"$python" "$tools/androguard_names.py" "$out/androguard.txt" \
    "$out"/{locales,locales_utf16,locales_aapt2,refs,launcher,literal,blank_literal,nolauncher,split_base,icons_deflate}.apk
# aapt's own choice (androidfw's) of framework-res's label for each locale
# the table has: "locale<TAB>label" lines.
aapt dump badging "$framework" 2>/dev/null |
    sed -n "s/^application-label-\([^:]*\):'\(.*\)'\$/\1\t\2/p" >"$out/framework_labels.txt"
rm -rf "$work"
touch "$out/stamp"
