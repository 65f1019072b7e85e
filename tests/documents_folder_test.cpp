// The POSIX documents folder: the XDG sources in their order, and the
// library's Windows form of the name.
#include "platform/posix/documents_folder.h"

#include <gtest/gtest.h>

#include <string>

using zelk::os::posix::DocumentsFolder;
using zelk::os::posix::WindowsPathForm;

TEST(DocumentsFolder, XdgSourcesInTheirOrder) {
    // clang-format off
    struct Case { char const* environment; char const* userDirs; char const* home; char const* expected; };
    Case const cases[] = {
        // The environment first, then the file, then ~/Documents.
        {"/data/docs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", "/home/ann", "/data/docs"},
        {nullptr, "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", "/home/ann", "/home/ann/Papers"},
        {nullptr, "", "/home/ann", "/home/ann/Documents"},
        {"$HOME/Env", "", "/home/ann", "/home/ann/Env"},
        // Unusable values are passed over.
        {"relative", "XDG_DOCUMENTS_DIR=\"Papers\"\n", "/home/ann", "/home/ann/Documents"},
        {"$HOMEWORK/x", "", "/home/ann", "/home/ann/Documents"},
        // The file's syntax: comments, other keys, no quotes, spaces, CRLF,
        // and the last line that counts.
        {nullptr,
         "# XDG_DOCUMENTS_DIR=\"/commented\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
         "  XDG_DOCUMENTS_DIR=/abs/one\r\nXDG_DOCUMENTS_DIR=\"$HOME/Two\"\nXDG_TEMPLATES_DIR=/t\n",
         "/home/ann", "/home/ann/Two"},
        {nullptr, "XDG_DOCUMENTS_DIRX=\"/wrong\"\nXDG_DOCUMENTS_DIR", "/home/ann", "/home/ann/Documents"},
        // No home: only absolute values help.
        {nullptr, "XDG_DOCUMENTS_DIR=\"$HOME/x\"", "", ""},
        {"/abs", "", "", "/abs"},
    };
    // clang-format on
    for (Case const& c : cases) {
        EXPECT_EQ(DocumentsFolder(c.environment, c.userDirs, c.home), c.expected)
            << (c.environment ? c.environment : "(unset)") << " | " << c.userDirs;
    }
}

TEST(DocumentsFolder, WindowsFormOfNames) {
    // clang-format off
    struct Case { char const* posix; char const* windows; };
    Case const cases[] = {
        {"/home/ann/Documents", "z:\\home\\ann\\Documents"},  // case kept
        {"/", "z:\\"}, {"/a//b/", "z:\\a\\b"}, {"relative/x", ""},
    };
    // clang-format on
    for (Case const& c : cases) EXPECT_EQ(WindowsPathForm(c.posix), c.windows) << c.posix;
}
