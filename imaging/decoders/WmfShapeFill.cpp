// Ellipse, pie, chord and rounded rectangle as polygons for libwmf's gd
// device. See WmfShapeFill.h.
#include "WmfShapeFill.h"

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
#include <libwmf/defs.h>
#include <libwmf/gd.h>
}

namespace miniskop {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMinCorners = 16;          // per full turn
constexpr int kMaxCorners = 4096;        // per full turn; keeps huge shapes cheap
constexpr double kMaxDeviation = 0.125;  // pixels between curve and polygon edge
constexpr double kFillMargin = 2.0;      // pixels kept around the picture when filling

struct Point {
    double x, y;
};

WmfShapeFill& stateOf(wmfAPI* api) { return *static_cast<WmfShapeFill*>(api->user_data); }

// The gd device's mapping from device coordinates to pixels, in double.
class PixelMap {
public:
    explicit PixelMap(wmfAPI* api) {
        const wmf_gd_t* device = WMF_GD_GetData(api);
        ox_ = device->bbox.TL.x;
        oy_ = device->bbox.TL.y;
        sx_ = double(device->width) / (double(device->bbox.BR.x) - ox_);
        sy_ = double(device->height) / (double(device->bbox.BR.y) - oy_);
        width_ = device->width;
        height_ = device->height;
    }
    bool ok() const { return std::isfinite(sx_) && std::isfinite(sy_) && sx_ > 0 && sy_ > 0; }
    double width() const { return width_; }
    double height() const { return height_; }
    double scaleX() const { return sx_; }
    double scaleY() const { return sy_; }
    Point toPixel(const wmfD_Coord& p) const { return {(p.x - ox_) * sx_, (p.y - oy_) * sy_}; }
    wmfD_Coord toDevice(const Point& p) const {
        return {float(ox_ + p.x / sx_), float(oy_ + p.y / sy_)};
    }

private:
    double ox_ = 0, oy_ = 0, sx_ = 0, sy_ = 0, width_ = 0, height_ = 0;
};

// The widest pen drawn, in pixels. The gd device draws a wide pen by stamping
// a pen-sized brush along every line, so a pen thousands of pixels wide (a
// few bytes in a hostile file) takes gigabytes and hours; real drawings stay
// far below this.
constexpr double kMaxPenPixels = 32;

// Narrows the drawing context's pen to kMaxPenPixels for one drawing call and
// gives it back its own width afterwards.
class PenLimit {
public:
    PenLimit(wmfAPI* api, wmfDC* dc) {
        if (dc == nullptr || dc->pen == nullptr) return;
        const PixelMap map(api);
        if (!map.ok()) return;
        pen_ = dc->pen;
        width_ = pen_->width;
        height_ = pen_->height;
        pen_->width = limited(width_, map.scaleX());
        pen_->height = limited(height_, map.scaleY());
    }
    ~PenLimit() {
        if (pen_ == nullptr) return;
        pen_->width = width_;
        pen_->height = height_;
    }
    PenLimit(const PenLimit&) = delete;
    PenLimit& operator=(const PenLimit&) = delete;

private:
    static double limited(double size, double pixelsPerUnit) {
        const double most = kMaxPenPixels / pixelsPerUnit;
        return std::abs(size) <= most ? size : std::copysign(most, size);
    }
    wmfPen* pen_ = nullptr;
    double width_ = 0, height_ = 0;
};

// Corners a polygon needs per full turn so that it stays within
// kMaxDeviation of an ellipse whose larger radius is `radius` pixels.
int cornersPerTurn(double radius) {
    if (!(radius > 2 * kMaxDeviation)) return kMinCorners;
    const double step = 2.0 * std::acos(1.0 - kMaxDeviation / radius);
    const double corners = std::ceil(2.0 * kPi / step);
    return int(std::clamp(corners, double(kMinCorners), double(kMaxCorners)));
}

// Points of the ellipse around `centre` with radii rx, ry from parameter
// angle `from` over `span` (radians, growing with y downwards), both ends
// included.
void appendArc(std::vector<Point>& out, Point centre, double rx, double ry, double from,
               double span) {
    const int perTurn = cornersPerTurn(std::max(rx, ry));
    const int steps = std::max(2, int(std::ceil(perTurn * span / (2.0 * kPi))));
    for (int k = 0; k <= steps; ++k) {
        const double t = from + span * k / steps;
        out.push_back({centre.x + rx * std::cos(t), centre.y + ry * std::sin(t)});
    }
}

// Sutherland-Hodgman clip of a closed polygon to the rectangle x0..x1, y0..y1.
std::vector<Point> clipToRect(std::vector<Point> poly, double x0, double y0, double x1, double y1) {
    auto clipEdge = [&poly](auto inside, auto cross) {
        std::vector<Point> out;
        out.reserve(poly.size() + 4);
        for (size_t i = 0; i < poly.size(); ++i) {
            const Point& a = poly[i];
            const Point& b = poly[(i + 1) % poly.size()];
            const bool inA = inside(a), inB = inside(b);
            if (inA) out.push_back(a);
            if (inA != inB) out.push_back(cross(a, b));
        }
        poly = std::move(out);
    };
    auto atX = [](double x) {
        return [x](const Point& a, const Point& b) {
            return Point{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
        };
    };
    auto atY = [](double y) {
        return [y](const Point& a, const Point& b) {
            return Point{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
        };
    };
    clipEdge([x0](const Point& p) { return p.x >= x0; }, atX(x0));
    clipEdge([x1](const Point& p) { return p.x <= x1; }, atX(x1));
    clipEdge([y0](const Point& p) { return p.y >= y0; }, atY(y0));
    clipEdge([y1](const Point& p) { return p.y <= y1; }, atY(y1));
    return poly;
}

// Hands one polygon (pixel coordinates) to the device's polygon drawing.
void drawPolygon(wmfAPI* api, wmfDC* dc, const PixelMap& map, const std::vector<Point>& poly) {
    if (poly.size() < 3 || poly.size() > 0xFFFF) return;
    std::vector<wmfD_Coord> points;
    points.reserve(poly.size());
    for (const Point& p : poly) points.push_back(map.toDevice(p));
    wmfPolyLine_t line{};
    line.dc = dc;
    line.pt = points.data();
    line.count = static_cast<U16>(points.size());
    stateOf(api).polygon(api, &line);
}

// Fills the shape with the brush, then outlines it with the pen, as the
// device's polygon drawing would in one go. The fill is clipped to the
// picture first: the device's filling walks every row the polygon spans,
// which a hostile, enormous ellipse would make very slow. The outline is
// left whole; the device clips lines by itself.
void fillAndOutline(wmfAPI* api, wmfDC* dc, const PixelMap& map, const std::vector<Point>& poly) {
    if (dc == nullptr || dc->brush == nullptr || dc->pen == nullptr) return;
    for (const Point& p : poly)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    const U16 penStyle = dc->pen->lopnStyle;
    const U16 brushStyle = dc->brush->lbStyle;
    if (brushStyle != BS_NULL) {
        const std::vector<Point> inside =
            clipToRect(poly, -kFillMargin, -kFillMargin, map.width() + kFillMargin,
                       map.height() + kFillMargin);
        dc->pen->lopnStyle = static_cast<U16>((penStyle & ~PS_STYLE_MASK) | PS_NULL);
        drawPolygon(api, dc, map, inside);
        dc->pen->lopnStyle = penStyle;
    }
    if ((penStyle & PS_STYLE_MASK) != PS_NULL) {
        dc->brush->lbStyle = BS_NULL;
        drawPolygon(api, dc, map, poly);
        dc->brush->lbStyle = brushStyle;
    }
}

enum class ArcShape { Ellipse, Pie, Chord };

void drawArcShape(wmfAPI* api, wmfDrawArc_t* arc, ArcShape shape) {
    const PixelMap map(api);
    if (!map.ok()) return;
    const Point tl = map.toPixel(arc->TL), br = map.toPixel(arc->BR);
    const Point centre{(tl.x + br.x) / 2, (tl.y + br.y) / 2};
    const double rx = std::abs(br.x - tl.x) / 2, ry = std::abs(br.y - tl.y) / 2;
    if (!(rx > 0) || !(ry > 0) || !std::isfinite(rx) || !std::isfinite(ry)) return;

    std::vector<Point> poly;
    if (shape == ArcShape::Ellipse) {
        const int corners = cornersPerTurn(std::max(rx, ry));
        poly.reserve(size_t(corners));
        for (int k = 0; k < corners; ++k) {
            const double t = 2.0 * kPi * k / corners;
            poly.push_back({centre.x + rx * std::cos(t), centre.y + ry * std::sin(t)});
        }
    } else {
        // The arc runs from `start` to `end` with the angle growing (the
        // player passes the record's end point as `start`, so this is the
        // record's counterclockwise arc on screen). Both are relative to the
        // centre and name the ray through the arc's end, not a point on it.
        const double x0 = arc->start.x * map.scaleX(), y0 = arc->start.y * map.scaleY();
        const double x1 = arc->end.x * map.scaleX(), y1 = arc->end.y * map.scaleY();
        const double from = std::atan2(y0 / ry, x0 / rx);
        double to = std::atan2(y1 / ry, x1 / rx);
        if (!std::isfinite(from) || !std::isfinite(to)) return;
        while (to <= from) to += 2.0 * kPi;  // equal ends: the whole ellipse
        if (shape == ArcShape::Pie) poly.push_back(centre);
        appendArc(poly, centre, rx, ry, from, to - from);
    }
    fillAndOutline(api, arc->dc, map, poly);
}

void drawEllipse(wmfAPI* api, wmfDrawArc_t* arc) {
    const PenLimit limit(api, arc->dc);
    drawArcShape(api, arc, ArcShape::Ellipse);
}
void drawPie(wmfAPI* api, wmfDrawArc_t* arc) {
    const PenLimit limit(api, arc->dc);
    drawArcShape(api, arc, ArcShape::Pie);
}
void drawChord(wmfAPI* api, wmfDrawArc_t* arc) {
    const PenLimit limit(api, arc->dc);
    drawArcShape(api, arc, ArcShape::Chord);
}

// Rectangles with corner ellipses become polygons; plain ones stay with
// the device.
void drawRectangle(wmfAPI* api, wmfDrawRectangle_t* rect) {
    const PenLimit limit(api, rect->dc);
    const PixelMap map(api);
    const double cornerW = std::abs(double(rect->width)) * map.scaleX();
    const double cornerH = std::abs(double(rect->height)) * map.scaleY();
    if (!map.ok() || !(cornerW >= 1.0) || !(cornerH >= 1.0) || !std::isfinite(cornerW) ||
        !std::isfinite(cornerH)) {
        stateOf(api).rectangle(api, rect);
        return;
    }
    const Point a = map.toPixel(rect->TL), b = map.toPixel(rect->BR);
    const double left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    const double top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    const double rx = std::min(cornerW / 2, (right - left) / 2);
    const double ry = std::min(cornerH / 2, (bottom - top) / 2);
    if (!(rx > 0) || !(ry > 0)) {
        stateOf(api).rectangle(api, rect);
        return;
    }
    std::vector<Point> poly;
    const double quarter = kPi / 2;
    appendArc(poly, {right - rx, top + ry}, rx, ry, -quarter, quarter);
    appendArc(poly, {right - rx, bottom - ry}, rx, ry, 0, quarter);
    appendArc(poly, {left + rx, bottom - ry}, rx, ry, quarter, quarter);
    appendArc(poly, {left + rx, top + ry}, rx, ry, 2 * quarter, quarter);
    fillAndOutline(api, rect->dc, map, poly);
}

// The device's own line drawing, with the pen narrowed.
void drawLine(wmfAPI* api, wmfDrawLine_t* line) {
    const PenLimit limit(api, line->dc);
    stateOf(api).line(api, line);
}
void drawPolyLine(wmfAPI* api, wmfPolyLine_t* line) {
    const PenLimit limit(api, line->dc);
    stateOf(api).polyLine(api, line);
}
void drawPolygonRecord(wmfAPI* api, wmfPolyLine_t* polygon) {
    const PenLimit limit(api, polygon->dc);
    stateOf(api).polygon(api, polygon);
}
void drawPolyPolygon(wmfAPI* api, wmfPolyPoly_t* polygons) {
    const PenLimit limit(api, polygons->dc);
    stateOf(api).polyPolygon(api, polygons);
}
void drawArc(wmfAPI* api, wmfDrawArc_t* arc) {
    const PenLimit limit(api, arc->dc);
    stateOf(api).arc(api, arc);
}

}  // namespace

void installWmfShapeFill(wmfAPI* api, WmfShapeFill& state) {
    auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
    if (functions == nullptr || functions->draw_polygon == nullptr ||
        functions->draw_rectangle == nullptr || api->device_data == nullptr)
        return;
    state.polygon = functions->draw_polygon;
    state.rectangle = functions->draw_rectangle;
    state.line = functions->draw_line;
    state.polyLine = functions->poly_line;
    state.polyPolygon = functions->draw_polypolygon;
    state.arc = functions->draw_arc;
    api->user_data = &state;
    // The line drawings the device has get the narrowed pen as well.
    functions->draw_polygon = drawPolygonRecord;
    if (state.line) functions->draw_line = drawLine;
    if (state.polyLine) functions->poly_line = drawPolyLine;
    if (state.polyPolygon) functions->draw_polypolygon = drawPolyPolygon;
    if (state.arc) functions->draw_arc = drawArc;
    functions->draw_ellipse = drawEllipse;
    functions->draw_pie = drawPie;
    functions->draw_chord = drawChord;
    functions->draw_rectangle = drawRectangle;
}

}  // namespace miniskop
