// Settings in the registry: a host keeps its settings under a key of its
// own below HKEY_CURRENT_USER, reads them with defaults for what is not
// there yet, lists them, and walks the tree of keys below its own.
//
// On Windows this is the system's registry; on POSIX systems the library
// keeps a registry of its own in one file (ZELK_REGISTRY names another file).
#include <zelk/zelkerr.h>

#include <cstdio>

char const kKey[] = "Software\\ZelkErr Examples\\Registry";

void RemoveExampleKeys() { FReg(HKEY_CURRENT_USER, "Software", false).DeleteTree("ZelkErr Examples"); }

int main() {
    RemoveExampleKeys();  // what an interrupted earlier run left
    {
        // Without `create` a missing key gives an invalid wrapper whose
        // getters return their defaults.
        FReg missing(HKEY_CURRENT_USER, kKey, false);
        std::printf("before the first run: valid %d, width %lu, language %s\n", missing.IsValid(),
                    missing.GetDWORD("Width", 800), static_cast<char const*>(missing.GetString("Language", "English")));
    }

    FReg settings(HKEY_CURRENT_USER, kKey, true);  // opened, made first if missing
    if (!settings.IsValid()) return 1;
    settings.SetDWORD("Width", 1024);
    settings.SetString("Language", "German");
    settings.SetString("Last file", "c:\\data\\report.txt");
    for (char const* name : {"Recent\\File 1", "Recent\\File 2", "Window"}) {
        FReg key(settings, name, true);  // sub-keys, below the open key
        key.SetString("Path", BinChar("c:\\data\\") + name);
    }

    std::printf("width %lu, language %s, height %lu (default)\n", settings.GetDWORD("Width", 800),
                static_cast<char const*>(settings.GetString("Language", "English")), settings.GetDWORD("Height", 600));
    // A value of another type gives the default as well.
    std::printf("language read as a number: %lu (default)\n", settings.GetDWORD("Language", 0));

    // The values whose names fit a mask, with their types.
    BinChar name;
    unsigned long type = 0;
    for (int index = 0; settings.FindValues("L*", name, index, &type);) {
        std::printf("value \"%s\" (%s) = %s\n", static_cast<char const*>(name), type == REG_SZ ? "text" : "other",
                    static_cast<char const*>(settings.GetString(name, "")));
    }
    // The direct sub-keys.
    for (int index = 0; settings.FindKeys("*", name, index);)
        std::printf("sub-key \"%s\"\n", static_cast<char const*>(name));

    // A walk of the whole tree, two levels deep, for keys named "File *".
    // The handles belong to the walk; a wrapper with an empty name borrows one.
    while (HKEY found = settings.FindSubKey("file *", 2)) {
        FReg key(found, "", false);
        std::printf("walk: %s\n", static_cast<char const*>(key.GetString("Path", "?")));
    }

    RemoveExampleKeys();
    return 0;
}
