// WinHttpClient's reading of a received response: the raw header block and its values, the status
// code, the body into the growing buffer with progress reports, and the body's decoding into text.
#include <memory>

#include "http/response.h"
#include "http/winhttp_client.h"

namespace cv {

namespace {

// The text of a header query, learning its size first. False when the platform has none to give.
bool QueryHeaderText(HINTERNET request, DWORD infoLevel, std::wstring& text) {
  DWORD size = 0;
  if (!WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                           &size, WINHTTP_NO_HEADER_INDEX) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, &buffer[0], &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  text.assign(buffer.c_str());
  return true;
}

}  // namespace

void WinHttpClient::ReadHeaderValues(HINTERNET request) {
  if (!QueryHeaderText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, responseHeaders)) return;
  TakeHeaderValues(responseHeaders, charsetFixed, headerValues);
}

void WinHttpClient::ReadStatusCode(HINTERNET request) {
  QueryHeaderText(request, WINHTTP_QUERY_STATUS_CODE, statusCode);
}

void WinHttpClient::ReportProgress(std::uint32_t bytesRead) const {
  if (!progressCallback || headerValues.contentLength == 0) return;
  progressCallback(static_cast<double>(bytesRead) * 100.0 /
                   static_cast<double>(headerValues.contentLength));
}

WinHttpClient::BodyEnd WinHttpClient::ReadBody(HINTERNET request) {
  rawBody.reset();
  rawBodyLength = 0;
  rawBody = std::make_unique<BodyBuffer>();
  BodyEnd end = BodyEnd::Complete;
  for (;;) {
    if (!StartWait(request)) {
      end = BodyEnd::DeadlinePassed;
      break;
    }
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      if (WaitEndedAtDeadline()) end = BodyEnd::DeadlinePassed;
      RecordError();
      break;
    }
    ReportProgress(rawBody->size());
    if (available > bodyLimit - rawBody->size()) {
      end = BodyEnd::TooLarge;
      break;
    }
    std::unique_ptr<char[]> chunk(new char[static_cast<std::size_t>(available) + 1]());
    DWORD read = 0;
    // A failed read drops the piece and ends the body.
    if (available > 0 && !WinHttpReadData(request, chunk.get(), available, &read)) {
      if (WaitEndedAtDeadline()) end = BodyEnd::DeadlinePassed;
      read = 0;
    }
    rawBody->Append(chunk.get(), read);
    rawBodyLength = rawBody->size();
    if (read == 0) break;
  }
  ReportProgress(rawBody->size());
  return end;
}

void WinHttpClient::DecodeBody() {
  if (!rawBody || rawBodyLength >= 0x7FFFFFFFu) return;  // the length handed over is an int
  // The zero byte after the body is converted too, so the text ends in a zero character.
  const char* bytes = rawBody->data();
  const int length = static_cast<int>(rawBodyLength) + 1;
  CodePage page = ChooseCodePage(headerValues.responseCharset);
  int size = MultiByteToWideChar(page.codePage, page.flags, bytes, length, nullptr, 0);
  if (size == 0) {
    page = kAnsiCodePage;
    size = MultiByteToWideChar(page.codePage, page.flags, bytes, length, nullptr, 0);
    if (size == 0) return;
  }
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  if (MultiByteToWideChar(page.codePage, page.flags, bytes, length, &text[0], size) > 0) {
    responseText.assign(text.c_str());
  }
}

}  // namespace cv
