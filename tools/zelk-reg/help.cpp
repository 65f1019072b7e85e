// --help: the manual page.
#include "output.h"
#include "verbs.h"

namespace zelk::regtool {

namespace {

constexpr char kManual[] = R"MAN(NAME
    zelk-reg - look into, change, export and import the registry

SYNOPSIS
    zelk-reg query KEY [/v NAME | /ve] [/s] [/t TYPE] [/z] [/se SEPARATOR]
                 [/reg:32 | /reg:64]
    zelk-reg query KEY /f TEXT [/k] [/v] [/d] [/c] [/e] [/s] [/t TYPE] [/z]
                 [/se SEPARATOR] [/reg:32 | /reg:64]
    zelk-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
                 [/reg:32 | /reg:64]
    zelk-reg delete KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]
    zelk-reg copy KEY1 KEY2 [/s] [/f] [/reg:32 | /reg:64]
    zelk-reg compare KEY1 KEY2 [/v NAME | /ve] [/s] [/oa | /od | /os | /on]
                 [/reg:32 | /reg:64]
    zelk-reg export KEY FILE [/y] [/reg:32 | /reg:64]
    zelk-reg import FILE [/reg:32 | /reg:64]
    zelk-reg --help
    zelk-reg VERB /?

DESCRIPTION
    zelk-reg reads and writes the registry with the commands and output of
    Windows' reg.exe, and moves keys between machines in regedit's .reg
    files. On Windows it works on the system's registry; on other systems on
    the registry the ZelkErr library keeps there (see ENVIRONMENT).

    KEY is a root key, long or short, followed by the path of sub-keys:
    HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM), HKEY_CLASSES_ROOT
    (HKCR), HKEY_USERS (HKU) or HKEY_CURRENT_CONFIG (HKCC), as in
    HKCU\Software\Suite. Names are matched
    without regard to case. Options are written /x or -x, in any case.

    query     Prints the values of KEY ("    NAME    TYPE    DATA", the
              default value as "(Default)") and the names of its sub-keys;
              with /s every key below it too. With /v or /ve only that
              value; with /s as well, every key below KEY that has it. /t
              shows only values of that type. With /f, searches key names,
              value names and data (/k, /v, /d: only those) for TEXT, a part
              of them (/e: all of them; "*" and "?" are wildcards), without
              regard to case (/c: with it); the search takes KEY's values
              and the names of its sub-keys, with /s everything below KEY,
              and ends with the number of matches.
    add       Creates KEY (and the keys above it) and sets a value: the one
              named by /v, or the default value. An existing value is
              replaced after a yes, or at once with /f.
    delete    Deletes KEY with everything below it, or the value named by
              /v, the default value (/ve), or all values of KEY (/va).
              Asks first unless /f is given.
    copy      Copies the values of KEY1 into KEY2 (created when missing), with
              /s every key below KEY1 too. What only KEY2 holds stays.
              Asks before it writes into an existing KEY2 unless /f is given.
    compare   Compares the values of KEY1 and KEY2 (or the one of /v or
              /ve), and the names of their sub-keys; with /s everything below
              them. "< " marks what KEY1 holds, "> " what KEY2 holds, "= "
              what both hold alike. Prints the differences (/od), everything
              (/oa), what is alike (/os) or nothing (/on), then "Result
              Compared: Identical" or "Different".
    export    Writes KEY with everything below it into FILE in regedit's
              format: "Windows Registry Editor Version 5.00", UTF-16LE with
              a byte-order mark, CRLF line ends. Asks before it replaces an
              existing FILE unless /y is given.
    import    Applies a .reg file: regedit's version 5 files in UTF-16LE
              (with a byte-order mark) or UTF-8, and REGEDIT4 files in the
              ANSI code page (as is a file without a byte-order mark that
              is not UTF-8). [KEY] creates a key, [-KEY] deletes it,
              "NAME"=DATA and @=DATA set a value, "NAME"=- deletes one. The
              whole file is checked first: a file with an error changes
              nothing, and the message names its line. When the registry
              refuses a write, what the import had changed is put back.

OPTIONS
    /v NAME       The value NAME.
    /ve           The key's default value (the value without a name).
    /va           All values of the key (delete).
    /s            Every key below KEY too (query, copy, compare).
    /f TEXT       What to search for (query).
    /k /d         Search key names only, data only (query /f).
    /c /e         Match case; match the whole text (query /f).
    /z            Show the number of each type (query).
    /se CHARACTER The separator of REG_MULTI_SZ strings (query).
    /oa /od /os /on   What compare prints.
    /t TYPE       The type of the value (add): REG_SZ (the default),
                  REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,
                  REG_BINARY or REG_NONE.
    /d DATA       The data (add). REG_SZ and REG_EXPAND_SZ: the text.
                  REG_MULTI_SZ: the strings separated by \0. REG_DWORD and
                  REG_QWORD: a number, decimal or 0x-hexadecimal.
                  REG_BINARY: hexadecimal digits (01ff). REG_NONE: a text.
    /s SEPARATOR  The character that separates REG_MULTI_SZ strings in
                  DATA instead of \0 (add).
    /f            Do not ask (add, delete, copy).
    /y            Replace FILE without asking (export).
    /reg:32       The registry as 32-bit programs see it on 64-bit Windows.
    /reg:64       The registry as 64-bit programs see it on 64-bit Windows.
    --help, /?    This page.

    Names and texts keep every character as it was; nothing is replaced
    by "?".

EXIT STATUS
    0   Done; for query, the key or value was found; for compare, the keys
        are identical.
    1   Not found, refused, cancelled, or an error (with a message on
        standard error).
    2   compare: the keys differ; any verb: the command line is wrong.

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

// The lines of `manual` from the one that starts with `start` to the one
// before that which starts with `end`.
std::string_view Lines(std::string_view manual, std::string_view start, std::string_view end) {
    std::size_t const from = manual.find("\n" + std::string(start)) + 1;
    std::size_t const to = manual.find("\n" + std::string(end), from);
    return manual.substr(from, to - from);
}

}  // namespace

int RunHelp(Subcommand const* subcommand) {
    Output output;
    std::string_view text = kManual;
    std::span<Subcommand const> const all = Subcommands();
    if (subcommand != nullptr) {
        // Its synopsis, and its paragraph of the description, which end
        // where the next verb's begin.
        bool const last = subcommand == &all.back();
        std::string const name(subcommand->name);
        std::string const next = last ? std::string() : std::string(subcommand[1].name);
        output.Line("USAGE");
        output.Line(Lines(text, "    zelk-reg " + name + " ", "    zelk-reg " + (last ? "--help" : next)));
        output.Line();
        output.Line(Lines(text, "    " + name + " ", last ? std::string("\nOPTIONS") : "    " + next + " "));
        return 0;
    }
    text.remove_suffix(1);  // the last line end; Line adds it
    output.Line(text);
    return 0;
}

}  // namespace zelk::regtool
