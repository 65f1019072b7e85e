// --help: the manual page.
#include "output.h"
#include "verbs.h"

namespace zelk::regtool {

namespace {

constexpr char kManual[] = R"MAN(NAME
    zelk-reg - look into, change, export and import the registry

SYNOPSIS
    zelk-reg query KEY [/v NAME | /ve] [/s]
    zelk-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
    zelk-reg delete KEY [/v NAME | /ve | /va] [/f]
    zelk-reg export KEY FILE [/y]
    zelk-reg import FILE
    zelk-reg --help

DESCRIPTION
    zelk-reg reads and writes the registry with the commands and output of
    Windows' reg.exe, and moves keys between machines in regedit's .reg
    files. On Windows it works on the system's registry; on other systems on
    the registry the ZelkErr library keeps there (see ENVIRONMENT).

    KEY is a root key, long or short, followed by the path of sub-keys:
    HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM), HKEY_CLASSES_ROOT
    (HKCR) or HKEY_USERS (HKU), as in HKCU\Software\Suite. Names are matched
    without regard to case. Options are written /x or -x, in any case.

    query     Prints the values of KEY ("    NAME    TYPE    DATA", the
              default value as "(Default)") and the names of its sub-keys;
              with /s every key below it too. With /v or /ve only that
              value; with /s as well, every key below KEY that has it.
    add       Creates KEY (and the keys above it) and sets a value: the one
              named by /v, or the default value. An existing value is
              replaced after a yes, or at once with /f.
    delete    Deletes KEY with everything below it, or the value named by
              /v, the default value (/ve), or all values of KEY (/va).
              Asks first unless /f is given.
    export    Writes KEY with everything below it into FILE in regedit's
              format: "Windows Registry Editor Version 5.00", UTF-16LE with
              a byte-order mark, CRLF line ends. Asks before it replaces an
              existing FILE unless /y is given.
    import    Applies a .reg file: regedit's version 5 files in UTF-16LE
              (with a byte-order mark) or UTF-8, and REGEDIT4 files in the
              ANSI code page. [KEY] creates a key, [-KEY] deletes it,
              "NAME"=DATA and @=DATA set a value, "NAME"=- deletes one. The
              whole file is checked first: a file with an error changes
              nothing, and the message names its line.

OPTIONS
    /v NAME       The value NAME.
    /ve           The key's default value (the value without a name).
    /va           All values of the key (delete).
    /s            Every key below KEY too (query).
    /t TYPE       The type of the value (add): REG_SZ (the default),
                  REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,
                  REG_BINARY or REG_NONE.
    /d DATA       The data (add). REG_SZ and REG_EXPAND_SZ: the text.
                  REG_MULTI_SZ: the strings separated by \0. REG_DWORD and
                  REG_QWORD: a number, decimal or 0x-hexadecimal.
                  REG_BINARY: hexadecimal digits (01ff). REG_NONE: a text.
    /s SEPARATOR  The character that separates REG_MULTI_SZ strings in
                  DATA instead of \0 (add).
    /f            Do not ask (add, delete).
    /y            Replace FILE without asking (export).
    --help, /?    This page.

    Texts are stored in the registry's ANSI code page (Windows-1252 on
    systems other than Windows); a character it cannot hold is an error,
    never a silent "?".

EXIT STATUS
    0   Done; for query, the key or value was found.
    1   Not found, refused, cancelled, or an error (with a message on
        standard error).

ENVIRONMENT
    On systems other than Windows:
    ZELK_REGISTRY           The registry file for every root instead of
                            $XDG_CONFIG_HOME/zelk/registry.db
                            (~/.config/zelk/registry.db), which holds
                            HKEY_CURRENT_USER.
    ZELK_MACHINE_REGISTRY   The file of HKEY_LOCAL_MACHINE and HKEY_USERS
                            instead of /var/lib/zelk/machine.db.

EXAMPLES
    zelk-reg add "HKCU\Software\Suite" /v Retries /t REG_DWORD /d 3 /f
    zelk-reg query "HKCU\Software\Suite" /s
    zelk-reg export "HKCU\Software\Suite" suite.reg /y
    zelk-reg import suite.reg
    zelk-reg delete "HKCU\Software\Suite" /v Retries /f
)MAN";

}  // namespace

int RunHelp() {
    Output output;
    std::string_view text = kManual;
    text.remove_suffix(1);  // the last line end; Line adds it
    output.Line(text);
    return 0;
}

}  // namespace zelk::regtool
