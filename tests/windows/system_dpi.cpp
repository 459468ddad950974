// Under Wine: prints the DPI the window system gives a DPI-aware program, and exits with 0 when
// it is the one named on the command line, 1 when not (2: bad command line).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int expected = argc == 2 ? std::atoi(argv[1]) : 0;
    if (expected <= 0) {
        std::fputs("usage: windows-system-dpi EXPECTED_DPI\n", stderr);
        return 2;
    }
    // A program that does not declare itself DPI-aware may be told 96 whatever the setting.
    SetProcessDPIAware();
    const HDC screen = GetDC(nullptr);
    const int x = GetDeviceCaps(screen, LOGPIXELSX);
    const int y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    std::printf("system DPI %d x %d, expected %d\n", x, y, expected);
    return x == expected && y == expected ? 0 : 1;
}
