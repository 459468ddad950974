// Identifiers of the platform's classes, interfaces, device categories and topology nodes.
//
// The Windows SDK (and its import libraries) provide most of them; mingw-w64 lacks the BDA
// device categories, the topology node functions and the null renderer's class, so those
// are defined here once, for every platform.
#pragma once

// A GUID as it is written, its last eight bytes as one number: {l-w1-w2-b}.
constexpr GUID mcc_guid(decltype(GUID::Data1) l, decltype(GUID::Data2) w1, decltype(GUID::Data3) w2,
                        unsigned long long b) {
    GUID guid = {l, w1, w2, {}};
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<unsigned char>(b >> (56 - 8 * i));
    return guid;
}
#define MCC_GUID(name, l, w1, w2, b) inline constexpr GUID name = mcc_guid(l, w1, w2, b);

#ifndef _WIN32
MCC_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC000000000000046)
MCC_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xc000000000000046)
MCC_GUID(IID_IPersist, 0x0000010c, 0x0000, 0x0000, 0xc000000000000046)
MCC_GUID(IID_IMoniker, 0x0000000f, 0x0000, 0x0000, 0xc000000000000046)
MCC_GUID(IID_IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xc000000000000046)
MCC_GUID(IID_IBindCtx, 0x0000000e, 0x0000, 0x0000, 0xc000000000000046)
MCC_GUID(IID_IPropertyBag, 0x55272a00, 0x42cb, 0x11ce, 0x813500aa004bb851)
MCC_GUID(IID_ICreateDevEnum, 0x29840822, 0x5b84, 0x11d0, 0xbd3b00a0c911ce86)
MCC_GUID(IID_IBaseFilter, 0x56a86895, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IMediaFilter, 0x56a86899, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IPin, 0x56a86891, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IEnumMediaTypes, 0x89c31040, 0x846b, 0x11ce, 0x97d300aa0055595a)
MCC_GUID(MEDIATYPE_Stream, 0xe436eb83, 0x524f, 0x11ce, 0x9f530020af0ba770)
MCC_GUID(MEDIASUBTYPE_MPEG2_TRANSPORT, 0xe06d8023, 0xdb46, 0x11cf, 0xb4d100805f6cbbea)
MCC_GUID(IID_IEnumPins, 0x56a86892, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IFilterGraph, 0x56a8689f, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IGraphBuilder, 0x56a868a9, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IMediaControl, 0x56a868b1, 0x0ad4, 0x11ce, 0xb03a0020af0ba770)
MCC_GUID(IID_IKsPropertySet, 0x31EFAC30, 0x515C, 0x11D0, 0xA9AA00AA0061BE93)
MCC_GUID(IID_IBDA_Topology, 0x79b56888, 0x7fea, 0x4690, 0xb45d38fd3c7849be)
MCC_GUID(IID_IDVBSTuningSpace, 0xcdf7be60, 0xd954, 0x42fd, 0xa97278971958e470)
MCC_GUID(IID_ITuningSpace, 0x061c6e30, 0xe622, 0x11d2, 0x949300c04f72d980)
MCC_GUID(IID_IDVBTuningSpace, 0xada0b268, 0x3b19, 0x4e5b, 0xacc449f852be13ba)
MCC_GUID(IID_IDVBTuningSpace2, 0x843188b4, 0xce62, 0x43db, 0x966b8145a094e040)
MCC_GUID(IID_ILocator, 0x286d7f89, 0x760c, 0x4f89, 0x80c466841d2507aa)
MCC_GUID(IID_IDigitalLocator, 0x19b595d8, 0x839a, 0x47f0, 0x96df4f194f3c768c)
MCC_GUID(IID_IDVBSLocator, 0x3d7c353c, 0x0d04, 0x45f1, 0xa742f97cc1188dc8)
MCC_GUID(IID_ITuneRequest, 0x07ddc146, 0xfc3d, 0x11d2, 0x9d8c00c04f72d980)
MCC_GUID(IID_ITuner, 0x28c52640, 0x018a, 0x11d3, 0x9d8e00c04f72d980)
MCC_GUID(IID_IScanningTuner, 0x1dfd0a5c, 0x0284, 0x11d3, 0x9d8e00c04f72d980)
MCC_GUID(CLSID_SystemDeviceEnum, 0x62BE5D10, 0x60EB, 0x11d0, 0xBD3B00A0C911CE86)
MCC_GUID(CLSID_DVBSTuningSpace, 0xb64016f3, 0xc9a2, 0x4066, 0x96f0bd9563314726)
MCC_GUID(CLSID_DVBSLocator, 0x1df7d126, 0x4050, 0x47f0, 0xa7cf4c4ca9241333)
MCC_GUID(CLSID_DVBSNetworkProvider, 0xfa4b375a, 0x45b4, 0x4d45, 0x8440263957b11623)
MCC_GUID(CLSID_FilterGraphNoThread, 0xe436ebb8, 0x524f, 0x11ce, 0x9f530020af0ba770)
MCC_GUID(CLSID_MPEG2Demultiplexer, 0xafb6c280, 0x2c41, 0x11d3, 0x8a600000f81e0e4a)
#endif

// Missing from mingw-w64's headers and libraries.
MCC_GUID(KSCATEGORY_BDA_NETWORK_TUNER, 0x71985F48, 0x1CA1, 0x11D3, 0x9CC800C04F7971E0)
MCC_GUID(KSCATEGORY_BDA_RECEIVER_COMPONENT, 0xFD0A5AF4, 0xB41D, 0x11D2, 0x9C9500C04F7971E0)
MCC_GUID(KSCATEGORY_BDA_TRANSPORT_INFORMATION, 0xA2E3074F, 0x6C3D, 0x11D3, 0xB65300C04F79498E)
MCC_GUID(KSNODE_BDA_RF_TUNER, 0x71985F4C, 0x1CA1, 0x11D3, 0x9CC800C04F7971E0)
MCC_GUID(KSNODE_BDA_QPSK_DEMODULATOR, 0x6390C905, 0x27C1, 0x4D67, 0xBDB777C50D079300)
MCC_GUID(KSNODE_BDA_QAM_DEMODULATOR, 0x71985F4D, 0x1CA1, 0x11D3, 0x9CC800C04F7971E0)
MCC_GUID(KSNODE_BDA_OFDM_DEMODULATOR, 0x2DAC6E05, 0xEDBE, 0x4B9C, 0xB3871B6FAD7D6495)
MCC_GUID(CLSID_NullRenderer, 0xC1F400A4, 0x3F08, 0x11D3, 0x9F0B006008039E37)
