#!/usr/bin/env python3
"""Checks the Windows bridge's two GIFs against the operator's file they were
drawn from: both decode (ImageMagick) at the Linux bridge's sizes, each hour
with an actual has its bar in the colour of its usage band, and the meter's
dial is filled in the band colour of the latest hour.

  bridge_gifs.py METER.GIF DAY.GIF HOURS FORECAST_PEAK PEAK_SUPPLY

HOURS, FORECAST_PEAK and PEAK_SUPPLY are what operator_csv.py was given.
Prints one line per fault and exits 1 on any; Python 3 and ImageMagick only.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from operator_csv import hourly_figures  # noqa: E402

# The graphs' sizes and places, as bridge/charts/chart_layout.h has them.
METER_SIZE, DAY_SIZE = (500, 260), (500, 340)
PLOT_LEFT, PLOT_RIGHT, PLOT_BOTTOM = 54, 486, 272
DIAL_CX, DIAL_CY, DIAL_INNER, DIAL_OUTER = 150, 214, 86, 118
# The operators' bands by lower bound, and their colours.
BANDS = [(97, "D7263D"), (95, "EE7D22"), (92, "F2C230"), (0, "3BAA5C")]


def band_colour(actual, supply):
    percent = actual * 100 // supply
    return next(colour for floor, colour in BANDS if percent >= floor)


def size_of(path):
    out = subprocess.run(["identify", "-format", "%w %h\n", path], capture_output=True, text=True)
    if out.returncode != 0:
        return None
    return tuple(int(n) for n in out.stdout.split()[:2])


def pixel(path, x, y):
    out = subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "+repage", "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    return out.split("#")[-1].split()[0][:6].upper()


def main():
    if sys.argv[1:2] in (["-h"], ["--help"]):
        print(__doc__.strip())
        return
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    meter, day = sys.argv[1], sys.argv[2]
    hours, forecast_peak, peak_supply = (int(a) for a in sys.argv[3:])
    faults = []
    for path, want in ((meter, METER_SIZE), (day, DAY_SIZE)):
        got = size_of(path)
        if got != want:
            faults.append(f"{os.path.basename(path)}: size {got}, not {want}")
    if faults:
        print("\n".join(faults))
        return 1
    rows = hourly_figures(forecast_peak, peak_supply, scaled=False)  # the Tokyo file, as bridge.sh writes it
    slot = (PLOT_RIGHT - PLOT_LEFT) / 24
    for hour in range(hours):
        actual, _, supply = rows[hour]
        got = pixel(day, round(PLOT_LEFT + slot * (hour + 0.5)), PLOT_BOTTOM - 3)
        if got != band_colour(actual, supply):
            faults.append(f"day graph: hour {hour} is #{got}, not its band's #{band_colour(actual, supply)}")
    # Just past the dial's start (0 %), halfway through the ring.
    actual, _, supply = rows[hours - 1]
    got = pixel(meter, DIAL_CX - (DIAL_INNER + DIAL_OUTER) // 2 + 1, DIAL_CY - 3)
    if got != band_colour(actual, supply):
        faults.append(f"meter: the dial is #{got}, not the latest hour's band #{band_colour(actual, supply)}")
    print("\n".join(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
