// Test support for the tuner access layer: a fixture that puts a bench in force (a copy in a
// private temporary directory, so the stand-in's writes never touch the checked-in file),
// captures standard output around a call, reads the trace, and the blocks from which the
// expected logs are put together.
#pragma once

#include "media/device_list.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace media_test {

// Runs fn with file descriptor 1 redirected to a temporary file and returns what it wrote.
std::string capture_stdout(const std::function<void()>& fn);

// The two values of the log that change from run to run become fixed text: the addresses of
// "CONNECTING TUNER WITH CAPTURE: %p %p" and the source line of "bdasource
// media_bda_connect_graph %d".
std::string mask_log(const std::string& log);

std::u16string u16(const std::string& ascii);
std::string utf8(const media_wchar* s);

// The records of one enumeration, disposed of with media_free_device_list.
struct records {
    std::vector<media_bda_device_list*> list;
    records() = default;
    records(const records&) = delete;
    records& operator=(const records&) = delete;
    ~records() { media_free_device_list(list); }
    std::size_t size() const { return list.size(); }
    const media_bda_device_list& operator[](std::size_t i) const { return *list.at(i); }
};

class MediaBench : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Puts a copy of tests/media/benches/NAME in force.
    void use_bench(const std::string& name);
    // Puts the given bench in force.
    void use_bench_json(const nlohmann::json& bench);
    // A checked-in bench as JSON, to derive variants from.
    static nlohmann::json load_bench(const std::string& name);
    // The bench file in force, as the stand-in has left it.
    nlohmann::json bench_now() const;

    // One enumeration: returns its masked log, fills out; checks that no stand-in object
    // outlives it.
    std::string enumerate(records& out);
    std::string enumerate();
    // One apply with the given path: returns its masked log and stores its result.
    std::string apply(int32_t frequency, int32_t satcr, int32_t enabled, const std::u16string& path,
                      int32_t& result);

    // The trace lines written so far.
    std::vector<std::string> trace() const;
    // The trace lines that start with one of the given words.
    std::vector<std::string> trace_of(const std::vector<std::string>& words) const;

    // Message boxes shown, as "CAPTION|TEXT|TYPE".
    std::vector<std::string> message_boxes;

    void next_bench_path();

    std::filesystem::path dir_;
    std::filesystem::path bench_path_;
    int benches_used_ = 0;
    std::filesystem::path trace_path_;
};

// Pieces of the expected logs.
namespace logs {

// "Local Devices:" and the table header.
std::string header();
// The assembly of a graph where every step succeeds.
std::string assembly();
// The capture search over the given candidates (name, path), after it added the tuner.
std::string scan(const std::vector<std::pair<std::string, std::string>>& candidates);

// The results printed by the connection.
struct connection {
    int add_tuner = 0x0004022D;   // the capture search added the tuner already
    int add_capture = 0x0004022D; // and the capture filter
    int network_tuner = 0;
    int capture = -2147467259; // the tuner's output pin is taken by the capture search
    int capture_demux = 0;     // printed only when capture is not negative
    int tif = 0;
    int null_renderer = 0;
};
std::string connect(const connection& c);
// The connection after a capture search that found the capture filter.
std::string connect_found();
// The connection after a capture search that found nothing but left a candidate.
std::string connect_not_found();

std::string supported();     // the supported banner twice
std::string not_supported(); // the not-supported banner once
std::string row(int id, const std::string& name);

} // namespace logs

} // namespace media_test
