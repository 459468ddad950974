// The Unicable apply of the Windows build inside Wine's runtime, on the simulated driver
// (benches/two_tuners.json through scripts/wine-bench.sh): the values written reach the bench
// file, and a tuner whose driver lacks the property set gets the message box, which blocks
// until it is answered. A second thread finds the box by its caption, reads it and presses OK.
#include "media/device_list.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

const media_wchar sat_path[] = L"\\\\?\\usb#vid_734c&pid_5980#7#tuner";
const media_wchar cable_path[] = L"\\\\?\\usb#vid_734c&pid_5990#8#tuner";

std::string read_bench() {
    char path[1024];
    DWORD n = GetEnvironmentVariableA("MORVANE_BENCH", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return std::string();
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the answering thread saw of the box.
struct Seen {
    std::atomic<bool> found{false};
    std::string text;
    bool owned = true;
    bool ok_button = false;
    bool cancel_button = true;
};

// Waits up to 60 s for the box with that caption, records it and presses OK.
void answer_box(const char* caption, Seen& seen) {
    for (int i = 0; i < 1200; ++i) {
        HWND box = FindWindowA("#32770", caption);
        if (box) {
            char text[256] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // the box's static text
            seen.text = text;
            seen.owned = GetWindow(box, GW_OWNER) != nullptr;
            seen.ok_button = GetDlgItem(box, IDOK) != nullptr;
            seen.cancel_button = GetDlgItem(box, IDCANCEL) != nullptr;
            seen.found = true;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            return;
        }
        Sleep(50);
    }
}

TEST(ApplyUnderWine, ValuesReachTheBenchFile) {
    media_initialize();
    EXPECT_EQ(media_set_unicable_properties(1500, 4, 0, sat_path), 0);
    const std::string bench = read_bench();
    EXPECT_NE(bench.find("\"unicable\": {\"enabled\": 0, \"scr\": 4, \"frequency\": 1500}"),
              std::string::npos)
        << bench;
    // A path that differs only in letter case matches nothing and writes nothing.
    EXPECT_EQ(media_set_unicable_properties(1, 1, 1, L"\\\\?\\USB#vid_734c&pid_5980#7#tuner"), 0);
    EXPECT_EQ(read_bench(), bench);
}

TEST(ApplyUnderWine, ADriverWithoutThePropertySetGetsTheMessageBox) {
    media_initialize();
    const std::string before = read_bench();
    Seen seen;
    std::thread answer(answer_box, "Unicable not Supported!", std::ref(seen));
    EXPECT_EQ(media_set_unicable_properties(1210, 1, 1, cable_path), 0);
    answer.join();
    ASSERT_TRUE(seen.found) << "no box with the caption \"Unicable not Supported!\"";
    EXPECT_EQ(seen.text, "UNICABLE not SUPPORTED!");
    EXPECT_FALSE(seen.owned) << "the box has no owner window";
    EXPECT_TRUE(seen.ok_button);
    EXPECT_FALSE(seen.cancel_button) << "MB_OK: a single OK button";
    EXPECT_EQ(read_bench(), before) << "nothing is written";
}

} // namespace
