#!/usr/bin/env python3
"""Writes an operator-style file of the day, as the Tokyo-area grid operator
publishes it (juyo-d1-j.csv): Shift_JIS (CP932), CRLF, a stamp line, today's
head blocks, the hourly table, the 最大使用率 block and tomorrow's blocks with
other figures, then the five-minute table.

The figures follow a fixed daily curve, so a file is the same for the same
options. The hours before --hours carry actuals; later hours carry 0 (or an
empty cell with --future empty). The reading a reader should take from the
file is printed on standard output as one line of JSON.

Python 3 standard library only; see --help.
"""

import argparse
import datetime
import json
import sys

JST = datetime.timezone(datetime.timedelta(hours=9))
# Demand through the day as a percentage of the day's forecast peak.
SHAPE = [70, 67, 65, 64, 64, 66, 72, 80, 87, 90, 91, 92, 91, 92, 93, 92, 91, 92, 93, 91, 87, 82, 77, 73]


class OneLineParser(argparse.ArgumentParser):
    def error(self, message):
        sys.stderr.write(f"operator_csv.py: error: {message}\n")
        sys.exit(2)


def hourly_figures(forecast_peak, peak_supply):
    rows = []
    for hour, share in enumerate(SHAPE):
        forecast = forecast_peak * share // 100
        actual = forecast + (hour * 37) % 21 - 10
        supply = peak_supply - (hour * 13) % 7 * 10
        rows.append((actual, forecast, supply))
    return rows


def head_blocks(day, peak_supply, forecast_peak, peak_hour):
    stamp = f"{day.month}/{day.day}"
    span = f"{peak_hour}:00～{peak_hour + 1}:00"
    return [
        "ピーク時供給力(万kW),時間帯,供給力情報更新日,供給力情報更新時刻",
        f"{peak_supply},{span},{stamp},8:30", "",
        "予想最大電力(万kW),時間帯,予想最大電力情報更新日,予想最大電力情報更新時刻",
        f"{forecast_peak},{span},{stamp},8:30", "",
        "使用率ピーク時供給力(万kW),時間帯,供給力情報更新日,供給力情報更新時刻",
        f"{peak_supply - 40},{span},{stamp},8:30", "",
        "予備率ピーク時供給力(万kW),時間帯,供給力情報更新日,供給力情報更新時刻",
        f"{peak_supply - 80},{span},{stamp},8:30", "",
    ]


def build(args):
    day = args.date
    date = f"{day.year}/{day.month}/{day.day}"
    rows = hourly_figures(args.forecast_peak, args.peak_supply)
    lines = [f"{date} {args.stamp} UPDATE"] + head_blocks(day, args.peak_supply, args.forecast_peak, 18)
    lines.append("DATE,TIME,当日実績(万kW),予測値(万kW),使用率(%),供給力(万kW)")
    future = "" if args.future == "empty" else "0"
    for hour, (actual, forecast, supply) in enumerate(rows):
        if hour < args.hours:
            lines.append(f"{date},{hour}:00,{actual},{forecast},{round(actual * 100 / supply)},{supply}")
        else:
            lines.append(f"{date},{hour}:00,{future},{forecast},{future},{supply}")
    lines += ["", "最大使用率(%),時間帯", "93,14:00～15:00", ""]
    # Tomorrow's blocks, with other figures: a reader must never take these.
    tomorrow = day + datetime.timedelta(days=1)
    lines += head_blocks(tomorrow, args.peak_supply + 333, args.forecast_peak + 222, 17)
    lines.append("DATE,TIME,当日実績(５分間隔値)(万kW),太陽光発電実績(５分間隔値)(万kW),"
                 "太陽光発電実績(５分間隔値)の割合(%)")
    for minute in range(0, 24 * 60, 5):
        hour = minute // 60
        value = rows[hour][0] if hour < args.hours else 0
        lines.append(f"{date},{hour}:{minute % 60:02d},{value},{value // 10},{10 if value else 0}")
    ending = "\n" if args.lf else "\r\n"
    return (ending.join(lines) + ending).encode("cp932"), rows


def reading(args, rows):
    if args.hours == 0:
        return None
    hour = args.hours - 1
    actual, _, supply = rows[hour]
    return {"usage": actual, "capacity": supply, "year": args.date.year, "month": args.date.month,
            "day": args.date.day, "hour": hour, "usage_percent": actual * 100 // supply}


def main():
    now = datetime.datetime.now(JST)
    parser = OneLineParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", required=True, help="the file to write")
    parser.add_argument("--date", type=datetime.date.fromisoformat, default=now.date(),
                        help="the day, YYYY-MM-DD (default: today in Japan time)")
    parser.add_argument("--hours", type=int, default=now.hour + 1,
                        help="hours with an actual, 0 to 24 (default: up to the current hour in Japan)")
    parser.add_argument("--stamp", default=f"{now.hour}:{now.minute // 5 * 5:02d}",
                        help="the stamp line's time H:MM (default: now, in steps of 5 minutes)")
    parser.add_argument("--peak-supply", type=int, default=5100, help="ピーク時供給力 in 万kW")
    parser.add_argument("--forecast-peak", type=int, default=4600, help="予想最大電力 in 万kW")
    parser.add_argument("--future", choices=("zero", "empty"), default="zero",
                        help="how hours still to come read: 0 (default) or an empty cell")
    parser.add_argument("--lf", action="store_true", help="LF line ends instead of CRLF")
    args = parser.parse_args()
    if not 0 <= args.hours <= 24:
        parser.error(f"--hours {args.hours} is not from 0 to 24")
    data, rows = build(args)
    with open(args.output, "wb") as out:
        out.write(data)
    print(json.dumps(reading(args, rows)))


if __name__ == "__main__":
    main()
