#include "fake_view.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace panel_core_test {

std::string printable(std::u16string_view text) {
    std::string line;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7f) {
            line.push_back(static_cast<char>(c));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            line += escape;
        }
    }
    return line;
}

void FakeView::clearDeviceList() {
    entries.clear();
    const bool hadSelection = selected >= 0;
    selected = -1;
    if (hadSelection && reports_ == SelectionReports::AsAChange && core_)
        core_->deviceListBox_SelectedIndexChanged();
}

void FakeView::insertDeviceListEntry(int32_t position, const std::u16string& text) {
    ASSERT_GE(position, 0);
    ASSERT_LE(static_cast<size_t>(position), entries.size());
    entries.insert(entries.begin() + position, text);
}

void FakeView::selectDeviceListEntry(int32_t position) {
    ASSERT_GE(position, 0);
    ASSERT_LT(static_cast<size_t>(position), entries.size());
    const bool changed = selected != position;
    selected = position;
    if (changed && reports_ == SelectionReports::AsAChange && core_)
        core_->deviceListBox_SelectedIndexChanged();
}

void FakeView::userSelects(int32_t position) {
    ASSERT_GE(position, 0);
    ASSERT_LT(static_cast<size_t>(position), entries.size());
    selected = position;
    core_->deviceListBox_SelectedIndexChanged();
}

void FakeView::setUnicableDisplay(const UnicableDisplay& value) {
    display = value;
    ++displayWrites;
}

void FakeView::reportSaveRefused(const std::u16string& message) {
    refusals.push_back(message);
    if (insideRefusal)
        insideRefusal();
}

void FakeView::startRefreshTimer(int32_t milliseconds) {
    timerRunning = true;
    timerStarts.push_back(milliseconds);
}

std::ostream& operator<<(std::ostream& os, const Apply& apply) {
    return os << "{frequency " << apply.frequency << ", satcr " << apply.satcr << ", enabled "
              << apply.enabled << ", path \"" << printable(apply.devicepath) << "\"}";
}

namespace {

media_wchar* heapText(const char16_t* text) {
    if (!text)
        return nullptr;
    const size_t length = std::char_traits<char16_t>::length(text);
    auto* copy = static_cast<media_wchar*>(std::calloc(length + 1, sizeof(media_wchar)));
    for (size_t i = 0; i < length; ++i)
        copy[i] = static_cast<media_wchar>(text[i]);
    return copy;
}

// A record as the enumeration allocates it, to be disposed of with media_free_device.
media_bda_device_list* heapRecord(const Tuner& tuner) {
    auto* record =
        static_cast<media_bda_device_list*>(std::calloc(1, sizeof(media_bda_device_list)));
    record->devicename = heapText(tuner.name);
    record->devicepath = heapText(tuner.path);
    record->devicetype = tuner.type;
    record->unicable_supported = tuner.supported;
    record->unicable_enabled = tuner.enabled;
    record->unicable_satcr = tuner.satcr;
    record->unicable_frequency = tuner.frequency;
    return record;
}

} // namespace

CoreTest::CoreTest(FakeView::SelectionReports reports) : view_(reports) {
    view_.attach(&core_);
    core_.setEnumerator([this] {
        ++enumerations_;
        std::vector<media_bda_device_list*> records;
        for (const Tuner& tuner : tuners_)
            records.push_back(heapRecord(tuner));
        for (size_t position : nullPositions_)
            records.insert(records.begin() + static_cast<std::ptrdiff_t>(position), nullptr);
        return records;
    });
    core_.setApplyOperation(
        [this](const media_unicable_settings& settings, const media_wchar* devicepath) {
            std::u16string path = devicepath ? u"" : u"(null)";
            for (const media_wchar* p = devicepath; p && *p; ++p)
                path.push_back(static_cast<char16_t>(*p));
            applies_.push_back({settings.frequency, settings.satcr, settings.enabled, path});
            if (insideApply_)
                insideApply_();
            return 0;
        });
}

void CoreTest::refreshWith(std::vector<Tuner> tuners, std::vector<size_t> nullPositions) {
    tuners_ = std::move(tuners);
    nullPositions_ = std::move(nullPositions);
    core_.doUpdateDeviceListMember();
}

} // namespace panel_core_test
