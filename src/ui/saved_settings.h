// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings beyond the specified controls (音色と声部, テンポと同期),
// kept across a restart in the program's settings, as the language is. The
// specified controls (device, instrument, minor, rule tables) and the home
// key they make always start as specified.

#include <QSettings>

#include "timing/sync_settings.h"
#include "ui/sound_dialog.h"

namespace sonavela::ui {

// The program's settings file (~/.config/Sonavela/Sonavela.conf on Linux).
[[nodiscard]] QSettings ProgramSettings();

void SaveSoundSettings(const SoundSettings& sound);
void SaveSyncSettings(const timing::SyncSettings& sync);
// What was saved, each value only where it is one the setting takes; the
// rest stays as given.
void LoadSavedSettings(SoundSettings& sound, timing::SyncSettings& sync);

}  // namespace sonavela::ui
