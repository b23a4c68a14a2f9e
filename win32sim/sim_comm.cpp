// Serial ports reached through CreateFileA("\\\\.\\COMn"): a line setting and
// time-outs that outlive each opening, exclusive opening as the serial driver
// enforces it, and scripted transmission with an optional loopback plug.
#include "sim_internal.h"

#include <algorithm>
#include <map>

namespace sim {
namespace detail {
namespace {

struct PortData {
    Port script;
    PortState state;
    std::string received; // waiting in the receive buffer of the current opening
};

std::map<std::string, PortData> ports;
std::map<uintptr_t, std::string> files; // open handles and their ports
uintptr_t nextFile = 0x2000;

// A call on an open handle: counts it (a fallible one), applies a FailCall
// or FailNthFallible request and finds the port. NULL, with the last error
// set, when the call must fail.
PortData *Enter(Fn function, HANDLE h) {
    auto it = files.find(reinterpret_cast<uintptr_t>(h));
    bool fail = FallibleHit([&] {
        return std::string(FunctionName(function)) + " " +
               (it != files.end() ? it->second : std::string("(invalid)"));
    });
    if (HitSettingError(function))
        return nullptr;
    if (fail) {
        SetError(FallibleCommError());
        return nullptr;
    }
    if (it != files.end())
        return &ports[it->second];
    Fail(std::string(FunctionName(function)) + ": not an open file handle");
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
}

} // namespace

void ResetPorts() {
    ports.clear();
    files.clear();
}

} // namespace detail

using namespace detail;

void AddPort(const std::string &name, const Port &port) {
    PortData &data = ports[name] = PortData();
    data.script = port;
    // What the serial driver reports for a port nobody has set up: 1200
    // bits/s, 7 data bits, even parity, hardware and software flow control.
    DCB &dcb = data.state.dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 1200;
    dcb.fBinary = dcb.fParity = dcb.fOutxCtsFlow = dcb.fOutX = dcb.fInX = 1;
    dcb.fDtrControl = dcb.fRtsControl = 2; // handshake
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    data.state.timeouts = COMMTIMEOUTS{50, 0, 0, 0, 0};
    data.state.open = false;
    data.state.opens = 0;
}

PortState GetPort(const std::string &name) {
    auto it = ports.find(name);
    if (it != ports.end())
        return it->second.state;
    Fail("GetPort: no port " + name);
    return PortState();
}

std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    for (const auto &port : ports)
        names.push_back(port.first);
    return names;
}

int OpenFileHandleCount() {
    return static_cast<int>(files.size());
}

} // namespace sim

using namespace sim::detail;

extern "C" {

// Only devices exist here, named with the device prefix; the serial driver
// opens a port exclusively whatever the share mode asks.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)dwDesiredAccess;
    (void)dwShareMode;
    (void)lpSecurityAttributes;
    (void)dwCreationDisposition;
    (void)dwFlagsAndAttributes;
    (void)hTemplateFile;
    std::string path = lpFileName;
    bool fail = FallibleHit([&] { return "CreateFileA " + path; });
    if (HitSettingError(Fn::CreateFileA_))
        return INVALID_HANDLE_VALUE;
    if (fail) {
        SetError(FallibleCommError());
        return INVALID_HANDLE_VALUE;
    }
    auto it = path.compare(0, 4, "\\\\.\\") == 0 ? ports.find(path.substr(4)) : ports.end();
    if (it == ports.end()) {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    PortData &port = it->second;
    if (port.script.busy || port.state.open) {
        SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    port.state.open = true;
    ++port.state.opens;
    port.received.clear();
    uintptr_t handle = nextFile;
    nextFile += 4;
    files[handle] = it->first;
    return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
    PortData *port = Enter(Fn::GetCommState_, hFile);
    if (port && port->script.commStateError)
        SetError(port->script.commStateError);
    else if (port)
        *lpDCB = port->state.dcb;
    return port && !port->script.commStateError;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
    PortData *port = Enter(Fn::SetCommState_, hFile);
    if (port)
        port->state.dcb = *lpDCB;
    return port != nullptr;
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    PortData *port = Enter(Fn::GetCommTimeouts_, hFile);
    if (port)
        *lpCommTimeouts = port->state.timeouts;
    return port != nullptr;
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    PortData *port = Enter(Fn::SetCommTimeouts_, hFile);
    if (port)
        port->state.timeouts = *lpCommTimeouts;
    return port != nullptr;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    *lpNumberOfBytesWritten = 0;
    PortData *port = Enter(Fn::WriteFile_, hFile);
    if (!port)
        return FALSE;
    port->state.exchanges.push_back({port->state.dcb, port->state.timeouts});
    DWORD sent = nNumberOfBytesToWrite;
    if (port->script.writableBytes >= 0 && DWORD(port->script.writableBytes) < sent) {
        sent = DWORD(port->script.writableBytes);
        const COMMTIMEOUTS &t = port->state.timeouts;
        if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0)
            Fail("WriteFile: the line cannot send everything and no write time-out is set: "
                 "the program would wait forever");
    }
    std::string bytes(static_cast<const char *>(lpBuffer), sent);
    port->state.written += bytes;
    if (port->script.loopback)
        port->received += bytes.substr(0, size_t(port->script.echoBytes));
    *lpNumberOfBytesWritten = sent;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, void *lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    *lpNumberOfBytesRead = 0;
    PortData *port = Enter(Fn::ReadFile_, hFile);
    if (!port)
        return FALSE;
    port->state.exchanges.push_back({port->state.dcb, port->state.timeouts});
    size_t count = std::min(port->received.size(), size_t(nNumberOfBytesToRead));
    const COMMTIMEOUTS &t = port->state.timeouts;
    bool returnsAtOnce = t.ReadIntervalTimeout == 0xFFFFFFFF && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
    bool hasTotal = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
    if (count < nNumberOfBytesToRead && !returnsAtOnce && !hasTotal &&
        (t.ReadIntervalTimeout == 0 || count == 0))
        Fail("ReadFile: fewer bytes arrive than asked for and no read time-out ends the wait: "
             "the program would wait forever");
    memcpy(lpBuffer, port->received.data(), count);
    port->received.erase(0, count);
    *lpNumberOfBytesRead = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Count(Fn::CloseHandle_);
    auto it = files.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == files.end()) {
        Fail("CloseHandle: not an open handle (closed twice?)");
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ports[it->second].state.open = false;
    ports[it->second].received.clear();
    files.erase(it);
    return TRUE;
}

} // extern "C"
