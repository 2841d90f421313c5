// Fetching the configuration document with one WinHttpClient request.
#include "src/config_fetch.h"

#include "http/winhttp_client.h"
#include "src/build_settings.h"

namespace cv {

bool FetchConfigText(std::wstring& text) {
  text.clear();
  WinHttpClient client(kConfigUrl);
  if (!client.Execute(L"GET")) return false;
  text = client.ResponseText();
  return true;
}

}  // namespace cv
