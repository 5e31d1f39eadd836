#!/usr/bin/env bash
# The rooms hold: each library of the program finds the headers of the rooms
# below it and none of the rooms above or beside it (CMakeLists.txt's
# keel_room). Usage: rooms_check.sh CXX BUILD_DIR
set -uo pipefail
cxx=$1 rooms=$(realpath "$2")/rooms
failed=0
# Run from an empty folder: a quoted include looks in the current one first.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# probe LIBRARY HEADER yes|no: whether the library's sources can include HEADER.
probe() {
    local got=no
    (cd "$scratch" && echo "#include \"$2\"" | "$cxx" -std=c++17 -E -x c++ -I "$rooms/$1" - >/dev/null 2>&1) && got=yes
    if [ "$got" != "$3" ]; then
        echo "$1 including $2: wanted $3, got $got"
        failed=1
    fi
}
probe apklib apk/zip.h yes
probe apklib device/adb.h no
probe apklib text/text.h no
probe textlib device/text.h no
probe knowledgelib text/text.h yes
probe knowledgelib device/adb.h no
probe devicelayer knowledge/risk.h yes
probe devicelayer appnames/appnames.h no
probe devicelayer apk/zip.h no
probe devicelayer units/listmodel.h no
probe connectlib device/adb.h yes
probe connectlib text/text.h yes
probe connectlib appnames/appnames.h no
probe connectlib units/listmodel.h no
probe connectlib app/manager.h no
probe devicelayer connect/wireless.h no
probe clilib connect/wireless.h yes
probe program connect/otheradb.h yes
probe appnameslib apk/appname.h yes
probe appnameslib device/adb.h yes
probe appnameslib app/manager.h no
probe searchlib units/listmodel.h no
probe iconlib units/listview.h no
probe rtcore forms/wnd.h yes
probe rtcore units/listview.h no
probe rtcore commands/commands.h no
probe corelib forms/unit.h yes
probe corelib data/program.h no
probe corelib app/manager.h no
probe corelib device/adb.h no
probe programdata units/types.h yes
probe programdata app/program.h no
probe programdata device/adb.h no
probe clilib device/batch.h yes
probe clilib search/pinyin.h yes
probe clilib app/manager.h no
probe clilib units/listmodel.h no
probe clilib forms/wnd.h no
probe clilib runtime/services.h no
[ "$failed" = 0 ] && echo "every room finds what it may include and nothing else"
exit $failed
