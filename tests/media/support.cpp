#include "support.h"

#include "platform/standin.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <regex>
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

std::string mask_log(const std::string& log) {
    static const std::regex line_number("bdasource media_bda_connect_graph [0-9]+");
    const std::string pointers = "CONNECTING TUNER WITH CAPTURE: ";
    std::string masked;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        const bool complete = end != std::string::npos;
        if (!complete)
            end = log.size();
        std::string line = log.substr(start, end - start);
        if (line.rfind(pointers, 0) == 0)
            line = pointers + "%p %p";
        else if (std::regex_match(line, line_number))
            line = "bdasource media_bda_connect_graph LINE";
        masked += line;
        if (complete)
            masked += '\n';
        start = end + 1;
    }
    return masked;
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
    return mask_log(log);
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
    return mask_log(log);
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

namespace logs {

std::string header() {
    return "Local Devices:\n"
           " ID   |   Devicename\n"
           "-------------------------------------------------\n";
}

std::string assembly() {
    return "PUT NETWORKTYPE: 0\n"
           "Creating network provider succeeded!!\n"
           "ADD FILTER NETWORKPROVIDER: 0\n"
           "Create Tune Request :0\n"
           "PUT LOCATOR\n"
           "QueryInterface\n"
           "PUT TUNINGSPACE: 0\n"
           "Put Tune request 1: 0\n"
           "Creating mpeg2 demux succeeded!!\n";
}

std::string scan(const std::vector<std::pair<std::string, std::string>>& candidates) {
    std::string log = "add morvane driver 0\n";
    for (const auto& [name, path] : candidates)
        log += "Found device: " + name + "\nDevicePath: " + path + "\n";
    return log;
}

std::string connect(const connection& c) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(c.capture));
    std::string log = "add morvane driver " + std::to_string(c.add_tuner) + "\n" +
                      "adding capture: " + std::to_string(c.add_capture) + "\n" +
                      "CONNECTFILTER NETWORK TUNER: " + std::to_string(c.network_tuner) + "\n" +
                      "CONNECTING TUNER WITH CAPTURE: %p %p\n"
                      "CONNECTING NETWORK WITH BDA TUNER\n"
                      "CONNECTFILTER CAPTURE: " +
                      std::to_string(c.capture) + ", " + hex + "\n" +
                      "now connect with TIF filter\n";
    int demux = c.capture;
    if (c.capture >= 0) {
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(c.capture_demux));
        log += "SET MEDIATYPE SUCCCEEDED\nconnect capture to filter returned: " +
               std::to_string(c.capture_demux) + " . " + hex + "\n";
        demux = c.capture_demux;
    } else {
        log += "SET MEDIA TYPE FAILED\n";
    }
    log += "CONNECTING DEMUX: " + std::to_string(demux) + "\n" +
           "CONNECTFILTER TIF: " + std::to_string(c.tif) + "\n" +
           "Connectfilter mpsat: " + std::to_string(c.tif) + "\n" +
           "CONNECT NULL RENDERER: " + std::to_string(c.null_renderer) + "\n" +
           "bdasource media_bda_connect_graph LINE\n"
           "connecting graph\n";
    return log;
}

std::string connect_found() {
    return connect({});
}

std::string connect_not_found() {
    connection c;
    c.add_capture = 0; // the last candidate was taken out of the graph again
    return connect(c);
}

std::string supported() {
    return "************************* MORVANE EXTENSION SUPPORTED ******************\n"
           "************************* MORVANE EXTENSION SUPPORTED ******************\n";
}

std::string not_supported() {
    return "************************** MORVANE EXTENSION NOT SUPPORTED ************\n";
}

std::string row(int id, const std::string& name) {
    char text[256];
    std::snprintf(text, sizeof text, "---> devlist %s %-2d   |  %s\n", name.c_str(), id,
                  name.c_str());
    return text;
}

} // namespace logs

} // namespace media_test
