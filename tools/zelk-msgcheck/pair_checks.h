// The checks across files: what the translation lacks or has beyond the
// English file, and the codes a program reports that find no text.
#pragma once

#include "findings.h"
#include "message_file.h"

#include <string>

namespace zelk::msgcheck {

// Texts of the English file the translation lacks (notes: the English text
// is shown instead) and texts of the translation the English file lacks
// (errors: with translation off they are missing).  Fills the coverage.
void CheckCoverage(MessageFile const& translated, MessageFile const& english, Report& report);

// Each "Type code" line of the codes file whose error finds no text.  The
// English file is null when the translated file is the English one.  False
// when the codes file cannot be read.
bool CheckCodes(std::string const& codesFile, MessageFile const& translated, MessageFile const* english,
                Report& report);

}  // namespace zelk::msgcheck
