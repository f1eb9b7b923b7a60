#include <windows.h>
#include <shlwapi.h>

#include "base/com_win.h"
#include "net/file_stream.h"

namespace gw {
namespace {

class ShellStream final : public FileStream {
 public:
  explicit ShellStream(ComPtr<IStream> stream) : stream_(std::move(stream)) {}

  HResult Read(void* buffer, uint32_t size, uint32_t* got) override {
    ULONG n = 0;
    HRESULT hr = stream_->Read(buffer, size, &n);
    *got = SUCCEEDED(hr) ? n : 0;
    return hr;
  }

  HResult Write(const void* data, uint32_t size) override {
    ULONG written = 0;
    HRESULT hr = stream_->Write(data, size, &written);
    if (SUCCEEDED(hr) && written != size) hr = STG_E_MEDIUMFULL;
    return hr;
  }

  // The size from the end of the file; the position goes back to the start.
  HResult Size(uint64_t* size) override {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER end{};
    HRESULT hr = stream_->Seek(zero, STREAM_SEEK_END, &end);
    if (FAILED(hr)) return hr;
    *size = end.QuadPart;
    return stream_->Seek(zero, STREAM_SEEK_SET, nullptr);
  }

 private:
  ComPtr<IStream> stream_;
};

std::unique_ptr<FileStream> Open(const WideString& path, DWORD mode, HResult* result) {
  // Held by its owner at once, so that running out of memory below still
  // releases the stream and closes the file.
  ComPtr<IStream> stream;
  *result = SHCreateStreamOnFileW(reinterpret_cast<const wchar_t*>(path.c_str()), mode, stream.Put());
  if (FAILED(*result)) return nullptr;
  return std::make_unique<ShellStream>(std::move(stream));
}

}  // namespace

std::unique_ptr<FileStream> OpenFileForReading(const WideString& path, HResult* result) {
  return Open(path, STGM_READ, result);
}

std::unique_ptr<FileStream> CreateFileForWriting(const WideString& path, HResult* result) {
  return Open(path, STGM_CREATE | STGM_WRITE, result);
}

void DeleteFileNarrow(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace gw
