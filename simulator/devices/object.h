// The base of every simulated object, written once for both hosts: the Linux stand-in
// (platform/ declares the platform surface, simulator/linux_host/ serves it) and the Windows
// driver DLL (simulator/windows_driver/, loaded by the platform's own COM runtime).
//
// An object starts with one reference, owned by whoever constructed it, and counts itself
// among the host's live objects until it is destroyed (the host defines the constructor and
// destructor: it keeps the count and writes "exit live=N"). No method of a simulated object
// lets an exception out: they are noexcept and turn an allocation failure into E_OUTOFMEMORY.
#pragma once

#include "platform/com.h"
#include "platform/dshow.h"

#include <atomic>
#include <new>
#include <optional>
#include <string>

namespace sim {

class Object {
  public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    ULONG add_ref() noexcept { return refs_.fetch_add(1) + 1; }
    ULONG release() noexcept {
        ULONG left = refs_.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }
    // QueryInterface: a new reference to the interface riid, or E_NOINTERFACE; *ppv is
    // always written.
    HRESULT query(REFIID riid, void** ppv) noexcept {
        if (!ppv)
            return E_POINTER;
        *ppv = find_interface(riid);
        if (!*ppv)
            return E_NOINTERFACE;
        add_ref();
        return S_OK;
    }

  protected:
    Object() noexcept; // defined by the host
    virtual ~Object(); // defined by the host
    // The object's interface pointer for riid, or nullptr when it lacks it.
    virtual void* find_interface(REFIID riid) noexcept = 0;

  private:
    std::atomic<ULONG> refs_{1};
};

#define SIM_IUNKNOWN                                                                               \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {          \
        return query(riid, ppv);                                                                   \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {                                           \
        return add_ref();                                                                          \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() noexcept override {                                          \
        return release();                                                                          \
    }

// A method that only answers result, declared with the interface's parameters.
#define SIM_ANSWER(method, params, result)                                                         \
    HRESULT STDMETHODCALLTYPE method params noexcept override {                                    \
        return result;                                                                             \
    }

// IDispatch of an object that offers no type information: scripts cannot call it.
#define SIM_NO_DISPATCH                                                                            \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) noexcept override {                        \
        if (!n)                                                                                    \
            return E_POINTER;                                                                      \
        *n = 0;                                                                                    \
        return S_OK;                                                                               \
    }                                                                                              \
    SIM_ANSWER(GetTypeInfo, (UINT, LCID, ITypeInfo**), E_NOTIMPL)                                  \
    SIM_ANSWER(GetIDsOfNames, (REFIID, LPOLESTR*, UINT, LCID, DISPID*), E_NOTIMPL)                 \
    SIM_ANSWER(Invoke, (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*),     \
               E_NOTIMPL)

// Hands out a freshly constructed object (nullptr: its allocation failed) as interface riid:
// the caller's reference replaces the construction reference.
inline HRESULT hand_out(Object* object, REFIID riid, void** ppv) noexcept {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->query(riid, ppv);
    object->release();
    return hr;
}

// Appends one line (without its line end) to the host's trace, if it keeps one (defined by
// the host).
void trace(const std::string& line) noexcept;
// The same for a line that takes building: a line that cannot be built is left out.
template <class Make> void trace_line(Make&& make) noexcept {
    try {
        trace(make());
    } catch (...) {
    }
}

// Runs body, a call that may allocate, and turns what it throws into a result.
template <class Body> HRESULT guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// A call whose result the bench may decide (fault): a failure is answered without making the
// call, a success code is passed on in place of the call's own success.
template <class Call> HRESULT with_fault(std::optional<HRESULT> fault, Call&& call) noexcept {
    return guarded([&] {
        if (fault && FAILED(*fault))
            return *fault;
        HRESULT hr = call();
        return fault && SUCCEEDED(hr) ? *fault : hr;
    });
}

// Keeps one reference to value in field, giving back the reference to the old one.
template <class T> void keep(T*& field, T* value) noexcept {
    if (value)
        value->AddRef();
    T* old = field;
    field = value;
    if (old)
        old->Release();
}

// Hands out a new reference to what field holds (nothing too).
template <class T> HRESULT read_object(T* field, T** out) {
    if (!out)
        return E_POINTER;
    *out = field;
    if (field)
        field->AddRef();
    return S_OK;
}

// A wide-character string of the platform from UTF-16 text.
inline const WCHAR* wide_text(const char16_t* text) noexcept {
    return reinterpret_cast<const WCHAR*>(text);
}

} // namespace sim
