// The rules about bench files that both hosts share: temporary names beside a bench, and how
// a watch tells device changes from the simulator's own writes.

#include "simulator/bench/bench_file.h"

#include <algorithm>

namespace bench {

std::string temporary_name(const std::string& name, std::size_t suffix_chars) {
    constexpr std::size_t max_name = 255;
    std::size_t keep = std::min(name.size(), max_name - 2 - std::min(suffix_chars, max_name - 2));
    // Not within a character of several bytes.
    while (keep > 0 && keep < name.size() &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return ".~" + name.substr(0, keep);
}

Loaded load_file(const std::string& path) {
    FileRead read = read_file(path);
    return read.ok ? load(read.bytes) : Loaded{std::nullopt, read.reason};
}

std::uint64_t fingerprint(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    return hash ^ bytes.size();
}

void add_own_write(std::vector<OwnWrite>& writes, std::string_view before, std::string_view after) {
    writes.push_back(
        {writes.empty() ? 1 : writes.back().number + 1, fingerprint(before), fingerprint(after)});
    if (writes.size() > 64)
        writes.erase(writes.begin());
}

bool ContentWatch::changed(const std::string& path, const std::vector<OwnWrite>& own_writes,
                           FileRead* read) {
    if (stamp_) {
        auto now = stamp_file(path);
        if (now && settled_since(*now, *stamp_, read_at_))
            return false; // the same content, without reading it
    }
    FileRead fresh = reader_(path);
    std::optional<std::uint64_t> seen;
    if (fresh.ok)
        seen = fingerprint(fresh.bytes);
    stamp_ = fresh.ok ? std::optional<FileStamp>(fresh.stamp) : std::nullopt;
    read_at_ = fresh.read_at_ns;
    if (read)
        *read = std::move(fresh);
    const bool first = !looked_;
    looked_ = true;
    if (seen == known_ && !first)
        return false;
    // From the content seen last, along the own writes not taken yet.
    bool own = first;
    std::optional<std::uint64_t> at = known_;
    for (const OwnWrite& write : own_writes) {
        if (write.number <= taken_)
            continue;
        taken_ = write.number;
        if (at && seen && write.before == *at) {
            at = write.after;
            own = own || *at == *seen;
        }
    }
    known_ = seen;
    return !own;
}

} // namespace bench
