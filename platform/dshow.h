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

struct IReferenceClock : public IUnknown {
  protected:
    ~IReferenceClock() = default;
};

struct IEnumMediaTypes : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                           ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cMediaTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** ppEnum) = 0;

  protected:
    ~IEnumMediaTypes() = default;
};

struct IPin : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* pConnector,
                                                        const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndOfStream() = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                                 double dRate) = 0;

  protected:
    ~IPin() = default;
};

struct IEnumPins : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cPins) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumPins** ppEnum) = 0;

  protected:
    ~IEnumPins() = default;
};

struct IMediaFilter : public IPersist {
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* pClock) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** pClock) = 0;

  protected:
    ~IMediaFilter() = default;
};

struct IBaseFilter : public IMediaFilter {
    virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin** ppPin) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* pInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* pVendorInfo) = 0;

  protected:
    ~IBaseFilter() = default;
};

struct IFilterGraph : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn,
                                                    const AM_MEDIA_TYPE* pmt) = 0;

  protected:
    ~IFilterGraph() = default;
};

struct IGraphBuilder : public IFilterGraph {
  protected:
    ~IGraphBuilder() = default;
};

struct IMediaControl : public IDispatch {
  protected:
    ~IMediaControl() = default;
};

struct ICreateDevEnum : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID clsidDeviceClass,
                                                            IEnumMoniker** ppEnumMoniker,
                                                            DWORD dwFlags) = 0;

  protected:
    ~ICreateDevEnum() = default;
};

// Kernel-streaming property sets.
#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070490L)
#define E_PROP_SET_UNSUPPORTED ((HRESULT)0x80070492L)

struct IKsPropertySet : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                                          DWORD cbInstanceData, LPVOID pPropData,
                                          DWORD cbPropData) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                                          DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData,
                                          DWORD* pcbReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID guidPropSet, DWORD dwPropID,
                                                     DWORD* pTypeSupport) = 0;

  protected:
    ~IKsPropertySet() = default;
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
    virtual HRESULT STDMETHODCALLTYPE GetNodeTypes(ULONG* pulcNodeTypes, ULONG ulcNodeTypesMax,
                                                   ULONG rgulNodeTypes[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetNodeDescriptors(ULONG* ulcNodeDescriptors, ULONG ulcNodeDescriptorsMax,
                       BDANODE_DESCRIPTOR rgNodeDescriptors[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNodeInterfaces(ULONG ulNodeType, ULONG* pulcInterfaces,
                                                        ULONG ulcInterfacesMax,
                                                        GUID rgguidInterfaces[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPinTypes(ULONG* pulcPinTypes, ULONG ulcPinTypesMax,
                                                  ULONG rgulPinTypes[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetTemplateConnections(ULONG* pulcConnections, ULONG ulcConnectionsMax,
                           BDA_TEMPLATE_CONNECTION rgConnections[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreatePin(ULONG ulPinType, ULONG* pulPinId) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeletePin(ULONG ulPinId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(ULONG ulPinId, AM_MEDIA_TYPE* pMediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMedium(ULONG ulPinId, REGPINMEDIUM* pMedium) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTopology(ULONG ulInputPinId, ULONG ulOutputPinId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetControlNode(ULONG ulInputPinId, ULONG ulOutputPinId,
                                                     ULONG ulNodeType,
                                                     IUnknown** ppControlNode) = 0;

  protected:
    ~IBDA_Topology() = default;
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
struct IComponents : public IDispatch {
  protected:
    ~IComponents() = default;
};
struct IComponentTypes : public IDispatch {
  protected:
    ~IComponentTypes() = default;
};
struct IEnumTuningSpaces : public IUnknown {
  protected:
    ~IEnumTuningSpaces() = default;
};

struct ILocator : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_CarrierFrequency(LONG* Frequency) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CarrierFrequency(LONG Frequency) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InnerFEC(FECMethod* FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InnerFEC(FECMethod FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InnerFECRate(BinaryConvolutionCodeRate* FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InnerFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OuterFEC(FECMethod* FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OuterFEC(FECMethod FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OuterFECRate(BinaryConvolutionCodeRate* FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OuterFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Modulation(ModulationType* Modulation) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Modulation(ModulationType Modulation) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SymbolRate(LONG* Rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SymbolRate(LONG Rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ILocator** NewLocator) = 0;

  protected:
    ~ILocator() = default;
};

struct IDigitalLocator : public ILocator {
  protected:
    ~IDigitalLocator() = default;
};

struct IDVBSLocator : public IDigitalLocator {
    virtual HRESULT STDMETHODCALLTYPE get_SignalPolarisation(Polarisation* PolarisationVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SignalPolarisation(Polarisation PolarisationVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WestPosition(VARIANT_BOOL* WestLongitude) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WestPosition(VARIANT_BOOL WestLongitude) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OrbitalPosition(LONG* longitude) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OrbitalPosition(LONG longitude) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Azimuth(LONG* Azimuth) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Azimuth(LONG Azimuth) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Elevation(LONG* Elevation) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Elevation(LONG Elevation) = 0;

  protected:
    ~IDVBSLocator() = default;
};

struct ITuningSpace;

struct ITuneRequest : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_TuningSpace(ITuningSpace** TuningSpace) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Components(IComponents** Components) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ITuneRequest** NewTuneRequest) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Locator(ILocator** Locator) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Locator(ILocator* Locator) = 0;

  protected:
    ~ITuneRequest() = default;
};

struct ITuningSpace : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_UniqueName(BSTR* Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UniqueName(BSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR* Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CLSID(BSTR* SpaceCLSID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NetworkType(BSTR* NetworkTypeGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NetworkType(BSTR NetworkTypeGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NetworkType(GUID* NetworkTypeGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE put__NetworkType(REFCLSID NetworkTypeGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTuneRequest(ITuneRequest** TuneRequest) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumCategoryGUIDs(IEnumGUID** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceMonikers(IEnumMoniker** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    get_DefaultPreferredComponentTypes(IComponentTypes** ComponentTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    put_DefaultPreferredComponentTypes(IComponentTypes* NewComponentTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FrequencyMapping(BSTR* pMapping) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FrequencyMapping(BSTR Mapping) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultLocator(ILocator** LocatorVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultLocator(ILocator* LocatorVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ITuningSpace** NewTS) = 0;

  protected:
    ~ITuningSpace() = default;
};

struct IDVBTuningSpace : public ITuningSpace {
    virtual HRESULT STDMETHODCALLTYPE get_SystemType(DVBSystemType* SysType) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SystemType(DVBSystemType SysType) = 0;

  protected:
    ~IDVBTuningSpace() = default;
};

struct IDVBTuningSpace2 : public IDVBTuningSpace {
    virtual HRESULT STDMETHODCALLTYPE get_NetworkID(LONG* NetworkID) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NetworkID(LONG NetworkID) = 0;

  protected:
    ~IDVBTuningSpace2() = default;
};

struct IDVBSTuningSpace : public IDVBTuningSpace2 {
    virtual HRESULT STDMETHODCALLTYPE get_LowOscillator(LONG* LowOscillator) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LowOscillator(LONG LowOscillator) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HighOscillator(LONG* HighOscillator) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HighOscillator(LONG HighOscillator) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LNBSwitch(LONG* LNBSwitch) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LNBSwitch(LONG LNBSwitch) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputRange(BSTR* InputRange) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InputRange(BSTR InputRange) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    get_SpectralInversion(SpectralInversion* SpectralInversionVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    put_SpectralInversion(SpectralInversion SpectralInversionVal) = 0;

  protected:
    ~IDVBSTuningSpace() = default;
};

struct ITuner : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_TuningSpace(ITuningSpace** TuningSpace) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TuningSpace(ITuningSpace* TuningSpace) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumTuningSpaces(IEnumTuningSpaces** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TuneRequest(ITuneRequest** TuneRequest) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TuneRequest(ITuneRequest* TuneRequest) = 0;
    virtual HRESULT STDMETHODCALLTYPE Validate(ITuneRequest* TuneRequest) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    get_PreferredComponentTypes(IComponentTypes** ComponentTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    put_PreferredComponentTypes(IComponentTypes* ComponentTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SignalStrength(LONG* Strength) = 0;
    virtual HRESULT STDMETHODCALLTYPE TriggerSignalEvents(LONG Interval) = 0;

  protected:
    ~ITuner() = default;
};

struct IScanningTuner : public ITuner {
    virtual HRESULT STDMETHODCALLTYPE SeekUp() = 0;
    virtual HRESULT STDMETHODCALLTYPE SeekDown() = 0;
    virtual HRESULT STDMETHODCALLTYPE ScanUp(LONG MillisecondsPause) = 0;
    virtual HRESULT STDMETHODCALLTYPE ScanDown(LONG MillisecondsPause) = 0;
    virtual HRESULT STDMETHODCALLTYPE AutoProgram() = 0;

  protected:
    ~IScanningTuner() = default;
};

#endif // _WIN32

#include "platform/guids.h"
