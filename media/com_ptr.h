// A holder of one counted reference to a platform object. Replacing or clearing it gives
// the reference back; copying it takes a new one.
#pragma once

#include "platform/com.h"

#include <utility>

template <class T> class com_ptr {
  public:
    com_ptr() = default;
    com_ptr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit com_ptr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    com_ptr(const com_ptr& other) : com_ptr(other.p_) {}
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~com_ptr() { reset(); }

    com_ptr& operator=(const com_ptr& other) {
        if (this != &other)
            com_ptr(other).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& other) noexcept {
        com_ptr(std::move(other)).swap(*this);
        return *this;
    }
    com_ptr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // Gives the reference back and leaves the holder empty.
    void reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    // Takes over a reference the caller already owns.
    void attach(T* p) {
        reset();
        p_ = p;
    }
    // Hands the reference to the caller, who must give it back.
    [[nodiscard]] T* detach() { return std::exchange(p_, nullptr); }

    // Out-parameter for a call that delivers a new reference; the old one is given back first.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Asks the held object for another interface; the result replaces what `out` held.
    template <class U> HRESULT query(REFIID iid, com_ptr<U>& out) const {
        if (!p_) {
            out.reset();
            return E_POINTER;
        }
        return p_->QueryInterface(iid, out.put_void());
    }

    void swap(com_ptr& other) noexcept { std::swap(p_, other.p_); }

  private:
    T* p_ = nullptr;
};
