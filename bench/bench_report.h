// How every benchmark reports while it runs: a line when a case starts and
// its figures when it ends, each line flushed at once. A benchmark that works
// for a minute without a word looks hung, and a piped stdout is buffered
// whole (MinGW's C runtime treats line buffering as full buffering), so
// under Wine nothing would show before the program ends. Header-only: the
// native and the Windows benchmarks both include it.
#pragma once

#include <chrono>
#include <cstdarg>
#include <cstdio>

namespace Bench {

using Clock = std::chrono::steady_clock;

inline void vsay(const char* format, va_list arguments)
{
    std::vfprintf(stdout, format, arguments);
    std::fflush(stdout);
}

// printf to stdout, flushed.
inline void say(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vsay(format, arguments);
    va_end(arguments);
}

// Whether the command line carries `flag` (e.g. "--long").
template <typename Char>
bool hasFlag(int argc, Char** argv, const Char* flag)
{
    for (int i = 1; i < argc; ++i) {
        const Char* argument = argv[i];
        const Char* expected = flag;
        while (*argument && *argument == *expected) ++argument, ++expected;
        if (*argument == 0 && *expected == 0) return true;
    }
    return false;
}

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One measured case. Made: prints "> title". figure(): an indented line of
// figures. end(): the last figure line, followed by the case's wall time.
class Case {
public:
    explicit Case(const char* format, ...) : start_(Clock::now())
    {
        va_list arguments;
        va_start(arguments, format);
        line("> ", format, arguments, "\n");
        va_end(arguments);
    }

    void figure(const char* format, ...)
    {
        va_list arguments;
        va_start(arguments, format);
        line("    ", format, arguments, "\n");
        va_end(arguments);
    }

    void end(const char* format, ...)
    {
        va_list arguments;
        va_start(arguments, format);
        line("    ", format, arguments, "");
        va_end(arguments);
        say("   [%.1f s]\n", secondsSince(start_));
    }

    double seconds() const { return secondsSince(start_); }

private:
    static void line(const char* prefix, const char* format, va_list arguments, const char* ending)
    {
        std::fputs(prefix, stdout);
        vsay(format, arguments);
        say("%s", ending);
    }

    Clock::time_point start_;
};

}  // namespace Bench
