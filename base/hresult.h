// Result codes in the platform's HRESULT form, and the one exception type that
// carries such a code across the COM-facing code to each operation's boundary.
#pragma once

#include <cstdint>
#include <exception>

namespace gw {

using HResult = int32_t;

constexpr HResult kSOk = 0;
constexpr HResult kEAbort = static_cast<HResult>(0x80004004u);
constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
constexpr HResult kEPointer = static_cast<HResult>(0x80004003u);
constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
// HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE): a download that outgrew its cap.
constexpr HResult kEFileTooLarge = static_cast<HResult>(0x800700DFu);

constexpr bool Failed(HResult hr) { return hr < 0; }
constexpr bool Succeeded(HResult hr) { return hr >= 0; }

// The same mapping as the platform's HRESULT_FROM_WIN32 macro.
constexpr HResult HResultFromWin32(uint32_t error) {
  return error == 0 ? 0
         : static_cast<int32_t>(error) <= 0
             ? static_cast<HResult>(error)
             : static_cast<HResult>((error & 0x0000FFFFu) | 0x80070000u);
}

// Raised inside code that drives platform components; caught at the boundary
// of each operation and turned back into its code.
class HResultError : public std::exception {
 public:
  explicit HResultError(HResult code) : code_(code) {}
  HResult code() const noexcept { return code_; }
  const char* what() const noexcept override { return "operation failed"; }

 private:
  HResult code_;
};

inline void ThrowIfFailed(HResult hr) {
  if (Failed(hr)) throw HResultError(hr);
}

// Turns the exception in flight into a result code. Call only from a catch
// block: bad_alloc becomes E_OUTOFMEMORY, a code-carrying error its code, and
// anything else E_FAIL.
HResult HResultFromCaught() noexcept;

// Runs `work`, which returns a result code, with whatever it raises turned
// into a code as well: the boundary of every operation that must not throw.
template <typename Work>
HResult HResultOf(Work work) noexcept {
  try {
    return work();
  } catch (...) {
    return HResultFromCaught();
  }
}

}  // namespace gw
