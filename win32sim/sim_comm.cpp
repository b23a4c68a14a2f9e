// Serial ports reached through CreateFileA("\\\\.\\COMn"): a line setting and
// time-outs that outlive each opening, exclusive opening as the serial driver
// enforces it, and scripted transmission with an optional loopback plug.
#include "sim_internal.h"

#include <map>

namespace sim {
namespace detail {
namespace {

struct PortData {
    std::string name; // as added
    Port script;
    DCB dcb;
    COMMTIMEOUTS timeouts;
    bool open = false;
    std::string written;
    int opens = 0;
    std::string received; // waiting in the receive buffer of the current opening
};

struct FileHandle {
    std::string port; // key of `ports`
    DWORD access;
};

std::map<std::string, PortData> ports; // by upper-case name
std::map<uintptr_t, FileHandle> files;
uintptr_t nextFile = 0x2000;

std::string Upper(const std::string &s) {
    std::string u = s;
    for (char &c : u) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return u;
}

// What the serial driver reports for a port nobody has set up: 1200 bits/s,
// 7 data bits, even parity, hardware and software flow control.
void DriverDefaults(PortData *port) {
    memset(&port->dcb, 0, sizeof(port->dcb));
    port->dcb.DCBlength = sizeof(DCB);
    port->dcb.BaudRate = CBR_1200;
    port->dcb.fBinary = 1;
    port->dcb.fParity = 1;
    port->dcb.fOutxCtsFlow = 1;
    port->dcb.fOutxDsrFlow = 1;
    port->dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    port->dcb.fDsrSensitivity = 1;
    port->dcb.fTXContinueOnXoff = 1;
    port->dcb.fOutX = 1;
    port->dcb.fInX = 1;
    port->dcb.fErrorChar = 1;
    port->dcb.fNull = 1;
    port->dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    port->dcb.fAbortOnError = 1;
    port->dcb.XonLim = 2048;
    port->dcb.XoffLim = 512;
    port->dcb.ByteSize = 7;
    port->dcb.Parity = EVENPARITY;
    port->dcb.StopBits = ONESTOPBIT;
    port->dcb.XonChar = 0x11;
    port->dcb.XoffChar = 0x13;
    port->dcb.ErrorChar = '?';
    port->dcb.EofChar = 0x1A;
    port->dcb.EvtChar = '\n';
    port->timeouts.ReadIntervalTimeout = 50;
    port->timeouts.ReadTotalTimeoutMultiplier = 0;
    port->timeouts.ReadTotalTimeoutConstant = 0;
    port->timeouts.WriteTotalTimeoutMultiplier = 0;
    port->timeouts.WriteTotalTimeoutConstant = 0;
}

PortData *PortOf(HANDLE h, DWORD *access) {
    auto it = files.find(reinterpret_cast<uintptr_t>(h));
    if (it == files.end()) {
        return nullptr;
    }
    if (access) {
        *access = it->second.access;
    }
    return &ports[it->second.port];
}

// A call of the communications API: counts it, applies a FailCall request,
// and finds the port. Returns NULL with the last error set when the call
// must fail.
PortData *Enter(const char *function, HANDLE h, DWORD *access = nullptr) {
    LONG_PTR ignored = 0;
    DWORD injected = 0;
    if (Hit(function, &ignored, &injected)) {
        if (injected) {
            SetLastError(injected);
        }
        return nullptr;
    }
    PortData *port = PortOf(h, access);
    if (!port) {
        Fail(std::string(function) + ": not an open file handle");
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return port;
}

} // namespace

void ResetPorts() {
    ports.clear();
    files.clear();
}

} // namespace detail

using namespace detail;

void AddPort(const std::string &name, const Port &port) {
    PortData data;
    data.name = name;
    data.script = port;
    DriverDefaults(&data);
    ports[Upper(name)] = data;
}

PortState GetPort(const std::string &name) {
    PortState state;
    memset(&state.dcb, 0, sizeof(state.dcb));
    memset(&state.timeouts, 0, sizeof(state.timeouts));
    state.open = false;
    state.opens = 0;
    auto it = ports.find(Upper(name));
    if (it == ports.end()) {
        Fail("GetPort: no port " + name);
        return state;
    }
    state.dcb = it->second.dcb;
    state.timeouts = it->second.timeouts;
    state.open = it->second.open;
    state.written = it->second.written;
    state.opens = it->second.opens;
    return state;
}

int OpenFileHandleCount() {
    return static_cast<int>(files.size());
}

} // namespace sim

using namespace sim::detail;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    Api api(nullptr);
    LONG_PTR ignored = 0;
    DWORD injected = 0;
    if (Hit("CreateFileA", &ignored, &injected)) {
        if (injected) {
            SetLastError(injected);
        }
        return INVALID_HANDLE_VALUE;
    }
    (void)dwShareMode; // the serial driver opens exclusively whatever is asked
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = lpFileName;
    std::string device;
    if (path.compare(0, 4, "\\\\.\\") == 0) {
        device = Upper(path.substr(4));
    } else {
        // Without the device prefix only COM1 to COM9 are known names.
        std::string upper = Upper(path);
        if (upper.size() == 4 && upper.compare(0, 3, "COM") == 0 && upper[3] >= '1' &&
            upper[3] <= '9') {
            device = upper;
        }
    }
    auto it = device.empty() ? ports.end() : ports.find(device);
    if (it == ports.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        Fail("CreateFileA: a communications device must be opened with OPEN_EXISTING");
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) {
        Fail("CreateFileA: overlapped serial I/O is not supported here");
    }
    PortData &port = it->second;
    if (port.script.busy || port.open) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    port.open = true;
    ++port.opens;
    port.received.clear();
    uintptr_t value = nextFile;
    nextFile += 4;
    files[value] = FileHandle{it->first, dwDesiredAccess};
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
    Api api(nullptr);
    PortData *port = Enter("GetCommState", hFile);
    if (!port) {
        return FALSE;
    }
    if (port->script.commStateError) {
        SetLastError(port->script.commStateError);
        return FALSE;
    }
    if (!lpDCB) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpDCB = port->dcb;
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
    Api api(nullptr);
    PortData *port = Enter("SetCommState", hFile);
    if (!port) {
        return FALSE;
    }
    if (!lpDCB) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DCB &d = *lpDCB;
    bool valid = d.BaudRate != 0 && d.ByteSize >= 5 && d.ByteSize <= 8 && d.Parity <= SPACEPARITY &&
                 d.StopBits <= TWOSTOPBITS && !(d.ByteSize == 5 && d.StopBits == TWOSTOPBITS) &&
                 !(d.ByteSize > 5 && d.StopBits == ONE5STOPBITS) &&
                 !((d.fOutX || d.fInX) && d.XonChar == d.XoffChar);
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    port->dcb = d;
    return TRUE;
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    Api api(nullptr);
    PortData *port = Enter("GetCommTimeouts", hFile);
    if (!port) {
        return FALSE;
    }
    if (!lpCommTimeouts) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpCommTimeouts = port->timeouts;
    return TRUE;
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    Api api(nullptr);
    PortData *port = Enter("SetCommTimeouts", hFile);
    if (!port) {
        return FALSE;
    }
    if (!lpCommTimeouts) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const COMMTIMEOUTS &t = *lpCommTimeouts;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant == MAXDWORD) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    port->timeouts = t;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    Api api(nullptr);
    DWORD access = 0;
    PortData *port = Enter("WriteFile", hFile, &access);
    if (lpNumberOfBytesWritten) {
        *lpNumberOfBytesWritten = 0;
    }
    if (!port) {
        return FALSE;
    }
    if (lpOverlapped || !lpNumberOfBytesWritten) {
        Fail("WriteFile: a synchronous write needs a byte count and no OVERLAPPED");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(access & (GENERIC_WRITE | GENERIC_ALL))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!lpBuffer && nNumberOfBytesToWrite) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    DWORD sent = nNumberOfBytesToWrite;
    if (port->script.writableBytes >= 0 &&
        static_cast<DWORD>(port->script.writableBytes) < nNumberOfBytesToWrite) {
        sent = static_cast<DWORD>(port->script.writableBytes);
        const COMMTIMEOUTS &t = port->timeouts;
        if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) {
            Fail("WriteFile: the line cannot send everything and no write time-out is set: "
                 "the program would wait forever");
        }
    }
    std::string bytes(static_cast<const char *>(lpBuffer), sent);
    port->written += bytes;
    if (port->script.loopback) {
        size_t echo =
            port->script.echoBytes < 0 ? bytes.size() : static_cast<size_t>(port->script.echoBytes);
        const std::string &source = port->script.reply.empty() ? bytes : port->script.reply;
        std::string back = source.substr(0, echo < source.size() ? echo : source.size());
        if (echo > back.size()) {
            back.append(echo - back.size(), '\xFF');
        }
        port->received += back;
    }
    *lpNumberOfBytesWritten = sent;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    Api api(nullptr);
    DWORD access = 0;
    PortData *port = Enter("ReadFile", hFile, &access);
    if (lpNumberOfBytesRead) {
        *lpNumberOfBytesRead = 0;
    }
    if (!port) {
        return FALSE;
    }
    if (lpOverlapped || !lpNumberOfBytesRead) {
        Fail("ReadFile: a synchronous read needs a byte count and no OVERLAPPED");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(access & (GENERIC_READ | GENERIC_ALL))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!lpBuffer && nNumberOfBytesToRead) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    size_t available = port->received.size();
    size_t count = available < nNumberOfBytesToRead ? available : nNumberOfBytesToRead;
    const COMMTIMEOUTS &t = port->timeouts;
    bool returnsAtOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
    bool hasTotal = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
    if (count < nNumberOfBytesToRead && !returnsAtOnce && !hasTotal &&
        (t.ReadIntervalTimeout == 0 || count == 0)) {
        Fail("ReadFile: fewer bytes arrive than asked for and no read time-out ends the wait: "
             "the program would wait forever");
    }
    memcpy(lpBuffer, port->received.data(), count);
    port->received.erase(0, count);
    *lpNumberOfBytesRead = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Api api("CloseHandle");
    auto it = files.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == files.end()) {
        Fail("CloseHandle: not an open handle (closed twice?)");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto port = ports.find(it->second.port);
    if (port != ports.end()) {
        port->second.open = false;
        port->second.received.clear();
    }
    files.erase(it);
    return TRUE;
}

} // extern "C"
