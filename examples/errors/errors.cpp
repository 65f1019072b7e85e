// Errors and their texts: report errors into the calling thread's error
// list, read them back with their texts from the message files (German
// where German.txt has one, English from Zelk.TXT otherwise), and roll back
// what a piece of work reported once it turned out fine.
//
// Run it in the folder that holds German.txt and Zelk.TXT.
#include <zelk/zelkerr.h>

#include <cstdio>

// An error class names its section in the message files; the code is the
// key, in decimal for a name that starts with a capital letter ...
class FileError : public CZelkError {
public:
    FileError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "FileError"; }
};

// ... and in four hexadecimal digits for one that starts lower-case (42: "002a").
class NetError : public CZelkError {
public:
    NetError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "netError"; }
};

#define REPORT(ErrorClass, code) ERRAdd(ErrorClass(__FILE__, __LINE__, code))

void PrintErrors(char const* title) {
    CZelkErrorList const& list = ERRMyList();
    std::printf("%s: %u\n", title, list.GetErrorCount());
    CErrorClone error;  // a snapshot holds its texts in both languages
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) {
        list.GetError(error, pos);
        char german[300], english[300];
        error.GetDescriptionLine(0, 0, german, sizeof german, false);
        error.GetDescriptionLine(0, 0, english, sizeof english, true);
        std::printf("  #%u %s %d on %s: %s | %s\n", error.GetOrdinalNumber().Get(), error.GetTypeName(),
                    error.GetError(), error.GetThreadName(), german, english);
    }
}

int main() {
    // A Windows name: the English file is "Zelk.TXT" in the same folder.
    SetMsgFileName(".\\German.txt");
    if (!IsMsgFileOK() || !IsEnglishMsgFileOK()) {
        std::fprintf(stderr, "no message files in this folder\n");
        return 1;
    }
    std::printf("texts: %s, English: %s\n", GetMsgFileName(), GetEnglishMsgFileName());

    REPORT(FileError, 2);

    // A piece of work that reports errors and then turns out fine.
    ErrorListPos const mark = CZelkError::GetLast();
    REPORT(NetError, 42);
    REPORT(NetError, 16);  // German.txt has no text for it: the English one stands in
    PrintErrors("errors after the work");
    mark.Rollback();  // removes every error after the mark
    PrintErrors("errors after the rollback");

    ERRClearErrors();
    return 0;
}
