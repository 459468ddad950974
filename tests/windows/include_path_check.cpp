// Compile-only: Windows code reaches nlohmann-json through its target, and the host's
// /usr/include (Linux headers, the host's GoogleTest) stays out of the cross build.
#include <nlohmann/json.hpp>

#if __has_include(<linux/inotify.h>) || __has_include(<gtest/gtest.h>)
#error "the host's /usr/include is on the include path of the Windows build"
#endif

namespace {

[[maybe_unused]] bool parses_a_bench_shape() {
    const nlohmann::json bench = nlohmann::json::parse(R"({"devices": [{"name": "x"}]})");
    return bench.at("devices").at(0).at("name").get<std::string>() == "x";
}

} // namespace
