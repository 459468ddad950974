// The DVB-S tuning model, written once for both hosts: tuning space, tune request, locator,
// and the network provider that takes them. Values are kept and read back (every get_ and
// put_ succeeds); the bench's `faults.results` decide the results of the methods it names.
//
// Ownership runs one way only: the network provider keeps the tuning space and the tune
// request it is given, a tune request keeps its locator; nothing points back.

#include "simulator/devices/filters.h"

namespace sim {

namespace {

#ifdef _WIN32
const IID& iid_digital_locator = __uuidof(IDigitalLocator);
#else
const IID& iid_digital_locator = IID_IDigitalLocator;
#endif

// The method name a property's put_ goes by among the bench's faults, when one is given.
constexpr const char* fault_name(const char* method = nullptr) {
    return method;
}

template <class T> HRESULT read(const T& field, T* out) {
    if (!out)
        return E_POINTER;
    *out = field;
    return S_OK;
}

HRESULT replace(BSTR& field, const OLECHAR* value) {
    BSTR copy = value ? SysAllocString(value) : nullptr;
    if (value && !copy)
        return E_OUTOFMEMORY;
    SysFreeString(field);
    field = copy;
    return S_OK;
}

HRESULT read_text(BSTR field, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = field ? SysAllocString(field) : nullptr;
    return field && !*out ? E_OUTOFMEMORY : S_OK;
}

// A get_/put_ pair over a value the object keeps; put_ may go by a method name among the
// bench's faults.
#define SIM_VALUE_PROPERTY(Name, Type, field, ...)                                                 \
    HRESULT STDMETHODCALLTYPE get_##Name(Type* v) noexcept override {                              \
        return read(field, v);                                                                     \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Name(Type v) noexcept override {                               \
        return with_result_fault(fault_name(__VA_ARGS__), [&] {                                    \
            field = v;                                                                             \
            return S_OK;                                                                           \
        });                                                                                        \
    }

// The same over a string the object keeps a copy of (under the object's mutex_).
#define SIM_TEXT_PROPERTY(Name, field, ...)                                                        \
    HRESULT STDMETHODCALLTYPE get_##Name(BSTR* v) noexcept override {                              \
        std::lock_guard lock(mutex_);                                                              \
        return read_text(field, v);                                                                \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Name(BSTR v) noexcept override {                               \
        return with_result_fault(fault_name(__VA_ARGS__), [&] {                                    \
            std::lock_guard lock(mutex_);                                                          \
            return replace(field, v);                                                              \
        });                                                                                        \
    }

// The same over an object the object keeps one reference to (under the given mutex).
#define SIM_OBJECT_PROPERTY(Name, Type, field, mutex, ...)                                         \
    HRESULT STDMETHODCALLTYPE get_##Name(Type** v) noexcept override {                             \
        std::lock_guard lock(mutex);                                                               \
        return read_object(field, v);                                                              \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Name(Type* v) noexcept override {                              \
        return with_result_fault(fault_name(__VA_ARGS__), [&] {                                    \
            std::lock_guard lock(mutex);                                                           \
            keep(field, v);                                                                        \
            return S_OK;                                                                           \
        });                                                                                        \
    }

class Locator final : public IDVBSLocator, public Object {
  public:
    SIM_IUNKNOWN
    SIM_NO_DISPATCH

    SIM_VALUE_PROPERTY(CarrierFrequency, LONG, carrier_frequency_)
    SIM_VALUE_PROPERTY(InnerFEC, FECMethod, inner_fec_)
    SIM_VALUE_PROPERTY(InnerFECRate, BinaryConvolutionCodeRate, inner_fec_rate_)
    SIM_VALUE_PROPERTY(OuterFEC, FECMethod, outer_fec_)
    SIM_VALUE_PROPERTY(OuterFECRate, BinaryConvolutionCodeRate, outer_fec_rate_)
    SIM_VALUE_PROPERTY(Modulation, ModulationType, modulation_, "IDVBSLocator::put_Modulation")
    SIM_VALUE_PROPERTY(SymbolRate, LONG, symbol_rate_)
    SIM_ANSWER(Clone, (ILocator**), E_NOTIMPL)

    SIM_VALUE_PROPERTY(SignalPolarisation, Polarisation, polarisation_)
    SIM_VALUE_PROPERTY(WestPosition, VARIANT_BOOL, west_)
    SIM_VALUE_PROPERTY(OrbitalPosition, LONG, orbital_position_)
    SIM_VALUE_PROPERTY(Azimuth, LONG, azimuth_)
    SIM_VALUE_PROPERTY(Elevation, LONG, elevation_)

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ILocator ||
            riid == iid_digital_locator || riid == IID_IDVBSLocator)
            return static_cast<IDVBSLocator*>(this);
        return nullptr;
    }

    LONG carrier_frequency_ = -1;
    FECMethod inner_fec_ = BDA_FEC_METHOD_NOT_SET;
    BinaryConvolutionCodeRate inner_fec_rate_ = BDA_BCC_RATE_NOT_SET;
    FECMethod outer_fec_ = BDA_FEC_METHOD_NOT_SET;
    BinaryConvolutionCodeRate outer_fec_rate_ = BDA_BCC_RATE_NOT_SET;
    ModulationType modulation_ = BDA_MOD_NOT_SET;
    LONG symbol_rate_ = -1;
    Polarisation polarisation_ = BDA_POLARISATION_NOT_SET;
    VARIANT_BOOL west_ = VARIANT_FALSE;
    LONG orbital_position_ = -1;
    LONG azimuth_ = -1;
    LONG elevation_ = -1;
};

class TuneRequest final : public ITuneRequest, public Object {
  public:
    explicit TuneRequest(ITuningSpace* space) { keep(space_, space); }
    ~TuneRequest() override {
        keep(locator_, static_cast<ILocator*>(nullptr));
        keep(space_, static_cast<ITuningSpace*>(nullptr));
    }

    SIM_IUNKNOWN
    SIM_NO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_TuningSpace(ITuningSpace** space) noexcept override {
        std::lock_guard lock(mutex_);
        return read_object(space_, space);
    }
    // The request's components: none.
    HRESULT STDMETHODCALLTYPE get_Components(IComponents** components) noexcept override {
        return read_object(static_cast<IComponents*>(nullptr), components);
    }
    SIM_ANSWER(Clone, (ITuneRequest**), E_NOTIMPL)
    SIM_OBJECT_PROPERTY(Locator, ILocator, locator_, mutex_)

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITuneRequest)
            return static_cast<ITuneRequest*>(this);
        return nullptr;
    }

    std::mutex mutex_;
    ILocator* locator_ = nullptr;   // one reference
    ITuningSpace* space_ = nullptr; // one reference: the space that made the request
};

class TuningSpace final : public IDVBSTuningSpace, public Object {
  public:
    ~TuningSpace() override {
        SysFreeString(unique_name_);
        SysFreeString(friendly_name_);
        SysFreeString(network_type_);
        SysFreeString(input_range_);
        SysFreeString(frequency_mapping_);
        keep(component_types_, static_cast<IComponentTypes*>(nullptr));
        keep(default_locator_, static_cast<ILocator*>(nullptr));
    }

    SIM_IUNKNOWN
    SIM_NO_DISPATCH

    SIM_TEXT_PROPERTY(UniqueName, unique_name_)
    SIM_TEXT_PROPERTY(FriendlyName, friendly_name_)
    HRESULT STDMETHODCALLTYPE get_CLSID(BSTR* v) noexcept override {
        if (!v)
            return E_POINTER;
        *v = SysAllocString(wide_text(u"{B64016F3-C9A2-4066-96F0-BD9563314726}"));
        return *v ? S_OK : E_OUTOFMEMORY;
    }
    SIM_TEXT_PROPERTY(NetworkType, network_type_, "IDVBSTuningSpace::put_NetworkType")
    HRESULT STDMETHODCALLTYPE get__NetworkType(GUID* v) noexcept override {
        if (!v)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *v = GUID{};
        return network_type_ ? CLSIDFromString(network_type_, v) : S_OK;
    }
    HRESULT STDMETHODCALLTYPE put__NetworkType(REFCLSID v) noexcept override {
        return guarded([&] {
            std::u16string text = bench::utf16(bench::guid_text(v));
            std::lock_guard lock(mutex_);
            return replace(network_type_, wide_text(text.c_str()));
        });
    }
    HRESULT STDMETHODCALLTYPE CreateTuneRequest(ITuneRequest** request) noexcept override {
        if (!request)
            return E_POINTER;
        *request = nullptr;
        return with_result_fault("IDVBSTuningSpace::CreateTuneRequest", [&] {
            *request = new (std::nothrow) TuneRequest(this);
            return *request ? S_OK : E_OUTOFMEMORY;
        });
    }
    SIM_ANSWER(EnumCategoryGUIDs, (IEnumGUID**), E_NOTIMPL)
    SIM_ANSWER(EnumDeviceMonikers, (IEnumMoniker**), E_NOTIMPL)
    SIM_OBJECT_PROPERTY(DefaultPreferredComponentTypes, IComponentTypes, component_types_, mutex_)
    SIM_TEXT_PROPERTY(FrequencyMapping, frequency_mapping_)
    SIM_OBJECT_PROPERTY(DefaultLocator, ILocator, default_locator_, mutex_)
    SIM_ANSWER(Clone, (ITuningSpace**), E_NOTIMPL)

    SIM_VALUE_PROPERTY(SystemType, DVBSystemType, system_type_)
    SIM_VALUE_PROPERTY(NetworkID, LONG, network_id_)
    SIM_VALUE_PROPERTY(LowOscillator, LONG, low_oscillator_)
    SIM_VALUE_PROPERTY(HighOscillator, LONG, high_oscillator_)
    SIM_VALUE_PROPERTY(LNBSwitch, LONG, lnb_switch_)
    SIM_TEXT_PROPERTY(InputRange, input_range_)
    SIM_VALUE_PROPERTY(SpectralInversion, SpectralInversion, spectral_inversion_)

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITuningSpace ||
            riid == IID_IDVBTuningSpace || riid == IID_IDVBTuningSpace2 ||
            riid == IID_IDVBSTuningSpace)
            return static_cast<IDVBSTuningSpace*>(this);
        return nullptr;
    }

    std::mutex mutex_;                           // guards the strings and objects
    IComponentTypes* component_types_ = nullptr; // one reference
    ILocator* default_locator_ = nullptr;        // one reference
    BSTR unique_name_ = nullptr;
    BSTR friendly_name_ = nullptr;
    BSTR network_type_ = nullptr;
    BSTR input_range_ = nullptr;
    BSTR frequency_mapping_ = nullptr;
    DVBSystemType system_type_ = DVB_Satellite;
    LONG network_id_ = -1;
    LONG low_oscillator_ = -1;
    LONG high_oscillator_ = -1;
    LONG lnb_switch_ = -1;
    SpectralInversion spectral_inversion_ = BDA_SPECTRAL_INVERSION_NOT_SET;
};

class NetworkProvider final : public Filter, public IScanningTuner {
  public:
    NetworkProvider() : Filter(CLSID_DVBSNetworkProvider, "DVBSNetworkProvider") {
        set_pins("DVBSNetworkProvider", bench::network_provider_pins());
    }
    ~NetworkProvider() override {
        keep(tune_request_, static_cast<ITuneRequest*>(nullptr));
        keep(tuning_space_, static_cast<ITuningSpace*>(nullptr));
        keep(component_types_, static_cast<IComponentTypes*>(nullptr));
    }

    SIM_IUNKNOWN

    SIM_OBJECT_PROPERTY(TuningSpace, ITuningSpace, tuning_space_, tuner_mutex_,
                        "ITuner::put_TuningSpace")
    SIM_ANSWER(EnumTuningSpaces, (IEnumTuningSpaces**), E_NOTIMPL)
    SIM_OBJECT_PROPERTY(TuneRequest, ITuneRequest, tune_request_, tuner_mutex_,
                        "ITuner::put_TuneRequest")
    SIM_ANSWER(Validate, (ITuneRequest*), S_OK)
    SIM_OBJECT_PROPERTY(PreferredComponentTypes, IComponentTypes, component_types_, tuner_mutex_)
    HRESULT STDMETHODCALLTYPE get_SignalStrength(LONG* strength) noexcept override {
        return read(LONG{0}, strength);
    }
    SIM_ANSWER(TriggerSignalEvents, (LONG), E_NOTIMPL)
    SIM_ANSWER(SeekUp, (), E_NOTIMPL)
    SIM_ANSWER(SeekDown, (), E_NOTIMPL)
    SIM_ANSWER(ScanUp, (LONG), E_NOTIMPL)
    SIM_ANSWER(ScanDown, (LONG), E_NOTIMPL)
    SIM_ANSWER(AutoProgram, (), E_NOTIMPL)

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_ITuner || riid == IID_IScanningTuner)
            return static_cast<IScanningTuner*>(this);
        return Filter::find_interface(riid);
    }

    std::mutex tuner_mutex_;
    ITuningSpace* tuning_space_ = nullptr;       // one reference
    ITuneRequest* tune_request_ = nullptr;       // one reference
    IComponentTypes* component_types_ = nullptr; // one reference
};

} // namespace

HRESULT create_tuning_space(REFIID riid, void** ppv) noexcept {
    return hand_out(new (std::nothrow) TuningSpace, riid, ppv);
}

HRESULT create_locator(REFIID riid, void** ppv) noexcept {
    return hand_out(new (std::nothrow) Locator, riid, ppv);
}

HRESULT create_network_provider(REFIID riid, void** ppv) noexcept {
    if (ppv)
        *ppv = nullptr;
    return guarded([&] { return hand_out(new NetworkProvider, riid, ppv); });
}

} // namespace sim
