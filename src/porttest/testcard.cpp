// The loopback test: each port of the card is opened, set to 9600 8N1
// without flow control, sent one line and read back through the loopback
// connector, then put back as it was.
#include "porttest/porttest.h"
#include "shell/app.h"
#include "shell/format.h"
#include "shell/report.h"
#include "resource.h"

#include <stdlib.h>
#include <string.h>

static const char TestLine[] = "The quick brown fox jumps over lazy dog\r\n";
#define TEST_LENGTH 41  // the line without a NUL
#define RECEIVE_AREA 42 // one byte more than is sent
#define LINE_TIMEOUT 300

static char Results[RESULTS_AREA];

// Appends text to the results, cutting what does not fit.
static void AppendResult(const char *text) {
    size_t used = strlen(Results);
    FormatText(Results + used, sizeof Results - used, "%s", text);
}

static void SetTestLine(DCB *dcb) {
    dcb->BaudRate = 9600;
    dcb->ByteSize = 8;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
    dcb->fBinary = 1;
    dcb->fParity = 0;
    dcb->fOutxCtsFlow = 0;
    dcb->fOutxDsrFlow = 0;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fDsrSensitivity = 0;
    dcb->fOutX = 0;
    dcb->fInX = 0;
    dcb->fErrorChar = 0;
    dcb->fNull = 0;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    dcb->fAbortOnError = 0;
}

// Sends the test line and reads it back; the port is set up already.
static const char *Exchange(HANDLE port) {
    DWORD written = 0;
    if (!WriteFile(port, TestLine, TEST_LENGTH, &written, NULL))
        return SystemErrorText();
    if (written != TEST_LENGTH)
        return Text(IDS_TEST_CANNOT_SEND);
    char received[RECEIVE_AREA];
    DWORD read = 0;
    if (!ReadFile(port, received, RECEIVE_AREA, &read, NULL))
        return SystemErrorText();
    if (read == 0)
        return Text(IDS_TEST_NO_LOOPBACK);
    if (read == TEST_LENGTH)
        return Text(IDS_TEST_OK);
    return Text(IDS_TEST_CANNOT_SEND);
}

// Tests one opened port and puts back what it changed, leaving it open.
// Returns the port's result text.
static const char *TestOpenPort(HANDLE port) {
    DCB saved, dcb;
    COMMTIMEOUTS savedTimeouts, timeouts;
    int haveTimeouts = 0;
    const char *result;
    memset(&saved, 0, sizeof saved);
    saved.DCBlength = sizeof saved;
    if (!GetCommState(port, &saved))
        return GetLastError() == ERROR_INVALID_PARAMETER ? Text(IDS_TEST_COMM_API)
                                                         : SystemErrorText();
    dcb = saved;
    SetTestLine(&dcb);
    if (!SetCommState(port, &dcb)) {
        result = SystemErrorText();
    } else if (!GetCommTimeouts(port, &savedTimeouts)) {
        result = SystemErrorText();
    } else {
        haveTimeouts = 1;
        timeouts = savedTimeouts;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = LINE_TIMEOUT;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = LINE_TIMEOUT;
        result = SetCommTimeouts(port, &timeouts) ? Exchange(port) : SystemErrorText();
    }
    // The result may be the system text, which the calls below leave alone:
    // none of them asks for a text.
    SetCommState(port, &saved);
    if (haveTimeouts)
        SetCommTimeouts(port, &savedTimeouts);
    return result;
}

int TestCard(PortEntry *card) {
    Results[0] = '\0';
    for (PortEntry *e = &PortList; e->next; e = e->next) {
        if (e->leader != card)
            continue;
        size_t size = strlen(e->dosDevices) + 5;
        char *path = (char *)malloc(size);
        if (!path) {
            ReportError(Text(IDS_TEST_HALTED), "TestCard/NewPort", OutOfMemoryText(), NULL);
            return 0;
        }
        FormatText(path, size, "\\\\.\\%s", e->dosDevices);
        const char *result;
        HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (port == INVALID_HANDLE_VALUE)
            result = GetLastError() == ERROR_FILE_NOT_FOUND ? Text(IDS_TEST_NOT_INSTALLED)
                                                            : SystemErrorText();
        else {
            result = TestOpenPort(port);
            CloseHandle(port);
        }
        free(path);
        AppendResult(e->dosDevices);
        AppendResult(": ");
        AppendResult(result);
        AppendResult("\n");
    }
    MessageBoxA(NULL, Results, Text(IDS_TEST_RESULTS), MB_OK);
    return 1;
}
