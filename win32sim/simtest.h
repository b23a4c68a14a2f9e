// Test interface of the Linux stand-in for the Win32 subset that cardinst
// calls. Product code never includes this file; tests use it to seed and
// inspect the in-memory registry, drive dialogs, read message boxes, script
// serial ports and inject faults.
#ifndef WIN32SIM_SIMTEST_H
#define WIN32SIM_SIMTEST_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sim {

// Back to a fresh machine: empty registry (the HKLM root only), no
// windows, no message boxes, no handlers, no faults, no ports, empty message
// queue, last error 0, language English (0x409). Failures() is cleared too.
void Reset();

// Language the resource loader picks for strings and dialog templates:
// 0x409 (English) or 0x40C (French).
void SetLanguage(WORD language);

// Hides string `id` from LoadStringA (textOrNull NULL) or replaces its text
// (Windows-1252 bytes), in every language, until Reset().
void OverrideString(WORD id, const char *textOrNull);

// Problems the stand-in met that a real program would hang or crash on:
// an unexpected modal dialog or message box, a GetMessageA with nothing left
// to deliver, a dialog a handler left open, an unknown control message...
// Tests assert this is empty.
const std::vector<std::string> &Failures();

// ---- Registry. Paths are relative to HKEY_LOCAL_MACHINE, backslash
// separated, compared case-insensitively; subkeys enumerate in
// case-insensitive name order, as on Windows.
void RegSeedKey(const std::string &path); // creates every missing level
void RegSeedSz(const std::string &path, const std::string &name, const std::string &value);
void RegSeedDword(const std::string &path, const std::string &name, DWORD value);
// Any type and any bytes, e.g. a REG_SZ without its terminating NUL.
void RegSeedRaw(const std::string &path, const std::string &name, DWORD type,
                const std::string &bytes);
void RegRemoveKey(const std::string &path); // with its whole subtree
bool RegKeyExists(const std::string &path);
bool RegValueExists(const std::string &path, const std::string &name);
DWORD RegValueType(const std::string &path, const std::string &name); // REG_NONE if absent
std::string RegValueBytes(const std::string &path, const std::string &name);
std::string RegSz(const std::string &path, const std::string &name); // bytes up to the first NUL
DWORD RegDword(const std::string &path,
               const std::string &name);                      // 0xDEADBEEF if absent/not 4 bytes
std::vector<std::string> RegSubkeys(const std::string &path); // names as created, enum order
struct RegValue {
    std::string name;
    DWORD type;
    std::string bytes;
};
// In creation order; none when there is no key. Valid until the key changes.
const std::vector<RegValue> &RegValues(const std::string &path);
std::vector<std::string> RegValueNames(const std::string &path); // in creation order
int RegOpenHandleCount(); // HKEYs opened or created and not yet closed
// Changes made to the registry (keys made or deleted, values set) since
// Reset(), seeding included.
unsigned RegChangeCount();

// ---- Fault injection. The nth call (1-based, counted from this request)
// of the named function fails:
//  - registry functions ("RegOpenKeyExA", "RegEnumKeyExA", "RegQueryValueExA",
//    "RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA"): return `result`
//    as their status and do nothing;
//  - allocations ("malloc", "calloc", "realloc"): return NULL, last error as
//    it was; `result` unused;
//  - list and combo box messages by name ("LB_ADDSTRING", "LB_SETITEMDATA",
//    "CB_ADDSTRING", "CB_SETCURSEL", ...): the message is not carried out and
//    SendDlgItemMessageA/SendMessageA returns `result`;
//  - "CreateDialogParamA" (returns NULL), "DialogBoxParamA" (returns -1),
//    "FormatMessageA" (returns 0), "CreateFileA" (INVALID_HANDLE_VALUE),
//    "GetCommState", "SetCommState", "GetCommTimeouts", "SetCommTimeouts",
//    "WriteFile", "ReadFile" (FALSE): these set the last error to
//    `lastError` when it is nonzero.
// Several requests may be pending at once, for the same or other functions.
void FailCall(const std::string &function, int nth, LONG_PTR result, DWORD lastError = 0);
// Calls of a function (or control message by name) since Reset().
int CallCount(const std::string &function);

// ---- The fault sweep. Every call that Windows may fail counts as one
// fallible call, in one sequence for all kinds: the registry calls above,
// malloc and calloc, the list and combo box messages that add an item or take
// an index (LB_ADDSTRING, LB_SETITEMDATA, LB_GETITEMDATA, CB_ADDSTRING,
// CB_SETCURSEL), the comm calls (CreateFileA, GetCommState, SetCommState,
// GetCommTimeouts, SetCommTimeouts, WriteFile, ReadFile), CreateDialogParamA
// and DialogBoxParamA. The k-th of them since Reset() fails as Windows lets
// it fail:
//  - a registry call returns registryStatus and does nothing;
//  - malloc and calloc return NULL, last error as it was;
//  - an add returns LB_ERRSPACE/CB_ERRSPACE (out of space), last error as it
//    was;
//  - LB_SETITEMDATA and LB_GETITEMDATA return LB_ERR with the last error
//    ERROR_INVALID_INDEX, as user32's list box does for an index it does not
//    hold; CB_SETCURSEL returns CB_ERR and leaves the last error, as the
//    list box behind the combo box does;
//  - a comm call fails (INVALID_HANDLE_VALUE or FALSE) with commError as the
//    last error;
//  - CreateDialogParamA returns NULL and DialogBoxParamA -1, with the last
//    error ERROR_NOT_ENOUGH_MEMORY.
// k 0 fails nothing. Set again by each call; cleared by Reset().
void FailNthFallible(int k, LONG registryStatus, DWORD commError);
// The fallible calls since Reset(), each described by its function and what
// it names, e.g. "RegQueryValueExA Serial10000 Model size" (a size query),
// "malloc 12", "LB_ADDSTRING 101 1006" (template and control), "WriteFile
// COM3".
const std::vector<std::string> &FallibleCalls();
// Whether FallibleCalls() describes every call (the default after Reset())
// or, to save the time, only the one FailNthFallible makes fail, the others
// left empty.
void DescribeFallibleCalls(bool describe);
size_t FallibleCallCount(); // since Reset()
// Blocks that malloc and calloc gave the program since Reset() and that are
// not freed yet: once a test has released the program's state, its leaks.
int UnfreedBlocks();

// ---- System error texts used by FormatMessageA. Known codes have the
// Windows English texts with their trailing "\r\n"; unknown codes make
// FormatMessageA fail (0, last error 317), and so do texts with inserts
// such as %1 (last error 87). Tests may replace or add texts.
void SetSystemText(DWORD code, const std::string &text);
int LocalAllocCount(); // blocks from FormatMessageA not yet freed

// ---- Message boxes (with one OK button). Every MessageBoxA is recorded;
// while it is "open" the handler (if any) runs, with the owner disabled as
// on Windows. The handler returns the button pressed: IDOK.
struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
const std::vector<Box> &Boxes();
void ClearBoxes();
void OnMessageBox(std::function<int(const Box &)> handler); // empty function clears

// ---- Windows and dialogs. HWNDs of dialogs and their controls.
// DialogBoxParamA pops the first handler queued for its template and runs it
// after WM_INITDIALOG; the handler drives the dialog until it ends. With no
// handler queued, or a handler that leaves the dialog open, a failure is
// recorded and the dialog is ended with -3.
void OnDialog(int templateId, std::function<void(HWND dialog)> handler);
int PendingDialogHandlers();

HWND DialogOf(int templateId);     // the live dialog made from it, or NULL
HWND Control(HWND dialog, int id); // GetDlgItem
bool IsLive(HWND window);          // IsWindow
bool IsEnabled(HWND window);       // IsWindowEnabled
bool IsVisible(HWND window);
HWND Focus(); // control with the keyboard focus
HWND Owner(HWND window);
DWORD Style(HWND window);
std::string Text(HWND window); // caption or control text (a combo box's selected item)
std::string Text(HWND dialog, int id);
std::vector<int> ControlIds(HWND dialog); // template order

// Acting as the user. Each goes through the same path as on Windows and is
// refused (failure recorded) when the target or its dialog is disabled.
void Click(HWND dialog, int id);                  // a push button: WM_COMMAND(id, BN_CLICKED)
void DoubleClick(HWND dialog, int id, int index); // Select + LBN_DBLCLK notification
// User selection in a list or combo box, with LBN_SELCHANGE (lists with
// LBS_NOTIFY) or CBN_SELCHANGE.
void Select(HWND dialog, int id, int index);
void Type(HWND dialog, int id, const std::string &text); // replaces an edit box's text (an
                                                         // ES_NUMBER box keeps digits only)
// Dialog-manager keys, as IsDialogMessageA handles them: VK_ESCAPE gives
// command IDCANCEL, VK_RETURN the default button's command (or the focused
// push button's), VK_TAB moves the focus. Delivered at once.
void Key(HWND dialog, int vk);
// The caption's close box / Alt+F4: WM_SYSCOMMAND SC_CLOSE -> WM_CLOSE, and
// the default dialog handling turns an unhandled WM_CLOSE into IDCANCEL.
void CloseBox(HWND dialog);

// List and combo box contents as the user sees them.
std::vector<std::string> Items(HWND dialog, int id);
int Selection(HWND dialog, int id); // LB_ERR/CB_ERR when none
LONG_PTR ItemData(HWND dialog, int id, int index);

// ---- Message queue. GetMessageA takes posted messages in order; when the
// queue is empty it calls the idle handler once (which may post or act) and,
// if the queue is still empty and PostQuitMessage was not called, records a
// failure and returns 0 as for WM_QUIT. Modal dialogs and boxes deliver the
// posted messages by themselves after each user action.
void OnIdle(std::function<void()> handler);
void PostKey(HWND window, int vk);     // posts WM_KEYDOWN + WM_KEYUP for the focused control
void PostCommand(HWND window, int id); // posts WM_COMMAND(id, BN_CLICKED)
void PostCloseBox(HWND window);        // posts WM_SYSCOMMAND SC_CLOSE

// ---- Serial ports, reached by CreateFileA("\\\\.\\NAME"). A name that was
// never added, or a name without that prefix, opens with
// ERROR_FILE_NOT_FOUND.
struct Port {
    bool loopback = false;    // reads give back what was written
    int echoBytes = -1;       // with loopback: bytes returned (-1: all written)
    int writableBytes = -1;   // bytes that leave within the write time-out (-1: all)
    bool busy = false;        // open fails with ERROR_ACCESS_DENIED
    DWORD commStateError = 0; // GetCommState fails with this error when nonzero
};
void AddPort(const std::string &name, const Port &port);
struct CommSetting { // a line setting with its time-outs
    DCB dcb;
    COMMTIMEOUTS timeouts;
};
struct PortState { // what the port holds now
    DCB dcb;
    COMMTIMEOUTS timeouts;
    bool open;
    std::string written;                // every byte written, all opens together
    int opens;                          // successful CreateFileA calls
    std::vector<CommSetting> exchanges; // in force at each WriteFile and ReadFile, in order
};
PortState GetPort(const std::string &name);
std::vector<std::string> PortNames(); // those added, in name order
int OpenFileHandleCount();

// _vsnprintf called as a test would call snprintf: what the system's
// formatter returns, -1 for a cut or a conversion it does not take.
int SystemFormat(char *area, size_t size, const char *format, ...);

} // namespace sim

#endif
