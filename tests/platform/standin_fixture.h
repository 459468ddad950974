// Shared fixture of the stand-in's tests: each test writes its own bench into a fresh
// temporary directory, points MORVANE_BENCH (and MORVANE_TRACE when it wants a trace) at it,
// and must give every reference back: the live-object count is checked after each test.
#pragma once

#include "media/com_ptr.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/standin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class StandinTest : public ::testing::Test {
  public:
    void SetUp() override {
        char pattern[] = "/tmp/standin-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        unsetenv("MORVANE_BENCH");
        unsetenv("MORVANE_TRACE");
        unsetenv("MORVANE_FAULT_DEVICE_WATCH");
        standin::reset();
    }

    void TearDown() override {
        standin::stop_watching_device_changes();
        EXPECT_EQ(standin::live_objects(), 0) << "a stand-in object was not released";
        unsetenv("MORVANE_BENCH");
        unsetenv("MORVANE_TRACE");
        unsetenv("MORVANE_FAULT_DEVICE_WATCH");
        standin::reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Writes a file into the test's directory and returns its path.
    std::string write_file(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Writes the bench and puts it in MORVANE_BENCH.
    std::string use_bench(const std::string& json, const std::string& name = "bench.json") {
        std::string path = write_file(name, json);
        setenv("MORVANE_BENCH", path.c_str(), 1);
        return path;
    }

    std::string read_text(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Starts a trace into a fresh file of the test's directory.
    void start_trace() {
        trace_ = dir_ + "/trace.txt";
        setenv("MORVANE_TRACE", trace_.c_str(), 1);
    }

    std::vector<std::string> trace_lines() {
        std::vector<std::string> lines;
        std::istringstream in(read_text(trace_));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    com_ptr<ICreateDevEnum> device_enum() {
        com_ptr<ICreateDevEnum> devenum;
        EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, devenum.put_void()),
                  S_OK);
        return devenum;
    }

    // Every moniker of a category, in the platform's order (stops at the first non-S_OK).
    std::vector<com_ptr<IMoniker>> monikers(REFCLSID category) {
        std::vector<com_ptr<IMoniker>> out;
        com_ptr<IEnumMoniker> walk;
        if (device_enum()->CreateClassEnumerator(category, walk.put(), 0) != S_OK)
            return out;
        for (;;) {
            com_ptr<IMoniker> moniker;
            ULONG fetched = 0;
            if (walk->Next(1, moniker.put(), &fetched) != S_OK)
                break;
            out.push_back(moniker);
        }
        return out;
    }

    com_ptr<IBaseFilter> bind(REFCLSID category, size_t index) {
        com_ptr<IBaseFilter> filter;
        auto all = monikers(category);
        if (index < all.size()) {
            EXPECT_EQ(
                all[index]->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void()),
                S_OK);
        }
        return filter;
    }

    com_ptr<IBaseFilter> tuner(size_t index = 0) {
        return bind(KSCATEGORY_BDA_NETWORK_TUNER, index);
    }

    static std::vector<com_ptr<IPin>> pins(IBaseFilter* filter) {
        std::vector<com_ptr<IPin>> out;
        com_ptr<IEnumPins> walk;
        if (filter->EnumPins(walk.put()) != S_OK)
            return out;
        for (;;) {
            com_ptr<IPin> pin;
            if (walk->Next(1, pin.put(), nullptr) != S_OK)
                break;
            out.push_back(pin);
        }
        return out;
    }

    static com_ptr<IBaseFilter> create_filter(REFCLSID clsid) {
        com_ptr<IBaseFilter> filter;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   filter.put_void()),
                  S_OK);
        return filter;
    }

    static com_ptr<IGraphBuilder> create_graph() {
        com_ptr<IGraphBuilder> graph;
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraphNoThread, nullptr, CLSCTX_ALL,
                                   IID_IGraphBuilder, graph.put_void()),
                  S_OK);
        return graph;
    }

    static com_ptr<IKsPropertySet> property_set(IBaseFilter* filter) {
        com_ptr<IKsPropertySet> set;
        for (auto& pin : pins(filter)) {
            PIN_DIRECTION direction;
            pin->QueryDirection(&direction);
            if (direction == PINDIR_OUTPUT) {
                EXPECT_EQ(pin.query(IID_IKsPropertySet, set), S_OK);
                break;
            }
        }
        return set;
    }

    std::string dir_;
    std::string trace_;
};

// The driver's extension property set, as the tuner access layer addresses it.
inline constexpr GUID test_extension_set = {
    0x2D6A46DF, 0xA5BA, 0x4F76, {0x80, 0x8B, 0x86, 0x73, 0x4B, 0x59, 0xE9, 0x35}};

// A property read as the access layer does it: one 4-byte buffer for both data pointers.
struct PropRead {
    HRESULT hr;
    int32_t value;
    DWORD returned;
};
inline PropRead read_prop(IKsPropertySet* set, DWORD id, int32_t initial = 0) {
    PropRead r{E_FAIL, initial, 0xDEAD};
    r.hr = set->Get(test_extension_set, id, &r.value, 4, &r.value, 4, &r.returned);
    return r;
}
inline HRESULT write_prop(IKsPropertySet* set, DWORD id, int32_t value) {
    return set->Set(test_extension_set, id, &value, 4, &value, 4);
}
inline DWORD support_of(IKsPropertySet* set, DWORD id, HRESULT* hr = nullptr) {
    DWORD flags = 0xDEAD;
    HRESULT result = set->QuerySupported(test_extension_set, id, &flags);
    if (hr)
        *hr = result;
    return flags;
}

// Friendly name of a moniker's property bag, as UTF-8 ("" when not a string).
inline std::string friendly_name(IMoniker* moniker) {
    com_ptr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())))
        return "";
    VARIANT value;
    VariantInit(&value);
    std::string out;
    if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR)
        for (const char16_t* p = value.bstrVal; *p; ++p)
            out.push_back(static_cast<char>(*p));
    VariantClear(&value);
    return out;
}
