// Checks of the Linux stand-in itself: that it behaves as Windows does for
// the calls the program makes, driven the way the program drives them.
#include <windows.h>

#include "resource.h"
#include "simtest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Sim : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }
    void TearDown() override {
        EXPECT_TRUE(sim::Failures().empty()) << Joined(sim::Failures());
        sim::Reset();
    }
    static std::string Joined(const std::vector<std::string> &lines) {
        std::string all;
        for (const auto &line : lines)
            all += line + "\n";
        return all;
    }
};

TEST_F(Sim, LoadStringACutsToTheBufferAndReportsMissingStrings) {
    char buffer[8];
    EXPECT_EQ(7, LoadStringA(NULL, IDS_INTERNAL_ERROR, buffer, sizeof buffer));
    EXPECT_STREQ("Interna", buffer);
    buffer[0] = 'x';
    EXPECT_EQ(0, LoadStringA(NULL, 29, buffer, sizeof buffer));
    EXPECT_EQ('\0', buffer[0]);
    sim::OverrideString(5, NULL);
    EXPECT_EQ(0, LoadStringA(NULL, 5, buffer, sizeof buffer));
    std::string big(600, 'a');
    sim::OverrideString(5, big.c_str());
    char large[500];
    EXPECT_EQ(499, LoadStringA(NULL, 5, large, sizeof large));
}

TEST_F(Sim, RegistryEnumeratesInCaseInsensitiveOrderAndChecksAccess) {
    const std::string root = "SYSTEM\\CurrentControlSet\\Services\\Serial\\Parameters";
    sim::RegSeedKey(root + "\\serial10001");
    sim::RegSeedKey(root + "\\Serial10000");
    sim::RegSeedKey(root + "\\_x");
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_QUERY_VALUE, &key));
    char name[30];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegEnumKeyExA(key, 0, name, &size, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key));
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        size = sizeof name;
        LONG status = RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(ERROR_SUCCESS, status);
        EXPECT_EQ(strlen(name), size);
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"Serial10000", "serial10001", "_x"}), names);
    size = 11; // "Serial10000" needs 12 with its NUL
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key, 0, name, &size, NULL, NULL, NULL, NULL));
    EXPECT_EQ(11u, size);
    EXPECT_EQ(1, sim::RegOpenHandleCount());
    RegCloseKey(key);
    EXPECT_EQ(0, sim::RegOpenHandleCount());
}

TEST_F(Sim, RegQueryValueExAReportsSizesAndReturnsDataAsStored) {
    sim::RegSeedRaw("K", "NoNul", REG_SZ, "COM3");
    sim::RegSeedSz("K", "WithNul", "COM4");
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "k", 0, KEY_QUERY_VALUE, &key));
    DWORD type = 99, size = 77;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", NULL, &type, NULL, &size));
    EXPECT_EQ(99u, type);
    EXPECT_EQ(77u, size);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "nonul", NULL, NULL, NULL, &size));
    EXPECT_EQ(4u, size);
    char data[8] = "xxxxxxx";
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "NoNul", NULL, &type, (LPBYTE)data, &size));
    EXPECT_EQ(0, memcmp(data, "COM3x", 5)); // no room: no NUL added
    size = 2;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "WithNul", NULL, &type, (LPBYTE)data, &size));
    EXPECT_EQ(5u, size);
    EXPECT_EQ((DWORD)REG_SZ, type);
    RegCloseKey(key);
}

TEST_F(Sim, RegistryWritesAndDeletesLikeWindows) {
    sim::RegSeedKey("P");
    HKEY parent = NULL, sub = NULL;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "P", 0, KEY_CREATE_SUB_KEY, &parent));
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(parent, "Serial10000", 0, (LPSTR) "", REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &sub, &disposition));
    EXPECT_EQ((DWORD)REG_CREATED_NEW_KEY, disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(sub, "DosDevices", 0, REG_SZ, (const BYTE *)"COM3", 5));
    DWORD irq = 10;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(sub, "Interrupt", 0, REG_DWORD, (const BYTE *)&irq, 4));
    EXPECT_EQ("COM3", sim::RegSz("P\\Serial10000", "DosDevices"));
    EXPECT_EQ(10u, sim::RegDword("P\\Serial10000", "Interrupt"));
    EXPECT_EQ((std::vector<std::string>{"DosDevices", "Interrupt"}),
              sim::RegValueNames("P\\Serial10000"));
    HKEY again = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, "SERIAL10000", 0, (LPSTR) "", 0,
                                             KEY_ALL_ACCESS, NULL, &again, &disposition));
    EXPECT_EQ((DWORD)REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(again);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(parent, "Serial99999"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "Serial10000"));
    EXPECT_FALSE(sim::RegKeyExists("P\\Serial10000"));
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegSetValueExA(sub, "PortAddress", 0, REG_DWORD, (const BYTE *)&irq, 4));
    RegCloseKey(sub);
    sim::RegSeedKey("P\\Busy\\Child");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(parent, "Busy"));
    RegCloseKey(parent);
    EXPECT_EQ(0, sim::RegOpenHandleCount());
}

TEST_F(Sim, RegistryFaultsReturnTheRequestedStatusWithoutTouchingTheLastError) {
    sim::RegSeedKey("P");
    SetLastError(1234);
    sim::FailCall("RegOpenKeyExA", 2, ERROR_ACCESS_DENIED);
    HKEY key = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "P", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "P", 0, KEY_READ, &key));
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_EQ(2, sim::CallCount("RegOpenKeyExA"));
}

TEST_F(Sim, FormatMessageAAllocatesTheSystemText) {
    char *text = NULL;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL, 5,
                             LANG_USER_DEFAULT, (LPSTR)&text, 0, NULL);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("Access is denied.\r\n", text);
    EXPECT_EQ(strlen(text), n);
    EXPECT_EQ(1, sim::LocalAllocCount());
    EXPECT_EQ(NULL, LocalFree(text));
    EXPECT_EQ(0, sim::LocalAllocCount());
    char *untouched = (char *)"sentinel";
    char *p = untouched;
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL,
                                 (DWORD)-1, LANG_USER_DEFAULT, (LPSTR)&p, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_MR_MID_NOT_FOUND, GetLastError());
    EXPECT_EQ(untouched, p);
    EXPECT_EQ(0, sim::LocalAllocCount());
}

TEST_F(Sim, HeapFaultsHitTheNthAllocation) {
    sim::FailCall("malloc", 2, 0);
    void *a = malloc(10);
    void *b = malloc(10);
    void *c = calloc(2, 5);
    EXPECT_NE(nullptr, a);
    EXPECT_EQ(nullptr, b);
    EXPECT_NE(nullptr, c);
    EXPECT_EQ(2, sim::UnfreedBlocks());
    free(a);
    free(c);
    EXPECT_EQ(0, sim::UnfreedBlocks());
    EXPECT_EQ(2, sim::CallCount("malloc"));
    EXPECT_EQ(1, sim::CallCount("calloc"));
}

// ---- Dialogs, driven by procedures written the way the program writes them.
struct Trace {
    std::vector<std::string> commands;
    int destroyed = 0;
};
Trace trace;

INT_PTR CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(window, IDC_CARDLIST, LB_ADDSTRING, 0, (LPARAM) "COM3: a");
        SendDlgItemMessageA(window, IDC_CARDLIST, LB_ADDSTRING, 0, (LPARAM) "COM10: b");
        SendDlgItemMessageA(window, IDC_CARDLIST, LB_ADDSTRING, 0, (LPARAM) "COM1: c");
        return 1;
    case WM_COMMAND:
        trace.commands.push_back(std::to_string(LOWORD(wParam)) + "/" +
                                 std::to_string(HIWORD(wParam)));
        if (LOWORD(wParam) == IDC_QUIT)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ++trace.destroyed;
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}

TEST_F(Sim, ModelessDialogSortsItsListAndRunsTheMessageLoop) {
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(sim::IsVisible(main));
    EXPECT_EQ(sim::Control(main, IDC_ADD), sim::Focus());
    EXPECT_EQ((std::vector<std::string>{"COM1: c", "COM10: b", "COM3: a"}),
              sim::Items(main, IDC_CARDLIST));

    sim::PostKey(main, VK_TAB); // to the list box
    sim::PostKey(main, VK_RETURN);
    sim::PostCloseBox(main);
    MSG msg;
    int loops = 0;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        ++loops;
        if (!IsDialogMessageA(main, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(0, (int)msg.wParam);
    EXPECT_GE(loops, 5);
    // Tab moves to the list box, Enter on it gives the default button, the
    // close box gives 2.
    EXPECT_EQ((std::vector<std::string>{"1001/0", "2/0"}), trace.commands);
    EXPECT_EQ(1, trace.destroyed);
    EXPECT_FALSE(sim::IsLive(main));
    EXPECT_FALSE(IsDialogMessageA(main, &msg));
}

INT_PTR CALLBACK PropsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(window, IDC_FIRSTCOM, (const char *)lParam);
        for (const char *irq : {"3", "4", "5"})
            SendDlgItemMessageA(window, IDC_IRQ1, CB_ADDSTRING, 0, (LPARAM)irq);
        SendDlgItemMessageA(window, IDC_IRQ1, CB_SETCURSEL, 1, 0);
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PROP_ADD) {
            UINT com = GetDlgItemInt(window, IDC_FIRSTCOM, NULL, FALSE);
            UINT irq = GetDlgItemInt(window, IDC_IRQ1, NULL, FALSE);
            if (com < 1 || com > 255) {
                MessageBoxA(NULL, "bad", "Configuration error", MB_ICONERROR);
                return 1;
            }
            EndDialog(window, (INT_PTR)(com * 100 + irq));
        } else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(window, -2);
        return 1;
    default:
        return 0;
    }
}

TEST_F(Sim, ModalDialogDisablesItsOwnerAndRefusesInputBelowIt) {
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    ASSERT_NE(nullptr, main);
    bool ran = false;
    sim::OnDialog(IDD_MPB, [&](HWND dialog) {
        ran = true;
        EXPECT_FALSE(sim::IsEnabled(main));
        EXPECT_EQ(main, sim::Owner(dialog));
        EXPECT_EQ("7", sim::Text(dialog, IDC_FIRSTCOM));
        EXPECT_EQ(sim::Control(dialog, IDC_FIRSTCOM), sim::Focus());
        EXPECT_EQ("4", sim::Text(dialog, IDC_IRQ1));
        sim::Click(main, IDC_TEST); // refused: below a modal dialog
        sim::Click(dialog, IDC_MPB_CANCEL);
    });
    EXPECT_EQ(-2, DialogBoxParamA(NULL, MAKEINTRESOURCEA(IDD_MPB), main, PropsProc, (LPARAM) "7"));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(trace.commands.empty());
    ASSERT_EQ(1u, sim::Failures().size());
    EXPECT_NE(std::string::npos, sim::Failures()[0].find("disabled"));
    sim::Reset();
}

TEST_F(Sim, ModalDialogTypingValidationAndKeys) {
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    sim::OnDialog(IDD_MPB, [&](HWND dialog) {
        sim::OnMessageBox([](const sim::Box &box) {
            EXPECT_EQ("bad", box.text);
            return IDOK;
        });
        sim::Type(dialog, IDC_FIRSTCOM, "2x56"); // ES_NUMBER drops the x
        EXPECT_EQ("256", sim::Text(dialog, IDC_FIRSTCOM));
        sim::Key(dialog, VK_RETURN); // Add, refused by the check
        EXPECT_EQ(1u, sim::Boxes().size());
        EXPECT_TRUE(sim::IsLive(dialog));
        sim::Type(dialog, IDC_FIRSTCOM, "12");
        sim::Select(dialog, IDC_IRQ1, 2);
        sim::Click(dialog, IDC_PROP_ADD);
    });
    EXPECT_EQ(1205,
              DialogBoxParamA(NULL, MAKEINTRESOURCEA(IDD_MPB), main, PropsProc, (LPARAM) "7"));
    EXPECT_TRUE(sim::IsEnabled(main));
    EXPECT_EQ(sim::Control(main, IDC_ADD), sim::Focus());
    EXPECT_EQ(0, sim::PendingDialogHandlers());

    // The close box of a dialog whose procedure leaves WM_CLOSE alone gives
    // IDCANCEL through the default handling; Escape gives it directly.
    sim::OnDialog(IDD_MPB, [](HWND dialog) { sim::CloseBox(dialog); });
    EXPECT_EQ(-2, DialogBoxParamA(NULL, MAKEINTRESOURCEA(IDD_MPB), main, PropsProc, (LPARAM) ""));
    sim::OnDialog(IDD_MPB, [](HWND dialog) { sim::Key(dialog, VK_ESCAPE); });
    EXPECT_EQ(-2, DialogBoxParamA(NULL, MAKEINTRESOURCEA(IDD_MPB), main, PropsProc, (LPARAM) ""));
    DestroyWindow(main);
}

TEST_F(Sim, GetDlgItemIntFollowsWindows) {
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    struct Case {
        const char *text;
        UINT value;
        BOOL translated;
    } cases[] = {{"12", 12, TRUE},        {"  12  ", 12, TRUE}, {"12a", 0, FALSE},
                 {"", 0, FALSE},          {"-3", 0, FALSE},     {"4294967295", 4294967295u, TRUE},
                 {"4294967296", 0, FALSE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SetDlgItemTextA(main, IDC_ADD, c.text);
        BOOL ok = -1;
        EXPECT_EQ(c.value, GetDlgItemInt(main, IDC_ADD, &ok, FALSE));
        EXPECT_EQ(c.translated, ok);
    }
    DestroyWindow(main);
}

INT_PTR CALLBACK SelfDestroyProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        DestroyWindow(window);
        return 1;
    }
    return 0;
}

TEST_F(Sim, DialogDestroyedDuringInitLeavesADeadHandle) {
    HWND gone = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, SelfDestroyProc, 0);
    EXPECT_NE(nullptr, gone);
    EXPECT_FALSE(sim::IsLive(gone));
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    EXPECT_EQ(-1, DialogBoxParamA(NULL, MAKEINTRESOURCEA(IDD_MODELS), main, SelfDestroyProc, 0));
    EXPECT_FALSE(sim::IsEnabled(main)); // as on Windows: nobody enables the owner again
    EnableWindow(main, TRUE);
    DestroyWindow(main);
}

TEST_F(Sim, ComboBoxSelectionRules) {
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    sim::OnDialog(IDD_RS, [](HWND dialog) {
        EXPECT_EQ(CB_ERR, SendDlgItemMessageA(dialog, IDC_IRQ2, CB_SETCURSEL, 0, 0));
        SendDlgItemMessageA(dialog, IDC_IRQ2, CB_ADDSTRING, 0, (LPARAM) "10");
        EXPECT_EQ(0, SendDlgItemMessageA(dialog, IDC_IRQ2, CB_SETCURSEL, 0, 0));
        EXPECT_EQ(CB_ERR, SendDlgItemMessageA(dialog, IDC_IRQ2, CB_SETCURSEL, 5, 0));
        EXPECT_EQ(CB_ERR, SendDlgItemMessageA(dialog, IDC_IRQ2, CB_GETCURSEL, 0, 0));
        EXPECT_EQ(0u, GetDlgItemInt(dialog, IDC_IRQ2, NULL, FALSE));
        sim::FailCall("CB_ADDSTRING", 1, CB_ERRSPACE);
        EXPECT_EQ(CB_ERRSPACE,
                  SendDlgItemMessageA(dialog, IDC_IRQ2, CB_ADDSTRING, 0, (LPARAM) "11"));
        EXPECT_EQ(1, SendDlgItemMessageA(dialog, IDC_IRQ2, CB_GETCOUNT, 0, 0));
        EndDialog(dialog, 0);
    });
    EXPECT_EQ(0, DialogBoxParamA(NULL, MAKEINTRESOURCEA(IDD_RS), main, PropsProc, (LPARAM) ""));
    DestroyWindow(main);
}

TEST_F(Sim, MessageBoxDisablesItsOwnerWhileOpen) {
    trace = Trace();
    HWND main = CreateDialogParamA(NULL, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainProc, 0);
    bool ownerEnabled = true;
    sim::OnMessageBox([&](const sim::Box &) {
        ownerEnabled = sim::IsEnabled(main);
        return IDOK;
    });
    EXPECT_EQ(IDOK, MessageBoxA(main, "text", "caption", MB_ICONWARNING));
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(sim::IsEnabled(main));
    EXPECT_EQ(IDOK, MessageBoxA(NULL, "free", "caption", MB_ICONERROR));
    ASSERT_EQ(2u, sim::Boxes().size());
    EXPECT_EQ(main, sim::Boxes()[0].owner);
    EXPECT_EQ((UINT)MB_ICONWARNING, sim::Boxes()[0].type);
    EXPECT_EQ(nullptr, sim::Boxes()[1].owner);
    DestroyWindow(main);
}

TEST_F(Sim, SerialPortsKeepTheirSettingAndEchoThroughALoopback) {
    sim::Port port;
    port.loopback = true;
    sim::AddPort("COM10", port);
    sim::PortState before = sim::GetPort("COM10");
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("COM10", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    HANDLE h = CreateFileA("\\\\.\\COM10", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\.\\COM10", GENERIC_READ | GENERIC_WRITE, 0,
                                                NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    DCB dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    DCB saved = dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    ASSERT_TRUE(SetCommState(h, &dcb));
    COMMTIMEOUTS timeouts;
    ASSERT_TRUE(GetCommTimeouts(h, &timeouts));
    COMMTIMEOUTS savedTimeouts = timeouts;
    timeouts.ReadTotalTimeoutConstant = 300;
    timeouts.WriteTotalTimeoutConstant = 300;
    ASSERT_TRUE(SetCommTimeouts(h, &timeouts));
    const char line[] = "The quick brown fox jumps over lazy dog\r\n";
    DWORD written = 0, read = 0;
    ASSERT_TRUE(WriteFile(h, line, 41, &written, NULL));
    EXPECT_EQ(41u, written);
    char back[42];
    ASSERT_TRUE(ReadFile(h, back, 42, &read, NULL));
    EXPECT_EQ(41u, read);
    EXPECT_EQ(0, memcmp(back, line, 41));
    SetCommState(h, &saved);
    SetCommTimeouts(h, &savedTimeouts);
    EXPECT_TRUE(CloseHandle(h));
    sim::PortState after = sim::GetPort("COM10");
    EXPECT_EQ(0, memcmp(&before.dcb, &after.dcb, sizeof(DCB)));
    EXPECT_EQ(0, memcmp(&before.timeouts, &after.timeouts, sizeof(COMMTIMEOUTS)));
    EXPECT_EQ(std::string(line, 41), after.written);
    EXPECT_EQ(1, after.opens);
    EXPECT_FALSE(after.open);
    EXPECT_EQ(0, sim::OpenFileHandleCount());
}

TEST_F(Sim, SerialWriteWithoutTimeoutThatCannotFinishIsReported) {
    sim::Port port;
    port.writableBytes = 3;
    sim::AddPort("COM5", port);
    HANDLE h = CreateFileA("\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "abcdef", 6, &written, NULL));
    EXPECT_EQ(3u, written);
    EXPECT_EQ(1u, sim::Failures().size());
    CloseHandle(h);
    sim::Reset();
}

} // namespace

// Conversions that the system formatter of older Windows reads otherwise
// (or not at all) are refused rather than formatted the Linux way.
TEST_F(Sim, SystemFormatterTakesOnlyPortableConversions) {
    char area[32];
    EXPECT_EQ(25, sim::SystemFormat(area, sizeof area, "%s|%.2s|%-3s|%d|%ld|%x|%05d|%%", "a", "bcd",
                                    "e", -1, 2L, 0x3f8u, 42));
    EXPECT_STREQ("a|bc|e  |-1|2|3f8|00042|%", area);
    for (const char *format : {"%zu", "%lld", "%I64d", "%n", "%p", "%5.2f", "%"}) {
        SCOPED_TRACE(format);
        sim::Reset();
        EXPECT_EQ(-1, sim::SystemFormat(area, sizeof area, format));
        EXPECT_EQ(1u, sim::Failures().size());
    }
    sim::Reset();
}
