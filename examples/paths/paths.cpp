// Paths, masks and numbers: Windows file names taken apart and put together
// as text (BinChar never looks at the disk, except for the current
// directory that relative names start from), wildcard masks, hexadecimal
// text, and numbers read with "." as the point whatever the locale says.
#include <zelk/zelkerr.h>

#include <cstdio>
#include <cstring>

// BinChar converts to a C string for printf.
char const* C(BinChar const& text) { return text; }

int main() {
    BinChar const file("c:\\suite\\data\\2024\\report.final.txt");
    std::printf("file:            %s\n", C(file));
    std::printf("folder:          %s\n", C(file.Directory(0)));
    std::printf("drive:           %s\n", C(file.Directory(2)));
    std::printf("first level:     %s\n", C(file.Directory(3)));
    std::printf("name:            %s\n", C(file.FileName()));
    // Everything from the first dot of the name on is replaced.
    std::printf("other extension: %s\n", C(file.SetExtension("log")));

    BinChar const data("c:\\suite\\data");
    BinChar const joined = data.AddPath("..\\logs\\.\\today.log");
    std::printf("joined:          %s\n", C(joined));
    std::printf("reduced:         %s\n", C(joined.ReducePath()));
    std::printf("absolute path:   %s\n", C(data.AddPath("d:\\backup")));

    // A full name and the length of its root: drive or network share.
    int root = 0;
    BinChar const share = BinChar("\\\\server\\texts\\German.txt").FullFileName(root);
    std::printf("share:           %s, root %s\n", C(share), C(share.Left(root)));
    // A relative name starts from the current directory.
    BinChar const relative = BinChar("texts\\German.txt").FullFileName(root);
    std::printf("relative:        ...%s, root length %d\n", C(relative.Right(17)), root);

    // Masks: "*" and "?", case ignored for A-Z; one pattern, no lists.
    char const* const names[] = {"Report.TXT", "report1.txt", "readme", "a.txt.bak"};
    char const* const masks[] = {"*.txt", "report?.*", "*.*", "*.txt*"};
    for (char const* mask : masks) {
        std::printf("%-10s fits:", mask);
        for (char const* name : names) {
            if (BinChar(name).MaskenFit(mask)) std::printf(" %s", name);
        }
        std::printf("\n");
    }

    // Hexadecimal text of bytes (zero bytes included) and back.
    unsigned char const bytes[] = {0x00, 0x5a, 0xff};
    BinChar const hex = BinChar(bytes, 3).BinToHex();
    BinChar const back = hex.HexToBin();
    std::printf("hex: %s, back: %d bytes, equal %d\n", C(hex), back.len(),
                back.len() == 3 && std::memcmp(back, bytes, 3) == 0);

    // Numbers in any radix from 2 to 36; the result is the count of characters taken.
    char const* const texts[] = {"3.25 m", "-1.5e3", "ff.8", "101.1", "z"};
    int const radixes[] = {10, 10, 16, 2, 10};
    for (int i = 0; i < 5; ++i) {
        double value = 0;
        int const taken = NonLocal::StringToDouble(texts[i], &value, radixes[i]);
        std::printf("\"%s\" in radix %d: %d characters, %g\n", texts[i], radixes[i], taken, value);
    }
    return 0;
}
