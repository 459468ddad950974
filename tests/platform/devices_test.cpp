// Device categories, markers, monikers and property bags.

#include "standin_fixture.h"

namespace {

using Devices = StandinTest;

const char* const three_tuners = R"({
  "tuners": [
    {"id": "other", "friendly_name": "Other Vendor DVB-T", "device_path": "path-a"},
    {"friendly_name": "Unplugged", "present": false},
    {"friendly_name": "Morvane DVB-S2 Tuner", "device_path": "path-b"},
    {"friendly_name": "Morvane DVB-C Tuner", "device_path": "path-c"}
  ],
  "captures": [{"friendly_name": "Capture"}]
})";

TEST_F(Devices, CategoriesDeliverPresentEntriesInFileOrder) {
    use_bench(three_tuners);
    auto tuners = monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    ASSERT_EQ(tuners.size(), 3u);
    EXPECT_EQ(friendly_name(tuners[0].get()), "Other Vendor DVB-T");
    EXPECT_EQ(friendly_name(tuners[1].get()), "Morvane DVB-S2 Tuner");
    EXPECT_EQ(friendly_name(tuners[2].get()), "Morvane DVB-C Tuner");
    EXPECT_EQ(monikers(KSCATEGORY_BDA_RECEIVER_COMPONENT).size(), 1u);
}

TEST_F(Devices, NextReportsSFalseAndNothingFetchedAtTheEnd) {
    use_bench(R"({"tuners": [{"friendly_name": "A"}]})");
    com_ptr<IEnumMoniker> walk;
    ASSERT_EQ(device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, walk.put(), 0),
              S_OK);
    com_ptr<IMoniker> moniker;
    ULONG fetched = 7;
    EXPECT_EQ(walk->Next(1, moniker.put(), &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_TRUE(moniker);
    EXPECT_EQ(walk->Next(1, moniker.put(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_FALSE(moniker);
}

TEST_F(Devices, EmptyCategoriesGiveSFalseAndNoEnumerator) {
    // Unset MORVANE_BENCH: a PC without broadcast devices.
    com_ptr<IEnumMoniker> walk;
    EXPECT_EQ(device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, walk.put(), 0),
              S_FALSE);
    EXPECT_FALSE(walk);
    EXPECT_EQ(
        device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_TRANSPORT_INFORMATION, walk.put(), 0),
        S_FALSE);

    // Only unplugged entries, or an empty array, count as empty too.
    use_bench(R"({"tuners": [{"present": false}], "captures": []})");
    EXPECT_EQ(device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, walk.put(), 0),
              S_FALSE);
    EXPECT_EQ(
        device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_RECEIVER_COMPONENT, walk.put(), 0),
        S_FALSE);
    // An unknown category has no members.
    EXPECT_EQ(device_enum()->CreateClassEnumerator(IID_IPin, walk.put(), 0), S_FALSE);
    EXPECT_FALSE(walk);
}

TEST_F(Devices, StandardTransportInformationEntriesWhenAbsent) {
    use_bench(R"({"tuners": []})");
    auto tifs = monikers(KSCATEGORY_BDA_TRANSPORT_INFORMATION);
    ASSERT_EQ(tifs.size(), 2u);
    EXPECT_EQ(friendly_name(tifs[0].get()), "BDA MPEG2 Transport Information Filter");
    EXPECT_EQ(friendly_name(tifs[1].get()), "MPEG-2 Sections and Tables");

    // Listed explicitly, the category holds exactly what is listed.
    use_bench(R"({"transport_information": [{"friendly_name": "Own TIF"}]})");
    tifs = monikers(KSCATEGORY_BDA_TRANSPORT_INFORMATION);
    ASSERT_EQ(tifs.size(), 1u);
    EXPECT_EQ(friendly_name(tifs[0].get()), "Own TIF");
}

TEST_F(Devices, MarkerStopsTheWalkWithItsResult) {
    use_bench(R"({"tuners": [
        {"friendly_name": "First"},
        {"next_fails": "0x80004005"},
        {"friendly_name": "Behind the marker"}]})");
    com_ptr<IEnumMoniker> walk;
    ASSERT_EQ(device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, walk.put(), 0),
              S_OK);
    com_ptr<IMoniker> moniker;
    ULONG fetched = 0;
    EXPECT_EQ(walk->Next(1, moniker.put(), &fetched), S_OK);
    EXPECT_EQ(walk->Next(1, moniker.put(), &fetched), E_FAIL);
    EXPECT_EQ(fetched, 0u);
    EXPECT_FALSE(moniker);
    // The walk cannot go past the marker.
    EXPECT_EQ(walk->Next(1, moniker.put(), &fetched), E_FAIL);

    // A marker alone makes the category non-empty.
    use_bench(R"({"captures": [{"next_fails": "S_FALSE"}]})");
    ASSERT_EQ(
        device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_RECEIVER_COMPONENT, walk.put(), 0),
        S_OK);
    EXPECT_EQ(walk->Next(1, moniker.put(), &fetched), S_FALSE);
}

TEST_F(Devices, EnumeratorKeepsTheBenchItWasCreatedFrom) {
    std::string path = use_bench(R"({"tuners": [{"friendly_name": "Old"}]})");
    com_ptr<IEnumMoniker> walk;
    ASSERT_EQ(device_enum()->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, walk.put(), 0),
              S_OK);
    write_file("bench.json", R"({"tuners": [{"friendly_name": "New"}]})");
    com_ptr<IMoniker> moniker;
    ASSERT_EQ(walk->Next(1, moniker.put(), nullptr), S_OK);
    EXPECT_EQ(friendly_name(moniker.get()), "Old");
    // The next enumerator sees the edit.
    EXPECT_EQ(friendly_name(monikers(KSCATEGORY_BDA_NETWORK_TUNER)[0].get()), "New");
}

TEST_F(Devices, PropertyBagValueTypes) {
    use_bench(R"({"tuners": [
        {"friendly_name": "Morvane \u00e9 Tuner", "device_path": 42},
        {"friendly_name": null}]})");
    auto tuners = monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    ASSERT_EQ(tuners.size(), 2u);

    com_ptr<IPropertyBag> bag;
    ASSERT_EQ(tuners[0]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()), S_OK);
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(bag->Read(u"FriendlyName", &value, nullptr), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(value.bstrVal), u"Morvane \u00e9 Tuner");
    EXPECT_EQ(SysStringLen(value.bstrVal), 15u);
    VariantClear(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);

    ASSERT_EQ(bag->Read(u"DevicePath", &value, nullptr), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 42);
    EXPECT_EQ(bag->Read(u"CLSID", &value, nullptr), static_cast<HRESULT>(0x80070002));

    // null and absent values make the read fail.
    ASSERT_EQ(tuners[1]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()), S_OK);
    EXPECT_EQ(bag->Read(u"FriendlyName", &value, nullptr), static_cast<HRESULT>(0x80070002));
    EXPECT_EQ(bag->Read(u"DevicePath", &value, nullptr), static_cast<HRESULT>(0x80070002));
}

TEST_F(Devices, EntryFaults) {
    use_bench(R"({"tuners": [
        {"friendly_name": "A", "faults": ["StringFromCLSID"]},
        {"friendly_name": "B", "faults": ["BindToStorage", "BindToObject"]},
        {"friendly_name": "C"}]})");
    auto tuners = monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    ASSERT_EQ(tuners.size(), 3u);

    CLSID clsid;
    LPOLESTR text = nullptr;
    ASSERT_EQ(tuners[0]->GetClassID(&clsid), S_OK);
    EXPECT_EQ(StringFromCLSID(clsid, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
    ASSERT_EQ(tuners[2]->GetClassID(&clsid), S_OK);
    ASSERT_EQ(StringFromCLSID(clsid, &text), S_OK);
    EXPECT_EQ(std::u16string(text).size(), 38u);
    CoTaskMemFree(text);

    com_ptr<IPropertyBag> bag;
    com_ptr<IBaseFilter> filter;
    EXPECT_EQ(tuners[1]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()), E_FAIL);
    EXPECT_EQ(tuners[1]->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void()),
              E_FAIL);
    EXPECT_FALSE(bag);
    EXPECT_FALSE(filter);
    EXPECT_EQ(tuners[2]->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void()), S_OK);
}

TEST_F(Devices, EveryBindToObjectMakesANewFilter) {
    use_bench(R"({"tuners": [{"friendly_name": "A"}]})");
    auto tuner = monikers(KSCATEGORY_BDA_NETWORK_TUNER)[0];
    com_ptr<IBaseFilter> first, second;
    ASSERT_EQ(tuner->BindToObject(nullptr, nullptr, IID_IBaseFilter, first.put_void()), S_OK);
    ASSERT_EQ(tuner->BindToObject(nullptr, nullptr, IID_IBaseFilter, second.put_void()), S_OK);
    EXPECT_NE(first.get(), second.get());
    com_ptr<IPin> wrong;
    EXPECT_EQ(tuner->BindToObject(nullptr, nullptr, IID_IPin, wrong.put_void()), E_NOINTERFACE);
}

// ---------------------------------------------------------------------------------------
// The object runtime.

TEST_F(Devices, CoInitializeOncePerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    HRESULT other = E_FAIL;
    std::thread([&] { other = CoInitialize(nullptr); }).join();
    EXPECT_EQ(other, S_OK);
    standin::reset();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
}

TEST_F(Devices, CoCreateInstanceAnswers) {
    com_ptr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(IID_IPin, nullptr, CLSCTX_ALL, IID_IUnknown, object.put_void()),
              REGDB_E_CLASSNOTREG);
    com_ptr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               outer.put_void()),
              S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, outer.get(), CLSCTX_INPROC_SERVER,
                               IID_IUnknown, object.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IScanningTuner, object.put_void()),
              E_NOINTERFACE);
    EXPECT_FALSE(object);

    // The DVB-S network type names the network provider's class.
    CLSID provider;
    ASSERT_EQ(CLSIDFromString(u"{fa4b375a-45b4-4d45-8440-263957B11623}", &provider), S_OK);
    com_ptr<IScanningTuner> tuner;
    EXPECT_EQ(CoCreateInstance(provider, nullptr, CLSCTX_INPROC_SERVER, IID_IScanningTuner,
                               tuner.put_void()),
              S_OK);
}

TEST_F(Devices, GuidTexts) {
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromIID(KSCATEGORY_BDA_NETWORK_TUNER, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{71985F48-1CA1-11D3-9CC8-00C04F7971E0}");
    CLSID back;
    ASSERT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_EQ(back, KSCATEGORY_BDA_NETWORK_TUNER);
    CoTaskMemFree(text);

    CLSID untouched = CLSID_NullRenderer;
    EXPECT_EQ(CLSIDFromString(u"71985F48-1CA1-11D3-9CC8-00C04F7971E0", &untouched),
              CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"{71985F48-1CA1-11D3-9CC8-00C04F7971EG}", &untouched),
              CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"", &untouched), CO_E_CLASSSTRING);
    EXPECT_EQ(untouched, CLSID_NullRenderer);
    EXPECT_EQ(CLSIDFromString(nullptr, &untouched), S_OK);
    EXPECT_EQ(untouched, GUID{});
}

TEST_F(Devices, StringsAndVariants) {
    BSTR a = SysAllocString(u"Morvane");
    BSTR b = SysAllocString(u"Morvane");
    BSTR lower = SysAllocString(u"morvane");
    BSTR longer = SysAllocString(u"Morvane Tuner");
    EXPECT_EQ(SysStringLen(a), 7u);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    // The length sits in front of the text, in bytes.
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(a) - 4, 4);
    EXPECT_EQ(prefix, 14u);

    auto cmp = [](BSTR x, BSTR y) {
        VARIANT l, r;
        l.vt = r.vt = VT_BSTR;
        l.bstrVal = x;
        r.bstrVal = y;
        return VarCmp(&l, &r, LOCALE_USER_DEFAULT, 0);
    };
    EXPECT_EQ(cmp(a, b), VARCMP_EQ);
    EXPECT_EQ(cmp(a, lower), VARCMP_LT); // 'M' < 'm': case counts
    EXPECT_EQ(cmp(lower, a), VARCMP_GT);
    EXPECT_EQ(cmp(a, longer), VARCMP_LT);

    VARIANT n1, n2, s;
    n1.vt = n2.vt = VT_I4;
    n1.lVal = -5;
    n2.lVal = 3;
    s.vt = VT_BSTR;
    s.bstrVal = a;
    EXPECT_EQ(VarCmp(&n1, &n2, LOCALE_USER_DEFAULT, 0), VARCMP_LT);
    EXPECT_EQ(VarCmp(&n2, &n2, LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
    EXPECT_EQ(VarCmp(&n1, &s, LOCALE_USER_DEFAULT, 0), DISP_E_TYPEMISMATCH);

    for (BSTR text : {a, b, lower, longer})
        SysFreeString(text);
    SysFreeString(nullptr);

    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(CloseHandle(mutex), TRUE);
    EXPECT_EQ(CloseHandle(mutex), FALSE);

    com_ptr<IBindCtx> context;
    EXPECT_EQ(CreateBindCtx(0, context.put()), S_OK);
    EXPECT_TRUE(context);
}

} // namespace
