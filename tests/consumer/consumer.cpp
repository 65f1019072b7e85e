// Uses the installed headers and library only: reports an error into the
// calling thread's list and reads it back, and checks that the headers are
// those of the release that the build system found.
#include <zelk/version.h>
#include <zelk/zelkerr.h>

#include <cstdio>
#include <cstring>

#ifndef ZELK_PACKAGE_VERSION
#  error "build with ZELK_PACKAGE_VERSION set to the version the build system found"
#endif

namespace {

class ConsumerError : public CZelkError {
public:
    ConsumerError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "ConsumerError"; }
};

}  // namespace

int main() {
    if (std::strcmp(ZELK_VERSION_STRING, ZELK_PACKAGE_VERSION) != 0) {
        std::printf("consumer: headers of %s, package of %s\n", ZELK_VERSION_STRING, ZELK_PACKAGE_VERSION);
        return 4;
    }
    ERRAdd(ConsumerError(__FILE__, __LINE__, 7));
    CErrorClone snapshot;
    if (ERRMyList().GetError(snapshot, ERRMyList().GetLast()) != 1) return 1;
    if (snapshot.GetError() != 7 || std::strcmp(snapshot.GetThreadName(), "Main") != 0) return 2;
    BinChar const name("Readme.TXT");
    if (!name.MaskenFit("*.txt")) return 3;
    std::printf("consumer: ZelkErr %s, error %u of type %s on thread %s\n", ZELK_VERSION_STRING,
                snapshot.GetOrdinalNumber().Get(), snapshot.GetTypeName(), snapshot.GetThreadName());
    return 0;
}
