// Field extraction and placeholder substitution at growing input sizes. Each
// benchmark reports its complexity fit (expected: O(N)) and the time per
// character of text searched ("s_per_char").
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "text/text_regex.h"

namespace {

using gw::WideString;

// JSON-like records with no field of interest, then the six fields at the
// very end so every search runs through the whole feed.
WideString MakeFeed(size_t chars) {
  const WideString record = u"{\"area\": \"tokyo\", \"value\": 12345, \"note\": \"ok\"},\n";
  const WideString tail =
      u"\"usage\": 3512, \"capacity\": 4810, \"year\": 2011, \"month\": 8, \"day\": 25, \"hour\": 14}";
  WideString feed = u"[";
  while (feed.size() + record.size() + tail.size() < chars) feed += record;
  feed += tail;
  return feed;
}

WideString MakeBase64(size_t chars, uint32_t seed) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::mt19937 gen(seed);
  WideString out(chars, u'A');
  for (char16_t& c : out) c = static_cast<char16_t>(kAlphabet[gen() % 64]);
  return out;
}

// The shape of the notification mail: headers, a plain-text part and an HTML
// part with two inline images, all eleven placeholders in place.
WideString MailTemplate() {
  return u"From: __VAR__FROM\r\nTo: __VAR__ADDRESS\r\n"
         u"Subject: =?ISO-2022-JP?B?GyRCRUVOTztISU1OGyhC?= __VAR__PERCENT%\r\n"
         u"MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
         u"--b\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n\r\n"
         u"使用率 __VAR__PERCENT% (__VAR__USAGE / __VAR__CAPACITY 万kW)\r\n"
         u"__VAR__YEAR年__VAR__MONTH月__VAR__DAY日 __VAR__HOUR時\r\n\r\n"
         u"--b\r\nContent-Type: text/html; charset=\"UTF-8\"\r\n\r\n"
         u"<html><body><p>使用率 __VAR__PERCENT%</p><p>__VAR__USAGE / __VAR__CAPACITY</p>"
         u"<p>__VAR__YEAR年__VAR__MONTH月__VAR__DAY日 __VAR__HOUR時</p>"
         u"<img src=\"data:image/gif;base64,__VAR__YAHOO\">"
         u"<img src=\"data:image/gif;base64,__VAR__TEPCO\"></body></html>\r\n--b--\r\n";
}

WideString FillAll(WideString mail, const WideString& yahoo, const WideString& tepco) {
  gw::TextRegex rx;
  mail = rx.ReplaceText(mail, u"__VAR__FROM", u"watcher@example.jp");
  mail = rx.ReplaceText(mail, u"__VAR__ADDRESS", u"a@example.jp, b$1@example.jp");
  mail = rx.ReplaceNumber(mail, u"__VAR__PERCENT", 93);
  mail = rx.ReplaceNumber(mail, u"__VAR__USAGE", 3512);
  mail = rx.ReplaceNumber(mail, u"__VAR__CAPACITY", 4810);
  mail = rx.ReplaceNumber(mail, u"__VAR__YEAR", 2011);
  mail = rx.ReplaceNumber(mail, u"__VAR__MONTH", 8);
  mail = rx.ReplaceNumber(mail, u"__VAR__DAY", 25);
  mail = rx.ReplaceNumber(mail, u"__VAR__HOUR", 14);
  mail = rx.ReplaceText(mail, u"__VAR__YAHOO", yahoo);
  mail = rx.ReplaceText(mail, u"__VAR__TEPCO", tepco);
  return mail;
}

void SetPerChar(benchmark::State& state, size_t chars) {
  state.SetComplexityN(static_cast<int64_t>(chars));
  state.counters["s_per_char"] = benchmark::Counter(
      static_cast<double>(chars), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ExtractSixFields(benchmark::State& state) {
  const WideString feed = MakeFeed(static_cast<size_t>(state.range(0)));
  gw::TextRegex rx;
  for (auto _ : state) {
    for (const char16_t* name : {u"usage", u"capacity", u"year", u"month", u"day", u"hour"}) {
      benchmark::DoNotOptimize(rx.GetFieldNumber(feed, name));
    }
  }
  SetPerChar(state, 6 * feed.size());  // six searches through the whole feed
}
BENCHMARK(BM_ExtractSixFields)->RangeMultiplier(4)->Range(64 << 10, 10 << 20)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// One value of N characters: every character runs through the matching
// machine itself, no skipping ahead.
void BM_ExtractLongValue(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const WideString feed = u"{\"usage\": " + WideString(size, u'7') + u"}";
  gw::TextRegex rx;
  for (auto _ : state) benchmark::DoNotOptimize(rx.GetFieldText(feed, u"usage"));
  SetPerChar(state, feed.size());
}
BENCHMARK(BM_ExtractLongValue)->RangeMultiplier(4)->Range(16 << 10, 1 << 20)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The real sequence: the template filled in order, the last two calls
// inserting the images, so the final call searches one image's worth.
void BM_FillTemplate(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const WideString yahoo = MakeBase64(size, 1);
  const WideString tepco = MakeBase64(size, 2);
  const WideString mail = MailTemplate();
  for (auto _ : state) benchmark::DoNotOptimize(FillAll(mail, yahoo, tepco));
  SetPerChar(state, 2 * size);
}
BENCHMARK(BM_FillTemplate)->RangeMultiplier(2)->Range(64 << 10, 1 << 20)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A mail that already carries both images: all eleven calls search and copy
// the whole text.
void BM_SubstituteInLargeMail(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const WideString yahoo = MakeBase64(size, 1);
  const WideString tepco = MakeBase64(size, 2);
  const WideString mail = MailTemplate() + yahoo + u"\r\n" + tepco + u"\r\n";
  WideString out;
  for (auto _ : state) benchmark::DoNotOptimize(out = FillAll(mail, u"Y", u"T"));
  SetPerChar(state, 11 * mail.size());
}
BENCHMARK(BM_SubstituteInLargeMail)->RangeMultiplier(2)->Range(64 << 10, 1 << 20)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
