// The desktop shell's own ShellExecute (see desktop_shell_win.h): the shell windows list gives the
// desktop's browser, its active view gives the view's scripting object, and that object's shell
// application runs ShellExecute inside the desktop shell's process.
#include "src/desktop_shell_win.h"

#include <exdisp.h>
#include <oleauto.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/handles_win.h"

namespace cv {
namespace {

// A BSTR that is freed when the owner ends.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// The shell application object of the desktop's folder view, which lives in the desktop shell.
HRESULT DesktopShellApplication(ComPtr<IShellDispatch2>& shell) {
  ComPtr<IShellWindows> windows;
  HRESULT result =
      CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.put_void());
  if (FAILED(result)) return result;

  VARIANT desktopLocation{};
  desktopLocation.vt = VT_I4;
  desktopLocation.lVal = CSIDL_DESKTOP;
  VARIANT none{};
  long window = 0;
  ComPtr<IDispatch> desktop;
  result = windows->FindWindowSW(&desktopLocation, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.put());
  if (result != S_OK) return FAILED(result) ? result : E_FAIL;  // S_FALSE: no desktop
  if (!desktop) return E_FAIL;

  ComPtr<IServiceProvider> services;
  if (FAILED(result = desktop->QueryInterface(IID_IServiceProvider, services.put_void()))) return result;
  ComPtr<IShellBrowser> browser;
  if (FAILED(result = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void()))) {
    return result;
  }
  ComPtr<IShellView> view;
  if (FAILED(result = browser->QueryActiveShellView(view.put()))) return result;
  ComPtr<IDispatch> background;
  if (FAILED(result = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void()))) return result;
  ComPtr<IShellFolderViewDual> folderView;
  if (FAILED(result = background->QueryInterface(IID_IShellFolderViewDual, folderView.put_void()))) return result;
  ComPtr<IDispatch> application;
  if (FAILED(result = folderView->get_Application(application.put()))) return result;
  return application->QueryInterface(IID_IShellDispatch2, shell.put_void());
}

}  // namespace

HRESULT OpenAsDesktopUser(const std::wstring& target) {
  ComPtr<IShellDispatch2> shell;
  HRESULT result = DesktopShellApplication(shell);
  if (FAILED(result)) return result;
  const Bstr file(target);
  // No arguments, no folder, the default verb, shown normally.
  VARIANT none{};
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = SW_SHOW;
  return shell->ShellExecute(file.get(), none, none, none, show);
}

}  // namespace cv
