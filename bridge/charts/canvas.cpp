#include "bridge/charts/canvas.h"

#include <algorithm>
#include <cmath>

namespace gw::bridge {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Points along an arc, enough for a smooth curve at any radius used here.
void AppendArc(std::vector<Point>& points, double cx, double cy, double radius, double fromDegrees,
               double toDegrees) {
  const int segments = std::max(2, static_cast<int>(std::fabs(toDegrees - fromDegrees) / 2.0));
  for (int i = 0; i <= segments; ++i) {
    const double degrees = fromDegrees + (toDegrees - fromDegrees) * i / segments;
    const double radians = degrees * kPi / 180.0;
    points.push_back({cx + radius * std::cos(radians), cy - radius * std::sin(radians)});
  }
}

}  // namespace

void Canvas::FillRoundedRect(double x0, double y0, double x1, double y1, double radius, uint32_t rgb) {
  radius = std::min({radius, (x1 - x0) / 2, (y1 - y0) / 2});
  std::vector<Point> outline;
  AppendArc(outline, x1 - radius, y0 + radius, radius, 0, 90);
  AppendArc(outline, x0 + radius, y0 + radius, radius, 90, 180);
  AppendArc(outline, x0 + radius, y1 - radius, radius, 180, 270);
  AppendArc(outline, x1 - radius, y1 - radius, radius, 270, 360);
  FillPolygon(outline, rgb);
}

void Canvas::Polyline(const std::vector<Point>& points, double width, uint32_t rgb) {
  const double half = width / 2;
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const Point a = points[i];
    const Point b = points[i + 1];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length <= 0) continue;
    // The segment as a quadrilateral: the line pushed out half the width on
    // either side, perpendicular to its direction.
    const double nx = -(b.y - a.y) / length * half;
    const double ny = (b.x - a.x) / length * half;
    FillPolygon({{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}},
                rgb);
  }
  for (const Point& p : points) FillCircle(p.x, p.y, half, rgb);
}

void Canvas::FillRing(double cx, double cy, double inner, double outer, double fromDegrees,
                      double toDegrees, uint32_t rgb) {
  std::vector<Point> outline;
  AppendArc(outline, cx, cy, outer, fromDegrees, toDegrees);
  AppendArc(outline, cx, cy, inner, toDegrees, fromDegrees);
  FillPolygon(outline, rgb);
}

void Canvas::Text(double x, double baseline, const std::string& utf8, double px, uint32_t rgb,
                  Align align) {
  if (align != Align::kLeft) {
    const double width = TextWidth(utf8, px);
    x -= align == Align::kCentre ? width / 2 : width;
  }
  PlaceText(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(baseline)), utf8, px, rgb);
}

}  // namespace gw::bridge
