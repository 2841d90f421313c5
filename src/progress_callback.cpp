// The download status callback's notifications.
#include "src/progress_callback.h"

#include "log/log.h"
#include "src/progress_window.h"

namespace cv {

HRESULT STDMETHODCALLTYPE CallbackHandler::QueryInterface(REFIID id, void** object) {
  if (IsEqualIID(id, IID_IBindStatusCallback) || IsEqualIID(id, IID_IUnknown)) {
    *object = static_cast<IBindStatusCallback*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CallbackHandler::OnProgress(ULONG progress, ULONG progressMax,
                                                      ULONG statusCode, LPCWSTR) {
  const StatusAction action = ActionForStatus(statusCode);
  if (!action.line.empty()) LOG(INFO) << action.line;
  if (action.progressStep) {
    if (const auto percent = lastPercent_.Advance(progress, progressMax)) {
      LOG(INFO) << *percent;
      SetProgressPosition(*percent);
    }
  }
  if (action.endStep) {
    LOG(INFO) << "End download";
    CloseProgressWindow();
  }
  return S_OK;
}

}  // namespace cv
