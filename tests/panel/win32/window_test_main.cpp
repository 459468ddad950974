// The window tests' entry point: the common controls as the program starts them, and the DPI
// the prefix was made with (--dpi=N, default 96), which the window must be laid out for.
#include "window_fixture.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--dpi=", 6) == 0)
            MorvaneControlCenter::testing_support::expectedDpi =
                static_cast<UINT>(std::atoi(argv[i] + 6));

    // COM on the thread, as the program has it (the window's accessibility annotations use it).
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                     ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    return RUN_ALL_TESTS();
}
