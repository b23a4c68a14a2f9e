// Dialogs and their controls, the dialog manager's keyboard handling,
// message boxes and the thread's message queue, plus the test API that acts
// as the user.
#include "sim_internal.h"

#include <algorithm>
#include <cctype>
#include <deque>
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
    bool live = true;
    bool isDialog = false;
    DWORD style = 0;
    std::string text; // a dialog's caption, a control's text
    // Dialogs
    int templateId = 0;
    HWND owner = nullptr;
    DLGPROC proc = nullptr;
    bool modal = false;
    bool ended = false;
    bool destroying = false;
    INT_PTR result = 0;
    int defId = IDOK;
    HWND focus = nullptr;       // the control that has the focus when the dialog is active
    std::vector<HWND> children; // template order
    // Controls
    HWND parent = nullptr;
    int id = 0;
    std::string className;
    std::vector<Item> items; // list and combo boxes
    int selection = -1;
};

// user32's list box sets it for an index it does not hold.
const DWORD ERROR_INVALID_INDEX_CODE = 1413;

// Live and destroyed, until Reset; the handle of windows[i] is firstWindow +
// 4 i, and handles are not given again after a Reset.
std::vector<std::unique_ptr<Window>> windows;
uintptr_t firstWindow = 0x10010;
HWND active = nullptr;        // the dialog that has the focus; none while a box is open
std::vector<HWND> modalLoops; // the modal dialogs and (NULL) boxes running, innermost last
std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
std::vector<Box> boxes;
std::function<int(const Box &)> boxHandler;
std::map<int, std::deque<std::function<void(HWND)>>> dialogHandlers;
std::function<void()> idleHandler;

Window *W(HWND h) {
    uintptr_t i = (reinterpret_cast<uintptr_t>(h) - firstWindow) / 4;
    bool known = reinterpret_cast<uintptr_t>(h) % 4 == firstWindow % 4 && i < windows.size();
    return known && windows[i]->live ? windows[i].get() : nullptr;
}

Window *NewWindow() {
    windows.push_back(std::make_unique<Window>());
    Window *w = windows.back().get();
    w->hwnd = reinterpret_cast<HWND>(firstWindow + 4 * (windows.size() - 1));
    return w;
}

std::string Describe(HWND h) {
    Window *w = W(h);
    if (!w)
        return "a destroyed or unknown window";
    if (w->isDialog)
        return "dialog " + std::to_string(w->templateId);
    return w->className + " " + std::to_string(w->id) + " of " + Describe(w->parent);
}

// The dialog a window belongs to: itself for a dialog, its parent for a
// control.
Window *DialogOfWindow(HWND h) {
    Window *w = W(h);
    return w && !w->isDialog ? W(w->parent) : w;
}

Window *Child(const Window *dialog, int id) {
    for (HWND c : dialog->children)
        if (W(c) && W(c)->id == id)
            return W(c);
    return nullptr;
}

bool Usable(const Window *w) {
    return (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

bool IsPushButton(const Window *w) {
    return w->className == "Button" && (w->style & 0xF) <= BS_DEFPUSHBUTTON;
}

// The next usable tab stop after `from` (the first one when `from` is NULL),
// going round; NULL when there is none.
HWND NextTabItem(const Window *dialog, HWND from) {
    const std::vector<HWND> &kids = dialog->children;
    size_t start = std::find(kids.begin(), kids.end(), from) - kids.begin() + 1;
    start = start > kids.size() ? 0 : start;
    for (size_t k = 0; k < kids.size(); ++k) {
        Window *w = W(kids[(start + k) % kids.size()]);
        if (w && Usable(w) && (w->style & WS_TABSTOP))
            return w->hwnd;
    }
    return nullptr;
}

// What a control shows: a combo box (always a drop-down list here) shows its
// selected item.
std::string ControlText(const Window *w) {
    if (w->className != "ComboBox")
        return w->text;
    return w->selection >= 0 ? w->items[size_t(w->selection)].text : std::string();
}

// List items sort close to lstrcmpi's word sort: case is ignored, hyphens and
// apostrophes count only to break ties, punctuation sorts before digits and
// digits before letters.
int SortWeight(unsigned char c) {
    return isdigit(c) ? 1000 + c : isalpha(c) ? 2000 + toupper(c) : c < 0x80 ? c : 3000 + c;
}

// Compares the weights of a and b, hyphens and apostrophes left out unless
// `whole`: below 0 when a sorts first.
int CompareWeights(const std::string &a, const std::string &b, bool whole) {
    auto skipped = [whole](char c) { return !whole && (c == '-' || c == '\''); };
    size_t i = 0, j = 0;
    for (;; i++, j++) {
        while (i < a.size() && skipped(a[i]))
            i++;
        while (j < b.size() && skipped(b[j]))
            j++;
        if (i == a.size() || j == b.size())
            return (i < a.size()) - (j < b.size());
        int d = SortWeight((unsigned char)a[i]) - SortWeight((unsigned char)b[j]);
        if (d)
            return d;
    }
}

bool SortsBefore(const std::string &a, const std::string &b) {
    int words = CompareWeights(a, b, false);
    return words ? words < 0 : CompareWeights(a, b, true) < 0;
}

// ---- Messages
LRESULT Send(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);

void Post(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    queue.push_back(MSG{h, msg, wParam, lParam, 0, {0, 0}});
}

void Notify(const Window *control, WORD code) {
    Send(control->parent, WM_COMMAND, MAKEWPARAM(control->id, code),
         reinterpret_cast<LPARAM>(control->hwnd));
}

// The dialog procedure, then the default dialog handling of what it left
// unhandled: the close box gives WM_CLOSE, and WM_CLOSE command IDCANCEL.
LRESULT CallDialog(Window *d, UINT msg, WPARAM wParam, LPARAM lParam) {
    INT_PTR r = 0;
    if (d->proc) {
        Callout callout;
        r = d->proc(d->hwnd, msg, wParam, lParam);
    }
    if (!r && W(d->hwnd) && msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
        Send(d->hwnd, WM_CLOSE, 0, 0);
    if (!r && W(d->hwnd) && msg == WM_CLOSE) {
        Window *cancel = Child(d, IDCANCEL);
        Post(d->hwnd, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(cancel ? cancel->hwnd : 0));
    }
    return msg == WM_INITDIALOG ? r : 0;
}

// The list and combo box messages the program sends. Both kinds of box share
// one implementation: every combo box here is a drop-down list.
enum Op { Add, Clear, SetSel, GetSel, GetCount, GetData, SetData };
struct BoxMessage {
    UINT msg;
    Fn name;
    const char *className;
    Op op;
};
const BoxMessage boxMessages[] = {
    {LB_ADDSTRING, Fn::LB_ADDSTRING_, "ListBox", Add},
    {LB_RESETCONTENT, Fn::LB_RESETCONTENT_, "ListBox", Clear},
    {LB_GETCURSEL, Fn::LB_GETCURSEL_, "ListBox", GetSel},
    {LB_GETITEMDATA, Fn::LB_GETITEMDATA_, "ListBox", GetData},
    {LB_SETITEMDATA, Fn::LB_SETITEMDATA_, "ListBox", SetData},
    {CB_ADDSTRING, Fn::CB_ADDSTRING_, "ComboBox", Add},
    {CB_SETCURSEL, Fn::CB_SETCURSEL_, "ComboBox", SetSel},
    {CB_GETCURSEL, Fn::CB_GETCURSEL_, "ComboBox", GetSel},
    {CB_GETCOUNT, Fn::CB_GETCOUNT_, "ComboBox", GetCount},
};

// Carries out a list or combo box message on the item at `index`.
LRESULT CarryOut(Window *w, const BoxMessage &m, size_t index, bool failed, LPARAM lParam) {
    bool valid = index < w->items.size();
    switch (m.op) {
    case Add: {
        std::string text = reinterpret_cast<const char *>(lParam);
        auto pos = w->items.end();
        if (m.msg == LB_ADDSTRING && (w->style & LBS_SORT))
            pos = std::lower_bound(
                w->items.begin(), w->items.end(), text,
                [](const Item &i, const std::string &t) { return SortsBefore(i.text, t); });
        int at = static_cast<int>(pos - w->items.begin());
        w->items.insert(pos, Item{std::move(text), 0});
        w->selection += w->selection >= at;
        return at;
    }
    case Clear:
        w->items.clear();
        w->selection = -1;
        return 0;
    case SetSel:
        if (failed)
            return CB_ERR; // the selection stays as it was
        w->selection = valid ? static_cast<int>(index) : -1;
        return valid ? w->selection : CB_ERR;
    case GetSel:
        return w->selection;
    case GetCount:
        return static_cast<LRESULT>(w->items.size());
    case GetData:
        return valid ? w->items[index].data : LB_ERR;
    case SetData:
        if (valid)
            w->items[index].data = lParam;
        return valid ? 0 : LB_ERR;
    }
    return 0;
}

LRESULT ControlMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP)
        return 0; // keys that the dialog manager passed on
    const BoxMessage *m =
        std::find_if(std::begin(boxMessages), std::end(boxMessages), [&](const BoxMessage &b) {
            return b.msg == msg && w->className == b.className;
        });
    if (m == std::end(boxMessages)) {
        Fail("unknown message " + std::to_string(msg) + " sent to " + Describe(w->hwnd));
        return 0;
    }
    // An add can run out of space and a message with an index can meet an
    // index the box does not hold; the other messages cannot fail.
    bool fallible = m->op == Add || m->op == SetData || m->op == GetData || m->op == SetSel;
    bool fail = fallible && FallibleHit([&] {
                    return std::string(FunctionName(m->name)) + " " +
                           std::to_string(W(w->parent)->templateId) + " " + std::to_string(w->id);
                });
    LONG_PTR injected = 0;
    if (Hit(m->name, &injected))
        return injected;
    if (fail && m->op == Add)
        return LB_ERRSPACE; // CB_ERRSPACE too
    size_t index = fail ? w->items.size() : wParam;
    if (index >= w->items.size() && (m->op == GetData || m->op == SetData))
        SetError(ERROR_INVALID_INDEX_CODE);
    return CarryOut(w, *m, index, fail, lParam);
}

LRESULT Send(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = W(h);
    if (!w)
        return 0;
    return w->isDialog ? CallDialog(w, msg, wParam, lParam)
                       : ControlMessage(w, msg, wParam, lParam);
}

// The dialog manager's keys: Escape gives command IDCANCEL, Enter the focused
// push button's command or else the default button's (none when that button
// is disabled), Tab moves the focus to the next tab stop.
void DialogKey(Window *d, WPARAM vk) {
    if (vk == VK_TAB) {
        if (HWND next = NextTabItem(d, d->focus))
            d->focus = next;
        return;
    }
    Window *focus = W(d->focus);
    int id = vk == VK_ESCAPE ? IDCANCEL : focus && IsPushButton(focus) ? focus->id : d->defId;
    Window *button = Child(d, id);
    if (vk == VK_RETURN && button && (button->style & WS_DISABLED))
        return;
    Send(d->hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
         reinterpret_cast<LPARAM>(button ? button->hwnd : 0));
}

// Builds a dialog from its template and runs its WM_INITDIALOG.
HWND CreateFromTemplate(const DialogTemplate &t, HWND owner, DLGPROC proc, LPARAM param,
                        bool modal) {
    Window *d = NewWindow();
    d->isDialog = true;
    d->templateId = t.id;
    d->owner = owner;
    d->proc = proc;
    d->modal = modal;
    d->style = t.style & ~WS_VISIBLE;
    d->text = t.caption;
    for (const ControlTemplate &ct : t.controls) {
        Window *c = NewWindow();
        c->parent = d->hwnd;
        c->id = ct.id;
        c->className = ct.className;
        c->style = ct.style;
        c->text = ct.text;
        if (ct.className == "Button" && (ct.style & 0xF) == BS_DEFPUSHBUTTON)
            d->defId = ct.id;
        d->children.push_back(c->hwnd);
    }
    active = d->hwnd;
    HWND first = NextTabItem(d, nullptr);
    if (CallDialog(d, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param))
        d->focus = NextTabItem(d, nullptr);
    if ((modal || (t.style & WS_VISIBLE)) && !d->ended)
        d->style |= WS_VISIBLE;
    return d->hwnd;
}

void DestroyTree(HWND h) {
    Window *w = W(h);
    if (!w || w->destroying)
        return;
    w->destroying = true;
    if (!w->isDialog) {
        w->live = false;
        return;
    }
    std::vector<HWND> owned; // destroyed first
    for (auto &window : windows)
        if (window->live && window->owner == h)
            owned.push_back(window->hwnd);
    for (HWND o : owned)
        DestroyTree(o);
    CallDialog(w, WM_DESTROY, 0, 0);
    for (HWND c : w->children)
        if (W(c))
            W(c)->live = false;
    w->live = false;
    if (active == h)
        active = W(w->owner) ? w->owner : nullptr;
}

// Delivers the posted messages as the innermost modal loop would, until the
// queue is empty or the loop's dialog has ended.
void Pump() {
    while (!modalLoops.empty() && !queue.empty()) {
        Window *d = W(modalLoops.back());
        if (modalLoops.back() && (!d || d->ended))
            return;
        MSG msg = queue.front();
        queue.pop_front();
        if (Window *target = DialogOfWindow(msg.hwnd))
            IsDialogMessageA(target->hwnd, &msg);
    }
}

std::string TemplateName(LPCSTR name) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    return id >> 16 ? std::string(name) : std::to_string(id);
}

const DialogTemplate *Template(LPCSTR name, const char *function) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    const DialogTemplate *t = id >> 16 ? nullptr : FindDialog(static_cast<int>(id));
    if (!t)
        Fail(std::string(function) + ": no dialog template " + std::to_string(id));
    return t;
}

// ---- The test API's checks

Window *LiveDialog(HWND dialog, const std::string &action) {
    Window *d = W(dialog);
    if (!d || !d->isDialog)
        Fail(action + ": " + Describe(dialog) + " is not a live dialog");
    return d && d->isDialog ? d : nullptr;
}

Window *ControlOf(HWND dialog, int id, const std::string &action) {
    Window *d = LiveDialog(dialog, action);
    Window *c = d ? Child(d, id) : nullptr;
    if (d && !c)
        Fail(action + ": " + Describe(dialog) + " has no control " + std::to_string(id));
    return c;
}

// Whether a user action on `target` must be refused (and recorded as a
// failure): its dialog is disabled, hidden or ended, or the control is.
bool Refuse(HWND target, const std::string &action) {
    Window *w = W(target), *d = DialogOfWindow(target);
    std::string problem;
    if (!w || !d)
        problem = Describe(target) + " does not exist";
    else if (d->style & WS_DISABLED)
        problem = Describe(d->hwnd) + " is disabled (a modal dialog or box is open over it)";
    else if (!(d->style & WS_VISIBLE) || d->ended)
        problem = Describe(d->hwnd) + " is not visible";
    else if (w != d && !Usable(w))
        problem = Describe(target) + " is disabled or hidden";
    if (!problem.empty())
        Fail(action + ": " + problem);
    return !problem.empty();
}

// The control a user action is aimed at, when the user can reach it and it is
// of one of the classes named.
Window *Target(HWND dialog, int id, const std::string &action, const std::string &classes) {
    Window *c = ControlOf(dialog, id, action);
    if (!c || Refuse(c->hwnd, action))
        return nullptr;
    if (classes.find(c->className) == std::string::npos) {
        Fail(action + ": " + Describe(c->hwnd) + " is not a " + classes);
        return nullptr;
    }
    W(c->parent)->focus = c->hwnd;
    return c;
}

} // namespace

void ResetWindows() {
    firstWindow += 4 * windows.size();
    windows.clear();
    active = nullptr;
    modalLoops.clear();
    queue.clear();
    quitPosted = false;
    quitCode = 0;
    boxes.clear();
    boxHandler = nullptr;
    dialogHandlers.clear();
    idleHandler = nullptr;
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
    for (const auto &entry : dialogHandlers)
        n += static_cast<int>(entry.second.size());
    return n;
}

HWND DialogOf(int templateId) {
    HWND found = nullptr;
    for (const auto &window : windows)
        if (window->live && window->isDialog && window->templateId == templateId)
            found = window->hwnd; // the most recent one
    return found;
}

HWND Control(HWND dialog, int id) {
    Window *d = W(dialog);
    Window *c = d ? Child(d, id) : nullptr;
    return c ? c->hwnd : nullptr;
}

bool IsLive(HWND window) {
    return W(window) != nullptr;
}

bool IsEnabled(HWND window) {
    return W(window) && !(W(window)->style & WS_DISABLED);
}

bool IsVisible(HWND window) {
    Window *w = W(window);
    return w && (w->style & WS_VISIBLE) && (w->isDialog || IsVisible(w->parent));
}

HWND Focus() {
    return W(active) ? W(active)->focus : nullptr;
}

HWND Owner(HWND window) {
    return W(window) ? W(window)->owner : nullptr;
}

DWORD Style(HWND window) {
    return W(window) ? W(window)->style : 0;
}

std::string Text(HWND window) {
    Window *w = W(window);
    return !w ? std::string() : w->isDialog ? w->text : ControlText(w);
}

std::string Text(HWND dialog, int id) {
    Window *c = ControlOf(dialog, id, "Text");
    return c ? ControlText(c) : std::string();
}

std::vector<int> ControlIds(HWND dialog) {
    std::vector<int> ids;
    if (Window *d = W(dialog))
        for (HWND c : d->children)
            if (W(c))
                ids.push_back(W(c)->id);
    return ids;
}

void Click(HWND dialog, int id) {
    Api api(Fn::None);
    if (Window *c = Target(dialog, id, "Click", "Button"))
        Notify(c, BN_CLICKED);
    Pump();
}

void Select(HWND dialog, int id, int index) {
    Api api(Fn::None);
    Window *c = Target(dialog, id, "Select", "ListBox or ComboBox");
    if (!c)
        return;
    if (index < 0 || index >= static_cast<int>(c->items.size())) {
        Fail("Select: " + Describe(c->hwnd) + " has no item " + std::to_string(index));
        return;
    }
    c->selection = index;
    if (c->className == "ComboBox")
        Notify(c, CBN_SELCHANGE);
    else if (c->style & LBS_NOTIFY)
        Notify(c, LBN_SELCHANGE);
    Pump();
}

void DoubleClick(HWND dialog, int id, int index) {
    Api api(Fn::None);
    Window *c = Target(dialog, id, "DoubleClick", "ListBox");
    if (!c)
        return;
    Select(dialog, id, index);
    if (W(c->hwnd) && (c->style & LBS_NOTIFY) && c->selection == index)
        Notify(c, LBN_DBLCLK);
    Pump();
}

void Type(HWND dialog, int id, const std::string &text) {
    Api api(Fn::None);
    Window *c = Target(dialog, id, "Type", "Edit");
    if (!c)
        return;
    c->text.clear();
    for (char ch : text)
        if (!(c->style & ES_NUMBER) || isdigit(static_cast<unsigned char>(ch)))
            c->text.push_back(ch); // an ES_NUMBER box refuses other characters
    Pump();
}

void Key(HWND dialog, int vk) {
    Api api(Fn::None);
    Window *d = LiveDialog(dialog, "Key");
    if (!d || Refuse(W(d->focus) ? d->focus : dialog, "Key"))
        return;
    if (vk != VK_ESCAPE && vk != VK_RETURN && vk != VK_TAB) {
        Fail("Key: only Escape, Return and Tab are handled by the dialog manager here");
        return;
    }
    DialogKey(d, static_cast<WPARAM>(vk));
    Pump();
}

void CloseBox(HWND dialog) {
    Api api(Fn::None);
    Window *d = LiveDialog(dialog, "CloseBox");
    if (!d || Refuse(dialog, "CloseBox"))
        return;
    if (!(d->style & WS_SYSMENU)) {
        Fail("CloseBox: " + Describe(dialog) + " has no close box");
        return;
    }
    Send(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
}

std::vector<std::string> Items(HWND dialog, int id) {
    std::vector<std::string> items;
    if (Window *c = ControlOf(dialog, id, "Items"))
        for (const Item &item : c->items)
            items.push_back(item.text);
    return items;
}

int Selection(HWND dialog, int id) {
    Window *c = ControlOf(dialog, id, "Selection");
    return c ? c->selection : -1;
}

LONG_PTR ItemData(HWND dialog, int id, int index) {
    Window *c = ControlOf(dialog, id, "ItemData");
    if (!c || index < 0 || index >= static_cast<int>(c->items.size()))
        return -1;
    return c->items[size_t(index)].data;
}

void OnIdle(std::function<void()> handler) {
    idleHandler = std::move(handler);
}

void PostKey(HWND window, int vk) {
    Window *d = DialogOfWindow(window);
    HWND target = d && W(d->focus) ? d->focus : window;
    if (Refuse(target, "PostKey"))
        return;
    Post(target, WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
    Post(target, WM_KEYUP, static_cast<WPARAM>(vk), static_cast<LPARAM>(0xC0000001u));
}

void PostCommand(HWND window, int id) {
    if (Refuse(window, "PostCommand"))
        return;
    Window *control = Child(W(window), id);
    if (control && Refuse(control->hwnd, "PostCommand"))
        return;
    Post(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
         reinterpret_cast<LPARAM>(control ? control->hwnd : 0));
}

void PostCloseBox(HWND window) {
    if (!Refuse(window, "PostCloseBox"))
        Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

} // namespace sim

// ---- The Win32 functions
using namespace sim::detail;

extern "C" {

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Api api(Fn::None);
    (void)hInstance;
    bool fail = FallibleHit([&] { return "CreateDialogParamA " + TemplateName(lpTemplateName); });
    if (HitSettingError(Fn::CreateDialogParamA_))
        return NULL;
    if (fail) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    const DialogTemplate *t = Template(lpTemplateName, "CreateDialogParamA");
    if (!t)
        return NULL;
    Window *owner = DialogOfWindow(hWndParent);
    // A dialog that destroyed itself during WM_INITDIALOG still has its
    // handle returned, as Wine's user32 does; the handle is no longer a
    // window.
    return CreateFromTemplate(*t, owner ? owner->hwnd : nullptr, lpDialogFunc, dwInitParam, false);
}

// The dialog runs the first handler queued for its template (OnDialog) after
// WM_INITDIALOG, delivering the messages posted meanwhile.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Api api(Fn::None);
    (void)hInstance;
    bool fail = FallibleHit([&] { return "DialogBoxParamA " + TemplateName(lpTemplateName); });
    if (HitSettingError(Fn::DialogBoxParamA_))
        return -1;
    if (fail) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    const DialogTemplate *t = Template(lpTemplateName, "DialogBoxParamA");
    if (!t)
        return -1;
    Window *owner = DialogOfWindow(hWndParent);
    if (owner)
        owner->style |= WS_DISABLED;
    HWND dialog =
        CreateFromTemplate(*t, owner ? owner->hwnd : nullptr, lpDialogFunc, dwInitParam, true);
    if (!W(dialog))
        return -1; // destroyed during WM_INITDIALOG: nobody enables the owner again
    modalLoops.push_back(dialog);
    Pump();
    std::deque<std::function<void(HWND)>> &handlers = dialogHandlers[t->id];
    if (W(dialog) && !W(dialog)->ended && handlers.empty()) {
        Fail("DialogBoxParamA: dialog " + std::to_string(t->id) +
             " opened with no OnDialog handler queued for it");
        EndDialog(dialog, -3);
    } else if (W(dialog) && !W(dialog)->ended) {
        std::function<void(HWND)> handler = std::move(handlers.front());
        handlers.pop_front();
        if (handler) {
            Callout callout;
            handler(dialog);
        }
        Pump();
        if (W(dialog) && !W(dialog)->ended) {
            Fail("DialogBoxParamA: the handler of dialog " + std::to_string(t->id) +
                 " left it open");
            EndDialog(dialog, -3);
        }
    }
    if (!modalLoops.empty())
        modalLoops.pop_back();
    if (!W(dialog))
        return 0; // destroyed instead of ended
    INT_PTR result = W(dialog)->result;
    DestroyTree(dialog);
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    Api api(Fn::EndDialog_);
    Window *d = W(hDlg);
    if (!d || !d->isDialog)
        return FALSE;
    if (!d->modal)
        Fail("EndDialog on the modeless " + Describe(hDlg) + ": it only hides it");
    d->result = nResult;
    d->ended = true;
    d->style &= ~WS_VISIBLE;
    if (W(d->owner))
        W(d->owner)->style &= ~WS_DISABLED;
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Api api(Fn::DestroyWindow_);
    if (!W(hWnd))
        return FALSE;
    DestroyTree(hWnd);
    return TRUE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    Api api(Fn::EnableWindow_);
    Window *w = W(hWnd);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    w->style = bEnable ? w->style & ~WS_DISABLED : w->style | WS_DISABLED;
    return wasDisabled;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Api api(Fn::GetDlgItem_);
    return sim::Control(hDlg, nIDDlgItem);
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Api api(Fn::SendMessageA_);
    return Send(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
    Api api(Fn::SendDlgItemMessageA_);
    HWND control = sim::Control(hDlg, nIDDlgItem);
    if (!control)
        Fail("SendDlgItemMessageA: " + Describe(hDlg) + " has no control " +
             std::to_string(nIDDlgItem));
    return Send(control, Msg, wParam, lParam);
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    Api api(Fn::SetDlgItemTextA_);
    Window *c = W(sim::Control(hDlg, nIDDlgItem));
    if (c)
        c->text = lpString ? lpString : "";
    return c != nullptr;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    Api api(Fn::GetDlgItemTextA_);
    Window *c = W(sim::Control(hDlg, nIDDlgItem));
    std::string text = c ? ControlText(c) : std::string();
    size_t count = std::min(text.size(), static_cast<size_t>(cchMax - 1));
    memcpy(lpString, text.data(), count);
    lpString[count] = '\0';
    return static_cast<UINT>(count);
}

// Windows reads the text (at most 29 characters): blanks, decimal digits and
// blanks, nothing else, within 32 bits; anything else gives 0, "not
// translated".
UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL *lpTranslated, BOOL bSigned) {
    Api api(Fn::GetDlgItemInt_);
    if (bSigned)
        Fail("GetDlgItemInt: signed values are not supported here");
    Window *c = W(sim::Control(hDlg, nIDDlgItem));
    std::string text = c ? ControlText(c).substr(0, 29) : std::string();
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    unsigned long long value = 0;
    bool ok = first != std::string::npos;
    for (size_t i = first; ok && i <= last; ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        ok = isdigit(static_cast<unsigned char>(text[i])) && value <= 0xFFFFFFFFull;
    }
    if (lpTranslated)
        *lpTranslated = ok;
    return ok ? static_cast<UINT>(value) : 0;
}

// Every box is recorded; while it is open the owner's dialog is disabled and
// the handler (if any) presses the button.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Api api(Fn::MessageBoxA_);
    if (hWnd && !W(hWnd)) {
        SetError(1400); // ERROR_INVALID_WINDOW_HANDLE: no box, as on Windows
        return 0;
    }
    sim::Box box{hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType};
    boxes.push_back(box);
    if ((uType & 0xF) != MB_OK)
        Fail("MessageBoxA: only boxes with one OK button are supported here");
    Window *owner = DialogOfWindow(hWnd);
    bool disabled = owner && !(owner->style & WS_DISABLED);
    if (disabled)
        owner->style |= WS_DISABLED;
    HWND previous = active;
    active = nullptr;
    modalLoops.push_back(nullptr);
    Pump();
    int result = IDOK;
    if (boxHandler) {
        std::function<int(const sim::Box &)> handler = boxHandler;
        Callout callout;
        result = handler(box);
    }
    if (result != IDOK)
        Fail("MessageBoxA: the handler pressed button " + std::to_string(result) +
             " that the box \"" + box.text + "\" does not have");
    Pump();
    if (!modalLoops.empty())
        modalLoops.pop_back();
    if (disabled && W(owner->hwnd))
        owner->style &= ~WS_DISABLED;
    active = W(previous) ? previous : owner && W(owner->hwnd) ? owner->hwnd : nullptr;
    return IDOK;
}

// Posted messages in order; with none left, the idle handler runs once and,
// if it posts nothing either, the quit message (a failure unless the program
// asked to quit).
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    Api api(Fn::GetMessageA_);
    (void)hWnd; // the program filters nothing
    (void)wMsgFilterMin;
    (void)wMsgFilterMax;
    if (queue.empty() && !quitPosted && idleHandler) {
        std::function<void()> handler = idleHandler;
        Callout callout;
        handler();
    }
    if (!queue.empty()) {
        *lpMsg = queue.front();
        queue.pop_front();
        return TRUE;
    }
    if (!quitPosted)
        Fail("GetMessageA: no message left to deliver (the program would wait forever)");
    *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitPosted ? quitCode : 0), 0, 0, {0, 0}};
    quitPosted = false;
    return FALSE;
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    Api api(Fn::IsDialogMessageA_);
    Window *d = W(hDlg);
    if (!d || !d->isDialog || DialogOfWindow(lpMsg->hwnd) != d)
        return FALSE;
    WPARAM vk = lpMsg->wParam;
    if (lpMsg->message == WM_KEYDOWN && (vk == VK_ESCAPE || vk == VK_RETURN || vk == VK_TAB))
        DialogKey(d, vk);
    else
        Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    return TRUE;
}

// No character messages here: the only keys are the dialog manager's.
BOOL WINAPI TranslateMessage(const MSG *lpMsg) {
    Api api(Fn::TranslateMessage_);
    (void)lpMsg;
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
    Api api(Fn::DispatchMessageA_);
    return Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
    Api api(Fn::PostQuitMessage_);
    quitPosted = true;
    quitCode = nExitCode;
}

} // extern "C"
