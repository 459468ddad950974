// Registration: the driver's classes (in-process server, ThreadingModel Both) and the bench's
// device entries, HKCR\CLSID\{category}\Instance\<name> with FriendlyName, CLSID and
// DevicePath, which the platform's device enumerator lists in key-name order.

#include "simulator/bench/bench_file.h"
#include "simulator/devices/filters.h"
#include "simulator/windows_driver/simdriver.h"

#include <olectl.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace simdriver {

namespace {

struct ClassName {
    const CLSID* clsid;
    const wchar_t* name;
};

const ClassName served[] = {
    {&sim::CLSID_BenchTunerFilter, L"Morvane bench tuner filter"},
    {&sim::CLSID_BenchCaptureFilter, L"Morvane bench capture filter"},
    {&sim::CLSID_BenchTransportInformationFilter, L"Morvane bench transport information filter"},
    {&CLSID_DVBSTuningSpace, L"DVB-S Tuning Space (Morvane bench)"},
    {&CLSID_DVBSLocator, L"DVB-S Locator (Morvane bench)"},
    {&CLSID_DVBSNetworkProvider, L"DVB-S Network Provider (Morvane bench)"},
    {&CLSID_MPEG2Demultiplexer, L"MPEG-2 Demultiplexer (Morvane bench)"},
};

const bench::Category categories[] = {bench::Category::tuners, bench::Category::captures,
                                      bench::Category::transport_information};

std::wstring guid_string(const GUID& guid) {
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return text;
}

std::wstring module_path() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n =
            GetModuleFileNameW(module_instance(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size())
            return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

LSTATUS set_text(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS set_number(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

// A bench value of the property bag as a registry value: a string as REG_SZ (read as
// VT_BSTR), an integer as REG_DWORD (read as VT_I4), absent as no value at all.
LSTATUS set_bag_value(HKEY key, const wchar_t* name, const bench::BagValue& value) {
    switch (value.kind) {
    case bench::BagValue::Kind::text:
        return set_text(key, name,
                        std::wstring(reinterpret_cast<const wchar_t*>(value.text.c_str())));
    case bench::BagValue::Kind::number:
        return set_number(key, name, static_cast<DWORD>(value.number));
    default:
        return ERROR_SUCCESS;
    }
}

std::optional<std::wstring> read_default_text(HKEY parent, const std::wstring& subkey) {
    wchar_t value[2048];
    DWORD size = sizeof value;
    if (RegGetValueW(parent, subkey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

std::wstring instance_key(bench::Category category) {
    return L"CLSID\\" + guid_string(category_guid(category)) + L"\\Instance";
}

// Removes the device entries of earlier registrations from a category (others stay).
LSTATUS remove_entries(bench::Category category) {
    HKEY key;
    LSTATUS status =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, instance_key(category).c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::wstring> ours;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        if (std::wcsncmp(name, instance_prefix, std::wcslen(instance_prefix)) == 0)
            ours.emplace_back(name);
    }
    status = ERROR_SUCCESS;
    for (const std::wstring& sub : ours) {
        LSTATUS s = RegDeleteTreeW(key, sub.c_str());
        if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND)
            status = s;
    }
    RegCloseKey(key);
    return status;
}

// Creates (or opens) the key at path under HKEY_CLASSES_ROOT and writes its values with write.
template <class Write> LSTATUS write_key(const std::wstring& path, Write write) {
    HKEY key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = write(key);
    RegCloseKey(key);
    return status;
}

HRESULT from_status(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

} // namespace

HRESULT register_bench_entries(const bench::Bench& bench) {
    for (bench::Category category : categories) {
        if (LSTATUS status = remove_entries(category); status != ERROR_SUCCESS)
            return from_status(status);
        const std::vector<bench::Entry>& entries = bench.entries(category);
        for (size_t i = 0; i < entries.size(); ++i) {
            const bench::Entry& entry = entries[i];
            // Markers and unplugged devices have no device entry.
            if (entry.is_marker || !entry.present)
                continue;
            wchar_t name[64];
            std::swprintf(name, 64, L"%ls%04u", instance_prefix, static_cast<unsigned>(i));
            LSTATUS status = write_key(instance_key(category) + L"\\" + name, [&](HKEY key) {
                LSTATUS s = set_text(key, L"CLSID", guid_string(sim::entry_filter_class(category)));
                if (s == ERROR_SUCCESS)
                    s = set_bag_value(key, L"FriendlyName", entry.friendly_name);
                if (s == ERROR_SUCCESS)
                    s = set_bag_value(key, L"DevicePath", entry.device_path);
                return s == ERROR_SUCCESS
                           ? set_number(key, bench_index_value, static_cast<DWORD>(i))
                           : s;
            });
            if (status != ERROR_SUCCESS)
                return from_status(status);
        }
    }
    return S_OK;
}

HRESULT register_server() {
    std::wstring path = module_path();
    if (path.empty())
        return SELFREG_E_CLASS;
    for (const ClassName& entry : served) {
        std::wstring key_path = L"CLSID\\" + guid_string(*entry.clsid);
        if (write_key(key_path, [&](HKEY key) { return set_text(key, nullptr, entry.name); }) !=
            ERROR_SUCCESS)
            return SELFREG_E_CLASS;
        LSTATUS status = write_key(key_path + L"\\InprocServer32", [&](HKEY key) {
            LSTATUS s = set_text(key, nullptr, path);
            return s == ERROR_SUCCESS ? set_text(key, L"ThreadingModel", L"Both") : s;
        });
        if (status != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
    }
    // With a bench named, its device entries too.
    auto bench_path = environment(L"MORVANE_BENCH");
    if (!bench_path)
        return S_OK;
    bench::Loaded loaded = bench::load_file(*bench_path);
    if (loaded.bench)
        return register_bench_entries(*loaded.bench);
    std::fprintf(stderr, "bench: %s: %s\n", sim::bench_file_label(*bench_path).c_str(),
                 loaded.reason.c_str());
    std::fflush(stderr);
    return SELFREG_E_CLASS;
}

HRESULT unregister_server() {
    std::wstring path = module_path();
    HRESULT result = S_OK;
    for (const ClassName& entry : served) {
        std::wstring key_path = L"CLSID\\" + guid_string(*entry.clsid);
        // Only the classes this module serves: another server's registration stays.
        auto server = read_default_text(HKEY_CLASSES_ROOT, key_path + L"\\InprocServer32");
        if (!server || _wcsicmp(server->c_str(), path.c_str()) != 0)
            continue;
        LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            result = SELFREG_E_CLASS;
    }
    for (bench::Category category : categories)
        if (remove_entries(category) != ERROR_SUCCESS)
            result = SELFREG_E_CLASS;
    RegDeleteKeyW(HKEY_CURRENT_USER, own_writes_key);
    return result;
}

} // namespace simdriver
