// The checks of one message file on its own: lines the reader takes
// otherwise than meant, repeated sections and keys, keys no lookup asks
// for, texts cut in snapshots, quotes, empty texts and the encoding.
#pragma once

#include "findings.h"
#include "message_file.h"

namespace zelk::msgcheck {

// What a snapshot keeps of a text: the lookup's copy into 299 bytes.
constexpr unsigned long kSnapshotBuffer = 299;

void CheckFile(MessageFile const& file, Report& report);

}  // namespace zelk::msgcheck
