#include "media/walk.h"
#include "media/console.h"

namespace media {

bool tuner_category::open() {
    if (FAILED(CoInitialize(nullptr))) {
        media_printf("CoInitialize failed\n");
        return false;
    }
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, device_enumerator.put_void())) ||
        !device_enumerator) {
        media_printf("CoCreateInstance failed\n");
        return false;
    }
    task_string category_text;
    if (FAILED(StringFromIID(KSCATEGORY_BDA_NETWORK_TUNER, category_text.put()))) {
        media_printf("StringFromIID failed\n");
        return false;
    }
    const HRESULT hr =
        device_enumerator->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, monikers.put(), 0);
    if (FAILED(hr)) {
        media_printf("Enumeration failed 1\n");
        return false;
    }
    if (hr != S_OK || !monikers) {
        media_printf("No devices available\n");
        return false;
    }
    media_printf(" ID   |   Devicename\n");
    media_printf("-------------------------------------------------\n");
    return true;
}

const WCHAR* tuner_entry::path() const {
    static const WCHAR empty[1] = {0};
    const WCHAR* s = device_path.string();
    return s ? s : empty;
}

bool tuner_entry::of_the_maker() const {
    return friendly_name.is_string() && wide_contains(friendly_name.string(), MEDIA_W("Morvane"));
}

fetch_result fetch_entry(IEnumMoniker* monikers, tuner_entry& entry) {
    ULONG fetched = 0;
    if (FAILED(monikers->Next(1, entry.moniker.put(), &fetched))) {
        media_printf("Enumeration failed 2\n");
        return fetch_result::failed;
    }
    if (fetched == 0 || !entry.moniker)
        return fetch_result::end;

    com_ptr<IBindCtx> context;
    CreateBindCtx(0, context.put());
    CLSID class_id = {};
    entry.moniker->GetClassID(&class_id);
    task_string class_text;
    if (FAILED(StringFromCLSID(class_id, class_text.put())))
        return fetch_result::failed;
    if (FAILED(entry.moniker->BindToStorage(context.get(), nullptr, IID_IPropertyBag,
                                            entry.bag.put_void())) ||
        !entry.bag)
        return fetch_result::failed;
    entry.bag->Read(MEDIA_W("DevicePath"), entry.device_path.get(), nullptr);
    entry.friendly_name_read =
        entry.bag->Read(MEDIA_W("FriendlyName"), entry.friendly_name.get(), nullptr);
    return fetch_result::entry;
}

} // namespace media
