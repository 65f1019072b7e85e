// Uses the installed headers and library only: reports an error into the
// calling thread's list and reads it back.
#include <zelk/zelkerr.h>

#include <cstdio>
#include <cstring>

namespace {

class ConsumerError : public CZelkError {
public:
    ConsumerError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "ConsumerError"; }
};

}  // namespace

int main() {
    ERRAdd(ConsumerError(__FILE__, __LINE__, 7));
    CErrorClone snapshot;
    if (ERRMyList().GetError(snapshot, ERRMyList().GetLast()) != 1) return 1;
    if (snapshot.GetError() != 7 || std::strcmp(snapshot.GetThreadName(), "Main") != 0) return 2;
    BinChar const name("Readme.TXT");
    if (!name.MaskenFit("*.txt")) return 3;
    std::printf("consumer: error %u of type %s on thread %s\n", snapshot.GetOrdinalNumber().Get(),
                snapshot.GetTypeName(), snapshot.GetThreadName());
    return 0;
}
