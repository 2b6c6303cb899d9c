// Round shapes for libwmf's gd device. That device fills a whole ellipse with
// a "chord" between two equal angles, which paints nothing, fills a chord as
// the triangle between its ends and the centre, and draws rounded rectangles
// with square corners. The hooks installed here replace its ellipse, pie,
// chord and rectangle drawing: the round shapes become polygons in device
// coordinates that go to the device's own polygon drawing, so brush (solid,
// hatched, pattern) and pen come out as they do for a polygon record. Every
// drawing call also gets its pen narrowed to a sane width in pixels.
#pragma once

extern "C" {
#include <libwmf/api.h>
#include <libwmf/ipa.h>
}

namespace miniskop {

// The device functions the hooks draw through. Must outlive the libwmf
// session it is installed in.
struct WmfShapeFill {
    void (*polygon)(wmfAPI*, wmfPolyLine_t*) = nullptr;
    void (*rectangle)(wmfAPI*, wmfDrawRectangle_t*) = nullptr;
    void (*line)(wmfAPI*, wmfDrawLine_t*) = nullptr;
    void (*polyLine)(wmfAPI*, wmfPolyLine_t*) = nullptr;
    void (*polyPolygon)(wmfAPI*, wmfPolyPoly_t*) = nullptr;
    void (*arc)(wmfAPI*, wmfDrawArc_t*) = nullptr;
};

// Installs the hooks into a session created with the gd device; `state`
// keeps the device's own functions. Takes the session's user_data slot.
void installWmfShapeFill(wmfAPI* api, WmfShapeFill& state);

}  // namespace miniskop
