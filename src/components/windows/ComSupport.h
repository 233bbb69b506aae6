// Ownership of COM things, one kind each: the apartment, an interface pointer, a BSTR.
#pragma once

#include "components/windows/Win32.h"

#include <oleauto.h>

#include <string>
#include <utility>

namespace Components::Win {

// Joins the single-threaded apartment for the rest of the process; the engine object lives
// that long too, so the apartment is never left.
void EnsureComInitialized();

template <class Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    Interface* operator->() const { return p_; }
    Interface* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For the out argument of a creating call; releases what was held first.
    Interface** Receive() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

  private:
    Interface* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::string& utf8);
    // Takes over a BSTR a callee allocated (EXCEPINFO's texts).
    explicit Bstr(BSTR owned) : b_(owned) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return b_; }
    std::string Utf8() const;

  private:
    BSTR b_ = nullptr;
};

}  // namespace Components::Win
