#include "monitor/check_runner.h"

#include <cmath>

#include "base/apartment.h"
#include "base/clock.h"
#include "monitor/endpoints.h"
#include "monitor/notification.h"
#include "monitor/usage_reading.h"
#include "net/download.h"
#include "net/temp_file.h"
#include "hostapi/host_calls.h"
#include "core/context.h"
#include "settings/defaults.h"
#include "text/text_regex.h"

namespace gw {
namespace {

// The gate that stops a periodic check: paused, daily maximum reached, same
// hour as the last evaluated reading, or below the threshold.
struct GateClosed {
  const char* why;
};

// A download that failed, with what was being fetched.
struct FetchFailed {
  HResult code;
  const char* what;
};

uint32_t Number(const SettingsStore& s, WideView name) {
  return static_cast<uint32_t>(ParseDecimal(TextOrEmpty(s.GetString(name))));
}

// Downloads into a new temporary file, which the caller keeps so that it is
// deleted on every path out of the check. A failed download ends the check
// with the download's own code.
TempFile Fetch(const SettingsStore& settings, WideView url, WideView extension, const char* what,
               HResult* code) {
  TempFile file(extension);
  *code = DownloadToFile(url, file.Path(), settings);
  if (Failed(*code)) throw FetchFailed{*code, what};
  return file;
}

// The host's Base64 form of a downloaded image; a failed conversion is not
// detected and leaves whatever text the output holds.
WideString Base64Of(const TempFile& image, TempFile& output) {
  host::B64Convert(output.NarrowPath(), image.NarrowPath(), 1);
  return output.ReadText();
}

}  // namespace

CheckRunner::CheckRunner(int32_t testMail) : CheckRunner(testMail, *Settings(), CheckLock()) {}

CheckRunner::CheckRunner(int32_t mode, const SettingsStore& settings, Lock& lock)
    : testMail(mode), settings_(&settings), lock_(&lock) {}

int32_t CheckRunner::UsageCheck() noexcept {
  HResult code;
  try {
    LockGuard guard(*lock_);
    ThreadApartment apartment;
    try {
      code = Run();
    } catch (const GateClosed& gate) {
      code = kEAbort;
      outcome = gate.why;
    } catch (const FetchFailed& failure) {
      code = failure.code;
      outcome = failure.what;
    } catch (const HResultError& failure) {
      code = failure.code();
      outcome = "failed in a platform component";
    } catch (...) {
      // A failure without a code of its own, lack of memory included.
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

  gate(s.GetDword(setting::kPause) == 1, "paused");
  const LocalTime now = LocalNow();
  if (s.GetDword(setting::kLastDay) != static_cast<uint32_t>(now.day)) {
    s.SetDword(setting::kCount, 0);
    s.SetDword(setting::kLastHour, 99);
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
  s.SetDword(setting::kLastDay, static_cast<uint32_t>(now.day));
  s.SetDword(setting::kLastHour, static_cast<uint32_t>(reading.hour));
  gate(reading.percent < Number(s, setting::kPercent), "below threshold");

  // Counted before anything is sent: a failure from here on still counts.
  s.SetDword(setting::kCount, s.GetDword(setting::kCount) + 1);
  return Notify(reading);
}

HResult CheckRunner::Notify(const UsageReading& reading) {
  const SettingsStore& s = *settings_;
  HResult code;
  TempFile meter = Fetch(s, kMeterImageUrl, u"gif", "meter image not fetched", &code);
  TempFile meterBase64(u"inf");
  WideString meterText = Base64Of(meter, meterBase64);
  TempFile forecast = Fetch(s, kForecastGraphUrl, u"gif", "forecast graph not fetched", &code);
  TempFile forecastBase64(u"inf");
  WideString forecastText = Base64Of(forecast, forecastBase64);

  WideString message = ComposeNotification(reading, AccountAddress(), TextOrEmpty(s.GetString(setting::kAddress)),
                                           meterText, forecastText);
  QueueNotification(message);
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
