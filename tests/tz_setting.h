// Sets the run time's TZ variable for a scope and puts the old value back.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace zelk::test {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(char const* value) {
        if (char const* old = std::getenv("TZ")) m_old = old;
        Set(value);
    }
    ~ScopedTimeZone() { Set(m_old ? m_old->c_str() : nullptr); }
    ScopedTimeZone(ScopedTimeZone const&) = delete;
    ScopedTimeZone& operator=(ScopedTimeZone const&) = delete;

private:
    static void Set(char const* value) {
#ifdef _WIN32
        _putenv((std::string("TZ=") + (value ? value : "")).c_str());
#else
        value ? setenv("TZ", value, 1) : unsetenv("TZ");
#endif
    }
    std::optional<std::string> m_old;
};

// Zones with daylight saving time, in the form both run times understand.
inline char const* const kTimeZones[] = {"UTC0", "PST8PDT", "CET-1CEST", "NZST-12NZDT"};

}  // namespace zelk::test
