// The system C library's _vsnprintf, as msvcrt.dll has it: a text that
// exactly fills the area is written without a NUL and its length returned;
// a longer one is cut to the area's size, without a NUL, and -1 returned.
// Only the conversions that msvcrt formats like the C library here are
// accepted; any other is recorded as a failure.
#include "sim_internal.h"
#include "simtest.h"

#include <stdlib.h>
#include <string.h>

namespace {

// The format with every %s bounded to `bound` bytes at most, so that an
// argument far longer than the area is not formatted whole; false when a
// conversion is not one of %s, %d, %u, %x, %X, %c and %%, with flags, a
// width, a precision and an h or l size at most.
bool BoundFormat(const char *format, size_t bound, std::string *bounded) {
    bounded->clear();
    const char *copied = format;
    for (const char *p = strchr(format, '%'); p; p = strchr(p, '%')) {
        p++;
        p += strspn(p, "-+ #0");
        p += strspn(p, "0123456789");
        const char *precision = *p == '.' ? p : nullptr;
        if (*p == '.') {
            p++;
            p += strspn(p, "0123456789");
        }
        if (*p == 'h' || *p == 'l')
            p++;
        if (*p == '\0' || !strchr("sduxXc%", *p))
            return false;
        if (*p == 's') {
            size_t given = precision ? strtoul(precision + 1, NULL, 10) : bound;
            const char *end = precision ? precision : p;
            char limit[24];
            snprintf(limit, sizeof limit, ".%zu", given < bound ? given : bound);
            bounded->append(copied, (size_t)(end - copied)).append(limit);
            copied = p;
        }
        p++;
    }
    bounded->append(copied);
    return true;
}

} // namespace

extern "C" int _vsnprintf(char *buffer, size_t count, const char *format, va_list args) {
    // A text cut to count + 1 bytes is still too long: no argument needs
    // more to give the same bytes and the same result.
    static std::string bounded;
    static std::vector<char> text;
    if (!BoundFormat(format, count + 1, &bounded)) {
        sim::detail::Fail(std::string("_vsnprintf: msvcrt may not format \"") + format +
                          "\" as the C library does");
        return -1;
    }
    if (text.size() < count + 2)
        text.resize(count + 2);
    int length = vsnprintf(text.data(), count + 2, bounded.c_str(), args);
    if (length < 0)
        return -1;
    if ((size_t)length < count) {
        memcpy(buffer, text.data(), (size_t)length + 1);
        return length;
    }
    memcpy(buffer, text.data(), count);
    return (size_t)length == count ? length : -1;
}

int sim::SystemFormat(char *area, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int length = _vsnprintf(area, size, format, args);
    va_end(args);
    return length;
}
