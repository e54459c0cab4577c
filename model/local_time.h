// The local calendar time of a time_t: localtime_r where POSIX has it, localtime_s on
// Windows; both fill the caller's record, so no thread shares a static one.
#pragma once

#include <ctime>

namespace korvan {

inline std::tm LocalTime(std::time_t seconds) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}

}  // namespace korvan
