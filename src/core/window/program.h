#pragma once

#include <QString>

#include <functional>

namespace qv {

inline const QString kAppTitle = QStringLiteral("QuervinStudio");

// Outer size in twips of every new query window; also the reference size from which a window
// records its layout margins.
inline constexpr int kQueryWindowWidth = 8550;
inline constexpr int kQueryWindowHeight = 7500;

// Saves the settings and the statement ring, then ends the program.
void endProgram();
// What "ends the program" means: by default the event loop is told to quit. Tests replace it.
void setProgramEndHandler(std::function<void()> handler);

}  // namespace qv
