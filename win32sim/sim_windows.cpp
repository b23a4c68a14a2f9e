// Windows, dialogs and their controls, the dialog manager's keyboard
// handling, message boxes and the thread's message queue, plus the test API
// that acts as the user.
#include "sim_internal.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace sim {
namespace detail {
namespace {

struct Item {
    std::string text;
    LONG_PTR data;
};

struct Window {
    HWND hwnd = nullptr;
    bool isDialog = false;
    bool live = true;
    // Dialogs
    int templateId = 0;
    HWND owner = nullptr;
    DLGPROC proc = nullptr;
    bool modal = false;
    bool ended = false;
    bool destroying = false;
    INT_PTR result = 0;
    int defId = IDOK;
    HWND savedFocus = nullptr;
    LONG_PTR msgResult = 0;
    LONG_PTR dlgUser = 0;
    std::vector<HWND> children; // template order
    // Controls
    HWND parent = nullptr;
    int id = 0;
    std::vector<Item> items;
    int selection = -1;
    int check = 0;
    size_t textLimit = 32767;
    // Both
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    LONG_PTR userData = 0;
};

struct ModalFrame {
    bool isBox;
    HWND dialog;
};

std::map<uintptr_t, std::unique_ptr<Window>> windows; // live and destroyed, until Reset
uintptr_t nextWindow = 0x10010;
HWND focus = nullptr;
HWND active = nullptr;
std::vector<ModalFrame> modalStack;
std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
std::vector<Box> boxes;
std::function<int(const Box &)> boxHandler;
std::map<int, std::deque<std::function<void(HWND)>>> dialogHandlers;
std::function<void()> idleHandler;
int boxDepth = 0;

Window *W(HWND h) {
    auto it = windows.find(reinterpret_cast<uintptr_t>(h));
    if (it == windows.end() || !it->second->live) {
        return nullptr;
    }
    return it->second.get();
}

Window *NewWindow() {
    auto w = std::make_unique<Window>();
    w->hwnd = reinterpret_cast<HWND>(nextWindow);
    nextWindow += 4;
    Window *raw = w.get();
    windows[reinterpret_cast<uintptr_t>(raw->hwnd)] = std::move(w);
    return raw;
}

std::string Hex(uintptr_t v) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string Describe(HWND h) {
    Window *w = W(h);
    if (!w) {
        return "window " + Hex(reinterpret_cast<uintptr_t>(h));
    }
    if (w->isDialog) {
        return "dialog " + std::to_string(w->templateId);
    }
    Window *d = W(w->parent);
    return w->className + " " + std::to_string(w->id) + " of dialog " +
           std::to_string(d ? d->templateId : 0);
}

// The dialog a window belongs to: itself for a dialog, its parent for a
// control.
Window *DialogOfWindow(HWND h) {
    Window *w = W(h);
    if (!w) {
        return nullptr;
    }
    return w->isDialog ? w : W(w->parent);
}

bool IsChildOf(HWND child, HWND dialog) {
    Window *w = W(child);
    return w && !w->isDialog && w->parent == dialog;
}

bool IsPushButton(const Window *w) {
    DWORD type = w->style & BS_TYPEMASK;
    return w->className == "Button" && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

bool Usable(const Window *w) {
    return (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

HWND FirstTabItem(const Window *dialog) {
    for (HWND c : dialog->children) {
        Window *w = W(c);
        if (w && Usable(w) && (w->style & WS_TABSTOP)) {
            return c;
        }
    }
    for (HWND c : dialog->children) {
        Window *w = W(c);
        if (w && Usable(w)) {
            return c;
        }
    }
    return nullptr;
}

HWND NextTabItem(const Window *dialog, HWND from) {
    const std::vector<HWND> &kids = dialog->children;
    size_t start = 0;
    for (size_t i = 0; i < kids.size(); ++i) {
        if (kids[i] == from) {
            start = i + 1;
        }
    }
    for (size_t k = 0; k < kids.size(); ++k) {
        HWND c = kids[(start + k) % kids.size()];
        Window *w = W(c);
        if (w && Usable(w) && (w->style & WS_TABSTOP)) {
            return c;
        }
    }
    return nullptr;
}

std::string MessageName(UINT msg) {
    static const std::map<UINT, const char *> names = {
        {WM_SETTEXT, "WM_SETTEXT"},
        {WM_GETTEXT, "WM_GETTEXT"},
        {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
        {WM_SETFONT, "WM_SETFONT"},
        {WM_GETFONT, "WM_GETFONT"},
        {WM_KEYDOWN, "WM_KEYDOWN"},
        {WM_KEYUP, "WM_KEYUP"},
        {WM_CHAR, "WM_CHAR"},
        {BM_GETCHECK, "BM_GETCHECK"},
        {BM_SETCHECK, "BM_SETCHECK"},
        {BM_CLICK, "BM_CLICK"},
        {EM_SETSEL, "EM_SETSEL"},
        {EM_LIMITTEXT, "EM_LIMITTEXT"},
        {LB_ADDSTRING, "LB_ADDSTRING"},
        {LB_INSERTSTRING, "LB_INSERTSTRING"},
        {LB_DELETESTRING, "LB_DELETESTRING"},
        {LB_RESETCONTENT, "LB_RESETCONTENT"},
        {LB_SETCURSEL, "LB_SETCURSEL"},
        {LB_GETCURSEL, "LB_GETCURSEL"},
        {LB_GETTEXT, "LB_GETTEXT"},
        {LB_GETTEXTLEN, "LB_GETTEXTLEN"},
        {LB_GETCOUNT, "LB_GETCOUNT"},
        {LB_FINDSTRING, "LB_FINDSTRING"},
        {LB_GETITEMDATA, "LB_GETITEMDATA"},
        {LB_SETITEMDATA, "LB_SETITEMDATA"},
        {LB_FINDSTRINGEXACT, "LB_FINDSTRINGEXACT"},
        {CB_ADDSTRING, "CB_ADDSTRING"},
        {CB_DELETESTRING, "CB_DELETESTRING"},
        {CB_GETCOUNT, "CB_GETCOUNT"},
        {CB_GETCURSEL, "CB_GETCURSEL"},
        {CB_GETLBTEXT, "CB_GETLBTEXT"},
        {CB_GETLBTEXTLEN, "CB_GETLBTEXTLEN"},
        {CB_INSERTSTRING, "CB_INSERTSTRING"},
        {CB_RESETCONTENT, "CB_RESETCONTENT"},
        {CB_FINDSTRING, "CB_FINDSTRING"},
        {CB_SETCURSEL, "CB_SETCURSEL"},
        {CB_SHOWDROPDOWN, "CB_SHOWDROPDOWN"},
        {CB_GETITEMDATA, "CB_GETITEMDATA"},
        {CB_SETITEMDATA, "CB_SETITEMDATA"},
        {CB_FINDSTRINGEXACT, "CB_FINDSTRINGEXACT"},
    };
    auto it = names.find(msg);
    return it == names.end() ? "message " + Hex(msg) : it->second;
}

// ---- Sorting of list items, close to lstrcmpi's word sort: case is
// ignored, hyphens and apostrophes count only to break ties, punctuation
// sorts before digits and digits before letters; accented letters sort with
// their base letter, then by accent.
void SortWeight(unsigned char c, int *primary, int *accent) {
    static const char punctuation[] = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";
    static const char bases[] = "AAAAAAACEEEEIIIIDNOOOOO*OUUUUYTS"  // C0-DF
                                "AAAAAAACEEEEIIIIDNOOOOO/OUUUUYTY"; // E0-FF
    *accent = 0;
    if (c >= '0' && c <= '9') {
        *primary = 1000 + (c - '0');
        return;
    }
    if (c >= 'a' && c <= 'z') {
        c = static_cast<unsigned char>(c - 'a' + 'A');
    }
    if (c >= 'A' && c <= 'Z') {
        *primary = 2000 + (c - 'A') * 4;
        return;
    }
    if (c >= 0xC0 && bases[c - 0xC0] >= 'A' && bases[c - 0xC0] <= 'Z') {
        *primary = 2000 + (bases[c - 0xC0] - 'A') * 4;
        *accent = c >= 0xE0 ? c - 0x20 : c;
        return;
    }
    switch (c) {
    case 0x8A:
    case 0x9A:
        *primary = 2000 + ('S' - 'A') * 4;
        *accent = 0x8A;
        return;
    case 0x8E:
    case 0x9E:
        *primary = 2000 + ('Z' - 'A') * 4;
        *accent = 0x8E;
        return;
    case 0x8C:
    case 0x9C:
        *primary = 2000 + ('O' - 'A') * 4 + 1;
        return;
    case 0x9F:
        *primary = 2000 + ('Y' - 'A') * 4;
        *accent = 0x9F;
        return;
    default:
        break;
    }
    const char *p = c ? strchr(punctuation, static_cast<char>(c)) : nullptr;
    *primary = p ? 100 + static_cast<int>(p - punctuation) : 500 + c;
}

int CompareItems(const std::string &a, const std::string &b) {
    auto ignorable = [](unsigned char c) { return c == '-' || c == '\''; };
    std::vector<int> pa, pb, aa, ab;
    for (unsigned char c : a) {
        if (!ignorable(c)) {
            int p, x;
            SortWeight(c, &p, &x);
            pa.push_back(p);
            aa.push_back(x);
        }
    }
    for (unsigned char c : b) {
        if (!ignorable(c)) {
            int p, x;
            SortWeight(c, &p, &x);
            pb.push_back(p);
            ab.push_back(x);
        }
    }
    if (pa != pb) {
        return pa < pb ? -1 : 1;
    }
    if (aa != ab) {
        return aa < ab ? -1 : 1;
    }
    std::vector<int> ia, ib;
    for (unsigned char c : a) {
        ia.push_back(ignorable(c) ? c : 0);
    }
    for (unsigned char c : b) {
        ib.push_back(ignorable(c) ? c : 0);
    }
    if (ia != ib) {
        return ia < ib ? -1 : 1;
    }
    return 0;
}

// ---- Messages
LRESULT CallDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ControlMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam);

LRESULT Send(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = W(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->isDialog) {
        return CallDialog(h, msg, wParam, lParam);
    }
    return ControlMessage(w, msg, wParam, lParam);
}

void Notify(HWND control, WORD code) {
    Window *w = W(control);
    if (!w || !W(w->parent)) {
        return;
    }
    Send(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

void FocusNotify(HWND h, bool gained) {
    Window *w = W(h);
    if (!w || w->isDialog) {
        return;
    }
    if (w->className == "Edit") {
        Notify(h, gained ? EN_SETFOCUS : EN_KILLFOCUS);
    } else if (w->className == "ComboBox") {
        Notify(h, gained ? CBN_SETFOCUS : CBN_KILLFOCUS);
    } else if (w->className == "ListBox" && (w->style & LBS_NOTIFY)) {
        Notify(h, gained ? LBN_SETFOCUS : LBN_KILLFOCUS);
    } else if (w->className == "Button" && (w->style & BS_NOTIFY)) {
        Notify(h, gained ? BN_SETFOCUS : BN_KILLFOCUS);
    }
}

void SetFocusTo(HWND h) {
    HWND old = focus;
    if (old == h) {
        return;
    }
    focus = h;
    FocusNotify(old, false);
    if (focus == h) {
        FocusNotify(h, true);
    }
}

// Makes a top-level window the active one, remembering where the focus was
// in the one it replaces.
void Deactivate() {
    Window *a = W(active);
    if (a && (focus == active || IsChildOf(focus, active))) {
        a->savedFocus = focus;
    }
}

void Reactivate(HWND h) {
    Window *w = W(h);
    if (!w || (w->style & WS_DISABLED)) {
        active = nullptr;
        SetFocusTo(nullptr);
        return;
    }
    active = h;
    HWND target = w->savedFocus;
    Window *t = W(target);
    if (!t || !IsChildOf(target, h) || !Usable(t)) {
        target = FirstTabItem(w);
    }
    SetFocusTo(target ? target : h);
}

LRESULT DefWindow(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = W(h);
    if (!w) {
        return 0;
    }
    switch (msg) {
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
        return TRUE;
    case WM_GETTEXT: {
        char *buffer = reinterpret_cast<char *>(lParam);
        if (!buffer || wParam == 0) {
            return 0;
        }
        size_t n = w->text.size() < wParam - 1 ? w->text.size() : wParam - 1;
        memcpy(buffer, w->text.data(), n);
        buffer[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            Send(h, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(h);
        return 0;
    default:
        return 0;
    }
}

// DefDlgProc: the dialog procedure first, then the default dialog handling
// for what it left unhandled.
LRESULT CallDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = W(dialog);
    if (!w) {
        return 0;
    }
    w->msgResult = 0;
    INT_PTR r = 0;
    if (w->proc) {
        Callout callout;
        r = w->proc(dialog, msg, wParam, lParam);
    }
    w = W(dialog);
    if (!r && w) {
        switch (msg) {
        case WM_CLOSE: {
            // A disabled Cancel button means the dialog cannot be cancelled.
            HWND cancel = nullptr;
            for (HWND c : w->children) {
                Window *cw = W(c);
                if (cw && cw->id == IDCANCEL) {
                    cancel = c;
                    break;
                }
            }
            Window *cw = W(cancel);
            if (cw && (cw->style & WS_DISABLED)) {
                return 0;
            }
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case DM_GETDEFID:
            if (w->ended) {
                return 0;
            }
            return MAKELONG(w->defId, DC_HASDEFID);
        case DM_SETDEFID:
            if (!w->ended) {
                w->defId = static_cast<int>(wParam);
            }
            return 1;
        case WM_NEXTDLGCTL: {
            HWND next = lParam ? reinterpret_cast<HWND>(wParam) : NextTabItem(w, focus);
            if (next) {
                SetFocusTo(next);
            }
            return 0;
        }
        case WM_INITDIALOG:
            break;
        default:
            return DefWindow(dialog, msg, wParam, lParam);
        }
    }
    if (msg == WM_INITDIALOG) {
        return r;
    }
    return w ? w->msgResult : 0;
}

LRESULT ListOrComboAdd(Window *w, bool sorted, int at, const char *text, bool isList) {
    LRESULT err = isList ? LB_ERR : CB_ERR;
    if (!text) {
        Fail(std::string(isList ? "LB_ADDSTRING" : "CB_ADDSTRING") + " without a text");
        return err;
    }
    int pos;
    int count = static_cast<int>(w->items.size());
    if (at >= 0) {
        if (at > count) {
            return err;
        }
        pos = at;
    } else if (sorted) {
        int lo = 0, hi = count;
        pos = -1;
        while (lo != hi) {
            int mid = (lo + hi) / 2;
            int c = CompareItems(text, w->items[static_cast<size_t>(mid)].text);
            if (c == 0) {
                pos = mid;
                break;
            }
            if (c < 0) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        if (pos < 0) {
            pos = hi;
        }
    } else {
        pos = count;
    }
    w->items.insert(w->items.begin() + pos, Item{text, 0});
    if (w->selection >= pos) {
        ++w->selection;
    }
    return pos;
}

int FindItem(const Window *w, WPARAM start, const char *text, bool exact) {
    if (!text || w->items.empty()) {
        return -1;
    }
    int count = static_cast<int>(w->items.size());
    int first = static_cast<int>(static_cast<INT_PTR>(start));
    if (first < -1 || first >= count) {
        first = -1;
    }
    std::string want = text;
    for (int k = 1; k <= count; ++k) {
        const std::string &item = w->items[static_cast<size_t>((first + k) % count)].text;
        std::string head = exact ? item : item.substr(0, want.size());
        if ((exact || item.size() >= want.size()) && EqualNoCase(head, want)) {
            return (first + k) % count;
        }
    }
    return -1;
}

LRESULT CopyItem(const Window *w, WPARAM index, LPARAM buffer, LRESULT err) {
    if (static_cast<INT_PTR>(index) < 0 || index >= w->items.size()) {
        return err;
    }
    const std::string &text = w->items[index].text;
    if (!buffer) {
        Fail("LB_GETTEXT/CB_GETLBTEXT without a buffer");
        return err;
    }
    memcpy(reinterpret_cast<char *>(buffer), text.c_str(), text.size() + 1);
    return static_cast<LRESULT>(text.size());
}

LRESULT ListBoxMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam, bool *known) {
    *known = true;
    int count = static_cast<int>(w->items.size());
    INT_PTR index = static_cast<INT_PTR>(wParam);
    switch (msg) {
    case LB_ADDSTRING:
        return ListOrComboAdd(w, (w->style & LBS_SORT) != 0, -1,
                              reinterpret_cast<const char *>(lParam), true);
    case LB_INSERTSTRING:
        return ListOrComboAdd(w, false, index < 0 ? count : static_cast<int>(index),
                              reinterpret_cast<const char *>(lParam), true);
    case LB_DELETESTRING:
        if (index < 0 || index >= count) {
            return LB_ERR;
        }
        w->items.erase(w->items.begin() + index);
        if (w->selection == index) {
            w->selection = -1;
        } else if (w->selection > index) {
            --w->selection;
        }
        return static_cast<LRESULT>(w->items.size());
    case LB_RESETCONTENT:
        w->items.clear();
        w->selection = -1;
        return 0;
    case LB_SETCURSEL:
        if (w->style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
            return LB_ERR;
        }
        if (index == -1) {
            w->selection = -1;
            return LB_ERR;
        }
        if (index < 0 || index >= count) {
            return LB_ERR;
        }
        w->selection = static_cast<int>(index);
        return index;
    case LB_GETCURSEL:
        return w->selection;
    case LB_GETTEXT:
        return CopyItem(w, wParam, lParam, LB_ERR);
    case LB_GETTEXTLEN:
        if (index < 0 || index >= count) {
            return LB_ERR;
        }
        return static_cast<LRESULT>(w->items[static_cast<size_t>(index)].text.size());
    case LB_GETCOUNT:
        return count;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
        return FindItem(w, wParam, reinterpret_cast<const char *>(lParam),
                        msg == LB_FINDSTRINGEXACT);
    case LB_GETITEMDATA:
        if (index < 0 || index >= count) {
            return LB_ERR;
        }
        return w->items[static_cast<size_t>(index)].data;
    case LB_SETITEMDATA:
        if (index < 0 || index >= count) {
            return LB_ERR;
        }
        w->items[static_cast<size_t>(index)].data = lParam;
        return LB_OKAY;
    default:
        *known = false;
        return 0;
    }
}

bool IsDropDownList(const Window *w) {
    return (w->style & 3) == CBS_DROPDOWNLIST;
}

LRESULT ComboBoxMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam, bool *known) {
    *known = true;
    int count = static_cast<int>(w->items.size());
    INT_PTR index = static_cast<INT_PTR>(wParam);
    switch (msg) {
    case CB_ADDSTRING:
        return ListOrComboAdd(w, (w->style & CBS_SORT) != 0, -1,
                              reinterpret_cast<const char *>(lParam), false);
    case CB_INSERTSTRING:
        return ListOrComboAdd(w, false, index < 0 ? count : static_cast<int>(index),
                              reinterpret_cast<const char *>(lParam), false);
    case CB_DELETESTRING:
        if (index < 0 || index >= count) {
            return CB_ERR;
        }
        w->items.erase(w->items.begin() + index);
        if (w->selection == index) {
            w->selection = -1;
        } else if (w->selection > index) {
            --w->selection;
        }
        return static_cast<LRESULT>(w->items.size());
    case CB_RESETCONTENT:
        w->items.clear();
        w->selection = -1;
        w->text.clear();
        return CB_OKAY;
    case CB_SETCURSEL:
        if (index < 0 || index >= count) {
            w->selection = -1;
            if (!IsDropDownList(w)) {
                w->text.clear();
            }
            return CB_ERR;
        }
        w->selection = static_cast<int>(index);
        if (!IsDropDownList(w)) {
            w->text = w->items[static_cast<size_t>(index)].text;
        }
        return index;
    case CB_GETCURSEL:
        return w->selection;
    case CB_GETLBTEXT:
        return CopyItem(w, wParam, lParam, CB_ERR);
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= count) {
            return CB_ERR;
        }
        return static_cast<LRESULT>(w->items[static_cast<size_t>(index)].text.size());
    case CB_GETCOUNT:
        return count;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
        return FindItem(w, wParam, reinterpret_cast<const char *>(lParam),
                        msg == CB_FINDSTRINGEXACT);
    case CB_GETITEMDATA:
        if (index < 0 || index >= count) {
            return CB_ERR;
        }
        return w->items[static_cast<size_t>(index)].data;
    case CB_SETITEMDATA:
        if (index < 0 || index >= count) {
            return CB_ERR;
        }
        w->items[static_cast<size_t>(index)].data = lParam;
        return CB_OKAY;
    case CB_SHOWDROPDOWN:
        return TRUE;
    case WM_SETTEXT:
        if (IsDropDownList(w)) {
            return CB_ERR; // no edit field to hold a text
        }
        *known = false;
        return 0;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        if (IsDropDownList(w)) {
            std::string text = w->selection >= 0 ? w->items[static_cast<size_t>(w->selection)].text
                                                 : std::string();
            if (msg == WM_GETTEXTLENGTH) {
                return static_cast<LRESULT>(text.size());
            }
            char *buffer = reinterpret_cast<char *>(lParam);
            if (!buffer || wParam == 0) {
                return 0;
            }
            size_t n = text.size() < wParam - 1 ? text.size() : wParam - 1;
            memcpy(buffer, text.data(), n);
            buffer[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        *known = false;
        return 0;
    default:
        *known = false;
        return 0;
    }
}

void EditChanged(HWND h) {
    Notify(h, EN_UPDATE);
    Notify(h, EN_CHANGE);
}

// A character typed into an edit box, as the control takes it.
void EditChar(Window *w, char c) {
    if ((w->style & ES_NUMBER) && !(c >= '0' && c <= '9')) {
        return; // refused with a balloon tip
    }
    if (w->text.size() >= w->textLimit || (w->style & ES_READONLY)) {
        return;
    }
    if (w->style & ES_UPPERCASE) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    } else if (w->style & ES_LOWERCASE) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    w->text.push_back(c);
    EditChanged(w->hwnd);
}

LRESULT ControlMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::string name = MessageName(msg);
    LONG_PTR injected = 0;
    if (Hit(name, &injected, NULL)) {
        return injected;
    }
    bool known = false;
    LRESULT r = 0;
    if (w->className == "ListBox") {
        r = ListBoxMessage(w, msg, wParam, lParam, &known);
    } else if (w->className == "ComboBox") {
        r = ComboBoxMessage(w, msg, wParam, lParam, &known);
    }
    if (known) {
        return r;
    }
    HWND h = w->hwnd;
    switch (msg) {
    case WM_SETTEXT:
        DefWindow(h, msg, wParam, lParam);
        if (w->className == "Edit") {
            EditChanged(h);
        }
        return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return DefWindow(h, msg, wParam, lParam);
    case WM_SETFONT:
    case WM_GETFONT:
    case WM_KEYDOWN:
    case WM_KEYUP:
        return 0;
    case WM_CHAR:
        if (w->className == "Edit") {
            if (Usable(w)) {
                EditChar(w, static_cast<char>(wParam));
            }
        }
        return 0;
    default:
        break;
    }
    if (w->className == "Button") {
        switch (msg) {
        case BM_CLICK:
            if (!Usable(w)) {
                return 0;
            }
            SetFocusTo(h);
            if ((w->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
                w->check = !w->check;
            }
            Notify(h, BN_CLICKED);
            return 0;
        case BM_GETCHECK:
            return w->check;
        case BM_SETCHECK:
            w->check = static_cast<int>(wParam);
            return 0;
        default:
            break;
        }
    }
    if (w->className == "Edit") {
        switch (msg) {
        case EM_SETSEL:
            return 0;
        case EM_LIMITTEXT:
            w->textLimit = wParam ? wParam : 0x7FFFFFFE;
            return 0;
        default:
            break;
        }
    }
    Fail("unknown " + name + " sent to " + Describe(h));
    return 0;
}

void DestroyTree(HWND h);

// Builds a dialog from its template and runs its WM_INITDIALOG.
HWND CreateFromTemplate(const DialogTemplate &t, HWND owner, DLGPROC proc, LPARAM param,
                        bool modal) {
    Window *d = NewWindow();
    HWND dialog = d->hwnd;
    d->isDialog = true;
    d->templateId = t.id;
    d->owner = owner;
    d->proc = proc;
    d->modal = modal;
    d->className = "#32770";
    d->style = t.style & ~WS_VISIBLE;
    d->exStyle = t.exStyle;
    d->text = t.caption;
    for (const ControlTemplate &ct : t.controls) {
        Window *c = NewWindow();
        c->parent = dialog;
        c->id = ct.id;
        c->className = ct.className;
        c->style = ct.style;
        c->exStyle = ct.exStyle;
        if (ct.className != "ListBox" &&
            !(ct.className == "ComboBox" && (ct.style & 3) == CBS_DROPDOWNLIST)) {
            c->text = ct.text;
        }
        if (IsPushButton(c) && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            d->defId = ct.id;
        }
        W(dialog)->children.push_back(c->hwnd);
    }
    Deactivate();
    active = dialog;
    HWND first = FirstTabItem(W(dialog));
    LRESULT r = CallDialog(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    d = W(dialog);
    if (!d) {
        return dialog;
    }
    if (r) {
        HWND target = FirstTabItem(d);
        SetFocusTo(target ? target : dialog);
    }
    d = W(dialog);
    if (d && (modal || (t.style & WS_VISIBLE)) && !d->ended) {
        d->style |= WS_VISIBLE;
    }
    return dialog;
}

void DestroyTree(HWND h) {
    Window *w = W(h);
    if (!w || w->destroying) {
        return;
    }
    w->destroying = true;
    if (w->isDialog) {
        // Owned dialogs go first.
        std::vector<HWND> owned;
        for (auto &entry : windows) {
            Window *o = entry.second.get();
            if (o->live && o->isDialog && o->owner == h) {
                owned.push_back(o->hwnd);
            }
        }
        for (HWND o : owned) {
            DestroyTree(o);
        }
    }
    bool hadFocus = focus == h || IsChildOf(focus, h);
    if (w->isDialog) {
        CallDialog(h, WM_DESTROY, 0, 0);
    }
    w = W(h);
    if (!w) {
        return;
    }
    if (hadFocus || focus == h || IsChildOf(focus, h)) {
        focus = nullptr;
    }
    for (HWND c : w->children) {
        Window *cw = W(c);
        if (cw) {
            cw->live = false;
        }
    }
    w->live = false;
    if (!w->isDialog) {
        Window *parent = W(w->parent);
        if (parent) {
            auto &kids = parent->children;
            for (auto it = kids.begin(); it != kids.end(); ++it) {
                if (*it == h) {
                    kids.erase(it);
                    break;
                }
            }
        }
        return;
    }
    if (active == h) {
        active = nullptr;
        if (w->owner && W(w->owner)) {
            Reactivate(w->owner);
        }
    }
}

bool Refuse(HWND target, const std::string &action) {
    Window *w = W(target);
    if (!w) {
        Fail(action + ": " + Describe(target) + " does not exist");
        return true;
    }
    Window *d = DialogOfWindow(target);
    if (!d) {
        Fail(action + ": the window has no dialog");
        return true;
    }
    if (d->style & WS_DISABLED) {
        Fail(action + ": " + Describe(d->hwnd) +
             " is disabled (a modal dialog or box is open over it)");
        return true;
    }
    if (!(d->style & WS_VISIBLE) || d->ended) {
        Fail(action + ": " + Describe(d->hwnd) + " is not visible");
        return true;
    }
    if (w != d && !Usable(w)) {
        Fail(action + ": " + Describe(target) + " is disabled or hidden");
        return true;
    }
    return false;
}

void PumpTop();

// After the user acted: the loop that is running (a modal dialog's or a
// box's) takes the messages that the action posted.
void Settle() {
    if (!modalStack.empty()) {
        PumpTop();
    }
}

void Deliver(MSG &msg, HWND dialog) {
    if (!dialog || !IsDialogMessageA(dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpTop() {
    if (modalStack.empty()) {
        return;
    }
    ModalFrame frame = modalStack.back();
    while (!queue.empty()) {
        if (!frame.isBox) {
            Window *d = W(frame.dialog);
            if (!d || d->ended) {
                return;
            }
        }
        MSG msg = queue.front();
        queue.pop_front();
        Deliver(msg, frame.isBox ? nullptr : frame.dialog);
    }
}

Window *ControlOf(HWND dialog, int id, const char *action) {
    Window *d = W(dialog);
    if (!d || !d->isDialog) {
        Fail(std::string(action) + ": " + Describe(dialog) + " is not a live dialog");
        return nullptr;
    }
    for (HWND c : d->children) {
        Window *w = W(c);
        if (w && w->id == id) {
            return w;
        }
    }
    Fail(std::string(action) + ": " + Describe(dialog) + " has no control " + std::to_string(id));
    return nullptr;
}

bool BoxResultValid(UINT type, int result) {
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return result == IDOK;
    case MB_OKCANCEL:
        return result == IDOK || result == IDCANCEL;
    case MB_ABORTRETRYIGNORE:
        return result == IDABORT || result == IDRETRY || result == IDIGNORE;
    case MB_YESNOCANCEL:
        return result == IDYES || result == IDNO || result == IDCANCEL;
    case MB_YESNO:
        return result == IDYES || result == IDNO;
    case MB_RETRYCANCEL:
        return result == IDRETRY || result == IDCANCEL;
    default:
        return true;
    }
}

} // namespace

void ResetWindows() {
    windows.clear();
    focus = nullptr;
    active = nullptr;
    modalStack.clear();
    queue.clear();
    quitPosted = false;
    quitCode = 0;
    boxes.clear();
    boxHandler = nullptr;
    dialogHandlers.clear();
    idleHandler = nullptr;
    boxDepth = 0;
}

} // namespace detail

using namespace detail;

// ---- Test API
const std::vector<Box> &Boxes() {
    return boxes;
}

void ClearBoxes() {
    boxes.clear();
}

void OnMessageBox(std::function<int(const Box &)> handler) {
    boxHandler = std::move(handler);
}

void OnDialog(int templateId, std::function<void(HWND dialog)> handler) {
    dialogHandlers[templateId].push_back(std::move(handler));
}

int PendingDialogHandlers() {
    int n = 0;
    for (const auto &entry : dialogHandlers) {
        n += static_cast<int>(entry.second.size());
    }
    return n;
}

HWND DialogOf(int templateId) {
    HWND found = nullptr;
    for (const auto &entry : windows) {
        const Window *w = entry.second.get();
        if (w->live && w->isDialog && w->templateId == templateId) {
            found = w->hwnd; // the most recent one
        }
    }
    return found;
}

HWND Control(HWND dialog, int id) {
    Api api(nullptr);
    return GetDlgItem(dialog, id);
}

int TemplateOf(HWND dialog) {
    Window *w = W(dialog);
    return w && w->isDialog ? w->templateId : 0;
}

bool IsLive(HWND window) {
    return W(window) != nullptr;
}

bool IsEnabled(HWND window) {
    Window *w = W(window);
    return w && !(w->style & WS_DISABLED);
}

bool IsVisible(HWND window) {
    Api api(nullptr);
    return IsWindowVisible(window) != FALSE;
}

HWND Focus() {
    return focus;
}

HWND Owner(HWND window) {
    Window *w = W(window);
    return w && w->isDialog ? w->owner : nullptr;
}

DWORD Style(HWND window) {
    Window *w = W(window);
    return w ? w->style : 0;
}

std::string ClassName(HWND window) {
    Window *w = W(window);
    return w ? w->className : std::string();
}

std::string Text(HWND window) {
    Window *w = W(window);
    if (!w) {
        return std::string();
    }
    if (!w->isDialog && w->className == "ComboBox" && IsDropDownList(w)) {
        return w->selection >= 0 ? w->items[static_cast<size_t>(w->selection)].text : std::string();
    }
    return w->text;
}

std::string Text(HWND dialog, int id) {
    Window *c = ControlOf(dialog, id, "Text");
    return c ? Text(c->hwnd) : std::string();
}

std::vector<int> ControlIds(HWND dialog) {
    std::vector<int> ids;
    Window *d = W(dialog);
    if (d) {
        for (HWND c : d->children) {
            Window *w = W(c);
            if (w) {
                ids.push_back(w->id);
            }
        }
    }
    return ids;
}

void Click(HWND dialog, int id) {
    Api api(nullptr);
    Window *c = ControlOf(dialog, id, "Click");
    if (!c || Refuse(c->hwnd, "Click")) {
        return;
    }
    if (c->className != "Button") {
        Fail("Click: control " + std::to_string(id) + " is a " + c->className + ", not a button");
        return;
    }
    HWND h = c->hwnd;
    SetFocusTo(h);
    c = W(h);
    if (c && (c->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        c->check = !c->check;
    }
    Notify(h, BN_CLICKED);
    Settle();
}

void Select(HWND dialog, int id, int index) {
    Api api(nullptr);
    Window *c = ControlOf(dialog, id, "Select");
    if (!c || Refuse(c->hwnd, "Select")) {
        return;
    }
    if (c->className != "ListBox" && c->className != "ComboBox") {
        Fail("Select: control " + std::to_string(id) + " is not a list or combo box");
        return;
    }
    if (index < 0 || index >= static_cast<int>(c->items.size())) {
        Fail("Select: control " + std::to_string(id) + " has no item " + std::to_string(index));
        return;
    }
    HWND h = c->hwnd;
    SetFocusTo(h);
    c = W(h);
    if (!c) {
        return;
    }
    if (c->className == "ListBox") {
        c->selection = index;
        if (c->style & LBS_NOTIFY) {
            Notify(h, LBN_SELCHANGE);
        }
    } else {
        Notify(h, CBN_DROPDOWN);
        c = W(h);
        if (!c) {
            return;
        }
        c->selection = index;
        if (!IsDropDownList(c)) {
            c->text = c->items[static_cast<size_t>(index)].text;
        }
        Notify(h, CBN_SELCHANGE);
        Notify(h, CBN_SELENDOK);
        Notify(h, CBN_CLOSEUP);
    }
    Settle();
}

void DoubleClick(HWND dialog, int id, int index) {
    Api api(nullptr);
    Window *c = ControlOf(dialog, id, "DoubleClick");
    if (!c || Refuse(c->hwnd, "DoubleClick")) {
        return;
    }
    if (c->className != "ListBox") {
        Fail("DoubleClick: control " + std::to_string(id) + " is not a list box");
        return;
    }
    HWND h = c->hwnd;
    Select(dialog, id, index);
    c = W(h);
    if (c && (c->style & LBS_NOTIFY) && c->selection == index) {
        Notify(h, LBN_DBLCLK);
    }
    Settle();
}

void Type(HWND dialog, int id, const std::string &text) {
    Api api(nullptr);
    Window *c = ControlOf(dialog, id, "Type");
    if (!c || Refuse(c->hwnd, "Type")) {
        return;
    }
    if (c->className != "Edit") {
        Fail("Type: control " + std::to_string(id) + " is a " + c->className + ", not an edit box");
        return;
    }
    HWND h = c->hwnd;
    SetFocusTo(h);
    c = W(h);
    if (c && !c->text.empty() && !(c->style & ES_READONLY)) {
        c->text.clear();
        EditChanged(h);
    }
    for (char ch : text) {
        c = W(h);
        if (!c) {
            break;
        }
        EditChar(c, ch);
    }
    Settle();
}

void Key(HWND dialog, int vk) {
    Api api(nullptr);
    Window *d = W(dialog);
    if (!d || !d->isDialog) {
        Fail("Key: " + Describe(dialog) + " is not a live dialog");
        return;
    }
    HWND target = IsChildOf(focus, dialog) ? focus : dialog;
    if (Refuse(target, "Key")) {
        return;
    }
    if (vk != VK_ESCAPE && vk != VK_RETURN && vk != VK_TAB) {
        Fail("Key: only Escape, Return and Tab are handled by the dialog manager here");
        return;
    }
    MSG msg = {target, WM_KEYDOWN, static_cast<WPARAM>(vk), 1, 0, {0, 0}};
    IsDialogMessageA(dialog, &msg);
    Settle();
}

void CloseBox(HWND dialog) {
    Api api(nullptr);
    Window *d = W(dialog);
    if (!d || !d->isDialog) {
        Fail("CloseBox: " + Describe(dialog) + " is not a live dialog");
        return;
    }
    if (Refuse(dialog, "CloseBox")) {
        return;
    }
    if (!(d->style & WS_SYSMENU)) {
        Fail("CloseBox: " + Describe(dialog) + " has no close box");
        return;
    }
    Send(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
}

std::vector<std::string> Items(HWND dialog, int id) {
    std::vector<std::string> items;
    Window *c = ControlOf(dialog, id, "Items");
    if (c) {
        for (const Item &item : c->items) {
            items.push_back(item.text);
        }
    }
    return items;
}

int Selection(HWND dialog, int id) {
    Window *c = ControlOf(dialog, id, "Selection");
    return c ? c->selection : -1;
}

LONG_PTR ItemData(HWND dialog, int id, int index) {
    Window *c = ControlOf(dialog, id, "ItemData");
    if (!c || index < 0 || index >= static_cast<int>(c->items.size())) {
        return -1;
    }
    return c->items[static_cast<size_t>(index)].data;
}

void OnIdle(std::function<void()> handler) {
    idleHandler = std::move(handler);
}

void PostKey(HWND window, int vk) {
    Api api(nullptr);
    HWND target = (focus == window || IsChildOf(focus, window)) ? focus : window;
    if (Refuse(target, "PostKey")) {
        return;
    }
    PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
    PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(vk), static_cast<LPARAM>(0xC0000001u));
}

void PostCommand(HWND window, int id) {
    Api api(nullptr);
    if (Refuse(window, "PostCommand")) {
        return;
    }
    HWND control = nullptr;
    Window *d = W(window);
    for (HWND c : d->children) {
        Window *w = W(c);
        if (w && w->id == id) {
            control = c;
            break;
        }
    }
    if (control && Refuse(control, "PostCommand")) {
        return;
    }
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void PostCloseBox(HWND window) {
    Api api(nullptr);
    if (Refuse(window, "PostCloseBox")) {
        return;
    }
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void PumpMessages() {
    Api api(nullptr);
    while (!queue.empty()) {
        MSG msg = queue.front();
        queue.pop_front();
        Window *d = DialogOfWindow(msg.hwnd);
        Deliver(msg, d ? d->hwnd : nullptr);
    }
}

bool QuitPosted(int *exitCode) {
    if (exitCode) {
        *exitCode = quitCode;
    }
    return quitPosted;
}

} // namespace sim

// ---- The Win32 functions
using namespace sim::detail;

extern "C" {

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Api api(nullptr);
    (void)hInstance;
    LONG_PTR ignored = 0;
    DWORD injected = 0;
    if (Hit("CreateDialogParamA", &ignored, &injected)) {
        if (injected) {
            SetLastError(injected);
        }
        return NULL;
    }
    if (hWndParent && !W(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return NULL;
    }
    if (!IS_INTRESOURCE(lpTemplateName)) {
        Fail("CreateDialogParamA: templates are named by number here");
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    const DialogTemplate *t = FindDialog(LOWORD(lpTemplateName));
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    Window *owner = DialogOfWindow(hWndParent);
    HWND dialog =
        CreateFromTemplate(*t, owner ? owner->hwnd : nullptr, lpDialogFunc, dwInitParam, false);
    // A dialog that destroyed itself during WM_INITDIALOG still has its
    // handle returned, as Wine's user32 does; the handle is no longer a
    // window.
    return dialog;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Api api(nullptr);
    (void)hInstance;
    LONG_PTR ignored = 0;
    DWORD injected = 0;
    if (Hit("DialogBoxParamA", &ignored, &injected)) {
        if (injected) {
            SetLastError(injected);
        }
        return -1;
    }
    if (hWndParent && !W(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!IS_INTRESOURCE(lpTemplateName)) {
        Fail("DialogBoxParamA: templates are named by number here");
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    int id = LOWORD(lpTemplateName);
    const DialogTemplate *t = FindDialog(id);
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    Window *ownerWindow = DialogOfWindow(hWndParent);
    HWND owner = ownerWindow ? ownerWindow->hwnd : nullptr;
    if (owner && !(ownerWindow->style & WS_DISABLED)) {
        EnableWindow(owner, FALSE);
    }
    HWND dialog = CreateFromTemplate(*t, owner, lpDialogFunc, dwInitParam, true);
    if (!W(dialog)) {
        // Destroyed during WM_INITDIALOG: no dialog to run, and nobody
        // enables the owner again.
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    modalStack.push_back(ModalFrame{false, dialog});
    Window *d = W(dialog);
    if (d && !d->ended) {
        PumpTop();
    }
    d = W(dialog);
    if (d && !d->ended) {
        auto &handlers = dialogHandlers[id];
        if (handlers.empty()) {
            Fail("DialogBoxParamA: dialog " + std::to_string(id) +
                 " opened with no OnDialog handler queued for it");
            EndDialog(dialog, -3);
        } else {
            std::function<void(HWND)> handler = std::move(handlers.front());
            handlers.pop_front();
            if (handler) {
                Callout callout;
                handler(dialog);
            }
            d = W(dialog);
            if (d && !d->ended) {
                PumpTop();
            }
            d = W(dialog);
            if (d && !d->ended) {
                Fail("DialogBoxParamA: the handler of dialog " + std::to_string(id) +
                     " left it open");
                EndDialog(dialog, -3);
            }
        }
    }
    if (!modalStack.empty()) {
        modalStack.pop_back();
    }
    d = W(dialog);
    if (!d) {
        return 0; // destroyed instead of ended
    }
    INT_PTR result = d->result;
    DestroyTree(dialog);
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    Api api("EndDialog");
    Window *d = W(hDlg);
    if (!d || !d->isDialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!d->modal) {
        Fail("EndDialog on the modeless " + Describe(hDlg) + ": it only hides it");
    }
    d->result = nResult;
    d->ended = true;
    if (d->owner && W(d->owner)) {
        EnableWindow(d->owner, TRUE);
    }
    d = W(hDlg);
    if (d && IsChildOf(focus, hDlg)) {
        SetFocusTo(hDlg);
    }
    d = W(hDlg);
    if (d) {
        d->style &= ~WS_VISIBLE;
    }
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Api api("DestroyWindow");
    if (!W(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    DestroyTree(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    Api api("IsWindow");
    return W(hWnd) != nullptr;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    Api api("IsWindowEnabled");
    Window *w = W(hWnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    Api api("IsWindowVisible");
    Window *w = W(hWnd);
    if (!w || !(w->style & WS_VISIBLE)) {
        return FALSE;
    }
    if (!w->isDialog) {
        Window *d = W(w->parent);
        return d && (d->style & WS_VISIBLE);
    }
    return TRUE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    Api api("EnableWindow");
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (bEnable && wasDisabled) {
        w->style &= ~WS_DISABLED;
        if (w->isDialog) {
            CallDialog(hWnd, WM_ENABLE, TRUE, 0);
        }
    } else if (!bEnable && !wasDisabled) {
        w->style |= WS_DISABLED;
        if (focus == hWnd) {
            SetFocusTo(nullptr);
        }
        if (w->isDialog) {
            CallDialog(hWnd, WM_ENABLE, FALSE, 0);
        }
    }
    return wasDisabled;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Api api("ShowWindow");
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    if (nCmdShow == SW_HIDE) {
        w->style &= ~WS_VISIBLE;
        if (focus == hWnd || IsChildOf(focus, hWnd)) {
            SetFocusTo(nullptr);
        }
    } else {
        w->style |= WS_VISIBLE;
    }
    return wasVisible;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Api api("GetDlgItem");
    Window *d = W(hDlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return NULL;
    }
    for (HWND c : d->children) {
        Window *w = W(c);
        if (w && w->id == nIDDlgItem) {
            return c;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return NULL;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    Api api("GetDlgCtrlID");
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->isDialog ? 0 : w->id;
}

HWND WINAPI GetParent(HWND hWnd) {
    Api api("GetParent");
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return NULL;
    }
    return w->isDialog ? w->owner : w->parent;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Api api("SendMessageA");
    return Send(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
    Api api("SendDlgItemMessageA");
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (!control) {
        Fail("SendDlgItemMessageA: " + Describe(hDlg) + " has no control " +
             std::to_string(nIDDlgItem));
        return 0;
    }
    return Send(control, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Api api("PostMessageA");
    if (hWnd && !W(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (Msg == WM_QUIT) {
        Fail("PostMessageA(WM_QUIT): use PostQuitMessage");
    }
    MSG msg = {hWnd, Msg, wParam, lParam, 0, {0, 0}};
    queue.push_back(msg);
    return TRUE;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    Api api("SetDlgItemTextA");
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (!control) {
        return FALSE;
    }
    return static_cast<BOOL>(Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    Api api("GetDlgItemTextA");
    if (lpString && cchMax > 0) {
        lpString[0] = '\0';
    }
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (!control || cchMax <= 0) {
        return 0;
    }
    return static_cast<UINT>(
        Send(control, WM_GETTEXT, static_cast<WPARAM>(cchMax), reinterpret_cast<LPARAM>(lpString)));
}

// Windows reads the text (at most 29 characters), skips leading blanks,
// takes an optional minus sign when signed, then decimal digits, allows
// trailing blanks and nothing else; anything else, or a value out of range,
// gives 0 and "not translated".
UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL *lpTranslated, BOOL bSigned) {
    Api api("GetDlgItemInt");
    if (lpTranslated) {
        *lpTranslated = FALSE;
    }
    char text[30];
    if (!GetDlgItemTextA(hDlg, nIDDlgItem, text, sizeof text)) {
        return 0;
    }
    const char *p = text;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    bool negative = false;
    if (bSigned && *p == '-') {
        negative = true;
        ++p;
    }
    if (!(*p >= '0' && *p <= '9')) {
        return 0;
    }
    unsigned long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 0xFFFFFFFFull) {
            return 0;
        }
        ++p;
    }
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    if (*p) {
        return 0;
    }
    if (bSigned) {
        if ((!negative && value > 0x7FFFFFFFull) || (negative && value > 0x80000000ull)) {
            return 0;
        }
        long long signedValue =
            negative ? -static_cast<long long>(value) : static_cast<long long>(value);
        if (lpTranslated) {
            *lpTranslated = TRUE;
        }
        return static_cast<UINT>(static_cast<INT>(signedValue));
    }
    if (lpTranslated) {
        *lpTranslated = TRUE;
    }
    return static_cast<UINT>(value);
}

BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
    Api api("SetDlgItemInt");
    char text[16];
    if (bSigned) {
        snprintf(text, sizeof text, "%d", static_cast<int>(uValue));
    } else {
        snprintf(text, sizeof text, "%u", uValue);
    }
    return SetDlgItemTextA(hDlg, nIDDlgItem, text);
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    Api api("SetWindowTextA");
    if (!W(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return static_cast<BOOL>(Send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    Api api("GetWindowTextA");
    if (lpString && nMaxCount > 0) {
        lpString[0] = '\0';
    }
    if (!W(hWnd) || nMaxCount <= 0) {
        return 0;
    }
    return static_cast<int>(
        Send(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    Api api("GetWindowTextLengthA");
    if (!W(hWnd)) {
        return 0;
    }
    return static_cast<int>(Send(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

HWND WINAPI SetFocus(HWND hWnd) {
    Api api("SetFocus");
    HWND old = focus;
    if (!hWnd) {
        SetFocusTo(nullptr);
        return old;
    }
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return NULL;
    }
    if (hWnd == old) {
        return old;
    }
    Window *d = DialogOfWindow(hWnd);
    if ((w->style & WS_DISABLED) || !d || (d->style & WS_DISABLED)) {
        return NULL;
    }
    SetFocusTo(hWnd);
    return old;
}

HWND WINAPI GetFocus(void) {
    Api api("GetFocus");
    return focus;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    Api api("GetWindowLongPtrA");
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (nIndex) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWL_ID:
        return w->isDialog ? 0 : w->id;
    case GWLP_USERDATA:
        return w->userData;
    default:
        break;
    }
    if (w->isDialog) {
        switch (nIndex) {
        case DWLP_MSGRESULT:
            return w->msgResult;
        case DWLP_DLGPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case DWLP_USER:
            return w->dlgUser;
        default:
            break;
        }
    }
    Fail("GetWindowLongPtrA: index " + std::to_string(nIndex) + " is not supported here");
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    Api api("SetWindowLongPtrA");
    Window *w = W(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = 0;
    switch (nIndex) {
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = dwNewLong;
        return old;
    case GWL_STYLE:
        old = static_cast<LONG_PTR>(w->style);
        w->style = static_cast<DWORD>(dwNewLong);
        return old;
    default:
        break;
    }
    if (w->isDialog) {
        switch (nIndex) {
        case DWLP_MSGRESULT:
            old = w->msgResult;
            w->msgResult = dwNewLong;
            return old;
        case DWLP_USER:
            old = w->dlgUser;
            w->dlgUser = dwNewLong;
            return old;
        default:
            break;
        }
    }
    Fail("SetWindowLongPtrA: index " + std::to_string(nIndex) + " is not supported here");
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    Api api("GetWindowLongA");
    return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Api api("MessageBoxA");
    if (hWnd && !W(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    sim::Box box;
    box.owner = hWnd;
    box.text = lpText ? lpText : "";
    box.caption = lpCaption ? lpCaption : "Error";
    box.type = uType;
    boxes.push_back(box);
    Window *ownerWindow = DialogOfWindow(hWnd);
    HWND owner = ownerWindow ? ownerWindow->hwnd : nullptr;
    bool disabledOwner = false;
    if (owner && !(ownerWindow->style & WS_DISABLED)) {
        EnableWindow(owner, FALSE);
        disabledOwner = true;
    }
    HWND previous = active;
    Deactivate();
    active = nullptr;
    SetFocusTo(nullptr);
    modalStack.push_back(ModalFrame{true, nullptr});
    ++boxDepth;
    PumpTop();
    int result = IDOK;
    if (boxHandler) {
        std::function<int(const sim::Box &)> handler = boxHandler;
        Callout callout;
        result = handler(box);
    }
    if (!BoxResultValid(uType, result)) {
        Fail("MessageBoxA: the handler pressed button " + std::to_string(result) +
             " that the box \"" + box.text + "\" does not have");
        result = IDOK;
    }
    PumpTop();
    --boxDepth;
    if (!modalStack.empty()) {
        modalStack.pop_back();
    }
    if (disabledOwner && W(owner)) {
        EnableWindow(owner, TRUE);
    }
    if (W(previous)) {
        Reactivate(previous);
    } else if (W(owner)) {
        Reactivate(owner);
    }
    return result;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    Api api("GetMessageA");
    if (hWnd || wMsgFilterMin || wMsgFilterMax) {
        Fail("GetMessageA: filters are not supported here");
    }
    bool idleDone = false;
    for (;;) {
        if (!queue.empty()) {
            *lpMsg = queue.front();
            queue.pop_front();
            return TRUE;
        }
        if (quitPosted) {
            quitPosted = false;
            MSG quit = {nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, 0, {0, 0}};
            *lpMsg = quit;
            return FALSE;
        }
        if (idleHandler && !idleDone) {
            idleDone = true;
            std::function<void()> handler = idleHandler;
            Callout callout;
            handler();
            continue;
        }
        Fail("GetMessageA: no message left to deliver (the program would wait forever)");
        MSG quit = {nullptr, WM_QUIT, 0, 0, 0, {0, 0}};
        *lpMsg = quit;
        return FALSE;
    }
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    Api api("IsDialogMessageA");
    Window *d = W(hDlg);
    if (!d || !d->isDialog || !lpMsg) {
        return FALSE;
    }
    if (lpMsg->hwnd != hDlg && !IsChildOf(lpMsg->hwnd, hDlg)) {
        return FALSE;
    }
    if (lpMsg->message == WM_KEYDOWN) {
        switch (lpMsg->wParam) {
        case VK_ESCAPE: {
            HWND cancel = GetDlgItem(hDlg, IDCANCEL);
            Send(hDlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(cancel));
            return TRUE;
        }
        case VK_RETURN: {
            Window *f = W(focus);
            if (f && IsChildOf(focus, hDlg) && IsPushButton(f)) {
                Send(hDlg, WM_COMMAND, MAKEWPARAM(f->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(focus));
                return TRUE;
            }
            LRESULT def = Send(hDlg, DM_GETDEFID, 0, 0);
            if (HIWORD(def) == DC_HASDEFID) {
                int id = LOWORD(def);
                HWND button = GetDlgItem(hDlg, id);
                if (!button || IsWindowEnabled(button)) {
                    Send(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
                }
            } else {
                Send(hDlg, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(focus));
            }
            return TRUE;
        }
        case VK_TAB: {
            HWND next = NextTabItem(d, IsChildOf(focus, hDlg) ? focus : nullptr);
            if (next) {
                SetFocusTo(next);
            }
            return TRUE;
        }
        default:
            break;
        }
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg) {
    Api api("TranslateMessage");
    if (!lpMsg || lpMsg->message != WM_KEYDOWN) {
        return FALSE;
    }
    WPARAM vk = lpMsg->wParam;
    char c = 0;
    if (vk >= '0' && vk <= '9') {
        c = static_cast<char>(vk);
    } else if (vk >= 'A' && vk <= 'Z') {
        c = static_cast<char>(vk - 'A' + 'a');
    } else if (vk == VK_SPACE) {
        c = ' ';
    }
    if (!c) {
        return FALSE;
    }
    MSG msg = {lpMsg->hwnd,   WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)),
               lpMsg->lParam, 0,       {0, 0}};
    queue.push_front(msg);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
    Api api("DispatchMessageA");
    if (!lpMsg || !lpMsg->hwnd) {
        return 0;
    }
    if (!W(lpMsg->hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
    Api api("PostQuitMessage");
    quitPosted = true;
    quitCode = nExitCode;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Api api("DefWindowProcA");
    return DefWindow(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Api api("DefDlgProcA");
    Fail("DefDlgProcA: a dialog procedure must not call it (the dialog manager does)");
    return DefWindow(hDlg, Msg, wParam, lParam);
}

} // extern "C"
