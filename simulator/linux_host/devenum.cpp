// Device enumeration: the system device enumerator, the category enumerators, the device
// monikers with their property bags, and bind contexts.

#include "simulator/devices/filters.h"
#include "simulator/linux_host/internal.h"

namespace standin::detail {

namespace {

class BindCtx final : public IBindCtx, public Object {
  public:
    SIM_IUNKNOWN

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IBindCtx)
            return static_cast<IBindCtx*>(this);
        return nullptr;
    }
};

class PropertyBag final : public IPropertyBag, public Object {
  public:
    PropertyBag(std::shared_ptr<Model> model, const Entry& entry)
        : model_(std::move(model)), entry_(entry) {}

    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR pszPropName, VARIANT* pVar,
                                   IErrorLog*) noexcept override {
        if (!pszPropName || !pVar)
            return E_POINTER;
        std::u16string_view name = pszPropName;
        const BagValue* value = nullptr;
        if (name == u"FriendlyName")
            value = &entry_.friendly_name;
        else if (name == u"DevicePath")
            value = &entry_.device_path;
        if (!value || value->kind == BagValue::Kind::absent)
            return hr_file_not_found;
        if (value->kind == BagValue::Kind::number) {
            pVar->vt = VT_I4;
            pVar->lVal = value->number;
            return S_OK;
        }
        BSTR text = SysAllocString(value->text.c_str());
        if (!text)
            return E_OUTOFMEMORY;
        pVar->vt = VT_BSTR;
        pVar->bstrVal = text;
        return S_OK;
    }

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IPropertyBag)
            return static_cast<IPropertyBag*>(this);
        return nullptr;
    }

    std::shared_ptr<Model> model_; // keeps entry_ alive
    const Entry& entry_;
};

class Moniker final : public IMoniker, public Object {
  public:
    Moniker(std::shared_ptr<Model> model, const Entry& entry)
        : model_(std::move(model)), entry_(entry) {}

    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) noexcept override {
        if (!pClassID)
            return E_POINTER;
        *pClassID =
            entry_.string_from_clsid_fails ? unformattable_class_id : device_moniker_class_id;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID riidResult,
                                           void** ppvResult) noexcept override {
        if (!ppvResult)
            return E_POINTER;
        *ppvResult = nullptr;
        if (entry_.bind_to_object_fails)
            return E_FAIL;
        return create_entry_filter(model_, entry_, riidResult, ppvResult);
    }

    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID riid,
                                            void** ppvObj) noexcept override {
        if (!ppvObj)
            return E_POINTER;
        *ppvObj = nullptr;
        if (entry_.bind_to_storage_fails)
            return E_FAIL;
        return hand_out(new (std::nothrow) PropertyBag(model_, entry_), riid, ppvObj);
    }

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IMoniker || riid == IID_IPersist)
            return static_cast<IMoniker*>(this);
        return nullptr;
    }

    std::shared_ptr<Model> model_;
    const Entry& entry_;
};

class MonikerEnum final : public IEnumMoniker, public Object {
  public:
    MonikerEnum(std::shared_ptr<Model> model, std::vector<const Entry*> walk)
        : model_(std::move(model)), walk_(std::move(walk)) {}

    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IMoniker** rgelt,
                                   ULONG* pceltFetched) noexcept override {
        if (pceltFetched)
            *pceltFetched = 0;
        if (!rgelt || (celt > 1 && !pceltFetched))
            return E_POINTER;
        ULONG fetched = 0;
        while (fetched < celt && next_ < walk_.size()) {
            const Entry* entry = walk_[next_];
            // The walk cannot go past a marker.
            auto* moniker = entry->is_marker ? nullptr : new (std::nothrow) Moniker(model_, *entry);
            if (!moniker) {
                if (fetched == 0) {
                    rgelt[0] = nullptr;
                    return entry->is_marker ? entry->next_fails : E_OUTOFMEMORY;
                }
                break;
            }
            rgelt[fetched++] = moniker;
            ++next_;
        }
        for (ULONG i = fetched; i < celt; ++i)
            rgelt[i] = nullptr;
        if (pceltFetched)
            *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IEnumMoniker)
            return static_cast<IEnumMoniker*>(this);
        return nullptr;
    }

    std::shared_ptr<Model> model_;
    std::vector<const Entry*> walk_; // present entries and markers, in file order
    size_t next_ = 0;
};

class SystemDeviceEnum final : public ICreateDevEnum, public Object {
  public:
    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID clsidDeviceClass,
                                                    IEnumMoniker** ppEnumMoniker,
                                                    DWORD) noexcept override {
        if (!ppEnumMoniker)
            return E_POINTER;
        *ppEnumMoniker = nullptr;
        return guarded([&] { return create_class_enumerator(clsidDeviceClass, ppEnumMoniker); });
    }

  private:
    HRESULT create_class_enumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker) {
        // The bench is read afresh for every category enumerator, and only here.
        count_class_enumerator();
        auto model = reread_bench();
        const char* name = nullptr;
        Category category = Category::tuners;
        if (clsidDeviceClass == KSCATEGORY_BDA_NETWORK_TUNER) {
            name = "tuners";
            category = Category::tuners;
        } else if (clsidDeviceClass == KSCATEGORY_BDA_RECEIVER_COMPONENT) {
            name = "captures";
            category = Category::captures;
        } else if (clsidDeviceClass == KSCATEGORY_BDA_TRANSPORT_INFORMATION) {
            name = "transport_information";
            category = Category::transport_information;
        } else {
            return S_FALSE; // a category without members
        }
        HRESULT result =
            bench::fault_for(model->faults.create_class_enumerator, name).value_or(S_OK);
        if (FAILED(result) || result == S_FALSE)
            return result;
        std::vector<const Entry*> walk;
        for (const Entry& entry : model->entries(category))
            if (entry.is_marker || entry.present)
                walk.push_back(&entry);
        if (walk.empty())
            return S_FALSE;
        *ppEnumMoniker = new MonikerEnum(std::move(model), std::move(walk));
        return result;
    }

    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_ICreateDevEnum)
            return static_cast<ICreateDevEnum*>(this);
        return nullptr;
    }
};

} // namespace

HRESULT create_system_device_enum(REFIID riid, void** ppv) noexcept {
    return hand_out(new (std::nothrow) SystemDeviceEnum, riid, ppv);
}

HRESULT create_bind_ctx(IBindCtx** ppbc) noexcept {
    *ppbc = new (std::nothrow) BindCtx;
    return *ppbc ? S_OK : E_OUTOFMEMORY;
}

} // namespace standin::detail
