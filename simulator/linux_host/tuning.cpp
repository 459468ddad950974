// The DVB-S tuning model: tuning space, tune request, locator and the network provider.
//
// Ownership runs one way only: the network provider keeps the tuning space and the tune
// request it is given, a tune request keeps its locator; nothing points back.

#include "simulator/linux_host/filter.h"

namespace standin::detail {

namespace {

// The result a `faults.results` entry imposes on a method, if any.
std::optional<HRESULT> result_fault(const char* method) {
    return current_bench()->result_fault(method);
}

class Locator final : public IDVBSLocator, public Object {
  public:
    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE put_CarrierFrequency(long Frequency) override {
        carrier_frequency_ = Frequency;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_InnerFEC(FECMethod FEC) override {
        inner_fec_ = FEC;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_InnerFECRate(BinaryConvolutionCodeRate FEC) override {
        inner_fec_rate_ = FEC;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_OuterFEC(FECMethod FEC) override {
        outer_fec_ = FEC;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_OuterFECRate(BinaryConvolutionCodeRate FEC) override {
        outer_fec_rate_ = FEC;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Modulation(ModulationType Modulation) override {
        auto fault = result_fault("IDVBSLocator::put_Modulation");
        if (fault && FAILED(*fault))
            return *fault;
        modulation_ = Modulation;
        return fault.value_or(S_OK);
    }
    HRESULT STDMETHODCALLTYPE put_SymbolRate(long Rate) override {
        symbol_rate_ = Rate;
        return S_OK;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ILocator ||
            riid == IID_IDigitalLocator || riid == IID_IDVBSLocator)
            return static_cast<IDVBSLocator*>(this);
        return nullptr;
    }

    long carrier_frequency_ = -1;
    FECMethod inner_fec_ = BDA_FEC_METHOD_NOT_SET;
    BinaryConvolutionCodeRate inner_fec_rate_ = BDA_BCC_RATE_NOT_SET;
    FECMethod outer_fec_ = BDA_FEC_METHOD_NOT_SET;
    BinaryConvolutionCodeRate outer_fec_rate_ = BDA_BCC_RATE_NOT_SET;
    ModulationType modulation_ = BDA_MOD_NOT_SET;
    long symbol_rate_ = -1;
};

class TuneRequest final : public ITuneRequest, public Object {
  public:
    ~TuneRequest() override {
        if (locator_)
            locator_->Release();
    }

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE put_Locator(ILocator* Locator) override {
        if (Locator)
            Locator->AddRef();
        if (locator_)
            locator_->Release();
        locator_ = Locator;
        return S_OK;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITuneRequest)
            return static_cast<ITuneRequest*>(this);
        return nullptr;
    }

    ILocator* locator_ = nullptr; // one reference
};

class TuningSpace final : public IDVBSTuningSpace, public Object {
  public:
    ~TuningSpace() override {
        SysFreeString(unique_name_);
        SysFreeString(friendly_name_);
        SysFreeString(network_type_);
        SysFreeString(input_range_);
    }

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE put_UniqueName(BSTR Name) override {
        return replace(unique_name_, Name);
    }
    HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR Name) override {
        return replace(friendly_name_, Name);
    }
    HRESULT STDMETHODCALLTYPE get_NetworkType(BSTR* NetworkTypeGuid) override {
        if (!NetworkTypeGuid)
            return E_POINTER;
        *NetworkTypeGuid = network_type_ ? SysAllocString(network_type_) : nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_NetworkType(BSTR NetworkTypeGuid) override {
        auto fault = result_fault("IDVBSTuningSpace::put_NetworkType");
        if (fault && FAILED(*fault))
            return *fault;
        HRESULT hr = replace(network_type_, NetworkTypeGuid);
        return fault && SUCCEEDED(hr) ? *fault : hr;
    }
    HRESULT STDMETHODCALLTYPE CreateTuneRequest(ITuneRequest** ppTuneRequest) override {
        if (!ppTuneRequest)
            return E_POINTER;
        *ppTuneRequest = nullptr;
        auto fault = result_fault("IDVBSTuningSpace::CreateTuneRequest");
        if (fault && FAILED(*fault))
            return *fault;
        *ppTuneRequest = new TuneRequest;
        return fault.value_or(S_OK);
    }
    HRESULT STDMETHODCALLTYPE put_SystemType(DVBSystemType SysType) override {
        system_type_ = SysType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_LowOscillator(long LowOscillator) override {
        low_oscillator_ = LowOscillator;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_HighOscillator(long HighOscillator) override {
        high_oscillator_ = HighOscillator;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_LNBSwitch(long LNBSwitch) override {
        lnb_switch_ = LNBSwitch;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_InputRange(BSTR InputRange) override {
        return replace(input_range_, InputRange);
    }
    HRESULT STDMETHODCALLTYPE
    put_SpectralInversion(SpectralInversion SpectralInversionVal) override {
        spectral_inversion_ = SpectralInversionVal;
        return S_OK;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITuningSpace ||
            riid == IID_IDVBTuningSpace || riid == IID_IDVBTuningSpace2 ||
            riid == IID_IDVBSTuningSpace)
            return static_cast<IDVBSTuningSpace*>(this);
        return nullptr;
    }

    static HRESULT replace(BSTR& field, BSTR value) {
        BSTR copy = value ? SysAllocString(value) : nullptr;
        if (value && !copy)
            return E_OUTOFMEMORY;
        SysFreeString(field);
        field = copy;
        return S_OK;
    }

    BSTR unique_name_ = nullptr;
    BSTR friendly_name_ = nullptr;
    BSTR network_type_ = nullptr;
    BSTR input_range_ = nullptr;
    DVBSystemType system_type_ = DVB_Satellite;
    long low_oscillator_ = -1;
    long high_oscillator_ = -1;
    long lnb_switch_ = -1;
    SpectralInversion spectral_inversion_ = BDA_SPECTRAL_INVERSION_NOT_SET;
};

class NetworkProvider final : public Filter, public IScanningTuner {
  public:
    NetworkProvider() : Filter("DVBSNetworkProvider", bench::network_provider_pins()) {}
    ~NetworkProvider() override {
        if (tune_request_)
            tune_request_->Release();
        if (tuning_space_)
            tuning_space_->Release();
    }

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE put_TuningSpace(ITuningSpace* TuningSpace) override {
        auto fault = result_fault("ITuner::put_TuningSpace");
        if (fault && FAILED(*fault))
            return *fault;
        keep(tuning_space_, TuningSpace);
        return fault.value_or(S_OK);
    }
    HRESULT STDMETHODCALLTYPE put_TuneRequest(ITuneRequest* TuneRequest) override {
        auto fault = result_fault("ITuner::put_TuneRequest");
        if (fault && FAILED(*fault))
            return *fault;
        keep(tune_request_, TuneRequest);
        return fault.value_or(S_OK);
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_ITuner || riid == IID_IScanningTuner)
            return static_cast<IScanningTuner*>(this);
        return Filter::find_interface(riid);
    }

    template <class T> static void keep(T*& field, T* value) {
        if (value)
            value->AddRef();
        if (field)
            field->Release();
        field = value;
    }

    ITuningSpace* tuning_space_ = nullptr; // one reference
    ITuneRequest* tune_request_ = nullptr; // one reference
};

} // namespace

HRESULT create_tuning_space(REFIID riid, void** ppv) {
    return hand_out(new TuningSpace, riid, ppv);
}

HRESULT create_locator(REFIID riid, void** ppv) {
    return hand_out(new Locator, riid, ppv);
}

HRESULT create_network_provider(REFIID riid, void** ppv) {
    return hand_out(new NetworkProvider, riid, ppv);
}

} // namespace standin::detail
