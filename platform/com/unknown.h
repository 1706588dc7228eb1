#pragma once
// Reference-counted interfaces in the manner of the component model.
//
// Every interface derives from IUnknown and names its identifier as a static
// member `kIid`. Objects travel between modules (host, plug-in, the host's
// object library) only as interface pointers; a caller asks for another
// interface with QueryInterface, never with dynamic_cast, because each module
// keeps its own type information.

#include <atomic>
#include <new>
#include <tuple>
#include <type_traits>
#include <cstdint>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/module.h"

namespace orvex::com {

struct IUnknown {
  static constexpr IID kIid = MakeGuid("{00000000-0000-0000-C000-000000000046}");

  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  // Objects are destroyed through Release only.
  ~IUnknown() = default;
};

// Owns one reference to an interface. Copying adds a reference; destruction
// releases it.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `pointer`.
  explicit ComPtr(T* pointer) : pointer_(pointer) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  template <class U>
    requires std::is_convertible_v<U*, T*>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.get())) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Adopts a reference the caller already owns (no AddRef).
  static ComPtr Attach(T* pointer) {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }
  // Gives up ownership without releasing.
  T* Detach() { return std::exchange(pointer_, nullptr); }

  void reset() {
    if (T* old = std::exchange(pointer_, nullptr)) old->Release();
  }
  void swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T& operator*() const { return *pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Asks the object for another interface; null when it has none.
  template <class U>
  ComPtr<U> As() const {
    if (!pointer_) return {};
    void* result = nullptr;
    if (Failed(pointer_->QueryInterface(U::kIid, &result))) return {};
    return ComPtr<U>::Attach(static_cast<U*>(result));
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.pointer_ == b.pointer_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.pointer_ == nullptr; }

 private:
  T* pointer_ = nullptr;
};

// Implements IUnknown for a class that implements `Interfaces...`. The object
// counts itself in the module's object count while alive, so that
// DllCanUnloadNow answers truly.
template <class Derived, class... Interfaces>
class Object : public Interfaces... {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IUnknown::kIid) {
      *object = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
    } else {
      (TryInterface<Interfaces>(iid, object) || ...);
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    std::uint32_t remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

  // Creates an object and returns the first reference to it.
  template <class... Arguments>
  static ComPtr<Derived> Create(Arguments&&... arguments) {
    return ComPtr<Derived>(new Derived(std::forward<Arguments>(arguments)...));
  }

 protected:
  Object() { ObjectCreated(); }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() { ObjectDestroyed(); }

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  template <class Interface>
  bool TryInterface(const IID& iid, void** object) {
    if (iid != Interface::kIid) return false;
    *object = static_cast<Interface*>(this);
    return true;
  }

  std::atomic<std::uint32_t> references_{0};
};

}  // namespace orvex::com
