// The order and sameness of registry names, as Windows compares them.
#pragma once

#include <string_view>

namespace zelk::os::registry {

// Names (UTF-8) compare as Windows compares them: as UTF-16 units, each
// upcased on its own (UpcaseUtf16), so "\u00C4rger" and "\u00E4rger" are
// one name.  They sort as Wine lists them, by those units lower-cased again
// ("_" before "A"; a character beyond U+FFFF by its surrogates, before
// U+E000).
int CompareNames(std::string_view a, std::string_view b);

}  // namespace zelk::os::registry
