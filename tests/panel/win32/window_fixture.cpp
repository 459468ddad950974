#include "window_fixture.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace MorvaneControlCenter::testing_support {

UINT expectedDpi = 96;

namespace {

wchar_t* duplicate(const std::wstring& text) {
    auto* copy = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return copy;
}

// A record as the enumeration hands it out, disposed of with media_free_device.
media_bda_device_list* recordOf(const Tuner& tuner) {
    auto* record =
        static_cast<media_bda_device_list*>(std::calloc(1, sizeof(media_bda_device_list)));
    record->devicename = duplicate(tuner.name);
    record->devicepath = duplicate(tuner.path);
    record->devicetype = tuner.type;
    record->unicable_supported = tuner.supported;
    record->unicable_enabled = tuner.enabled;
    record->unicable_frequency = tuner.frequency;
    record->unicable_satcr = tuner.satcr;
    return record;
}

std::vector<MessageBoxAnswerer::Box> answered;

LRESULT CALLBACK answerBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const auto box = reinterpret_cast<HWND>(wParam);
        // The owner is activated again when the box closes: only the box itself is answered.
        if (classOf(box) == L"#32770") {
            wchar_t text[1024] = L"";
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            answered.push_back({textOf(box), text, GetWindow(box, GW_OWNER)});
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue; // a notification window that was closed; not this loop's end
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (condition())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
    }
}

void pumpFor(std::chrono::milliseconds time) {
    pumpUntil([] { return false; }, time);
}

std::wstring textOf(HWND hwnd) {
    wchar_t text[512] = L"";
    GetWindowTextW(hwnd, text, 512);
    return text;
}

std::wstring classOf(HWND hwnd) {
    wchar_t name[256] = L"";
    GetClassNameW(hwnd, name, 256);
    return name;
}

RECT rectIn(HWND hwnd, HWND relativeTo) {
    RECT rect;
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(HWND_DESKTOP, relativeTo ? relativeTo : GetParent(hwnd),
                    reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

MessageBoxAnswerer::MessageBoxAnswerer() {
    answered.clear();
    hook_ = SetWindowsHookExW(WH_CBT, answerBox, nullptr, GetCurrentThreadId());
    EXPECT_NE(hook_, nullptr);
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    if (hook_)
        UnhookWindowsHookEx(hook_);
}

const std::vector<MessageBoxAnswerer::Box>& MessageBoxAnswerer::boxes() const {
    return answered;
}

void WindowTest::SetUp() {
    form = std::make_unique<MCCForm>();
    if (!fakeTuners) {
        form->show();
        return;
    }
    form->setEnumerator([this] {
        ++enumerations;
        std::vector<media_bda_device_list*> records;
        for (const Tuner& tuner : tuners_)
            records.push_back(recordOf(tuner));
        return records;
    });
    form->setApplyOperation(
        [this](const media_unicable_settings& settings, const media_wchar* path) {
            applies.push_back(
                {settings.frequency, settings.satcr, settings.enabled, path ? path : L""});
            if (duringApply)
                duringApply();
            return 0;
        });
    form->show();
}

void WindowTest::TearDown() {
    form.reset();
    pumpFor(std::chrono::milliseconds(0));
}

void WindowTest::refresh() {
    const int before = enumerations;
    form->updateDevicelistMember();
    ASSERT_TRUE(pumpUntil([&] { return enumerations > before; }, std::chrono::seconds(5)))
        << "no refresh within 5 s of the request";
}

std::vector<std::wstring> WindowTest::listEntries() const {
    HWND list = control(ControlId::deviceListBox);
    std::vector<std::wstring> entries;
    const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(std::wcslen(text.c_str()));
        entries.push_back(text);
    }
    return entries;
}

int WindowTest::selectedEntry() const {
    return static_cast<int>(SendMessageW(control(ControlId::deviceListBox), LB_GETCURSEL, 0, 0));
}

std::vector<std::wstring> WindowTest::tabCaptions() const {
    HWND tab = control(ControlId::devicetab);
    std::vector<std::wstring> captions;
    const auto count = SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[128] = L"";
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        captions.push_back(text);
    }
    return captions;
}

std::vector<ControlId> WindowTest::visiblePages() const {
    std::vector<ControlId> pages;
    for (ControlId page :
         {ControlId::dvbs_unicable, ControlId::dvbs_testastra, ControlId::dvbs_scan,
          ControlId::dvbc_scan, ControlId::infotab, ControlId::dvbt2_scan})
        if (IsWindowVisible(control(page)))
            pages.push_back(page);
    return pages;
}

bool WindowTest::checked(ControlId id) const {
    return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WindowTest::selectEntry(int position) {
    HWND list = control(ControlId::deviceListBox);
    ASSERT_TRUE(IsWindowVisible(list) && IsWindowEnabled(list));
    ASSERT_NE(SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(position), 0), LB_ERR);
    SendMessageW(GetParent(list), WM_COMMAND,
                 MAKEWPARAM(static_cast<int>(ControlId::deviceListBox), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void WindowTest::click(ControlId id) {
    HWND button = control(id);
    ASSERT_TRUE(IsWindowVisible(button)) << "the control is not on screen";
    ASSERT_TRUE(IsWindowEnabled(button)) << "the control is disabled";
    SendMessageW(button, BM_CLICK, 0, 0);
}

void WindowTest::typeInto(ControlId id, const std::wstring& text) {
    HWND combo = control(id);
    ASSERT_TRUE(IsWindowVisible(combo) && IsWindowEnabled(combo));
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    ASSERT_NE(info.hwndItem, nullptr);
    SetFocus(info.hwndItem);
    SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    SendMessageW(info.hwndItem, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void WindowTest::pressKey(UINT key, bool shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE shiftBefore = keys[VK_SHIFT];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    for (UINT message : {UINT{WM_KEYDOWN}, UINT{WM_KEYUP}}) {
        MSG msg{};
        msg.hwnd = GetFocus();
        msg.message = message;
        msg.wParam = key;
        msg.lParam = message == WM_KEYUP ? static_cast<LPARAM>(0xC0000001) : 1;
        if (!form->isDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    keys[VK_SHIFT] = shiftBefore;
    SetKeyboardState(keys);
}

} // namespace MorvaneControlCenter::testing_support
