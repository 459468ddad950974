// A small program that uses the stand-in and exits, so that tests can read the
// "exit live=N" line a whole process leaves in the trace.
//
//   exit_probe startup      calls standin::startup() and creates nothing
//   exit_probe keep N       creates N objects without startup() and keeps them
//   exit_probe release      creates objects without startup() and releases them all

#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/standin.h"

#include <cstdlib>
#include <cstring>

namespace {
// Still reachable at exit, so the leak checker sees them as kept on purpose.
IUnknown* kept[16];
int kept_count = 0;
} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 64;
    if (std::strcmp(argv[1], "startup") == 0) {
        standin::startup();
        return 0;
    }
    int count = std::strcmp(argv[1], "keep") == 0 && argc > 2 ? std::atoi(argv[2]) : 3;
    if (count < 0 || count > 16)
        return 64;
    for (int i = 0; i < count; ++i) {
        IUnknown* object = nullptr;
        if (CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)) != S_OK)
            return 1;
        kept[kept_count++] = object;
    }
    if (std::strcmp(argv[1], "release") == 0) {
        while (kept_count > 0)
            kept[--kept_count]->Release();
    }
    return 0;
}
