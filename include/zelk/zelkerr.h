/// @file
/// Everything a host needs, in one include.
///
/// @mainpage ZelkErr
///
/// ZelkErr is a shared library for error reporting and threading code that
/// runs alike on Windows and POSIX systems.  It gives a host:
///
/// - **Error reporting** (error.h, error_list.h): error classes derived from
///   CZelkError, reported with ERRAdd() into the calling thread's own list,
///   walked, rolled back and copied by ErrorListPos, with texts from message
///   files in a translated and an English version; CZelkErrorScope
///   (error_scope.h) drops what an abandoned piece of work reported.
/// - **A portability layer** (portab.h): threads, signal sets, semaphores,
///   critical sections, timers and zero-copy buffer pipes behind abstract
///   interfaces, made by the Create* factories.
/// - **Utilities**: the byte string BinChar with Windows path, wildcard and
///   hex operations, NonLocal::StringToDouble() (binchar.h); the registry
///   wrapper FReg (freg.h, hkey.h); process priority, documents folder,
///   the program's folder, native paths and Windows version (system.h);
///   texts between Windows-1252 and UTF-8 (codepage.h).
/// - **Conveniences for ported code**, beside the calls above:
///   CZelkErrorList::MoveErrorsTo(), the waits with a time limit (portab.h),
///   codepage.h, GetProgramFolder() and GetNativePath(), and FReg's 64-bit,
///   byte and list values, deletions and GetLastErrorCode().
///
/// @section conventions Conventions
///
/// - Failures are results, not exceptions: `int` 1 or 0, null pointers from
///   factories, the null ErrorListPos from list walks, defaults from registry
///   getters, empty strings from path operations.  A full error list drops
///   new errors silently.  Exceptions come only from exhausted memory
///   (std::bad_alloc), from a semaphore the system refuses to create
///   (CZelkResourceExhausted), and from BinChar::ToInt() (an int).
/// - Objects made by a factory belong to the caller, who deletes them through
///   the interface pointer.  The interfaces' waits have no time limit;
///   WaitZelkSignals(), LockZelkSemaphore() and JoinZelkThread() take one.
/// - Texts are bytes of the ANSI code page: Windows-1252 on POSIX systems
///   (error.h tells how message files are converted).  Caller buffers are
///   passed with their size in bytes; texts are cut to size - 1 bytes and
///   zero-terminated.
/// - Each thread that the library starts (CAbstractThread::Start()) has an
///   error list and a name of its own; every other thread, the process's
///   first one included, shares the main thread object "Main" (MyZelkThread()).
///
/// @section windows Hosts on Windows
///
/// zelkerr.dll exports C++ as mingw-w64 g++ builds it (names, class layouts,
/// exception tables), so a host that loads it is built with mingw-w64 g++;
/// a Visual C++ suite builds the library from source instead (README).  The
/// DLL carries a C++ run-time of its own, so memory never changes hands
/// across its boundary: what the library allocates it frees, and results
/// made of standard containers (CZelkErrorScope::Errors()) are built by
/// inline code in the headers, with the host's allocator.  Each Windows
/// package carries a toolchain file for cross-building hosts against it
/// (`lib/cmake/ZelkErr/mingw-w64-x86_64.cmake`, `mingw-w64-i686.cmake`).
///
/// @section posix On POSIX systems
///
/// The library behaves as on Windows, with Windows' names and results:
///
/// - File names are Windows names, on the drive Z: for the root /:
///   `z:\opt\suite\German.txt` is /opt/suite/German.txt (error.h).  BinChar's
///   path members give names in that form, with the current directory
///   lower-cased (binchar.h).
/// - The registry is the library's own, kept in SQLite files: one for the
///   user's hive and one for the machine's (freg.h).
/// - Process priority classes are nice values, thread priority levels steps
///   of five nice values (system.h, CAbstractThread::SetPriority()).
/// - The documents folder is the XDG one; the Windows version reads as 10.0.
///
/// @section example A host program
///
/// A producer and two consumers on a buffer pipe, with a setting from the
/// registry and an error reported with its text:
/// @code
/// #include <zelk/zelkerr.h>
///
/// #include <cstdio>
/// #include <cstring>
/// #include <memory>
///
/// class PipeError : public CZelkError {
/// public:
///     PipeError(char const* file, int line, int code) : CZelkError(file, line, code) {}
///     char const* GetTypeName() const override { return "PipeError"; }  // [PipeError] 1=...
/// };
///
/// // Reads every block up to the producer's end block, which has length 0.
/// class Consumer : public CAbstractRunnable {
/// public:
///     Consumer(CAbstractBufferPipe& pipe, char const* name) : m_reader(pipe.CreateReader()), m_name(name) {}
///     unsigned long Run() override {
///         unsigned long bytes = 0;
///         for (;;) {
///             m_reader->Next(1);  // waits for the next committed block
///             BufferPipeBlock const* block = m_reader->GetBlock();
///             if (block->length == 0) return bytes;
///             bytes += block->length;
///         }
///     }
///     char const* GetName() override { return m_name; }  // the thread's name
///
/// private:
///     std::unique_ptr<CAbstractBufferPipeReader> m_reader;
///     char const* m_name;
/// };
///
/// int main() {
///     SetMsgFileName("z:\\opt\\suite\\German.txt");  // English: z:\opt\suite\Zelk.TXT
///     FReg settings(HKEY_CURRENT_USER, "Software\\Suite\\Host", true);
///     unsigned long const blocks = settings.GetDWORD("Blocks", 100);
///
///     std::unique_ptr<CAbstractBufferPipe> pipe(CreateZelkBufferPipe(1 << 20, 0, 4096));
///     if (!pipe) {
///         CErrorClone const error(ERRAdd(PipeError(__FILE__, __LINE__, 1)));
///         char text[300];
///         error.GetDescriptionLine(0, 0, text, sizeof text);  // Windows-1252 bytes
///         std::fprintf(stderr, "%s %d: %s\n", error.GetTypeName(), error.GetError(), text);
///         return 1;
///     }
///     // Readers before the first block, and they go before the pipe does.
///     Consumer first(*pipe, "consumer 1"), second(*pipe, "consumer 2");
///     std::unique_ptr<CAbstractThread> one(CreateZelkThread()), two(CreateZelkThread());
///     one->Start(&first);
///     two->Start(&second);
///     for (unsigned long i = 0; i <= blocks; ++i) {
///         unsigned long const size = i < blocks ? 4096 : 0;  // 0: the end block
///         BufferPipeBlock* block = pipe->AllocBlock(size, 1, 0);  // waits for space
///         std::memset(block->Data(), static_cast<int>(i), size);
///         block->length = static_cast<std::uint32_t>(size);
///         pipe->CommitBlock(block);
///     }
///     unsigned long const read1 = one->Join(), read2 = two->Join();
///     std::printf("%lu and %lu bytes\n", read1, read2);
/// }
/// @endcode
#pragma once

#include <zelk/binchar.h>
#include <zelk/codepage.h>
#include <zelk/error.h>
#include <zelk/error_list.h>
#include <zelk/error_scope.h>
#include <zelk/freg.h>
#include <zelk/portab.h>
#include <zelk/system.h>
#include <zelk/version.h>
