// A temporary directory for one test, holding its bench file and trace.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

class TempBench {
  public:
    TempBench() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "mcc-shell-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary directory");
        dir_ = pattern;
    }
    ~TempBench() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempBench(const TempBench&) = delete;
    TempBench& operator=(const TempBench&) = delete;

    std::string bench() const { return (dir_ / "bench.json").string(); }
    std::string trace() const { return (dir_ / "trace.txt").string(); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Replaces the bench as an editor that saves atomically does: a new file, then a rename.
    void write_bench(const std::string& content) const { write(bench(), content); }

    void write(const std::string& file, const std::string& content) const {
        const std::string temporary = file + ".new";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << content;
        }
        std::filesystem::rename(temporary, file);
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::filesystem::path dir_;
};

// One Morvane satellite tuner with its capture filter; name_suffix makes each edit a change.
inline std::string satellite_bench(const std::string& name_suffix = "") {
    return R"({
  "tuners": [
    {"id": "sat", "friendly_name": "Morvane DVB-S2 Tuner)" +
           name_suffix + R"(", "device_path": "\\\\?\\usb#vid_734c&pid_5980#1",
     "standard": "dvb-s", "link": "usb-1", "unicable": {"enabled": 1, "scr": 2, "frequency": 1210}}
  ],
  "captures": [
    {"id": "cap", "friendly_name": "Morvane DVB-S2 Capture",
     "device_path": "\\\\?\\usb#vid_734c&pid_5980#1#cap", "link": "usb-1"}
  ]
}
)";
}
