#!/usr/bin/env bash
# zelk-reg's command-line contract: the same checks for the Linux build (on
# a registry file of its own) and for zelk-reg.exe under Wine (on Wine's
# registry), output compared with reg's layout, and every .reg file of
# DATA imported and exported again byte for byte as Wine's regedit exports
# it (DATA/exported, recorded by the comparison test).
#
# usage: zelk_reg_cli_test.sh DATA ZELK_REG [EMULATOR]
set -u
data=$1
tool=$2
emulator=${3:-}
work=$(mktemp -d)
K="HKCU\\Software\\ZelkRegCli-$$"
L="HKEY_CURRENT_USER\\Software\\ZelkRegCli-$$"
rows='HKCU\Software\ZelkRegTest'
export ZELK_REGISTRY="$work/registry.db" ZELK_MACHINE_REGISTRY="$work/machine.db"
checks=0
failures=0
answer=''  # what the next run reads from standard input; nothing is the end of input

# Windows writes a pipe in the console's code page (437 for this locale),
# with CRLF line ends, as its own reg does.
export LC_ALL=C.UTF-8
euro='€'
decode() { tr -d '\r'; }
if [ -n "$emulator" ]; then
    euro='?'
    decode() { tr -d '\r' | iconv -f CP437 -t UTF-8; }
fi

run() {
    printf '%s' "$answer" | $emulator "$tool" "$@" >"$work/out" 2>"$work/err"
    status=$?
    answer=''
    decode <"$work/out" >"$work/out.txt"
    tr -d '\r' <"$work/err" >"$work/err.txt"
}

fail() {
    echo "FAIL: $*"
    echo "  exit status $status; standard error:"
    sed 's/^/    /' "$work/err.txt"
    failures=$((failures + 1))
}

# expect STATUS ARGS... <<EOF: the exit status and the exact standard output.
expect() {
    local want=$1
    shift
    cat >"$work/expected"
    run "$@"
    checks=$((checks + 1))
    if [ "$status" != "$want" ] || ! cmp -s "$work/expected" "$work/out.txt"; then
        fail "$* (wanted status $want)"
        diff "$work/expected" "$work/out.txt" | sed 's/^/  /'
    fi
}

succeeds() {
    run "$@"
    checks=$((checks + 1))
    [ "$status" = 0 ] || fail "$*"
}

# fails TEXT ARGS...: status 1 and one line on standard error, "zelk-reg: ..." with TEXT in it.
# misused TEXT ARGS...: the same for a command line it cannot take, with the
# suite's usage status 2 (Windows' reg gives 1; "if errorlevel 1" sees both).
fails() { fails_with 1 "$@"; }
misused() { fails_with 2 "$@"; }
fails_with() {
    local want=$1 text=$2
    shift 2
    run "$@"
    checks=$((checks + 1))
    if [ "$status" != "$want" ] || [ "$(wc -l <"$work/err.txt")" != 1 ] || ! grep -q "^zelk-reg: .*$text" "$work/err.txt"; then
        fail "$* (wanted status $want and an error with \"$text\")"
    fi
}

cleanup() {
    $emulator "$tool" delete "$K" /f >/dev/null 2>&1 </dev/null
    $emulator "$tool" delete "$rows" /f >/dev/null 2>&1 </dev/null
    $emulator "$tool" delete "HKCC\\Software\\ZelkRegCli-$$" /f >/dev/null 2>&1 </dev/null
    rm -rf "$work"
}
trap cleanup EXIT
$emulator "$tool" delete "$rows" /f >/dev/null 2>&1 </dev/null

# ---- the manual, and command lines that are wrong
run --help
checks=$((checks + 1))
for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES; do
    grep -q "^$section\$" "$work/out.txt" || fail "--help has no $section section"
done
succeeds /?
succeeds query -h
misused 'no command'
misused 'unknown command' frobnicate "$K"
misused 'no key' query
misused 'no file' export "$K"
misused 'unexpected argument' query "$K" /x
misused 'unexpected argument' query "$K" extra
misused 'only one of' query "$K" /v a /ve
misused 'only one of' delete "$K" /ve /va /f
misused 'needs a value' add "$K" /v
misused 'given twice' add "$K" /f -F
fails 'not a key of the registry' query 'HKXX\Software'
fails 'not a key of the registry' query 'Software\Suite'
fails 'remote' query '\\host\HKLM\Software'
fails 'empty name' add "$K\\a\\\\b" /f
fails 'longer than 255 characters' add "$K\\$(printf 'k%.0s' {1..256})" /f
fails 'unknown type' add "$K" /v x /t REG_FOO /d 1 /f
fails 'cannot be added' add "$K" /v x /t REG_DWORD_BIG_ENDIAN /d 1 /f
fails 'not a number' add "$K" /v x /t REG_DWORD /d abc /f
fails 'not a number' add "$K" /v x /t REG_DWORD /d 4294967296 /f
fails 'not a number' add "$K" /v x /t REG_DWORD /d -1 /f
fails 'not a number' add "$K" /v x /t REG_QWORD /d 18446744073709551616 /f
fails 'needs its number' add "$K" /v x /t REG_DWORD /f
fails 'not hexadecimal' add "$K" /v x /t REG_BINARY /d 0g /f
fails 'empty string' add "$K" /v x /t REG_MULTI_SZ /d 'a\0\0b' /f
misused 'one character' add "$K" /v x /t REG_MULTI_SZ /s '##' /d 'a##b' /f
fails 'REG_MULTI_SZ only' add "$K" /v x /s '#' /d 'a#b' /f
misused 'give only one of /reg:32' query "$K" /reg:32 /reg:64
fails 'was not found' query "$K"

# ---- every type, in reg's notation; POSIX spellings and any case
succeeds add "$K" /v sz /d 'a b  c' /f
succeeds add "$K" /v expand /t REG_EXPAND_SZ /d '%TEMP%\x' /f
succeeds add "$K" /v multi /t REG_MULTI_SZ /d 'one\0two\0' /f
succeeds add "$K" -v multi_hash -t reg_multi_sz -s '#' -d 'a#b\c' -f
succeeds add "$K" /V dword /T REG_DWORD /D 4294967295 /F
succeeds add "$K" /v dword_hex /t REG_DWORD /d 0x1F /f
succeeds add "$K" /v dword_zeros /t REG_DWORD /d 010 /f
succeeds add "$K" /v qword /t REG_QWORD /d 18446744073709551615 /f
succeeds add "$K" /v qword_hex /t REG_QWORD /d 0x123456789 /f
succeeds add "$K" /v binary /t REG_BINARY /d abc /f
succeeds add "$K" /v binary_empty /t REG_BINARY /f
succeeds add "$K" /v none /t REG_NONE /d xy /f
nbsp=$(printf '\302\240')  # U+00A0, byte 0xA0: the first of the bytes Latin-1 and Windows-1252 share above 0x9F
succeeds add "$K" /v latin /d "Grüße${nbsp}€" /f
succeeds add "$K" /ve /d 'the default' /f
succeeds add "$K\\sub\\deeper" /v x /d 1 /f
succeeds add "$K\\sub\\empty" /f
expect 0 query "$K" <<EOF

$L
    (Default)    REG_SZ    the default
    binary    REG_BINARY    0ABC
    binary_empty    REG_BINARY    
    dword    REG_DWORD    0xffffffff
    dword_hex    REG_DWORD    0x1f
    dword_zeros    REG_DWORD    0xa
    expand    REG_EXPAND_SZ    %TEMP%\x
    latin    REG_SZ    Grüße${nbsp}$euro
    multi    REG_MULTI_SZ    one\0two
    multi_hash    REG_MULTI_SZ    a\0b\c
    none    REG_NONE    780079000000
    qword    REG_QWORD    0xffffffffffffffff
    qword_hex    REG_QWORD    0x123456789
    sz    REG_SZ    a b  c

$L\\sub
EOF
expect 0 query "${K,,}\\SUB" -s <<EOF

${L%%\\*}\\software\\zelkregcli-$$\\SUB\\deeper
    x    REG_SZ    1

${L%%\\*}\\software\\zelkregcli-$$\\SUB\\empty
    (Default)    REG_SZ    

EOF
expect 0 query "$K" /v DWORD_hex <<EOF

$L
    DWORD_hex    REG_DWORD    0x1f

EOF
expect 0 query "$K" /ve <<EOF

$L
    (Default)    REG_SZ    the default

EOF
expect 0 query "$K\\sub" /ve <<EOF

$L\\sub
    (Default)    REG_SZ    (value not set)
EOF
expect 0 query "$K" /v x /s <<EOF

$L\\sub\\deeper
    x    REG_SZ    1

End of search: 1 match(es) found.
EOF
expect 1 query "$K" /v nothing /s <<EOF

End of search: 0 match(es) found.
EOF
fails 'was not found' query "$K" /v nothing
fails 'was not found' query "$K\\nothing"

# ---- questions: the end of the input is "no"
fails 'cancelled' add "$K" /v sz /d changed
answer=yes
succeeds add "$K" /v sz /d changed
expect 0 query "$K" /v sz <<EOF

$L
    sz    REG_SZ    changed

EOF
fails 'cancelled' delete "$K\\sub"
fails 'cancelled' delete "$K" /v sz
fails 'cancelled' delete "$K" /va
succeeds query "$K\\sub"
succeeds query "$K" /v sz

# ---- delete
succeeds delete "$K" /v sz /f
fails 'was not found' delete "$K" /v sz /f
succeeds delete "$K" /ve /f
fails 'was not found' delete "$K" /ve /f
succeeds delete "$K\\sub" /va /f
succeeds delete "$K" /va /f
expect 0 query "$K" /s <<EOF

$L\\sub

$L\\sub\\deeper
    x    REG_SZ    1

$L\\sub\\empty
    (Default)    REG_SZ    

EOF
fails 'root key cannot be deleted' delete HKCU /f
succeeds delete "$K\\sub" /f
fails 'was not found' delete "$K\\sub" /f
fails 'was not found' query "$K\\sub"

# ---- export: questions, missing keys, unwritable files
succeeds add "$K" /v v /d 1 /f
succeeds export "$K" "$work/k.reg"
printf 'keep me' >"$work/existing.reg"
fails 'left as it was' export "$K" "$work/existing.reg"
[ "$(cat "$work/existing.reg")" = 'keep me' ] || fail "export without /y replaced the file"
succeeds export "$K" "$work/existing.reg" /y
cmp -s "$work/k.reg" "$work/existing.reg" || fail "export /y did not replace the file"
fails 'was not found' export "$K\\nothing" "$work/x.reg" /y
fails 'cannot write' export "$K" "$work/no-such-folder/x.reg" /y
fails 'cannot read' import "$work/no-such-file.reg"

# ---- the table: every row imported and exported as Wine's regedit exports it
for file in "$data"/*.reg; do
    row=$(basename "$file" .reg)
    succeeds import "$file"
    succeeds export "$rows\\$row" "$work/$row.reg" /y
    cmp -s "$work/$row.reg" "$data/exported/$row.reg" || fail "$row: the export differs from $data/exported/$row.reg"
done
# An import replays: the same file again changes nothing.
succeeds import "$data/deletions.reg"
succeeds export "$rows\\deletions" "$work/again.reg" /y
cmp -s "$work/again.reg" "$data/exported/deletions.reg" || fail "a second import of deletions.reg changed the key"

# ---- files with an error: the message names the line; nothing changes
bad() {  # bad LINE TEXT CONTENT: a UTF-8 .reg file whose first section is fine
    local line=$1 text=$2
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s\\Bad]\r\n"fine"="1"\r\n%b' "$rows" "$3" >"$work/bad.reg"
    fails "bad.reg:$line: .*$text" import "$work/bad.reg"
    run query "$rows\\Bad"
    [ "$status" = 1 ] || fail "a file with an error at line $line changed the registry"
}
bad 5 'closing quote' '"open=1\r\n'
bad 5 'unknown escape' '"a"="tab\\there"\r\n'
bad 5 'expected "="' '"a" "b"\r\n'
bad 5 'expected \[KEY\]' 'text\r\n'
bad 5 'unknown data' '"a"=string\r\n'
bad 5 '1 to 8 hexadecimal digits' '"a"=dword:123456789\r\n'
bad 5 'unexpected text' '"a"=dword:1x\r\n'
bad 7 'bytes (00 to ff)' '"a"=hex:01,\\\r\n  02,\\\r\n  0g\r\n'
bad 5 'ends inside a continued' '"a"=hex:01,\\\r\n'
bad 5 'hex(TYPE)' '"a"=hex(x):01\r\n'
bad 5 'NUL character inside a string' '"a"="x\0y"\r\n'
bad 6 'not a key of the registry' '\r\n[HKEY_NOWHERE\\x]\r\n'
bad 5 'root key cannot be deleted' '[-HKEY_CURRENT_USER]\r\n'
bad 6 'deletes its key' '[-HKEY_CURRENT_USER\\x]\r\n"a"="1"\r\n'
bad 5 'must end with' '[HKEY_CURRENT_USER\\x\r\n'
printf '"a"="1"\r\n' >"$work/bad.reg"
fails 'bad.reg:1: not a registry file' import "$work/bad.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n"a"="1"\r\n' >"$work/bad.reg"
fails 'bad.reg:3: a value before the first' import "$work/bad.reg"
printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n"a"="\xe9"\r\n' >"$work/bad.reg"
fails 'bad.reg:2: the file starts as UTF-8' import "$work/bad.reg"
printf '\xff\xfeW\0i\0' >"$work/bad.reg"
printf 'x' >>"$work/bad.reg"
fails 'bad.reg:1: .*half a UTF-16 character' import "$work/bad.reg"

# ---- the registry refuses (POSIX: stores that cannot be written); an
# import that fails half-way changes nothing
if [ -z "$emulator" ]; then
    ZELK_REGISTRY=/proc/zelk-reg-none/registry.db fails 'cannot create' add "$K" /v x /d 1 /f
    ZELK_MACHINE_REGISTRY=/proc/zelk-reg-none/machine.db fails 'cannot create HKEY_LOCAL_MACHINE' add 'HKLM\Software\Suite' /f
    printf 'REGEDIT4\n\n[%s\\Half]\n"a"="1"\n\n[HKEY_LOCAL_MACHINE\\Software\\Suite]\n"b"="2"\n' "$rows" >"$work/half.reg"
    ZELK_MACHINE_REGISTRY=/proc/zelk-reg-none/machine.db fails 'half.reg:6: cannot write HKEY_LOCAL_MACHINE' import "$work/half.reg"
    fails 'was not found' query "$rows\\Half"
fi

# ---- what Windows' reg does and Wine's does not (its documentation): every
# string of a REG_MULTI_SZ, empty ones too
printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"m1"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00\r\n"m2"=hex(7):00,00,61,00,00,00,00,00\r\n' "$L" >"$work/multi.reg"
succeeds import "$work/multi.reg"
expect 0 query "$K" /v m1 <<EOF

$L
    m1    REG_MULTI_SZ    a\0\0b

EOF
expect 0 query "$K" /v m2 <<EOF

$L
    m2    REG_MULTI_SZ    \0a

EOF

# ---- a write that fails is an error: standard output on a full disk, and
# an export that cannot be written whole, which leaves the old file
$emulator "$tool" query "$K" </dev/null >/dev/full 2>"$work/err.txt"
status=$?
checks=$((checks + 1))
{ [ "$status" = 1 ] && grep -q '^zelk-reg: cannot write the output' "$work/err.txt"; } || fail "query >/dev/full"
{ printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"big"=hex:' "$L"; printf '00,%.0s' {1..20000}; printf '00\r\n'; } >"$work/big.reg"
succeeds import "$work/big.reg"
printf 'keep me' >"$work/kept.reg"
(ulimit -f 64; trap '' XFSZ; $emulator "$tool" export "$K" "$work/kept.reg" /y) </dev/null >/dev/null 2>"$work/err.txt"
status=$?
checks=$((checks + 1))
{ [ "$status" = 1 ] && [ "$(cat "$work/kept.reg")" = 'keep me' ] && [ "$(ls "$work" | grep -c kept)" = 1 ]; } ||
    fail "an export onto a full disk replaced the file or left a temporary one"

# ---- HKEY_CURRENT_CONFIG, in arguments and files
C="HKCC\\Software\\ZelkRegCli-$$"
succeeds add "$C" /v a /d 1 /f
succeeds export "$C" "$work/cc.reg" /y
succeeds delete "$C" /f
succeeds import "$work/cc.reg"
expect 0 query "$C" <<EOF

HKEY_CURRENT_CONFIG\\Software\\ZelkRegCli-$$
    a    REG_SZ    1

EOF

# ---- query /f, copy and compare: Windows' reg as its documentation
# describes them (Wine's reg has no /f and no compare; its copy is checked
# against ours below)
for verb in query add delete copy compare export import; do
    run $verb /?
    checks=$((checks + 1))
    { [ "$status" = 0 ] && head -2 "$work/out.txt" | grep -q "^    zelk-reg $verb "; } || fail "$verb /?"
done
F="$K\\find"
succeeds add "$F" /v Colour /d 'Dark Red' /f
succeeds add "$F" /v size /t REG_DWORD /d 16 /f
succeeds add "$F" /v list /t REG_MULTI_SZ /d 'a\0b' /f
succeeds add "$F\\Reddish" /v x /d blue /f
expect 0 query "$F" /f red <<EOF

$L\\find
    Colour    REG_SZ    Dark Red

$L\\find\\Reddish
End of search: 2 match(es) found.
EOF
expect 1 query "$F" /f red /c <<EOF

End of search: 0 match(es) found.
EOF
expect 0 query "$F" /f 0x10 /d /e <<EOF

$L\\find
    size    REG_DWORD    0x10

End of search: 1 match(es) found.
EOF
expect 0 query "$F" /f X /v /s /t REG_SZ /z <<EOF

$L\\find\\Reddish
    x    REG_SZ (1)    blue

End of search: 1 match(es) found.
EOF
expect 0 query "$F" /f 'a#b' /d /e /se '#' <<EOF

$L\\find
    list    REG_MULTI_SZ    a#b

End of search: 1 match(es) found.
EOF
misused 'go with /f' query "$F" /k
succeeds copy "$F" "$K\\copied" /s /f
fails 'same key' copy "$F" "${F,,}" /f
fails 'cancelled' copy "$F" "$K\\copied"
expect 0 compare "$F" "$K\\copied" /s <<EOF
Result Compared: Identical
The operation completed successfully.
EOF
succeeds add "$K\\copied" /v size /t REG_DWORD /d 17 /f
succeeds add "$K\\copied\\extra" /f
expect 2 compare "$F" "$K\\copied" /s <<EOF
< Value: $L\\find  size  REG_DWORD  0x10
> Value: $L\\copied  size  REG_DWORD  0x11
> Key: $L\\copied\\extra
Result Compared: Different
The operation completed successfully.
EOF
expect 0 compare "$F" "$K\\copied" /v Colour /os <<EOF
= Value: $L\\find  Colour  REG_SZ  Dark Red
Result Compared: Identical
The operation completed successfully.
EOF
expect 2 compare "$F" "$K\\copied" /on <<EOF
Result Compared: Different
The operation completed successfully.
EOF
fails 'was not found' compare "$F" "$K\\nothing"
if [ -n "$emulator" ]; then
    $emulator reg copy "$F" "$K\\wine-copy" /s /f </dev/null >/dev/null 2>&1
    succeeds copy "$F" "$K\\our-copy" /s /f
    expect 0 compare "$K\\wine-copy" "$K\\our-copy" /s <<EOF
Result Compared: Identical
The operation completed successfully.
EOF
fi

# ---- any text: nothing is replaced
succeeds add "$K\\Ωμέγα" /v '漢字' /d '😀 Ελληνικά' /f
succeeds export "$K\\Ωμέγα" "$work/u.reg" /y
grep -q '^"漢字"="😀 Ελληνικά"' <(iconv -f UTF-16 -t UTF-8 "$work/u.reg" | tr -d '\r') || fail "Unicode export"

if [ -n "$emulator" ]; then
    # ---- as Wine's own reg: HKEY_CURRENT_CONFIG, and each registry view
    # of the 64-bit system (one view for a 32-bit prefix)
    same_as_wine() {
        run "$@"
        local mine=$status
        cp "$work/out.txt" "$work/mine.txt"
        $emulator reg "$@" </dev/null 2>/dev/null | decode >"$work/wine.txt"
        status=${PIPESTATUS[0]}
        checks=$((checks + 1))
        if [ "$mine" != "$status" ] || { [ "$mine" = 0 ] && ! cmp -s "$work/mine.txt" "$work/wine.txt"; }; then
            fail "$* differs from Wine's reg (status $mine against $status)"
            diff "$work/wine.txt" "$work/mine.txt"
        fi
    }
    same_as_wine query "$C"
    V="HKLM\\Software\\ZelkRegView-$$"
    succeeds add "$V" /v a /d 32 /reg:32 /f
    for view in /reg:32 /reg:64; do
        same_as_wine query "$V" $view
        same_as_wine query "$V" /v a $view
    done
    succeeds delete "$V" /reg:32 /f
    fails 'was not found' query "$V" /reg:32
    succeeds delete "$C" /f

    # ---- an import that fails part-way puts back what it had written
    # (HKLM\HARDWARE is volatile: a lasting key below it is refused)
    H="$rows\\Half"
    HL="${L%%\\*}\\Software\\ZelkRegTest\\Half"
    succeeds add "$H\\Gone" /v g /d 1 /f
    succeeds add "$H" /v a /d before /f
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"a"="after"\r\n"new"="1"\r\n\r\n[-%s\\Gone]\r\n\r\n[%s\\New\\Deeper]\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\ZelkRegCli]\r\n"b"="2"\r\n' \
        "$HL" "$HL" "$HL" >"$work/half.reg"
    fails 'half.reg:11: cannot write HKEY_LOCAL_MACHINE\\HARDWARE\\ZelkRegCli: [A-Z][a-z].*Nothing was changed' import "$work/half.reg"
    expect 0 query "$H" /s <<EOF

$HL
    a    REG_SZ    before

$HL\\Gone
    g    REG_SZ    1

EOF
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
