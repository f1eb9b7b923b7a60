#!/usr/bin/env python3
"""Writes an operator-style file of the day, as a Japanese grid area's
transmission operator publishes it: Shift_JIS (CP932), CRLF, a stamp line,
today's head blocks (the day's peak and its tightest hour, 使用率ピーク時),
the hourly table, the 最大使用率 block and tomorrow's blocks with other
figures, then the five-minute table.

--area picks whose layout (default tokyo, as juyo-d1-j.csv): the ten areas'
files are of one family but differ in details, and each area writes its own
variant with demand figures of that area's size:

  hokkaido  zero-padded dates, 需要 prefix on head blocks, 供給力予測値, 12月06日
  tohoku    需要 prefix, 予備率 in head blocks, 供給力想定値, empty hours to come
  tokyo     the default layout, tomorrow's blocks named 翌日の…
  chubu     zero-padded dates, 需要 prefix, a 想定気温 block, 供給力予測値, 使用率 forecast
  hokuriku  unpublished (blank) head blocks, 予想値, 12月6日, bracketed 5-minute table
  kansai    a 最大使用率/予想気温 block after the head, 予想値 (in 使用率ピーク時予想値 too),
            使用率 forecast, tomorrow's blocks named 翌日の… and its 予想気温
  chugoku   zero-padded dates, 需要 prefix, 供給力想定値, 使用率 forecast
  shikoku   需要 prefix, 予備率 in head blocks, 12月06日, empty hours to come
  kyushu    zero-padded dates, seven columns with 予備率(%)
  okinawa   about 100 万kW, 使用率 forecast, empty hours to come

Tomorrow's blocks follow the hourly table, named 翌日の… where the area
names them so (hokkaido, tokyo, kansai) and with today's names elsewhere;
--tomorrow writes them not yet published, as Tokyo does (`,,,,,`), or left
over from the day before, as Kansai does (a 0 dated the day before).

--pad-cells, --quote-all and --utf8-bom write the file as a spreadsheet
program saves it again (each can be combined with the others): every line
padded with empty cells to the widest line's width, the stamp line too;
every field in double quotes; UTF-8 with a byte-order mark instead of CP932.
The file is still the same table and states the same reading.

The figures follow a fixed daily curve scaled to the area, so a file is the
same for the same options. The hours before --hours carry actuals; later
hours carry 0 or an empty cell (some areas' 使用率 already holds a forecast
for them). The reading a reader should take from the file is printed on
standard output as one line of JSON (null when the file has none);
--forecast-json writes the forecasts it states, as the bridge gives them.

Python 3 standard library only; see --help.
"""

import argparse
import datetime
import json
import sys

JST = datetime.timezone(datetime.timedelta(hours=9))
# Demand through the day as a percentage of the day's forecast peak.
SHAPE = [70, 67, 65, 64, 64, 66, 72, 80, 87, 90, 91, 92, 91, 92, 93, 92, 91, 92, 93, 91, 87, 82, 77, 73]

# What each area's file does differently from Tokyo's. Figures in 万kW.
TOKYO = dict(forecast_peak=4600, peak_supply=5100, padded=False, head_date="{m}/{d}", prefix="",
             head_reserve=False, blank_head=False, extra=[], forecast="予測値(万kW)", supply="供給力(万kW)",
             reserve_column=False, percent_forecast=False, future="zero", five_minute="tokyo",
             tomorrow_named="", tight_demand="使用率ピーク時予想最大電力(万kW)", tomorrow_extra=[])
AREAS = {
    "hokkaido": dict(forecast_peak=480, peak_supply=560, padded=True, head_date="{m:02d}月{d:02d}日",
                     prefix="需要", supply="供給力予測値(万kW)", five_minute="plain", tomorrow_named="翌日の"),
    "tohoku": dict(forecast_peak=1350, peak_supply=1520, prefix="需要", head_reserve=True,
                   supply="供給力想定値(万kW)", future="empty"),
    "tokyo": dict(tomorrow_named="翌日の"),
    "chubu": dict(forecast_peak=2300, peak_supply=2620, padded=True, prefix="需要", supply="供給力予測値(万kW)",
                  extra=["想定気温(℃),時間帯", "8.5,14:00～15:00", ""], percent_forecast=True),
    "hokuriku": dict(forecast_peak=470, peak_supply=540, head_date="{m}月{d}日", blank_head=True,
                     forecast="予想値(万kW)", five_minute="bracket"),
    "kansai": dict(forecast_peak=2500, peak_supply=2810, head_date="{m}月{d}日", head_reserve=True,
                   extra=["最大使用率(%),予想気温(最低),予想気温(最高),時間帯", "89,3.1,11.4,18:00～19:00", ""],
                   forecast="予想値(万kW)", percent_forecast=True, five_minute="solar_wind",
                   tomorrow_named="翌日の", tight_demand="使用率ピーク時予想値(万kW)",
                   tomorrow_extra=["翌日の予想気温(最低),翌日の予想気温(最高)", "2.4,10.8", ""]),
    "chugoku": dict(forecast_peak=1000, peak_supply=1150, padded=True, prefix="需要",
                    supply="供給力想定値(万kW)", percent_forecast=True),
    "shikoku": dict(forecast_peak=450, peak_supply=520, prefix="需要", head_reserve=True,
                    head_date="{m:02d}月{d:02d}日", future="empty"),
    "kyushu": dict(forecast_peak=1400, peak_supply=1610, padded=True, reserve_column=True,
                   five_minute="solar_wind"),
    "okinawa": dict(forecast_peak=105, peak_supply=150, head_date="{m}月{d}日", head_reserve=True,
                    percent_forecast=True, future="empty"),
}
# Tokyo's table of 2013: no 使用率, no supply, and a full-width parenthesis.
TABLE_2013 = ["DATE", "TIME", "当日実績(万kW)", "予測値（万kW)"]


class OneLineParser(argparse.ArgumentParser):
    def error(self, message):
        sys.stderr.write(f"operator_csv.py: error: {message}\n")
        sys.exit(2)


def hourly_figures(forecast_peak, peak_supply, scaled):
    # Tokyo keeps its historic figures exactly; other areas scale the
    # wobble and the supply's steps to their size.
    wobble = forecast_peak / 4600 if scaled else 1
    step = max(1, peak_supply // 500) if scaled else 10
    rows = []
    for hour, share in enumerate(SHAPE):
        forecast = forecast_peak * share // 100
        actual = forecast + int(((hour * 37) % 21 - 10) * wobble)
        supply = peak_supply - (hour * 13) % 7 * step
        rows.append((actual, forecast, supply))
    return rows


def head_blocks(area, day, peak, tight, blank, named="", left_over=None):
    """The day's peak (supply, forecast) and its tightest hour (supply with
    its 使用率, forecast demand), each a header and a value line; `peak` and
    `tight` are (supply, demand, hour). `named` goes before every name;
    `left_over` is the date the day before wrote (0, 0:00～1:00)."""
    stamp = area["head_date"].format(m=day.month, d=day.day)
    peak_supply, forecast_peak, peak_hour = peak
    reserve_name, reserve = (",予備率(%)", f",{round((peak_supply - forecast_peak) * 100 / peak_supply)}") \
        if area["head_reserve"] else ("", "")
    peak_name = f"{area['prefix']}ピーク時供給力(万kW)"
    forecast_name = f"{area['prefix']}ピーク時予想最大電力(万kW)" if area["prefix"] else "予想最大電力(万kW)"
    tight_supply, tight_demand, tight_hour = tight

    def block(name, value, hour, kind, extra_name="", extra=""):
        header = f"{named}{name},時間帯{reserve_name},{kind}情報更新日,{kind}情報更新時刻{extra_name}"
        if blank:
            return [header, "," * header.count(","), ""]
        if left_over:
            return [header, f"0,0:00～1:00{',' if reserve else ''},{left_over},16:29{',' if extra_name else ''}", ""]
        return [header, f"{value},{hour}:00～{hour + 1}:00{reserve},{stamp},8:30{extra}", ""]

    percent = round(tight_demand * 100 / tight_supply)
    return (block(peak_name, peak_supply, peak_hour, "供給力") + block(forecast_name, forecast_peak, peak_hour, "予想最大電力")
            + block("使用率ピーク時供給力(万kW)", tight_supply, tight_hour, "使用率ピーク時供給力",
                    ",使用率ピーク時使用率(%)", f",{percent}")
            + block(area["tight_demand"], tight_demand, tight_hour, "使用率ピーク時予想最大電力")
            + block("予備率ピーク時供給力(万kW)", peak_supply - 80, peak_hour, "供給力"))


def tightest(rows, peak):
    """The hour whose forecast uses the most of its supply, as the operator
    names it in today's 使用率ピーク時 blocks: (supply, demand, hour). The
    head's peak (supply, forecast, hour) counts as one of the hours, unless
    it lies beyond the 120 % no grid runs at (a --forecast-peak far above
    --peak-supply, as the graphs' tests ask for, leaves the table's own)."""
    hours = [(rows[h][2], rows[h][1], h) for h in range(24)] + ([peak] if peak[1] * 100 <= peak[0] * 120 else [])
    return max(hours, key=lambda t: (t[1] / t[0], -t[2]))


def tomorrow_figures(args):
    """Tomorrow's peak and tightest hour: (supply, demand, hour) each."""
    peak = (args.peak_supply * 106 // 100, args.forecast_peak * 105 // 100, 17)
    if args.tomorrow_tight:
        return peak, args.tomorrow_tight
    supply = args.peak_supply * 70 // 100
    return peak, (supply, supply * 922 // 1000, 3)  # 92 % at night, when solar is gone


def forecast_json(day, peak, tight):
    """One day's forecast as the bridge gives it in forecast.json."""
    supply, demand, hour = tight
    return {"date": day.isoformat(), "hour": hour,
            "hour_start": f"{day.isoformat()}T{hour:02d}:00:00+09:00", "supply": supply, "forecast_demand": demand,
            "usage_percent": round(demand * 100 / supply), "peak_supply": peak[0], "peak_supply_hour": peak[2],
            "forecast_peak": peak[1], "forecast_peak_hour": peak[2]}


def table_columns(area, old_table):
    if old_table:
        return TABLE_2013
    columns = ["DATE", "TIME", "当日実績(万kW)", area["forecast"], "使用率(%)"]
    if area["reserve_column"]:
        columns.append("予備率(%)")
    return columns + [area["supply"]]


def hour_row(area, columns, date, time, figures, has_actual):
    actual, forecast, supply = figures
    future = "" if area["future"] == "empty" else "0"
    shown = actual if has_actual else forecast
    cells = [date, time]
    for name in columns[2:]:
        if "実績" in name:
            cells.append(str(actual) if has_actual else future)
        elif name.startswith("使用率"):
            cells.append(str(round(shown * 100 / supply)) if has_actual or area["percent_forecast"] else future)
        elif name.startswith("予備率"):
            cells.append(str(round((supply - shown) * 100 / supply)) if has_actual or area["percent_forecast"]
                         else future)
        elif "供給力" in name:
            cells.append(str(supply))
        else:
            cells.append(str(forecast))
    return ",".join(cells)


def five_minute_table(area, day_text, rows, hours, clock):
    kind = area["five_minute"]
    header = {
        "tokyo": ["DATE,TIME,当日実績(５分間隔値)(万kW),太陽光発電実績(５分間隔値)(万kW),"
                  "太陽光発電実績(５分間隔値)の割合(%)"],
        "plain": ["DATE,TIME,5分間値(万kW)"],
        "bracket": ["【5分間値】", "DATE,TIME,当日実績【5分間隔値】(万kW)"],
        "solar_wind": ["DATE,TIME,当日実績(5分間値)(万kW),太陽光発電実績(万kW),風力発電実績(万kW)"],
    }[kind]
    lines = list(header)
    for minute in range(0, 24 * 60, 5):
        hour = minute // 60
        value = rows[hour][0] if hour < hours else 0
        cells = [day_text, clock(hour, minute % 60), str(value)]
        if kind in ("tokyo", "solar_wind"):
            cells += [str(value // 10), str(10 if value else 0) if kind == "tokyo" else str(value // 20)]
        lines.append(",".join(cells))
    return lines


def resaved(lines, args):
    """The lines as a spreadsheet program writes them back (none of the
    generator's cells holds a comma, so splitting at commas is exact)."""
    rows = [line.split(",") for line in lines]
    if args.pad_cells:
        width = max(len(cells) for cells in rows)
        rows = [cells + [""] * (width - len(cells)) for cells in rows]
    if args.quote_all:
        rows = [['"' + cell.replace('"', '""') + '"' for cell in cells] for cells in rows]
    return [",".join(cells) for cells in rows]


def build(args):
    area = args.layout
    day = args.date
    if area["padded"]:
        date_of = lambda d: f"{d.year}/{d.month:02d}/{d.day:02d}"  # noqa: E731
        clock = lambda h, m: f"{h:02d}:{m:02d}"  # noqa: E731
        stamp = clock(*args.stamp_time)
    else:
        date_of = lambda d: f"{d.year}/{d.month}/{d.day}"  # noqa: E731
        clock = lambda h, m: f"{h}:{m:02d}"  # noqa: E731
        stamp = args.stamp
    date = date_of(day)
    rows = hourly_figures(args.forecast_peak, args.peak_supply, args.area != "tokyo")
    lines = [f"{date_of(args.stamp_date or day)} {stamp} UPDATE"]
    today_peak = (args.peak_supply, args.forecast_peak, 18)
    today_tight = tightest(rows, today_peak)
    lines += head_blocks(area, day, today_peak, today_tight, args.blank_head)
    lines += area["extra"]
    columns = table_columns(area, args.table == "2013")
    lines.append(",".join(columns))
    for hour, figures in enumerate(rows):
        lines.append(hour_row(area, columns, date, clock(hour, 0), figures, hour < args.hours))
    lines += ["", "最大使用率(%),時間帯", "93,14:00～15:00", ""]
    # Tomorrow's blocks, with other figures: a reader must never take these
    # for today's.
    tomorrow = day + datetime.timedelta(days=1)
    tomorrow_peak, tomorrow_tight = tomorrow_figures(args)
    if args.tomorrow != "absent":
        left_over = area["head_date"].format(m=day.month, d=day.day - 1) if args.tomorrow == "left-over" else None
        lines += head_blocks(area, day, tomorrow_peak, tomorrow_tight, args.tomorrow == "unfilled",
                             area["tomorrow_named"], left_over)
        lines += area["tomorrow_extra"]
    lines += five_minute_table(area, date, rows, args.hours, clock)
    lines = resaved(lines, args)
    ending = "\n" if args.lf else "\r\n"
    text = ending.join(lines) + ending
    stated = {}
    if not args.blank_head:
        stated["today"] = forecast_json(day, today_peak, today_tight)
    if args.tomorrow == "published":
        stated["tomorrow"] = forecast_json(tomorrow, tomorrow_peak, tomorrow_tight)
    return (b"\xef\xbb\xbf" + text.encode("utf-8")) if args.utf8_bom else text.encode("cp932"), rows, stated


def reading(args, rows):
    if args.hours == 0:
        return None
    hour = args.hours - 1
    actual, _, supply = rows[hour]
    if args.table == "2013":
        supply = args.peak_supply
    return {"usage": actual, "capacity": supply, "year": args.date.year, "month": args.date.month,
            "day": args.date.day, "hour": hour, "usage_percent": actual * 100 // supply}


def tight_figures(text):
    try:
        supply, demand, hour = (int(part) for part in text.split(","))
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not SUPPLY,DEMAND,HOUR (three whole numbers)")
    if supply <= 0 or demand <= 0 or not 0 <= hour <= 23:
        raise argparse.ArgumentTypeError(f"'{text}': supply and demand must be positive, the hour 0 to 23")
    return supply, demand, hour


def parse_args(now):
    parser = OneLineParser(description=__doc__.split("\n\n")[0],
                           epilog="\n\n".join(__doc__.split("\n\n")[1:4]),
                           formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--output", required=True, help="the file to write")
    parser.add_argument("--area", choices=list(AREAS), default="tokyo", metavar="NAME",
                        help="whose layout and figures: " + ", ".join(AREAS) + " (default: tokyo)")
    parser.add_argument("--date", type=datetime.date.fromisoformat, default=now.date(),
                        help="the day, YYYY-MM-DD (default: today in Japan time)")
    parser.add_argument("--hours", type=int, default=now.hour + 1,
                        help="hours with an actual, 0 to 24 (default: up to the current hour in Japan)")
    parser.add_argument("--stamp", default=f"{now.hour}:{now.minute // 5 * 5:02d}",
                        help="the stamp line's time H:MM (default: now, in steps of 5 minutes)")
    parser.add_argument("--stamp-date", type=datetime.date.fromisoformat,
                        help="the stamp line's day, YYYY-MM-DD (default: --date; the next day for a file "
                             "written just after midnight)")
    parser.add_argument("--peak-supply", type=int, help="ピーク時供給力 in 万kW (default: the area's)")
    parser.add_argument("--forecast-peak", type=int, help="予想最大電力 in 万kW (default: the area's)")
    parser.add_argument("--future", choices=("zero", "empty"),
                        help="how hours still to come read: 0 or an empty cell (default: the area's)")
    parser.add_argument("--blank-head", action="store_true",
                        help="today's head blocks not yet published (written as empty cells)")
    parser.add_argument("--tomorrow", choices=("published", "unfilled", "left-over", "absent"), default="published",
                        help="tomorrow's blocks: published (default), not yet (empty cells), left over from the "
                             "day before (0, dated so) or absent")
    parser.add_argument("--tomorrow-tight", type=tight_figures, metavar="SUPPLY,DEMAND,HOUR",
                        help="tomorrow's tightest hour: its supply and forecast demand in 万kW and its hour "
                             "(default: 92 %% at 3:00, when solar is gone)")
    parser.add_argument("--forecast-json", metavar="FILE",
                        help="also write the forecasts the file states, as the bridge's forecast.json gives them")
    parser.add_argument("--table", choices=("area", "2013"), default="area",
                        help="the hourly table: the area's (default) or Tokyo's four columns of 2013")
    parser.add_argument("--lf", action="store_true", help="LF line ends instead of CRLF")
    parser.add_argument("--pad-cells", action="store_true",
                        help="pad every line with empty cells to the widest line's width")
    parser.add_argument("--quote-all", action="store_true",
                        help="every field in double quotes (RFC 4180, a quote inside doubled)")
    parser.add_argument("--utf8-bom", action="store_true", help="UTF-8 with a byte-order mark instead of CP932")
    args = parser.parse_args()
    area = args.layout = dict(TOKYO, **AREAS[args.area])
    args.peak_supply = args.peak_supply if args.peak_supply is not None else area["peak_supply"]
    args.forecast_peak = args.forecast_peak if args.forecast_peak is not None else area["forecast_peak"]
    area["future"] = args.future or area["future"]
    args.blank_head = args.blank_head or area["blank_head"]
    if not 0 <= args.hours <= 24:
        parser.error(f"--hours {args.hours} is not from 0 to 24")
    try:
        hour, minute = (int(part) for part in args.stamp.split(":"))
        assert 0 <= hour <= 23 and 0 <= minute <= 59 and len(args.stamp.split(":")[1]) == 2
    except (ValueError, AssertionError):
        parser.error(f"--stamp {args.stamp} is not a time H:MM")
    args.stamp_time = (hour, minute)
    if args.blank_head and args.table == "2013" and args.hours > 0:
        parser.error("--blank-head with --table 2013 leaves the file without any supply figure")
    if min(args.peak_supply, args.forecast_peak) <= 0:
        parser.error("--peak-supply and --forecast-peak must be positive")
    return args


def main():
    args = parse_args(datetime.datetime.now(JST))
    data, rows, stated = build(args)
    with open(args.output, "wb") as out:
        out.write(data)
    if args.forecast_json:
        with open(args.forecast_json, "w", encoding="utf-8") as out:
            json.dump(stated, out, ensure_ascii=False)
            out.write("\n")
    print(json.dumps(reading(args, rows)))


if __name__ == "__main__":
    main()
