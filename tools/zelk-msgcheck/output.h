// The report as lines of text or as one JSON object.
#pragma once

#include "findings.h"

#include <ostream>
#include <string>

namespace zelk::msgcheck {

struct Files {
    std::string translated;
    std::string english;  // empty when the translated file is the English one
    std::string codes;
};

void WriteText(std::ostream& out, Report const& report, Files const& files);
void WriteJson(std::ostream& out, Report const& report, Files const& files);

}  // namespace zelk::msgcheck
