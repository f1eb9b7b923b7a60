#include "monitor/check_runner.h"

#include <cmath>

#include "base/apartment.h"
#include "base/clock.h"
#include "monitor/endpoints.h"
#include "monitor/notification.h"
#include "monitor/usage_reading.h"
#include "net/download.h"
#include "net/file_stream.h"
#include "net/temp_file.h"
#include "hostapi/host_calls.h"
#include "core/context.h"
#include "settings/defaults.h"
#include "text/text_regex.h"

namespace gw {
namespace {

// The gate that stops a periodic check: paused, daily maximum reached, same
// hour as the last evaluated reading, or below the threshold. The host's
// exit closes it for every check, the test mail included.
struct GateClosed {
  const char* why;
};

// A step that failed with a code of its own: a download, a settings write,
// an image too large, the mail's composition.
struct StepFailed {
  HResult code;
  const char* what;
};

// The graphs are tens of kilobytes. A bigger one would only swell the mail,
// and with it the Base64 text, the message and their copies in memory.
constexpr uint64_t kMaxImageBytes = uint64_t{4} << 20;

// Once the host has begun to shut down, nothing more is asked of it.
void StopIfExiting() {
  if (HostExiting()) throw GateClosed{"the mail client is exiting"};
}

uint32_t Number(const SettingsStore& s, WideView name) {
  return static_cast<uint32_t>(ParseDecimal(TextOrEmpty(s.GetString(name))));
}

// The counters are what limits the mails: a check that cannot record them
// would send the same reading's mail again and again, so it stops instead.
void Record(const SettingsStore& s, WideView name, uint32_t value) {
  HResult hr = s.SetDword(name, value);
  if (Failed(hr)) throw StepFailed{hr, "settings could not be written"};
}

// Downloads into a new temporary file, which the caller keeps so that it is
// deleted on every path out of the check. A failed download ends the check
// with the download's own code; one cut short by the exit, as the exit does.
TempFile Fetch(const SettingsStore& settings, WideView url, WideView extension, const char* what,
               HResult* code) {
  StopIfExiting();
  TempFile file(extension);
  *code = DownloadToFile(url, file.Path(), settings);
  StopIfExiting();
  if (Failed(*code)) throw StepFailed{*code, what};
  return file;
}

void RequireImageSize(const TempFile& image, const char* what) {
  HResult hr;
  auto stream = OpenFileForReading(image.Path(), &hr);
  uint64_t size = 0;
  if (stream && Succeeded(stream->Size(&size)) && size > kMaxImageBytes) throw StepFailed{kEFileTooLarge, what};
}

// The host's Base64 form of a downloaded image; a failed conversion is not
// detected and leaves whatever text the output holds.
WideString Base64Of(const TempFile& image, TempFile& output) {
  StopIfExiting();
  host::B64Convert(output.NarrowPath(), image.NarrowPath(), 1);
  return output.ReadText();
}

// A mail that lacks any of its text is never queued: a failed replacement or
// conversion, lack of memory included, ends the check with its code.
WideString Compose(const UsageReading& reading, WideView recipients, WideView meter, WideView forecast) {
  try {
    return ComposeNotification(reading, AccountAddress(), recipients, meter, forecast);
  } catch (...) {
    throw StepFailed{HResultFromCaught(), "the mail could not be composed"};
  }
}

void Queue(WideView message) {
  StopIfExiting();
  try {
    QueueNotification(message);
  } catch (...) {
    throw StepFailed{HResultFromCaught(), "the mail could not be converted for the mail client"};
  }
}

}  // namespace

CheckRunner::CheckRunner(int32_t testMail) : CheckRunner(testMail, *Settings(), CheckLock()) {}

CheckRunner::CheckRunner(int32_t mode, const SettingsStore& settings, Lock& lock)
    : testMail(mode), settings_(&settings), lock_(&lock) {}

int32_t CheckRunner::UsageCheck() noexcept {
  HResult code;
  try {
    RunningCheck running;
    LockGuard guard(*lock_);
    ThreadApartment apartment;
    try {
      code = Run();
    } catch (const GateClosed& gate) {
      code = kEAbort;
      outcome = gate.why;
    } catch (const StepFailed& failure) {
      code = failure.code;
      outcome = failure.what;
    } catch (const HResultError& failure) {
      code = failure.code();
      outcome = "failed in a platform component";
    } catch (...) {
      // A failure without a code of its own.
      code = kEFail;
      outcome = "failed";
    }
  } catch (...) {
    code = kEFail;
    outcome = "could not start";
  }
  result = code;
  return 0;
}

HResult CheckRunner::Run() {
  const SettingsStore& s = *settings_;
  const bool test = testMail != 0;
  auto gate = [test](bool closed, const char* why) {
    if (closed && !test) throw GateClosed{why};
  };

  StopIfExiting();
  gate(s.GetDword(setting::kPause) == 1, "paused");
  const auto today = static_cast<uint32_t>(LocalNow().day);
  if (s.GetDword(setting::kLastDay) != today) {
    Record(s, setting::kCount, 0);
    Record(s, setting::kLastHour, 99);
  }
  gate(s.GetDword(setting::kCount) >= Number(s, setting::kMessages), "daily maximum reached");

  HResult code;
  TempFile feed = Fetch(s, kUsageFeedUrl, u"txt", "usage feed not fetched", &code);
  const UsageReading reading = ReadFeed(feed.ReadText());
  // Zero or negative figures make no reading; in 32-bit arithmetic their
  // product could even be 0 for two non-zero values.
  if (reading.usage <= 0 || reading.capacity <= 0) {
    outcome = "no usable usage and capacity in the feed";
    return kEFail;
  }
  gate(s.GetDword(setting::kLastHour) == static_cast<uint32_t>(reading.hour), "same hour as the last reading");

  // The local day of the evaluation, not the reading's: a feed still
  // reporting yesterday would otherwise look like a new day on every run,
  // reset the count, and send a mail on every periodic check.
  Record(s, setting::kLastDay, today);
  Record(s, setting::kLastHour, static_cast<uint32_t>(reading.hour));
  gate(reading.percent < Number(s, setting::kPercent), "below threshold");

  // Counted before anything is sent: a failure from here on still counts.
  Record(s, setting::kCount, s.GetDword(setting::kCount) + 1);
  return Notify(reading);
}

HResult CheckRunner::Notify(const UsageReading& reading) {
  const SettingsStore& s = *settings_;
  HResult code;
  TempFile meter = Fetch(s, kMeterImageUrl, u"gif", "meter image not fetched", &code);
  RequireImageSize(meter, "meter image too large");
  TempFile meterBase64(u"inf");
  WideString meterText = Base64Of(meter, meterBase64);
  TempFile forecast = Fetch(s, kForecastGraphUrl, u"gif", "forecast graph not fetched", &code);
  RequireImageSize(forecast, "forecast graph too large");
  TempFile forecastBase64(u"inf");
  WideString forecastText = Base64Of(forecast, forecastBase64);

  Queue(Compose(reading, TextOrEmpty(s.GetString(setting::kAddress)), meterText, forecastText));
  outcome = "notification queued";
  return code;  // the last download's, 0 as a rule
}

uint32_t UsagePercent(int32_t usage, int32_t capacity) {
  if (capacity <= 0) return 0;
  double percent = static_cast<double>(static_cast<uint32_t>(usage)) / static_cast<double>(capacity) * 100.0;
  // Converting a double beyond the 32-bit range is undefined; saturate.
  if (!(percent < 4294967296.0)) return 4294967295u;
  return static_cast<uint32_t>(percent);
}

UsageReading ReadFeed(WideView text) {
  TextRegex regex;
  UsageReading r;
  r.usage = regex.GetFieldNumber(text, u"usage");
  r.capacity = regex.GetFieldNumber(text, u"capacity");
  r.year = regex.GetFieldNumber(text, u"year");
  r.month = regex.GetFieldNumber(text, u"month");
  r.day = regex.GetFieldNumber(text, u"day");
  r.hour = regex.GetFieldNumber(text, u"hour");
  r.percent = UsagePercent(r.usage, r.capacity);
  return r;
}

}  // namespace gw
