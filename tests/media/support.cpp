#include "support.h"

#include "platform/standin.h"
#include "tests/golden/golden.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace media_test {

std::string capture_stdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    char name[] = "/tmp/media-stdout-XXXXXX";
    const int file = mkstemp(name);
    EXPECT_GE(file, 0);
    const int saved = dup(1);
    dup2(file, 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(file);
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(name);
    return text.str();
}

std::u16string u16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string utf8(const media_wchar* s) {
    std::string out;
    if (!s)
        return out;
    for (; *s; ++s) {
        if (*s >= 0x80)
            return out + "<non-ascii>";
        out += static_cast<char>(*s);
    }
    return out;
}

void MediaBench::SetUp() {
    char tmpl[] = "/tmp/media-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    trace_path_ = dir_ / "trace.txt";
    bench_path_ = dir_ / "bench.json";
    setenv("MORVANE_TRACE", trace_path_.c_str(), 1);
    unsetenv("MORVANE_BENCH");
    standin::reset();
    standin::set_message_box_handler([this](const char* caption, const char* text, unsigned type) {
        message_boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
        return 1;
    });
}

void MediaBench::TearDown() {
    standin::reset();
    unsetenv("MORVANE_TRACE");
    unsetenv("MORVANE_BENCH");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

// Each bench put in force gets a file of its own: the stand-in reads a bench file again only at
// a category enumerator or when MORVANE_BENCH names another file, as a process started on it.
void MediaBench::next_bench_path() {
    bench_path_ = dir_ / ("bench-" + std::to_string(++benches_used_) + ".json");
}

void MediaBench::use_bench(const std::string& name) {
    next_bench_path();
    std::filesystem::copy_file(std::filesystem::path(MEDIA_BENCH_DIR) / name, bench_path_,
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(standin::check_bench(bench_path_.string()), "") << name;
    setenv("MORVANE_BENCH", bench_path_.c_str(), 1);
}

void MediaBench::use_bench_json(const nlohmann::json& bench) {
    next_bench_path();
    std::ofstream(bench_path_) << bench.dump(1) << "\n";
    ASSERT_EQ(standin::check_bench(bench_path_.string()), "") << bench.dump();
    setenv("MORVANE_BENCH", bench_path_.c_str(), 1);
}

nlohmann::json MediaBench::load_bench(const std::string& name) {
    std::ifstream in(std::filesystem::path(MEDIA_BENCH_DIR) / name);
    return nlohmann::json::parse(in);
}

nlohmann::json MediaBench::bench_now() const {
    std::ifstream in(bench_path_);
    return nlohmann::json::parse(in);
}

std::string MediaBench::enumerate(records& out) {
    const std::string log = capture_stdout([&] { out.list = media_enum_local_devices(); });
    EXPECT_EQ(standin::live_objects(), 0) << "stand-in objects outlive the enumeration";
    return golden::mask_log(log);
}

std::string MediaBench::enumerate() {
    records ignored;
    return enumerate(ignored);
}

std::string MediaBench::apply(int32_t frequency, int32_t satcr, int32_t enabled,
                              const std::u16string& path, int32_t& result) {
    const std::string log = capture_stdout(
        [&] { result = media_set_unicable_properties(frequency, satcr, enabled, path.c_str()); });
    EXPECT_EQ(standin::live_objects(), 0) << "stand-in objects outlive the apply";
    return golden::mask_log(log);
}

std::vector<std::string> MediaBench::trace() const {
    std::vector<std::string> lines;
    std::ifstream in(trace_path_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> MediaBench::trace_of(const std::vector<std::string>& words) const {
    std::vector<std::string> lines;
    for (const std::string& line : trace())
        for (const std::string& word : words)
            if (line.rfind(word + " ", 0) == 0) {
                lines.push_back(line);
                break;
            }
    return lines;
}

} // namespace media_test
