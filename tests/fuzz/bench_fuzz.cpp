// libFuzzer harness over the bench loader: any byte sequence must end as a validated bench or
// as one printable line that says why it is refused, without a crash, a sanitizer report, a
// deep recursion or a runaway allocation. A bench that is accepted must also take a stored
// property value in every place it has one, and the stored text must load again.
#include "simulator/bench/bench_model.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// One printable line: no control characters (DEL included), at most a few hundred bytes of
// quoted text per key or value.
void expect_one_line(const std::string& reason) {
    if (reason.empty())
        std::abort();
    for (char c : reason) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bench::Loaded loaded = bench::load(text);
    if (!loaded.bench) {
        expect_one_line(loaded.reason);
        return 0;
    }
    if (!loaded.reason.empty())
        std::abort();
    const bench::Bench& model = *loaded.bench;
    for (std::size_t index = 0; index < model.tuners.size(); ++index) {
        for (const bench::ExtensionProperty& property : bench::extension_properties) {
            const std::uint32_t id = property.id;
            HRESULT hr = S_OK;
            const bool has_place = !model.tuners[index].is_marker &&
                                   bench::find_property(model.tuners[index].driver, id, hr);
            const auto stored = bench::with_property_value(text, model, index, id, -123456);
            // A value the driver holds always finds its place in the text: a Save is never lost.
            if (stored.has_value() != has_place)
                std::abort();
            if (stored && !bench::load(*stored).bench)
                std::abort();
        }
    }
    return 0;
}
