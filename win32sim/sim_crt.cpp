// The system C library's _vsnprintf, as msvcrt.dll has it: a text that
// exactly fills the area is written without a NUL and its length returned;
// a longer one is cut to the area's size, without a NUL, and -1 returned.
// Only the conversions that msvcrt formats like the C library here are
// accepted; any other is recorded as a failure.
#include "sim_internal.h"
#include "simtest.h"

#include <string.h>

namespace {

// Tells whether every conversion of format is one of %s, %d, %u, %x, %X,
// %c and %%, with flags, a width, a precision and an h or l size at most.
bool PortableFormat(const char *format) {
    for (const char *p = strchr(format, '%'); p; p = strchr(p, '%')) {
        p++;
        p += strspn(p, "-+ #0");
        p += strspn(p, "0123456789");
        if (*p == '.') {
            p++;
            p += strspn(p, "0123456789");
        }
        if (*p == 'h' || *p == 'l')
            p++;
        if (*p == '\0' || !strchr("sduxXc%", *p))
            return false;
        p++;
    }
    return true;
}

} // namespace

extern "C" int _vsnprintf(char *buffer, size_t count, const char *format, va_list args) {
    if (!PortableFormat(format)) {
        sim::detail::Fail(std::string("_vsnprintf: msvcrt may not format \"") + format +
                          "\" as the C library does");
        return -1;
    }
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(NULL, 0, format, copy);
    va_end(copy);
    if (length < 0)
        return -1;
    std::vector<char> text((size_t)length + 1);
    vsnprintf(text.data(), text.size(), format, args);
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
