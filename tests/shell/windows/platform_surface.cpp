// Compile-only: names every platform function and interface method the tuner access layer
// and the shell call, with the exact signature they are called through. Built against the
// Windows SDK it proves the stand-in's declarations match the real platform; built against
// the stand-in it proves the list is complete for what the stand-in declares.
#include "platform/dshow.h"
#include "platform/win32.h"

#define SURFACE_METHOD(Interface, Method, Result, ...)                                             \
    [[maybe_unused]] constexpr Result (STDMETHODCALLTYPE Interface::*Interface##_##Method)(        \
        __VA_ARGS__) = &Interface::Method;

#define SURFACE_FUNCTION(Function, Result, ...)                                                    \
    [[maybe_unused]] Result(WINAPI* const fn_##Function)(__VA_ARGS__) = &Function;

namespace {

// Object runtime, strings, variants, kernel objects, message box.
SURFACE_FUNCTION(CoInitialize, HRESULT, LPVOID)
SURFACE_FUNCTION(CoCreateInstance, HRESULT, REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*)
SURFACE_FUNCTION(StringFromIID, HRESULT, REFIID, LPOLESTR*)
SURFACE_FUNCTION(StringFromCLSID, HRESULT, REFCLSID, LPOLESTR*)
SURFACE_FUNCTION(CLSIDFromString, HRESULT, LPCOLESTR, LPCLSID)
SURFACE_FUNCTION(CoTaskMemFree, void, LPVOID)
SURFACE_FUNCTION(CreateBindCtx, HRESULT, DWORD, LPBC*)
SURFACE_FUNCTION(SysAllocString, BSTR, const OLECHAR*)
SURFACE_FUNCTION(SysFreeString, void, BSTR)
SURFACE_FUNCTION(SysStringLen, UINT, BSTR)
SURFACE_FUNCTION(VariantInit, void, VARIANT*)
SURFACE_FUNCTION(VariantClear, HRESULT, VARIANT*)
SURFACE_FUNCTION(VarCmp, HRESULT, LPVARIANT, LPVARIANT, LCID, ULONG)
SURFACE_FUNCTION(CreateMutexW, HANDLE, LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR)
SURFACE_FUNCTION(CloseHandle, BOOL, HANDLE)
SURFACE_FUNCTION(MessageBoxA, int, HWND, LPCSTR, LPCSTR, UINT)

// Reference counting and interface queries.
SURFACE_METHOD(IUnknown, QueryInterface, HRESULT, REFIID, void**)
SURFACE_METHOD(IUnknown, AddRef, ULONG)
SURFACE_METHOD(IUnknown, Release, ULONG)

// Device enumeration: categories, monikers, property bags.
SURFACE_METHOD(ICreateDevEnum, CreateClassEnumerator, HRESULT, REFCLSID, IEnumMoniker**, DWORD)
SURFACE_METHOD(IEnumMoniker, Next, HRESULT, ULONG, IMoniker**, ULONG*)
SURFACE_METHOD(IMoniker, GetClassID, HRESULT, CLSID*)
SURFACE_METHOD(IMoniker, BindToObject, HRESULT, IBindCtx*, IMoniker*, REFIID, void**)
SURFACE_METHOD(IMoniker, BindToStorage, HRESULT, IBindCtx*, IMoniker*, REFIID, void**)
SURFACE_METHOD(IPropertyBag, Read, HRESULT, LPCOLESTR, VARIANT*, IErrorLog*)

// Filters, pins and the graph.
SURFACE_METHOD(IMediaFilter, Stop, HRESULT)
SURFACE_METHOD(IBaseFilter, Stop, HRESULT)
SURFACE_METHOD(IBaseFilter, EnumPins, HRESULT, IEnumPins**)
SURFACE_METHOD(IEnumPins, Next, HRESULT, ULONG, IPin**, ULONG*)
SURFACE_METHOD(IPin, ConnectedTo, HRESULT, IPin**)
SURFACE_METHOD(IPin, QueryPinInfo, HRESULT, PIN_INFO*)
SURFACE_METHOD(IPin, QueryDirection, HRESULT, PIN_DIRECTION*)
SURFACE_METHOD(IFilterGraph, AddFilter, HRESULT, IBaseFilter*, LPCWSTR)
SURFACE_METHOD(IFilterGraph, RemoveFilter, HRESULT, IBaseFilter*)
SURFACE_METHOD(IFilterGraph, ConnectDirect, HRESULT, IPin*, IPin*, const AM_MEDIA_TYPE*)
SURFACE_METHOD(IGraphBuilder, AddFilter, HRESULT, IBaseFilter*, LPCWSTR)
SURFACE_METHOD(IGraphBuilder, RemoveFilter, HRESULT, IBaseFilter*)
SURFACE_METHOD(IGraphBuilder, ConnectDirect, HRESULT, IPin*, IPin*, const AM_MEDIA_TYPE*)

// Kernel-streaming properties and the BDA topology.
SURFACE_METHOD(IKsPropertySet, Set, HRESULT, REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD)
SURFACE_METHOD(IKsPropertySet, Get, HRESULT, REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD, DWORD*)
SURFACE_METHOD(IKsPropertySet, QuerySupported, HRESULT, REFGUID, DWORD, DWORD*)
SURFACE_METHOD(IBDA_Topology, GetNodeTypes, HRESULT, ULONG*, ULONG, ULONG[])
SURFACE_METHOD(IBDA_Topology, GetNodeDescriptors, HRESULT, ULONG*, ULONG, BDANODE_DESCRIPTOR[])

// The DVB-S tuning model.
SURFACE_METHOD(ILocator, put_CarrierFrequency, HRESULT, LONG)
SURFACE_METHOD(ILocator, put_InnerFEC, HRESULT, FECMethod)
SURFACE_METHOD(ILocator, put_InnerFECRate, HRESULT, BinaryConvolutionCodeRate)
SURFACE_METHOD(ILocator, put_OuterFEC, HRESULT, FECMethod)
SURFACE_METHOD(ILocator, put_OuterFECRate, HRESULT, BinaryConvolutionCodeRate)
SURFACE_METHOD(ILocator, put_Modulation, HRESULT, ModulationType)
SURFACE_METHOD(ILocator, put_SymbolRate, HRESULT, LONG)
SURFACE_METHOD(IDVBSLocator, put_CarrierFrequency, HRESULT, LONG)
SURFACE_METHOD(IDVBSLocator, put_Modulation, HRESULT, ModulationType)
SURFACE_METHOD(ITuneRequest, put_Locator, HRESULT, ILocator*)
SURFACE_METHOD(ITuningSpace, put_UniqueName, HRESULT, BSTR)
SURFACE_METHOD(ITuningSpace, put_FriendlyName, HRESULT, BSTR)
SURFACE_METHOD(ITuningSpace, get_NetworkType, HRESULT, BSTR*)
SURFACE_METHOD(ITuningSpace, put_NetworkType, HRESULT, BSTR)
SURFACE_METHOD(ITuningSpace, CreateTuneRequest, HRESULT, ITuneRequest**)
SURFACE_METHOD(IDVBTuningSpace, put_SystemType, HRESULT, DVBSystemType)
SURFACE_METHOD(IDVBSTuningSpace, put_SystemType, HRESULT, DVBSystemType)
SURFACE_METHOD(IDVBSTuningSpace, put_NetworkType, HRESULT, BSTR)
SURFACE_METHOD(IDVBSTuningSpace, CreateTuneRequest, HRESULT, ITuneRequest**)
SURFACE_METHOD(IDVBSTuningSpace, put_LowOscillator, HRESULT, LONG)
SURFACE_METHOD(IDVBSTuningSpace, put_HighOscillator, HRESULT, LONG)
SURFACE_METHOD(IDVBSTuningSpace, put_LNBSwitch, HRESULT, LONG)
SURFACE_METHOD(IDVBSTuningSpace, put_InputRange, HRESULT, BSTR)
SURFACE_METHOD(IDVBSTuningSpace, put_SpectralInversion, HRESULT, SpectralInversion)
SURFACE_METHOD(ITuner, put_TuningSpace, HRESULT, ITuningSpace*)
SURFACE_METHOD(ITuner, put_TuneRequest, HRESULT, ITuneRequest*)
SURFACE_METHOD(IScanningTuner, put_TuningSpace, HRESULT, ITuningSpace*)
SURFACE_METHOD(IScanningTuner, put_TuneRequest, HRESULT, ITuneRequest*)

// Identifiers and values the layer passes to the platform.
[[maybe_unused]] const GUID* const identifiers[] = {
    &IID_IUnknown,
    &IID_IPropertyBag,
    &IID_IBaseFilter,
    &IID_IGraphBuilder,
    &IID_IMediaControl,
    &IID_IKsPropertySet,
    &IID_IBDA_Topology,
    &IID_IDVBSTuningSpace,
    &IID_ITuningSpace,
    &IID_IDVBSLocator,
    &IID_ILocator,
    &IID_IScanningTuner,
    &IID_ICreateDevEnum,
    &CLSID_SystemDeviceEnum,
    &CLSID_FilterGraphNoThread,
    &CLSID_DVBSTuningSpace,
    &CLSID_DVBSLocator,
    &CLSID_DVBSNetworkProvider,
    &CLSID_MPEG2Demultiplexer,
    &CLSID_NullRenderer,
    &KSCATEGORY_BDA_NETWORK_TUNER,
    &KSCATEGORY_BDA_RECEIVER_COMPONENT,
    &KSCATEGORY_BDA_TRANSPORT_INFORMATION,
    &KSNODE_BDA_QPSK_DEMODULATOR,
    &KSNODE_BDA_QAM_DEMODULATOR,
    &KSNODE_BDA_OFDM_DEMODULATOR,
};

static_assert(PINDIR_OUTPUT == 1 && PINDIR_INPUT == 0);
static_assert(KSPROPERTY_SUPPORT_GET == 1 && KSPROPERTY_SUPPORT_SET == 2);
static_assert(VT_BSTR == 8 && VT_I4 == 3);
static_assert(S_FALSE == 1 && E_FAIL == static_cast<HRESULT>(0x80004005));
static_assert(VFW_S_DUPLICATE_NAME == 0x0004022D);
static_assert(DVB_Satellite == 2 && BDA_MOD_QPSK == 20);
static_assert(DBT_DEVNODES_CHANGED == 0x0007 && DBT_DEVICEARRIVAL == 0x8000 &&
              DBT_DEVICEREMOVECOMPLETE == 0x8004);
static_assert(WM_DEVICECHANGE == 0x0219 && WM_CLOSE == 0x0010 && MB_OK == 0 && IDOK == 1);
static_assert(sizeof(BDANODE_DESCRIPTOR) == 36 && sizeof(GUID) == 16);

} // namespace
