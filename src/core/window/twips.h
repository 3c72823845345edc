#pragma once

namespace qv {

// Geometry in the core is in twips, 1/1440 inch; the screen's logical DPI turns them into
// pixels.
inline int twipsToPixels(int twips, double dpi) {
    const double px = twips * dpi / 1440.0;
    return static_cast<int>(px >= 0 ? px + 0.5 : px - 0.5);
}
inline int pixelsToTwips(int pixels, double dpi) {
    const double tw = pixels * 1440.0 / dpi;
    return static_cast<int>(tw >= 0 ? tw + 0.5 : tw - 0.5);
}

// The logical DPI of a widget's screen; 96 when the platform reports none. A template, so the
// core needs no widget header.
template <class Widget>
double logicalDpi(const Widget& w) {
    const int dpi = w.logicalDpiY();
    return dpi > 0 ? dpi : 96.0;
}

}  // namespace qv
