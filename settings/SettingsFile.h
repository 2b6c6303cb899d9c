// "Miniskop.ini": where it lives, reading it into ThumbSettings (Ini_Lesen) and
// saving the six stored fields (Speichern).
#pragma once

#include <QString>

#include "Expected.h"
#include "ThumbSettings.h"

namespace miniskop {

inline constexpr char kSettingsFileName[] = "Miniskop.ini";
inline constexpr int kProfileBufferSize = 255;

// Where the settings file is: next to the program when a "Miniskop.ini" is
// already there or that folder is writable (portable use); otherwise in
// `userConfigDir` (created on first save). A writable system folder (/usr/...,
// writable for root) does not count as portable use.
QString settingsFilePath(const QString& programDir, const QString& userConfigDir);

// Whether Ini_Lesen may write the file when it falls back to the defaults.
// The batch tool only reads.
enum class DefaultsWrite { Allowed, Never };

// Reads the settings file at `iniPath` into `settings` in eight steps; when the
// text read last is empty it restores the defaults and saves them (unless
// `write` is Never). Returns the status of that save (success when none).
Status Ini_Lesen(ThumbSettings& settings, const QString& iniPath,
                 DefaultsWrite write = DefaultsWrite::Allowed);

// "Speichern": writes the six stored fields in order.
Status Speichern(const ThumbSettings& settings, const QString& iniPath);

}  // namespace miniskop
