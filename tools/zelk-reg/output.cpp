#include "output.h"

#include "platform/codepage.h"

#include <cctype>
#include <iostream>
#include <string>

namespace zelk::regtool {

bool Confirm(std::string_view question) {
    cli::WriteNow(std::string(question) + " (Yes/No) ");
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        cli::WriteNow("\n");
        return false;
    }
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) {
        answer.pop_back();
    }
    return os::EqualAsciiNoCase(answer, "y") || os::EqualAsciiNoCase(answer, "yes");
}

}  // namespace zelk::regtool
