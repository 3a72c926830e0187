// The place in the source a call comes from, as a default argument captures
// it. This is std::source_location; older clang front ends (as clang-tidy 14
// uses) cannot build libstdc++'s, so they get a stand-in with the same calls.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <version>

#ifdef __cpp_lib_source_location
#include <source_location>
using SourceLocation = std::source_location;
#else
class MARROWKIT_EXPORT SourceLocation
{
public:
    static constexpr SourceLocation current(const char *file = __builtin_FILE(),
                                            const char *function = __builtin_FUNCTION(),
                                            unsigned line = __builtin_LINE()) noexcept
    {
        SourceLocation location;
        location.m_file = file;
        location.m_function = function;
        location.m_line = line;
        return location;
    }
    constexpr const char *file_name() const noexcept { return m_file; }
    constexpr const char *function_name() const noexcept { return m_function; }
    constexpr unsigned line() const noexcept { return m_line; }
    constexpr unsigned column() const noexcept { return 0; }

private:
    const char *m_file = "";
    const char *m_function = "";
    unsigned m_line = 0;
};
#endif
