// morvane-control-center.exe as a user starts it: a GUI program whose first line on standard
// output (redirected here) is "here we are!!!!", whose window appears with the keyboard focus
// on the device list and lists "No device attached" on a PC without tuners, whose notification
// window stays hidden, and which ends with exit code 0 when its window (or the notification
// window) is closed.
#include "panel/win32/MCCForm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using MorvaneControlCenter::ControlId;
using MorvaneControlCenter::MCCForm;

std::wstring programPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"morvane-control-center.exe";
}

// A top-level window of one process, by class and title.
HWND windowOf(DWORD process, const wchar_t* className, const wchar_t* title) {
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExW(nullptr, hwnd, className, title)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == process)
            return hwnd;
    }
    return nullptr;
}

template <typename Condition> bool waitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::wstring listEntry(HWND list, int index) {
    const auto length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// The program, started with its standard output into a pipe.
class ControlCenter : public testing::Test {
  protected:
    void SetUp() override {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE write = nullptr;
        ASSERT_TRUE(CreatePipe(&output_, &write, &inherit, 1 << 16));
        SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = write;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring commandLine = L"\"" + programPath() + L"\"";
        const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, nullptr, &startup, &process_);
        CloseHandle(write);
        ASSERT_TRUE(started) << "cannot start "
                             << std::string(commandLine.begin(), commandLine.end());

        ASSERT_TRUE(waitFor(
            [&] {
                return (main_ = windowOf(process_.dwProcessId, MCCForm::kClassName,
                                         MCCForm::kTitle)) != nullptr;
            },
            30s))
            << "the main window did not appear";
        ASSERT_TRUE(waitFor([&] { return IsWindowVisible(main_) != FALSE; }, 10s));
    }

    void TearDown() override {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        if (output_)
            CloseHandle(output_);
    }

    // The exit code once the program has ended, or -1 when it does not end within 30 s.
    long exitCode() {
        if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

    // Everything the program wrote to standard output (after it ended), line ends as LF.
    std::string output() {
        std::string text;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(output_, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            text.append(buffer, read);
        std::string lines;
        for (char c : text)
            if (c != '\r')
                lines += c;
        return lines;
    }

    PROCESS_INFORMATION process_{};
    HANDLE output_ = nullptr;
    HWND main_ = nullptr;
};

TEST_F(ControlCenter, ShowsItsWindowWithTheFocusOnTheListAndEndsWithZeroWhenClosed) {
    HWND list = GetDlgItem(main_, static_cast<int>(ControlId::deviceListBox));
    ASSERT_NE(list, nullptr);

    // The notification window exists and is never shown.
    HWND notify =
        windowOf(process_.dwProcessId, L"Morvane Control Center", L"Morvane Control Center");
    ASSERT_NE(notify, nullptr);
    EXPECT_FALSE(IsWindowVisible(notify));

    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    EXPECT_TRUE(waitFor(
        [&] { return GetGUIThreadInfo(process_.dwThreadId, &gui) && gui.hwndFocus == list; }, 10s))
        << "the keyboard focus is not on the device list";

    // The first refresh, 500 ms after start, finds no tuner in this prefix.
    EXPECT_TRUE(waitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) == 1; }, 20s));
    EXPECT_EQ(listEntry(list, 0), L"No device attached");

    PostMessageW(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(exitCode(), 0);
    const std::string lines = output();
    EXPECT_EQ(lines.substr(0, lines.find('\n') + 1), "here we are!!!!\n") << lines;
    EXPECT_EQ(lines.find("here we are!!!!", 1), std::string::npos) << "said more than once";
}

TEST_F(ControlCenter, ClosingTheNotificationWindowAlsoEndsTheProgramWithZero) {
    HWND notify = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            return (notify = windowOf(process_.dwProcessId, L"Morvane Control Center",
                                      L"Morvane Control Center")) != nullptr;
        },
        10s));
    PostMessageW(notify, WM_CLOSE, 0, 0);
    EXPECT_EQ(exitCode(), 0);
}

} // namespace
