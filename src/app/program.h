#pragma once

#include <QString>

#include <functional>

namespace qv {

inline const QString kAppTitle = QStringLiteral("QuervinStudio");

// Outer size in twips given to every new query window, set when the frame loads; also the
// reference size from which a window records its layout margins.
inline constexpr int kMainWidth = 8550;
inline constexpr int kMainHeight = 7500;
extern int gMainWidth;
extern int gMainHeight;

// Saves the settings and the statement ring, then ends the program.
void endProgram();
// What "ends the program" means: by default the event loop is told to quit. Tests replace it.
void setProgramEndHandler(std::function<void()> handler);

// The logical DPI of a widget's screen; 96 when the platform reports none. A template, so the
// core needs no widget header.
template <class Widget>
double logicalDpi(const Widget& w) {
    const int dpi = w.logicalDpiY();
    return dpi > 0 ? dpi : 96.0;
}

// Twips are 1/1440 inch; the screen's logical DPI turns them into pixels.
inline int twipsToPixels(int twips, double dpi) {
    const double px = twips * dpi / 1440.0;
    return static_cast<int>(px >= 0 ? px + 0.5 : px - 0.5);
}
inline int pixelsToTwips(int pixels, double dpi) {
    const double tw = pixels * 1440.0 / dpi;
    return static_cast<int>(tw >= 0 ? tw + 0.5 : tw - 0.5);
}

}  // namespace qv
