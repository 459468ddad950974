#include "golden.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace golden {

namespace {

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Where two texts part, for the failure message.
std::string first_difference(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> e = lines_of(expected), a = lines_of(actual);
    std::size_t i = 0;
    while (i < e.size() && i < a.size() && e[i] == a[i])
        ++i;
    std::string where = "first difference at line " + std::to_string(i + 1) + ":\n";
    where += "  expected: " + (i < e.size() ? e[i] : std::string("<end>")) + "\n";
    where += "  actual:   " + (i < a.size() ? a[i] : std::string("<end>")) + "\n";
    if (i >= e.size() && i >= a.size())
        where = "the texts differ in their line ends or a final line end\n";
    return where;
}

fs::path private_directory(const std::string& name) {
    std::random_device random;
    for (;;) {
        const fs::path dir =
            fs::temp_directory_path() / ("golden-" + name + "-" + std::to_string(random()));
        if (fs::create_directory(dir))
            return dir;
    }
}

// A process of the platform's own that a run started (a console host under Wine) may hold a
// file of the run a moment longer: what cannot be removed is left to the temporary folder.
void remove_work(const fs::path& work) {
    std::error_code ignored;
    fs::remove_all(work, ignored);
}

const char* const known_keys[] = {"about",     "program",   "args",
                                  "exit_code", "platforms", "linux_only"};

} // namespace

std::string load_case(const fs::path& dir, golden_case& out) {
    out = golden_case{};
    out.name = dir.filename().string();
    out.dir = dir;
    const std::optional<std::string> text = read_file(dir / "case.json");
    if (!text)
        return "case.json cannot be read";
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(*text);
    } catch (const nlohmann::json::exception& e) {
        return std::string("case.json: ") + e.what();
    }
    if (!j.is_object())
        return "case.json: not an object";
    for (const auto& [key, value] : j.items())
        if (std::find(std::begin(known_keys), std::end(known_keys), key) == std::end(known_keys))
            return "case.json: unknown key \"" + key + "\"";
    if (!j.contains("about") || !j["about"].is_string() || j["about"].get<std::string>().empty())
        return "case.json: \"about\" must say what the case shows";
    out.about = j["about"];
    if (!j.contains("program") || !j["program"].is_string() ||
        (j["program"] != "enum" && j["program"] != "apply"))
        return "case.json: \"program\" must be \"enum\" or \"apply\"";
    out.program = j["program"];
    if (j.contains("args")) {
        if (!j["args"].is_array())
            return "case.json: \"args\" must be an array of strings";
        for (const auto& arg : j["args"]) {
            if (!arg.is_string())
                return "case.json: \"args\" must be an array of strings";
            out.args.push_back(arg);
        }
    }
    if (j.contains("exit_code")) {
        if (!j["exit_code"].is_number_integer())
            return "case.json: \"exit_code\" must be a whole number";
        out.exit_code = j["exit_code"];
    }
    out.platforms = {"linux", "windows"};
    if (j.contains("platforms")) {
        const auto& p = j["platforms"];
        if (p == nlohmann::json{"linux", "windows"})
            ;
        else if (p == nlohmann::json{"linux"})
            out.platforms = {"linux"};
        else
            return "case.json: \"platforms\" must be [\"linux\", \"windows\"] or [\"linux\"]";
    }
    const bool linux_only = out.platforms.size() == 1;
    if (j.contains("linux_only")) {
        if (!linux_only || !j["linux_only"].is_string() ||
            j["linux_only"].get<std::string>().empty())
            return "case.json: \"linux_only\" is the reason of a case whose platforms are "
                   "[\"linux\"]";
        out.linux_only = j["linux_only"];
    } else if (linux_only) {
        return "case.json: a Linux-only case says why in \"linux_only\"";
    }
    return "";
}

std::vector<std::string> list_cases(const fs::path& root) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root, error))
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string mask_log(const std::string& output) {
    static const std::string prefix = "CONNECTING TUNER WITH CAPTURE: ";
    static const std::regex connect_line("bdasource media_bda_connect_graph [0-9]+");
    static const std::regex pointer("(0x)?[0-9a-fA-F]+"), null_digits("(0x)?0+");
    auto mask = [](const std::string& token) -> std::string {
        if (token == "(nil)" || token == "(null)" || std::regex_match(token, null_digits))
            return "NULL";
        return std::regex_match(token, pointer) ? "%p" : token;
    };
    std::string masked;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        const bool complete = end != std::string::npos;
        if (!complete)
            end = output.size();
        std::string line = output.substr(start, end - start);
        if (complete && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(prefix, 0) == 0) {
            const std::string rest = line.substr(prefix.size());
            const std::size_t space = rest.find(' ');
            if (space != std::string::npos && rest.find(' ', space + 1) == std::string::npos)
                line = prefix + mask(rest.substr(0, space)) + " " + mask(rest.substr(space + 1));
        } else if (std::regex_match(line, connect_line)) {
            line = "bdasource media_bda_connect_graph %d";
        }
        masked += line;
        if (complete)
            masked += '\n';
        start = end + 1;
    }
    return masked;
}

std::vector<std::string> run_case(platform& on, const golden_case& c, bool update,
                                  std::string* raw_output) {
    std::vector<std::string> failures;
    const fs::path work = private_directory(c.name);
    run_request request;
    request.program = c.program;
    request.args = c.args;
    request.trace = work / "trace.txt";
    request.work = work;
    std::optional<std::string> bench_before;
    if (fs::exists(c.dir / "bench.json")) {
        request.bench = work / "bench.json";
        fs::copy_file(c.dir / "bench.json", *request.bench);
        bench_before = read_file(*request.bench);
    }

    const run_outcome outcome = on.run(request);
    auto with_errors = [&](std::string what) {
        if (!outcome.errors.empty())
            what += "\nstandard error:\n" + outcome.errors;
        return what;
    };
    if (!outcome.failure.empty()) {
        failures.push_back(with_errors(outcome.failure));
        remove_work(work);
        return failures;
    }

    if (outcome.exit_code != c.exit_code)
        failures.push_back(with_errors("exit code " + std::to_string(outcome.exit_code) +
                                       ", expected " + std::to_string(c.exit_code)));

    if (raw_output)
        *raw_output = outcome.output;
    const std::string output = mask_log(outcome.output);
    const fs::path expected_log = c.dir / "expected.log";
    if (update) {
        write_file(expected_log, output);
    } else {
        const std::optional<std::string> expected = read_file(expected_log);
        if (!expected)
            failures.push_back("expected.log is missing (MORVANE_GOLDEN_UPDATE=1 writes it from "
                               "a run)");
        else if (output != *expected)
            failures.push_back("standard output differs from expected.log, " +
                               first_difference(*expected, output) + "whole output (masked):\n" +
                               output);
    }

    if (request.bench) {
        const std::string after = read_file(*request.bench).value_or("<bench file gone>");
        const fs::path expected_after = c.dir / "bench.after.json";
        if (update) {
            if (after != *bench_before)
                write_file(expected_after, after);
            else
                fs::remove(expected_after);
        } else {
            const std::string expected = read_file(expected_after).value_or(*bench_before);
            if (after != expected)
                failures.push_back(
                    std::string(fs::exists(expected_after) ? "the bench file differs from "
                                                             "bench.after.json, "
                                                           : "the bench file changed, ") +
                    first_difference(expected, after) + "bench file after:\n" + after);
        }
    }

    // Every reference given back: the process ends with no platform object alive.
    const std::vector<std::string> trace = lines_of(read_file(request.trace).value_or(""));
    if ((on.always_traces() || fs::exists(request.trace)) &&
        (trace.empty() || trace.back() != "exit live=0"))
        failures.push_back("the trace does not end with \"exit live=0\" but with \"" +
                           (trace.empty() ? std::string("<no trace>") : trace.back()) + "\"");

    remove_work(work);
    return failures;
}

} // namespace golden
