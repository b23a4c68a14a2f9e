// The one way a failed system call is reported: a warning box owned by the
// main window, with a context tag and the system's text for the error.
#ifndef CARDINST_SHELL_REPORT_H
#define CARDINST_SHELL_REPORT_H

// Size of the area a report is composed in, terminating NUL included.
#define REPORT_AREA 300

void ReportError(const char *format, const char *text1, const char *text2, const char *text3);
const char *SystemErrorText(void);

// SystemErrorText for ERROR_NOT_ENOUGH_MEMORY, made the last error first: a
// failed allocation, or a list box that is out of space, sets no error of
// its own, and its report must not read as a success.
const char *OutOfMemoryText(void);

#endif
