#pragma once
// One move-only owner per Win32 handle kind, so that no early return leaks. put() releases the
// old value before handing out its address, so an owner can be filled by an API call at any time.

#include <objbase.h>
#include <shtypes.h>
#include <windows.h>
#include <winhttp.h>

#include <utility>

namespace portico {

template <typename Traits>
class UniqueHandle {
 public:
  using pointer = typename Traits::pointer;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(pointer value) noexcept : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::IsValid(value_); }
  pointer release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(pointer value = Traits::Invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::Invalid();
};

// Process, thread, event and token handles: failure is null.
struct KernelHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::CloseHandle(h); }
};

// CreateFileW (files and pipe clients) and CreateToolhelp32Snapshot report failure as
// INVALID_HANDLE_VALUE rather than null; the owner treats both as empty.
struct FileHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::FindClose(h); }
};

// Only keys the program opened itself: the predefined roots (HKEY_CURRENT_USER...) are never
// put into an owner.
struct RegKeyTraits {
  using pointer = HKEY;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer h) noexcept { return h != nullptr; }
  static void Close(pointer h) noexcept { ::RegCloseKey(h); }
};

// Windows the program made itself; destroyed on the thread that made them.
struct WindowTraits {
  using pointer = HWND;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer h) noexcept { return h != nullptr; }
  static void Close(pointer h) noexcept { ::DestroyWindow(h); }
};

// Memory the shell hands out with CoTaskMemAlloc, item-id lists among it.
template <typename T>
struct CoTaskMemTraits {
  using pointer = T*;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer p) noexcept { return p != nullptr; }
  static void Close(pointer p) noexcept { ::CoTaskMemFree(p); }
};

// Memory the security API hands out with LocalAlloc: descriptors and SID strings.
template <typename T>
struct LocalMemTraits {
  using pointer = T*;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer p) noexcept { return p != nullptr; }
  static void Close(pointer p) noexcept { ::LocalFree(p); }
};

// WinHTTP's session, connection and request handles; only a program that closes one links winhttp.
struct WinHttpHandleTraits {
  using pointer = HINTERNET;
  static pointer Invalid() noexcept { return nullptr; }
  static bool IsValid(pointer h) noexcept { return h != nullptr; }
  static void Close(pointer h) noexcept { ::WinHttpCloseHandle(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using SnapshotHandle = UniqueHandle<FileHandleTraits>;
using PipeHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using Window = UniqueHandle<WindowTraits>;
using WinHttpHandle = UniqueHandle<WinHttpHandleTraits>;
template <typename T>
using CoTaskMem = UniqueHandle<CoTaskMemTraits<T>>;
using ItemIdList = CoTaskMem<ITEMIDLIST>;
template <typename T>
using LocalMem = UniqueHandle<LocalMemTraits<T>>;

// A COM interface pointer that releases its reference.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  template <typename U>
  HRESULT QueryInterface(REFIID iid, ComPtr<U>& out) const noexcept {
    return p_ ? p_->QueryInterface(iid, out.put_void()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

// Pairs CoInitialize with CoUninitialize. The uninitialise runs whatever CoInitialize answered,
// except on failure: S_FALSE (already initialised on this thread) still takes a reference.
class ComInit {
 public:
  ComInit() noexcept : hr_(::CoInitialize(nullptr)) {}
  ~ComInit() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  HRESULT result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace portico
