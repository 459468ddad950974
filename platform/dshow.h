// DirectShow, BDA tuning and kernel-streaming surface used by the tuner access layer.
//
// On Windows: the real SDK headers. Elsewhere: the stand-in's declarations. Every interface a
// simulated object implements has the SDK's methods, in the SDK's order, with its inheritance
// and types, so that the simulator's objects compile against both (a check of the default
// preset compiles them against mingw-w64's headers); the others declare what the program
// calls.
#pragma once

#include "platform/com.h"

#ifdef _WIN32

#include <dshow.h>
#include <bdaiface.h>
#include <bdamedia.h>
#include <tuner.h>
#include <ks.h>
#include <ksmedia.h>
#include <ksproxy.h>

#else // stand-in

struct IBaseFilter;
struct IFilterGraph;
struct IPin;
struct IEnumMediaTypes;

typedef int64_t REFERENCE_TIME;
typedef uint8_t BYTE;

// Media types: what a connection carries.
struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

#define MAX_PIN_NAME 128
struct PIN_INFO {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

#define MAX_FILTER_NAME 128
struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

#define VFW_S_DUPLICATE_NAME ((HRESULT)0x0004022DL)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207L)
#define VFW_E_INVALID_DIRECTION ((HRESULT)0x80040208L)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204L)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209L)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216L)
#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224L)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022AL)
#define VFW_E_NOT_IN_GRAPH ((HRESULT)0x8004025FL)

struct IReferenceClock : public IUnknown {};

struct IEnumMediaTypes : public IUnknown {
    STDMETHOD(Next)(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cMediaTypes) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMediaTypes** ppEnum) PURE;
};

struct IPin : public IUnknown {
    STDMETHOD(Connect)(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(ReceiveConnection)(IPin* pConnector, const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(Disconnect)() PURE;
    STDMETHOD(ConnectedTo)(IPin** pPin) PURE;
    STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(QueryPinInfo)(PIN_INFO* pInfo) PURE;
    STDMETHOD(QueryDirection)(PIN_DIRECTION* pPinDir) PURE;
    STDMETHOD(QueryId)(LPWSTR* Id) PURE;
    STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** ppEnum) PURE;
    STDMETHOD(QueryInternalConnections)(IPin** apPin, ULONG* nPin) PURE;
    STDMETHOD(EndOfStream)() PURE;
    STDMETHOD(BeginFlush)() PURE;
    STDMETHOD(EndFlush)() PURE;
    STDMETHOD(NewSegment)(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) PURE;
};

struct IEnumPins : public IUnknown {
    STDMETHOD(Next)(ULONG cPins, IPin** ppPins, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cPins) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumPins** ppEnum) PURE;
};

struct IMediaFilter : public IPersist {
    STDMETHOD(Stop)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Run)(REFERENCE_TIME tStart) PURE;
    STDMETHOD(GetState)(DWORD dwMilliSecsTimeout, FILTER_STATE* State) PURE;
    STDMETHOD(SetSyncSource)(IReferenceClock* pClock) PURE;
    STDMETHOD(GetSyncSource)(IReferenceClock** pClock) PURE;
};

struct IBaseFilter : public IMediaFilter {
    STDMETHOD(EnumPins)(IEnumPins** ppEnum) PURE;
    STDMETHOD(FindPin)(LPCWSTR Id, IPin** ppPin) PURE;
    STDMETHOD(QueryFilterInfo)(FILTER_INFO* pInfo) PURE;
    STDMETHOD(JoinFilterGraph)(IFilterGraph* pGraph, LPCWSTR pName) PURE;
    STDMETHOD(QueryVendorInfo)(LPWSTR* pVendorInfo) PURE;
};

struct IFilterGraph : public IUnknown {
    STDMETHOD(AddFilter)(IBaseFilter* pFilter, LPCWSTR pName) PURE;
    STDMETHOD(RemoveFilter)(IBaseFilter* pFilter) PURE;
    STDMETHOD(ConnectDirect)(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) PURE;
};

struct IGraphBuilder : public IFilterGraph {};

struct IMediaControl : public IDispatch {};

struct ICreateDevEnum : public IUnknown {
    STDMETHOD(CreateClassEnumerator)
    (REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) PURE;
};

// Kernel-streaming property sets.
#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070490L)
#define E_PROP_SET_UNSUPPORTED ((HRESULT)0x80070492L)

struct IKsPropertySet : public IUnknown {
    STDMETHOD(Set)
    (REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
     LPVOID pPropData, DWORD cbPropData) PURE;
    STDMETHOD(Get)
    (REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
     LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) PURE;
    STDMETHOD(QuerySupported)(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) PURE;
};

// BDA topology.
struct BDANODE_DESCRIPTOR {
    ULONG ulBdaNodeType;
    GUID guidFunction;
    GUID guidName;
};

struct BDA_TEMPLATE_CONNECTION {
    ULONG FromNodeType;
    ULONG FromNodePinType;
    ULONG ToNodeType;
    ULONG ToNodePinType;
};

struct REGPINMEDIUM {
    CLSID clsMedium;
    DWORD dw1;
    DWORD dw2;
};

struct IBDA_Topology : public IUnknown {
    STDMETHOD(GetNodeTypes)
    (ULONG* pulcNodeTypes, ULONG ulcNodeTypesMax, ULONG rgulNodeTypes[]) PURE;
    STDMETHOD(GetNodeDescriptors)
    (ULONG* ulcNodeDescriptors, ULONG ulcNodeDescriptorsMax,
     BDANODE_DESCRIPTOR rgNodeDescriptors[]) PURE;
    STDMETHOD(GetNodeInterfaces)
    (ULONG ulNodeType, ULONG* pulcInterfaces, ULONG ulcInterfacesMax, GUID rgguidInterfaces[]) PURE;
    STDMETHOD(GetPinTypes)(ULONG* pulcPinTypes, ULONG ulcPinTypesMax, ULONG rgulPinTypes[]) PURE;
    STDMETHOD(GetTemplateConnections)
    (ULONG* pulcConnections, ULONG ulcConnectionsMax, BDA_TEMPLATE_CONNECTION rgConnections[]) PURE;
    STDMETHOD(CreatePin)(ULONG ulPinType, ULONG* pulPinId) PURE;
    STDMETHOD(DeletePin)(ULONG ulPinId) PURE;
    STDMETHOD(SetMediaType)(ULONG ulPinId, AM_MEDIA_TYPE* pMediaType) PURE;
    STDMETHOD(SetMedium)(ULONG ulPinId, REGPINMEDIUM* pMedium) PURE;
    STDMETHOD(CreateTopology)(ULONG ulInputPinId, ULONG ulOutputPinId) PURE;
    STDMETHOD(GetControlNode)
    (ULONG ulInputPinId, ULONG ulOutputPinId, ULONG ulNodeType, IUnknown** ppControlNode) PURE;
};

// Tuning model.
enum DVBSystemType {
    DVB_Cable = 0,
    DVB_Terrestrial = 1,
    DVB_Satellite = 2,
};

enum SpectralInversion {
    BDA_SPECTRAL_INVERSION_NOT_SET = -1,
    BDA_SPECTRAL_INVERSION_NOT_DEFINED = 0,
    BDA_SPECTRAL_INVERSION_AUTOMATIC = 1,
    BDA_SPECTRAL_INVERSION_NORMAL = 2,
    BDA_SPECTRAL_INVERSION_INVERTED = 3,
};

enum FECMethod {
    BDA_FEC_METHOD_NOT_SET = -1,
    BDA_FEC_METHOD_NOT_DEFINED = 0,
    BDA_FEC_VITERBI = 1,
    BDA_FEC_RS_204_188 = 2,
};

enum BinaryConvolutionCodeRate {
    BDA_BCC_RATE_NOT_SET = -1,
    BDA_BCC_RATE_NOT_DEFINED = 0,
    BDA_BCC_RATE_1_2 = 1,
    BDA_BCC_RATE_2_3 = 2,
    BDA_BCC_RATE_3_4 = 3,
    BDA_BCC_RATE_3_5 = 4,
    BDA_BCC_RATE_4_5 = 5,
    BDA_BCC_RATE_5_6 = 6,
    BDA_BCC_RATE_5_11 = 7,
    BDA_BCC_RATE_7_8 = 8,
};

enum ModulationType {
    BDA_MOD_NOT_SET = -1,
    BDA_MOD_NOT_DEFINED = 0,
    BDA_MOD_QPSK = 20,
    BDA_MOD_BPSK = 21,
    BDA_MOD_OQPSK = 22,
    BDA_MOD_8PSK = 27,
};

enum Polarisation {
    BDA_POLARISATION_NOT_SET = -1,
    BDA_POLARISATION_NOT_DEFINED = 0,
    BDA_POLARISATION_LINEAR_H = 1,
    BDA_POLARISATION_LINEAR_V = 2,
    BDA_POLARISATION_CIRCULAR_L = 3,
    BDA_POLARISATION_CIRCULAR_R = 4,
};

// Interfaces the tuning objects hand over or take without looking into them.
struct IComponents : public IDispatch {};
struct IComponentTypes : public IDispatch {};
struct IEnumTuningSpaces : public IUnknown {};

struct ILocator : public IDispatch {
    STDMETHOD(get_CarrierFrequency)(LONG* Frequency) PURE;
    STDMETHOD(put_CarrierFrequency)(LONG Frequency) PURE;
    STDMETHOD(get_InnerFEC)(FECMethod* FEC) PURE;
    STDMETHOD(put_InnerFEC)(FECMethod FEC) PURE;
    STDMETHOD(get_InnerFECRate)(BinaryConvolutionCodeRate* FEC) PURE;
    STDMETHOD(put_InnerFECRate)(BinaryConvolutionCodeRate FEC) PURE;
    STDMETHOD(get_OuterFEC)(FECMethod* FEC) PURE;
    STDMETHOD(put_OuterFEC)(FECMethod FEC) PURE;
    STDMETHOD(get_OuterFECRate)(BinaryConvolutionCodeRate* FEC) PURE;
    STDMETHOD(put_OuterFECRate)(BinaryConvolutionCodeRate FEC) PURE;
    STDMETHOD(get_Modulation)(ModulationType* Modulation) PURE;
    STDMETHOD(put_Modulation)(ModulationType Modulation) PURE;
    STDMETHOD(get_SymbolRate)(LONG* Rate) PURE;
    STDMETHOD(put_SymbolRate)(LONG Rate) PURE;
    STDMETHOD(Clone)(ILocator** NewLocator) PURE;
};

struct IDigitalLocator : public ILocator {};

struct IDVBSLocator : public IDigitalLocator {
    STDMETHOD(get_SignalPolarisation)(Polarisation* PolarisationVal) PURE;
    STDMETHOD(put_SignalPolarisation)(Polarisation PolarisationVal) PURE;
    STDMETHOD(get_WestPosition)(VARIANT_BOOL* WestLongitude) PURE;
    STDMETHOD(put_WestPosition)(VARIANT_BOOL WestLongitude) PURE;
    STDMETHOD(get_OrbitalPosition)(LONG* longitude) PURE;
    STDMETHOD(put_OrbitalPosition)(LONG longitude) PURE;
    STDMETHOD(get_Azimuth)(LONG* Azimuth) PURE;
    STDMETHOD(put_Azimuth)(LONG Azimuth) PURE;
    STDMETHOD(get_Elevation)(LONG* Elevation) PURE;
    STDMETHOD(put_Elevation)(LONG Elevation) PURE;
};

struct ITuningSpace;

struct ITuneRequest : public IDispatch {
    STDMETHOD(get_TuningSpace)(ITuningSpace** TuningSpace) PURE;
    STDMETHOD(get_Components)(IComponents** Components) PURE;
    STDMETHOD(Clone)(ITuneRequest** NewTuneRequest) PURE;
    STDMETHOD(get_Locator)(ILocator** Locator) PURE;
    STDMETHOD(put_Locator)(ILocator* Locator) PURE;
};

struct ITuningSpace : public IDispatch {
    STDMETHOD(get_UniqueName)(BSTR* Name) PURE;
    STDMETHOD(put_UniqueName)(BSTR Name) PURE;
    STDMETHOD(get_FriendlyName)(BSTR* Name) PURE;
    STDMETHOD(put_FriendlyName)(BSTR Name) PURE;
    STDMETHOD(get_CLSID)(BSTR* SpaceCLSID) PURE;
    STDMETHOD(get_NetworkType)(BSTR* NetworkTypeGuid) PURE;
    STDMETHOD(put_NetworkType)(BSTR NetworkTypeGuid) PURE;
    STDMETHOD(get__NetworkType)(GUID* NetworkTypeGuid) PURE;
    STDMETHOD(put__NetworkType)(REFCLSID NetworkTypeGuid) PURE;
    STDMETHOD(CreateTuneRequest)(ITuneRequest** TuneRequest) PURE;
    STDMETHOD(EnumCategoryGUIDs)(IEnumGUID** ppEnum) PURE;
    STDMETHOD(EnumDeviceMonikers)(IEnumMoniker** ppEnum) PURE;
    STDMETHOD(get_DefaultPreferredComponentTypes)(IComponentTypes** ComponentTypes) PURE;
    STDMETHOD(put_DefaultPreferredComponentTypes)(IComponentTypes* NewComponentTypes) PURE;
    STDMETHOD(get_FrequencyMapping)(BSTR* pMapping) PURE;
    STDMETHOD(put_FrequencyMapping)(BSTR Mapping) PURE;
    STDMETHOD(get_DefaultLocator)(ILocator** LocatorVal) PURE;
    STDMETHOD(put_DefaultLocator)(ILocator* LocatorVal) PURE;
    STDMETHOD(Clone)(ITuningSpace** NewTS) PURE;
};

struct IDVBTuningSpace : public ITuningSpace {
    STDMETHOD(get_SystemType)(DVBSystemType* SysType) PURE;
    STDMETHOD(put_SystemType)(DVBSystemType SysType) PURE;
};

struct IDVBTuningSpace2 : public IDVBTuningSpace {
    STDMETHOD(get_NetworkID)(LONG* NetworkID) PURE;
    STDMETHOD(put_NetworkID)(LONG NetworkID) PURE;
};

struct IDVBSTuningSpace : public IDVBTuningSpace2 {
    STDMETHOD(get_LowOscillator)(LONG* LowOscillator) PURE;
    STDMETHOD(put_LowOscillator)(LONG LowOscillator) PURE;
    STDMETHOD(get_HighOscillator)(LONG* HighOscillator) PURE;
    STDMETHOD(put_HighOscillator)(LONG HighOscillator) PURE;
    STDMETHOD(get_LNBSwitch)(LONG* LNBSwitch) PURE;
    STDMETHOD(put_LNBSwitch)(LONG LNBSwitch) PURE;
    STDMETHOD(get_InputRange)(BSTR* InputRange) PURE;
    STDMETHOD(put_InputRange)(BSTR InputRange) PURE;
    STDMETHOD(get_SpectralInversion)(SpectralInversion* SpectralInversionVal) PURE;
    STDMETHOD(put_SpectralInversion)(SpectralInversion SpectralInversionVal) PURE;
};

struct ITuner : public IUnknown {
    STDMETHOD(get_TuningSpace)(ITuningSpace** TuningSpace) PURE;
    STDMETHOD(put_TuningSpace)(ITuningSpace* TuningSpace) PURE;
    STDMETHOD(EnumTuningSpaces)(IEnumTuningSpaces** ppEnum) PURE;
    STDMETHOD(get_TuneRequest)(ITuneRequest** TuneRequest) PURE;
    STDMETHOD(put_TuneRequest)(ITuneRequest* TuneRequest) PURE;
    STDMETHOD(Validate)(ITuneRequest* TuneRequest) PURE;
    STDMETHOD(get_PreferredComponentTypes)(IComponentTypes** ComponentTypes) PURE;
    STDMETHOD(put_PreferredComponentTypes)(IComponentTypes* ComponentTypes) PURE;
    STDMETHOD(get_SignalStrength)(LONG* Strength) PURE;
    STDMETHOD(TriggerSignalEvents)(LONG Interval) PURE;
};

struct IScanningTuner : public ITuner {
    STDMETHOD(SeekUp)() PURE;
    STDMETHOD(SeekDown)() PURE;
    STDMETHOD(ScanUp)(LONG MillisecondsPause) PURE;
    STDMETHOD(ScanDown)(LONG MillisecondsPause) PURE;
    STDMETHOD(AutoProgram)() PURE;
};

#endif // _WIN32

#include "platform/guids.h"
