// The terminal font: the face named in the settings when it exists, else a
// CJK monospace face whose full-width glyphs are exactly two half-widths
// ("FixedSys" and the platform default do not exist here).
#pragma once

#include <QFont>
#include <QString>

namespace nami {

// The face to use for `requested` (empty or missing: the CJK fallback).
QString ResolveFontFamily(const QString& requested);
// A fixed-pitch font of `family` (resolved) whose height is `size` pixels.
QFont MakeTerminalFont(const QString& requested, int size);
// The small dialogs' font: a proportional Japanese gothic face, 9 point.
QFont DialogFont();

}  // namespace nami
