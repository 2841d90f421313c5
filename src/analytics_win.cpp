// The analytics hit's exchange on a thread of its own. A synchronous WinHTTP call can block past its
// own time-outs (a TLS handshake with a server that accepted the connection and went silent, name
// resolution), so the run does not make the call itself: it waits for the hit's thread with a time
// limit and goes on when that is spent. The thread owns nothing the run frees, and writes no log line.
#include "src/analytics_win.h"

#include <windows.h>

#include <string>

#include "base/handles_win.h"
#include "http/winhttp_client.h"
#include "src/build_settings.h"
#include "src/outcome.h"

namespace cv {
namespace {

// One hit, shared by the run and the hit's thread; whichever lets go of it last frees it.
struct HitExchange {
  std::wstring address;
  std::string body;  // GA4: the JSON body of the POST
  HitResult result;  // written by the hit's thread before it ends
  LONG holders = 2;

  void Release() {
    if (InterlockedDecrement(&holders) == 0) delete this;
  }
};

void Exchange(HitExchange& hit) {
  WinHttpClient client(hit.address);
  const auto limit = [](int timeout) {
    return timeout > 0 && static_cast<std::uint32_t>(timeout) < kHitExchangeMs ? timeout
                                                                               : static_cast<int>(kHitExchangeMs);
  };
  client.SetTimeouts(limit(0), limit(kExchangeTimes.connectTimeout), limit(kExchangeTimes.sendTimeout),
                     limit(kExchangeTimes.receiveTimeout));
  client.SetAttemptDeadline(kHitExchangeMs);
  client.SetExchangeDeadline(kHitExchangeMs);
  client.SetBodyLimit(kMaxHitAnswerBytes);
  bool answered;
  if (kAnalyticsProtocol != AnalyticsProtocol::Ga4) {
    // A version 1 hit carries nothing the stub acts on: the endpoint's certificate is not checked.
    answered = client.Execute(L"GET");
  } else {
    // A GA4 hit carries the API secret: only the real endpoint may have it.
    client.SetRequireValidCertificate(true);
    client.SetRequestData(hit.body.data(), static_cast<std::uint32_t>(hit.body.size()));
    answered = client.Execute(L"POST");
  }
  if (answered) {
    hit.result.end = HitResult::End::Answered;
    hit.result.statusCode = client.StatusCode();
  } else {
    hit.result.end = HitResult::End::Failed;
    // A failed send is not among the errors the client records.
    hit.result.error = client.LastError() != 0 ? client.LastError() : client.SendError();
  }
}

DWORD WINAPI RunHitThread(void* parameter) {
  auto* hit = static_cast<HitExchange*>(parameter);
  // Nothing may leave the thread: an exception would end the process.
  try {
    Exchange(*hit);
  } catch (...) {
    hit->result.end = HitResult::End::Failed;
    hit->result.error = ERROR_NOT_ENOUGH_MEMORY;
  }
  hit->Release();
  return 0;
}

}  // namespace

HitResult SendAnalyticsHit(const HitEvent& event) {
  auto* hit = new HitExchange;
  if (kAnalyticsProtocol == AnalyticsProtocol::Ga4) {
    hit->address = Ga4HitAddress(kAnalyticsUrl, kGa4MeasurementId, kGa4ApiSecret);
    hit->body = Ga4HitBody(event);
  } else if (event.action == HitAction::Canceled) {
    hit->address = CancellationHitAddress(kAnalyticsUrl, kTrackingId, event.installId, event.version,
                                          event.cancelMessage);
  } else {
    hit->address = FailureHitAddress(kAnalyticsUrl, kTrackingId, event.installId, event.version);
  }

  HitResult result;
  const UniqueHandle thread(CreateThread(nullptr, 0, RunHitThread, hit, 0, nullptr));
  if (!thread) {
    result.error = GetLastError();
    hit->Release();  // the thread's share
  } else {
    const DWORD waited = WaitForSingleObject(thread.get(), kHitWaitMs);
    if (waited == WAIT_OBJECT_0) {
      result = hit->result;
    } else {
      // The thread goes on with its share; the process end stops it if nothing else does.
      result.end = HitResult::End::Abandoned;
      result.error = waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
    }
  }
  hit->Release();
  return result;
}

}  // namespace cv
