// Measuring helper: the platform's own download of a URL into a file, URLDownloadToFileW with a
// callback that does nothing, the baseline the stub's download is measured against.
//   bare_download.exe <url> <file> [<time file>]
// Writes the call's duration in milliseconds to the time file; ends with 0 when the call returned
// S_OK, else 1.
#include <windows.h>
#include <urlmon.h>

#include <cstdio>

namespace {

class Silent : public IBindStatusCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (IsEqualIID(id, IID_IBindStatusCallback) || IsEqualIID(id, IID_IUnknown)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  Silent callback;
  const ULONGLONG start = GetTickCount64();
  const HRESULT result = URLDownloadToFileW(nullptr, argv[1], argv[2], 0, &callback);
  const ULONGLONG elapsed = GetTickCount64() - start;
  if (argc > 3) {
    if (FILE* out = _wfopen(argv[3], L"w")) {
      std::fprintf(out, "%llu", elapsed);
      std::fclose(out);
    }
  }
  return result == S_OK ? 0 : 1;
}
