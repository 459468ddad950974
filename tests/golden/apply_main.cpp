// golden-apply: runs one apply of the Unicable settings, as the Unicable page's Save does, and
// prints the layer's log on standard output, for the golden cases.
//
//   golden-apply FREQUENCY SCR ENABLED [DEVICEPATH]
//
// FREQUENCY, SCR and ENABLED are 32-bit signed whole numbers passed unchanged; without
// DEVICEPATH the apply gets no path at all (a null pointer). The message box that the apply may
// show is answered with OK at once, and the program prints, at the moment the box appears,
//
//   message box "CAPTION" "TEXT" type N
//
// and after the apply "apply result: R". Exit code 0 once the apply ran; 3 when the arguments
// are refused (one line on standard error); the stand-in's 2 for a bench it refuses.
#include "media/device_list.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <thread>
#else
#include "platform/standin.h"
#endif

namespace {

bool parse_int32(const char* text, int32_t& value) {
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < std::numeric_limits<int32_t>::min() ||
        parsed > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

void print_box(const char* caption, const char* text, unsigned type) {
    std::printf("message box \"%s\" \"%s\" type %u\n", caption, text, type);
    std::fflush(stdout);
}

#ifdef _WIN32

// The device path as the command line gives it, in UTF-16.
std::wstring wide_argument(int index) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring value = args && index < count ? args[index] : L"";
    LocalFree(args);
    return value;
}

// The apply's box has no owner and blocks the calling thread in its own message loop: a second
// thread finds every dialog of this process, reports it and presses OK. The type is read back
// from the box: MB_OK (0) when its only button is OK and it shows no icon.
class box_answerer {
  public:
    box_answerer() : thread_([this] { watch(); }) {}
    ~box_answerer() {
        stop_ = true;
        thread_.join();
    }

  private:
    static BOOL CALLBACK visit(HWND window, LPARAM self) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (process == GetCurrentProcessId() && std::string(name) == "#32770" &&
            IsWindowVisible(window))
            reinterpret_cast<box_answerer*>(self)->answer(window);
        return TRUE;
    }

    // Counts what the box shows: a box without an icon may keep its template's icon control,
    // visible and empty (Wine does), so only a control that holds an icon counts.
    static BOOL CALLBACK count_child(HWND child, LPARAM counts) {
        if (!IsWindowVisible(child))
            return TRUE;
        char name[16] = {};
        GetClassNameA(child, name, sizeof name);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        auto* c = reinterpret_cast<int*>(counts);
        if (std::string(name) == "Button")
            ++c[0];
        else if (std::string(name) == "Static" && (style & SS_TYPEMASK) == SS_ICON &&
                 SendMessageA(child, STM_GETICON, 0, 0) != 0)
            ++c[1];
        return TRUE;
    }

    void answer(HWND box) {
        char caption[256] = {}, text[1024] = {};
        GetWindowTextA(box, caption, sizeof caption);
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // the message's static text
        int counts[2] = {0, 0};                          // buttons, icons
        EnumChildWindows(box, count_child, reinterpret_cast<LPARAM>(counts));
        const bool ok_only = counts[0] == 1 && GetDlgItem(box, IDOK) && counts[1] == 0;
        print_box(caption, text, ok_only ? MB_OK : 0xFFFFFFFFu);
        SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }

    void watch() {
        while (!stop_) {
            EnumWindows(visit, reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

#endif

} // namespace

int main(int argc, char** argv) {
    int32_t values[3] = {};
    const char* names[3] = {"FREQUENCY", "SCR", "ENABLED"};
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: golden-apply FREQUENCY SCR ENABLED [DEVICEPATH]\n");
        return 3;
    }
    for (int i = 0; i < 3; ++i)
        if (!parse_int32(argv[i + 1], values[i])) {
            std::fprintf(stderr, "golden-apply: %s is not a 32-bit whole number: %s\n", names[i],
                         argv[i + 1]);
            return 3;
        }

#ifdef _WIN32
    const std::wstring path = argc == 5 ? wide_argument(4) : L"";
    box_answerer answerer;
#else
    standin::startup();
    standin::set_message_box_handler([](const char* caption, const char* text, unsigned type) {
        print_box(caption, text, type);
        return 1; // IDOK
    });
    std::u16string path;
    if (argc == 5) // UTF-8 to UTF-16
        for (const char* p = argv[4]; *p;) {
            unsigned char c = static_cast<unsigned char>(*p++);
            char32_t code = c;
            int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            if (more)
                code = c & (0x3F >> more);
            for (; more > 0 && (static_cast<unsigned char>(*p) & 0xC0) == 0x80; --more)
                code = (code << 6) | (static_cast<unsigned char>(*p++) & 0x3F);
            if (code >= 0x10000) {
                code -= 0x10000;
                path += static_cast<char16_t>(0xD800 + (code >> 10));
                path += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
            } else {
                path += static_cast<char16_t>(code);
            }
        }
#endif

    media_initialize();
    const int32_t result = media_set_unicable_properties(values[0], values[1], values[2],
                                                         argc == 5 ? path.c_str() : nullptr);
    std::printf("apply result: %d\n", static_cast<int>(result));
    std::fflush(stdout);
    return 0;
}
