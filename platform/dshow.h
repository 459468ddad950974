// DirectShow, BDA tuning and kernel-streaming surface used by the tuner access layer.
//
// On Windows: the real SDK headers. Elsewhere: the stand-in's declarations, with the
// SDK's names, inheritance and method signatures for the methods the program calls.
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
struct IPin;
struct AM_MEDIA_TYPE;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

#define MAX_PIN_NAME 128
struct PIN_INFO {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

#define VFW_S_DUPLICATE_NAME ((HRESULT)0x0004022DL)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207L)
#define VFW_E_INVALID_DIRECTION ((HRESULT)0x80040208L)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204L)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209L)
#define VFW_E_NOT_IN_GRAPH ((HRESULT)0x8004025FL)

struct IPin : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) = 0;

  protected:
    ~IPin() = default;
};

struct IEnumPins : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;

  protected:
    ~IEnumPins() = default;
};

struct IMediaFilter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;

  protected:
    ~IMediaFilter() = default;
};

struct IBaseFilter : public IMediaFilter {
    virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** ppEnum) = 0;

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

struct IBDA_Topology : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetNodeTypes(ULONG* pulcNodeTypes, ULONG ulcNodeTypesMax,
                                                   ULONG rgulNodeTypes[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetNodeDescriptors(ULONG* ulcNodeDescriptors, ULONG ulcNodeDescriptorsMax,
                       BDANODE_DESCRIPTOR rgNodeDescriptors[]) = 0;

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

struct ILocator : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_CarrierFrequency(long Frequency) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InnerFEC(FECMethod FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InnerFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OuterFEC(FECMethod FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OuterFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Modulation(ModulationType Modulation) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SymbolRate(long Rate) = 0;

  protected:
    ~ILocator() = default;
};

struct IDigitalLocator : public ILocator {
  protected:
    ~IDigitalLocator() = default;
};

struct IDVBSLocator : public IDigitalLocator {
  protected:
    ~IDVBSLocator() = default;
};

struct ITuneRequest : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Locator(ILocator* Locator) = 0;

  protected:
    ~ITuneRequest() = default;
};

struct ITuningSpace : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_UniqueName(BSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NetworkType(BSTR* NetworkTypeGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NetworkType(BSTR NetworkTypeGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTuneRequest(ITuneRequest** TuneRequest) = 0;

  protected:
    ~ITuningSpace() = default;
};

struct IDVBTuningSpace : public ITuningSpace {
    virtual HRESULT STDMETHODCALLTYPE put_SystemType(DVBSystemType SysType) = 0;

  protected:
    ~IDVBTuningSpace() = default;
};

struct IDVBTuningSpace2 : public IDVBTuningSpace {
  protected:
    ~IDVBTuningSpace2() = default;
};

struct IDVBSTuningSpace : public IDVBTuningSpace2 {
    virtual HRESULT STDMETHODCALLTYPE put_LowOscillator(long LowOscillator) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HighOscillator(long HighOscillator) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LNBSwitch(long LNBSwitch) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InputRange(BSTR InputRange) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    put_SpectralInversion(SpectralInversion SpectralInversionVal) = 0;

  protected:
    ~IDVBSTuningSpace() = default;
};

struct ITuner : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_TuningSpace(ITuningSpace* TuningSpace) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TuneRequest(ITuneRequest* TuneRequest) = 0;

  protected:
    ~ITuner() = default;
};

struct IScanningTuner : public ITuner {
  protected:
    ~IScanningTuner() = default;
};

#endif // _WIN32

#include "platform/guids.h"
