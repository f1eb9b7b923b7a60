#!/usr/bin/env bash
# Checks the bridge's graphs as Windows draws them, under Wine: GDI+ draws,
# WIC writes the GIFs, and ImageMagick decodes them here.
#
#   tests/wine/bridge/check_charts.sh CHART_DRAW_TEST_EXE WORK_DIR [LINUX_DIR]
#
# CHART_DRAW_TEST_EXE is tests/wine/bridge/chart_draw_test.cpp built for
# Windows. Uses $WINEPREFIX when set (a ready win32 prefix, e.g. the Wine
# layer's), else makes one of its own under WORK_DIR. LINUX_DIR, if given,
# holds meter.gif and day.gif drawn by the same program natively: the Windows
# graphs must have their sizes. Checks, for the default font, a family name
# and a font file:
#   - both GIFs decode, at the graphs' sizes;
#   - the band colours of known hours, the dial and both lines are exact;
#   - the titles hold Japanese text in ink, antialiased (several shades);
# and that fonts that cannot draw the graphs are refused, naming the cause.
# Prints PASS/FAIL per check, then "N passed, N failed"; exits 1 on any
# failure, 2 on bad usage. Needs no network and no display.
set -uo pipefail
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/{/^#/{s/^# \{0,1\}//;p}}' "$0"; exit 0 ;; esac

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 CHART_DRAW_TEST_EXE WORK_DIR [LINUX_DIR]" >&2
  exit 2
fi
EXE=$(realpath "$1")
mkdir -p "$2"
WORK=$(cd "$2" && pwd)
LINUX=${3:+$(realpath "$3")}
[ -f "$EXE" ] || { echo "$0: $EXE is missing" >&2; exit 2; }
command -v convert >/dev/null || { echo "$0: needs ImageMagick's convert" >&2; exit 2; }

source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"
wine_env "$WORK"

passed=0
failed=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}

# Runs the program with the arguments given; its error text in $WORK/LABEL.err.
draw() {  # LABEL ARGS...
  local label=$1
  shift
  rm -rf "${WORK:?}/$label"
  mkdir -p "$WORK/$label"
  (cd "$WORK/$label" && wine "$EXE" "$@" . 2>"$WORK/$label.err")
}

size_of() { identify -format '%wx%h' "$1" 2>/dev/null; }

sizes_are() {  # DIR
  [ "$(size_of "$1/meter.gif")" = 500x260 ] && [ "$(size_of "$1/day.gif")" = 500x340 ] || return 1
  [ -z "$LINUX" ] && return 0
  [ "$(size_of "$1/meter.gif")" = "$(size_of "$LINUX/meter.gif")" ] &&
    [ "$(size_of "$1/day.gif")" = "$(size_of "$LINUX/day.gif")" ]
}

# Every "pixel" line of probes.txt: that pixel has exactly that colour.
pixels_exact() {  # DIR
  local file kind x y colour w h seen ok=0
  while read -r file kind x y colour w h; do
    [ "$kind" = pixel ] || continue
    seen=$(convert "$1/$file" -format "%[hex:p{$x,$y}]" info: 2>/dev/null | cut -c1-6)
    if [ "$seen" != "$colour" ]; then
      echo "  $file at $x,$y: $seen, expected $colour" >&2
      ok=1
    fi
  done <"$1/probes.txt"
  return $ok
}

# Every "text" line: the box holds that ink and, being antialiased, at least
# four shades between it and the background.
text_drawn() {  # DIR
  local file kind x y w h colour ink shades ok=0
  while read -r file kind x y w h colour; do
    [ "$kind" = text ] || continue
    ink=$(convert "$1/$file" -crop "${w}x${h}+${x}+${y}" +repage txt:- | grep -c "#$colour")
    shades=$(convert "$1/$file" -crop "${w}x${h}+${x}+${y}" +repage -format %k info:)
    if [ "$ink" -lt 20 ] || [ "$shades" -lt 6 ]; then
      echo "  $file box ${w}x${h}+${x}+${y}: $ink pixels of $colour, $shades colours" >&2
      ok=1
    fi
  done <"$1/probes.txt"
  return $ok
}

graphs_right() {  # LABEL
  check "$1: both GIFs decode at the graphs' sizes" sizes_are "$WORK/$1"
  check "$1: band and line colours exact where the layout puts them" pixels_exact "$WORK/$1"
  check "$1: Japanese titles drawn in ink, antialiased" text_drawn "$WORK/$1"
}

check "default font (the first installed of Meiryo, Yu Gothic, MS Gothic, IPAGothic): draws" draw default
graphs_right default
check "a family by name (IPAGothic): draws" draw family --font IPAGothic
graphs_right family
font_file='Z:\usr\share\fonts\opentype\ipafont-gothic\ipagp.ttf'
check "a font file ($font_file): draws" draw file --font "$font_file"
graphs_right file

# Fonts that cannot draw the graphs: refused with exit 1 and the cause (the
# message begins with the text given; Windows adds its own words after some).
refused() {  # LABEL MESSAGE_START FONT
  draw "$1" --font "$3"
  local status=$?
  local said
  said=$(tr -d '\r' <"$WORK/$1.err")
  [ $status = 1 ] && [[ "$said" == "$2"* ]] || { echo "  exit $status: $said" >&2; return 1; }
}
latin='Z:\usr\share\fonts\truetype\dejavu\DejaVuSans.ttf'
check "a Latin font file is refused" \
  refused latin "font file $latin: it has no Japanese characters" "$latin"
check "a Latin family is refused" \
  refused latin_family "font family DejaVu Sans: it has no Japanese characters" "DejaVu Sans"
check "an unknown family is refused" \
  refused unknown "font family No Such Family: no installed font has this name" "No Such Family"
check "a missing font file is refused" \
  refused missing 'font file C:\nonexistent\ipag.ttf: cannot open it: ' 'C:\nonexistent\ipag.ttf'
echo "this is not a TrueType font" >"$WORK/not_a_font.ttf"
garbage=$(winepath -w "$WORK/not_a_font.ttf" 2>/dev/null)
check "a file that is no font is refused" \
  refused not_font "font file $garbage: GDI+ cannot read it as a font (" "$garbage"

echo "$passed passed, $failed failed"
[ $failed = 0 ]
