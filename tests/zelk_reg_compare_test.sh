#!/usr/bin/env bash
# zelk-reg against Windows' own reg and regedit, as Wine runs them.
#
# For every .reg file in DATA (one row of the table), with the row's key
# HKEY_CURRENT_USER\Software\ZelkRegTest\ROW:
#  - Wine's regedit imports the file and exports the key; that export is
#    the one recorded in DATA/exported/ROW.reg (which the command-line test
#    compares with on every platform);
#  - zelk-reg imports the file into a registry of its own and exports the
#    key: byte for byte Wine's export.
# Then the other way round: Wine's regedit imports zelk-reg's exports into
# an emptied ZelkRegTest key, and Wine's `reg query /s` of it equals
# zelk-reg's.
#
# usage: zelk_reg_compare_test.sh DATA ZELK_REG WINE64
# with WINEPREFIX set to a prefix of the build folder.  With
# ZELK_REG_RECORD=1 Wine's exports replace the recorded ones.
set -u
data=$1
tool=$2
wine=$3
root='HKEY_CURRENT_USER\Software\ZelkRegTest'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELK_REGISTRY="$work/registry.db" ZELK_MACHINE_REGISTRY="$work/machine.db"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Wine's tools never get a terminal: a question would wait for ever.
winetool() { "$wine" "$@" </dev/null; }

winetool reg delete "$root" /f >/dev/null 2>&1
rows=0
for file in "$data"/*.reg; do
    row=$(basename "$file" .reg)
    key="$root\\$row"
    rows=$((rows + 1))
    # Wine's regedit reads a file without a byte-order mark as ANSI; it gets
    # a UTF-8 row in UTF-16, as regedit writes it.
    wine_input=$file
    if [ "$(head -c 2 "$file" | od -An -tx1 | tr -d ' ')" != fffe ] && [ "$(head -c 8 "$file")" != REGEDIT4 ] &&
        iconv -f UTF-8 -t UTF-8 "$file" >/dev/null 2>&1; then
        wine_input="$work/$row.utf16.reg"
        { printf '\xff\xfe'; sed 's/$/\r/' "$file" | iconv -f UTF-8 -t UTF-16LE; } >"$wine_input"
    fi
    winetool regedit /S "$wine_input" >/dev/null 2>&1
    winetool regedit /E "$work/$row.wine.reg" "$key" >/dev/null 2>&1
    if [ ! -s "$work/$row.wine.reg" ]; then
        fail "$row: Wine's regedit exported nothing"
        continue
    fi
    if [ "${ZELK_REG_RECORD:-}" = 1 ]; then
        cp "$work/$row.wine.reg" "$data/exported/$row.reg"
    elif ! cmp -s "$work/$row.wine.reg" "$data/exported/$row.reg"; then
        fail "$row: Wine's export differs from the recorded $data/exported/$row.reg (ZELK_REG_RECORD=1 renews it)"
    fi
    if ! "$tool" import "$file" >/dev/null; then
        fail "$row: zelk-reg import"
        continue
    fi
    if ! "$tool" export "$key" "$work/$row.zelk.reg" /y >/dev/null || ! cmp -s "$work/$row.wine.reg" "$work/$row.zelk.reg"; then
        fail "$row: zelk-reg's export differs from Wine's:"
        diff <(iconv -f UTF-16 -t UTF-8 "$work/$row.wine.reg") <(iconv -f UTF-16 -t UTF-8 "$work/$row.zelk.reg")
    fi
done

# The other way round.
winetool reg delete "$root" /f >/dev/null 2>&1
for exported in "$work"/*.zelk.reg; do
    winetool regedit /S "$exported" >/dev/null 2>&1
done
# Wine's reg writes a pipe in the OEM code page, so it gets a wide terminal,
# which it writes in UTF-8 (with cursor codes, which go; a terminal shows
# no trailing blanks).  Wine 8's reg prints no REG_QWORD data ("(null)";
# Windows' reg prints 0x-hex as zelk-reg does, which the command-line test
# checks) and "(null)" for the type and data of a type without a name.
# Its console writes a character beyond U+FFFF as two replacement characters.
script -qec "stty cols 30000 rows 50; '$wine' reg query '$root' /s" /dev/null </dev/null |
    sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/[ \r]*$//' >"$work/wine.query"
"$tool" query "$root" /s | sed -e 's/[ \r]*$//' \
        -e 's/^\(    .*    REG_QWORD    \).*$/\1(null)/' \
        -e 's/^\(    .*\)    0x[0-9a-f]*    [0-9A-F]*$/\1    (null)    (null)/' |
    perl -CS -pe 's/[\x{10000}-\x{10FFFF}]/\x{FFFD}\x{FFFD}/g' >"$work/zelk.query"
if ! cmp -s "$work/wine.query" "$work/zelk.query"; then
    fail "Wine's reg query of zelk-reg's exports differs from zelk-reg query:"
    diff "$work/wine.query" "$work/zelk.query"
fi
winetool reg delete "$root" /f >/dev/null 2>&1

echo "$((rows * 2 + 1 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$rows" -gt 0 ]
