#include "bridge/serving/status_page.h"

#include "base/codepage.h"
#include "bridge/cache/source_documents.h"
#include "bridge/charts/chart_layout.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/outlook_lines.h"

namespace gw::bridge {
namespace {

// One stylesheet, inline: the page loads nothing from anywhere else, and a
// phone's narrow screen gets the same cards one under the other.
constexpr char kStyle[] =
    "body{margin:0;font-family:\"Hiragino Sans\",\"Yu Gothic UI\",Meiryo,\"Noto Sans CJK JP\",IPAPGothic,sans-serif;"
    "background:#eef1f4;color:#1c2430;line-height:1.6}"
    "header,main,footer{max-width:68rem;margin:0 auto;padding:0 1rem}"
    "h1{font-size:1.4rem;margin:1rem 0 0}.now{margin:0;color:#4a5563}"
    ".area{background:#fff;border-left:.5rem solid var(--c);border-radius:.5rem;margin:1rem 0;"
    "padding:.75rem 1rem;box-shadow:0 1px 2px #0003}"
    "h2{font-size:1.25rem;margin:0 0 .5rem;display:flex;flex-wrap:wrap;align-items:center;gap:.5rem}"
    "h2 a{color:inherit}"
    ".state{background:var(--c);color:#fff;border-radius:1rem;padding:0 .75rem;font-size:1rem}"
    ".advice,.note{background:#fff4e0;border-radius:.25rem;padding:.5rem .75rem;margin:.5rem 0}"
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:.125rem 1rem;margin:.5rem 0}"
    "dt{color:#4a5563}dd{margin:0;overflow-wrap:anywhere}"
    ".percent{font-size:1.75rem;font-weight:bold;line-height:1.2}"
    ".graphs{display:flex;flex-wrap:wrap;gap:.5rem}.graphs img{max-width:100%;height:auto;border:1px solid #ccd3dc}"
    "code{font-size:.9em;overflow-wrap:anywhere}footer{color:#4a5563;font-size:.9rem;padding-bottom:2rem}"
    "summary{color:#4a5563;cursor:pointer;width:max-content}"
    ".st-fresh{--c:#2e7d32}.st-starting{--c:#607080}.st-awaiting_new_day{--c:#1565c0}"
    ".st-upstream_failed,.st-file_refused{--c:#c62828}.st-stale{--c:#d84315}.st-degraded{--c:#a05a00}";

// The page reads itself again every minute: an office keeps it in a tab.
constexpr int kRefreshSeconds = 60;

// Each state as a person reads it, in the order of SourceState.
constexpr const char* kStateWords[kSourceStateCount] = {
    "確認中", "正常", "新しい日のファイル待ち", "取得できません", "ファイルを読めません", "値が古くなっています"};

std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return n < 0 ? "-" + digits : digits;
}

std::string Duration(int64_t seconds) {
  if (seconds < 60) return std::to_string(seconds < 0 ? 0 : seconds) + "秒";
  const int64_t minutes = seconds / 60, hours = minutes / 60;
  if (minutes < 60) return std::to_string(minutes) + "分";
  if (hours < 48) return std::to_string(hours) + "時間" + (minutes % 60 ? std::to_string(minutes % 60) + "分" : "");
  return std::to_string(hours / 24) + "日" + (hours % 24 ? std::to_string(hours % 24) + "時間" : "");
}

// "2026-12-07 14:58" in Japan time, the time the operators' pages use.
std::string ClockText(int64_t unixSeconds) {
  const std::string iso = UnixToJapanIso(unixSeconds);
  return iso.substr(0, 10) + " " + iso.substr(11, 5);
}

std::string When(int64_t unixSeconds, int64_t now) {
  if (unixSeconds < 0) return "まだありません";
  return ClockText(unixSeconds) + "（" + Duration(now - unixSeconds) + "前）";
}

std::string Row(const char* label, const char* field, const std::string& html) {
  return std::string("<dt>") + label + "</dt><dd class=\"" + field + "\">" + html + "</dd>\n";
}

std::string ManKw(int32_t figure) { return Grouped(figure) + " 万kW"; }

}  // namespace

std::string HtmlText(std::string_view text) {
  // Through UTF-16 and back: a byte that is not UTF-8 comes out as U+FFFD.
  const std::string clean = WideToUtf8(Utf8ToWide(text));
  std::string out;
  out.reserve(clean.size());
  for (char c : clean) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
  return out;
}

namespace {

// What a person can do about each state that is not fresh, in one or two
// sentences; empty for a fresh one.
std::string Advice(SourceState state, const PageContext& c) {
  const std::string source = "<code>--source</code> で指定してください。";
  switch (state) {
    case SourceState::kStarting:
      return "ブリッジが起動したばかりで、最初の取得がまだ終わっていません。このページは " +
             std::to_string(kRefreshSeconds) + " 秒ごとに読み直されます。";
    case SourceState::kAwaitingNewDay:
      return "日付が変わったばかりで、事業者の新しい日のファイルにまだ実績がありません。"
             "ふつうは午前 1 時ごろまでに最初の 1 時間が載ります。";
    case SourceState::kUpstreamFailed:
      return "事業者のサーバーからファイルを取得できていません。長く続くときはファイルが移動したのかもしれないので、"
             "事業者のでんき予報のページで今のアドレスを確かめ、" + source;
    case SourceState::kFileRefused:
      return "ファイルは届きましたが、Gridwren の読める形ではありませんでした。事業者がファイルを移動したか形を"
             "変えたのかもしれないので、事業者のでんき予報のページで今のアドレスを確かめ、" + source;
    case SourceState::kStale:
      return "取得はできていますが、値が <code>--max-age</code>（" + Duration(c.maxAgeSeconds) +
             "）より古いままです。事業者のでんき予報のページで更新が止まっていないか確かめてください。";
    case SourceState::kFresh: break;
  }
  return {};
}

// The reading as the plug-in gets it, and the operator's forecast peak of
// its day where the file gives one.
std::string Figures(const Snapshot& s) {
  const Reading& r = s.reading;
  std::string html = "<dl class=\"figures\">\n";
  html += Row("時刻", "when", std::to_string(r.year) + "年" + std::to_string(r.month) + "月" +
                                  std::to_string(r.day) + "日 " + std::to_string(r.hour) + "時台");
  html += Row("使用率", "percent", std::to_string(r.percent) + "%");
  html += Row("需要", "usage", ManKw(r.usage));
  html += Row("供給力", "capacity", ManKw(r.capacity));
  const DayFigures& d = s.day;
  if (d.forecastPeak > 0) {
    std::string peak = ManKw(d.forecastPeak);
    std::string detail;
    if (d.forecastPeakHour >= 0) detail = std::to_string(d.forecastPeakHour) + "時台";
    if (d.peakCapacity > 0) {
      detail += (detail.empty() ? "" : "、") + std::string("使用率 ") +
                std::to_string(int64_t{d.forecastPeak} * 100 / d.peakCapacity) + "%";
    }
    html += Row("予想最大電力", "forecast-peak", detail.empty() ? peak : peak + "（" + detail + "）");
  }
  return html + "</dl>\n";
}

std::string Graphs(const Area& area) {
  const std::string base = "/areas/" + HtmlText(area.name) + "/";
  const std::string label = HtmlText(area.label);
  return "<p class=\"graphs\"><img src=\"" + base + "meter.gif\" width=\"" + std::to_string(MeterDial::kWidth) +
         "\" height=\"" + std::to_string(MeterDial::kHeight) + "\" alt=\"" + label + "の使用率のメーター\">" +
         "<img src=\"" + base + "day.gif\" width=\"" + std::to_string(DayPlot::kWidth) + "\" height=\"" +
         std::to_string(DayPlot::kHeight) + "\" alt=\"" + label + "の今日の需要と供給力のグラフ\"></p>\n";
}

// How the last fetch went, in the page's Japanese, and in the log's own
// words under 詳細 for whoever helps the user find the cause: the line the
// log, /areas.json and the error bodies give.
std::string Outcome(const SourceStatus& st) {
  return HtmlText(st.said) + "<details><summary>詳細</summary><code>" + HtmlText(st.outcome) +
         "</code></details>";
}

// Where the figures come from and how the last fetch went.
std::string Detail(const SourceView& v) {
  const SourceStatus* st = v.status;
  std::string html = "<dl class=\"detail\">\n";
  html += Row("取得元", "source", st && !st->source.empty() ? "<code>" + HtmlText(st->source) + "</code>" : "まだありません");
  html += Row("前回の取得", "last-fetch", HtmlText(When(st ? st->lastFetch : -1, v.now)));
  if (st != nullptr && !st->outcome.empty()) html += Row("その結果", "outcome", Outcome(*st));
  if (const int64_t since = v.Since(); since >= 0) html += Row("この状態の始まり", "since", HtmlText(When(since, v.now)));
  html += Row("値の古さ", "age", v.snapshot ? Duration(v.now - v.snapshot->readingTime) + "（上限 " +
                                                  Duration(v.maxAgeSeconds) + "）"
                                            : "値はまだありません");
  return html + "</dl>\n";
}

std::string AreaCard(const PageArea& a, const PageContext& c) {
  // The same view of the area as the documents', so that the page and the
  // API never disagree.
  const SourceView view{a.snapshot, a.status, c.now, c.maxAgeSeconds};
  const SourceState state = view.Shown();
  const bool degraded = view.IsDegraded();
  const bool served = view.Fresh();
  const std::string name = HtmlText(a.area->name);
  const std::string look = degraded ? "degraded" : SourceStateName(state);
  std::string html = "<section class=\"area st-" + look + "\" id=\"" + name + "\" data-area=\"" + name +
                     "\" data-state=\"" + SourceStateName(state) + "\">\n";
  html += "<h2><a href=\"/areas/" + name + "/\">" + HtmlText(a.area->label) + "</a> <span class=\"state\">" +
          kStateWords[static_cast<size_t>(state)] + "</span></h2>\n";
  if (const std::string advice = Advice(state, c); !advice.empty()) html += "<p class=\"advice\">" + advice + "</p>\n";
  if (degraded) {
    html += "<p class=\"note\">表示している値は前回までに取得したもので、まだ <code>--max-age</code>（" +
            Duration(c.maxAgeSeconds) + "）以内なのでプラグインにも渡しています。</p>\n";
  }
  if (served && !view.Offered()) {
    html += "<p class=\"note\">日付が変わったので、前の日のこの値はプラグインに渡していません（同じ値で二度メールが"
            "送られないように）。新しい日の値が載ると、また渡します。</p>\n";
  }
  if (served) html += Figures(*a.snapshot) + OutlookLines(a.snapshot->day.outlook, c.now) + Graphs(*a.area);
  if (!served) html += "<p class=\"nofigure\">いまプラグインに渡せる値はありません。</p>\n";
  return html + Detail(view) + "</section>\n";
}

// "127.0.0.1:8080" -> server and port, as the plug-in's dialog asks for
// them; false when the Host header does not have that form.
bool SplitHost(std::string_view host, std::string_view* server, std::string_view* port) {
  const size_t bracket = host.rfind(']');
  const size_t colon = host.rfind(':');
  const bool hasPort = colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket);
  *server = hasPort ? host.substr(0, colon) : host;
  *port = hasPort ? host.substr(colon + 1) : "80";
  if (server->size() > 2 && server->front() == '[' && server->back() == ']') {
    *server = server->substr(1, server->size() - 2);
  }
  if (server->empty() || port->empty()) return false;
  for (char ch : *port) {
    if (ch < '0' || ch > '9') return false;
  }
  return true;
}

std::string PluginSetting(const PageContext& c) {
  std::string_view server, port;
  std::string html = "<p>プラグインの設定では、プロキシの";
  if (SplitHost(c.host, &server, &port)) {
    html += "サーバーに <code>" + HtmlText(server) + "</code>、ポートに <code>" + HtmlText(port) + "</code> を入れます";
  } else {
    html += "サーバーとポートに、このページのアドレスのホスト名とポート番号を入れます";
  }
  if (c.home != nullptr) html += "（このポートでは" + HtmlText(c.home->label) + "エリアの値を渡します）";
  html += "。";
  if (c.login) html += "ユーザー名とパスワードには、このページを開いたときと同じものを入れます。";
  return html + "</p>\n";
}

std::string Footer(const PageContext& c) {
  return "<footer>\n<p>Gridwren は、電力の使用率が決めた値に達すると通知メールを送る Becky! Internet Mail "
         "のプラグインです。このブリッジ（gridwren-bridge " + HtmlText(c.version) +
         "）は、各エリアの送配電事業者がでんき予報として公開するファイルを読み、プラグインに値とグラフを渡します。</p>\n" +
         PluginSetting(c) + "<p><a href=\"/guide/\">Gridwren の使い方</a></p>\n</footer>\n";
}

std::string Head(const std::vector<PageArea>& areas, const PageContext& c) {
  const std::string title = c.oneArea && !areas.empty() ? HtmlText(areas[0].area->label) + "エリア - Gridwren の状態"
                                                        : "Gridwren の状態";
  return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<meta http-equiv=\"refresh\" content=\"" + std::to_string(kRefreshSeconds) + "\">\n<title>" + title +
         "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<header>\n<h1>" + title + "</h1>\n"
         "<p class=\"now\">" + ClockText(c.now) + " 現在（日本時間）。" + std::to_string(kRefreshSeconds) +
         " 秒ごとに読み直します。" + (c.oneArea ? "<a href=\"/\">すべてのエリア</a>" : "") + "</p>\n</header>\n";
}

}  // namespace

std::string StatusPage(const std::vector<PageArea>& areas, const PageContext& context) {
  std::string html = Head(areas, context) + "<main>\n";
  for (const PageArea& area : areas) html += AreaCard(area, context);
  return html + "</main>\n" + Footer(context) + "</body>\n</html>\n";
}

}  // namespace gw::bridge
