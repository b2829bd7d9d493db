// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "midi/devices/system_backend.h"
#include "playback/clock_factory.h"
#include "ui/main_dialog.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setDesktopFileName(QStringLiteral("sonavela"));

  sonavela::ui::MainDialogOptions options;
  options.synth = std::make_shared<sonavela::midi::SynthChoice>();
  sonavela::midi::SystemBackendOptions devices;
  devices.synthChoice = options.synth;
  options.backend = sonavela::midi::MakeSystemBackend(devices);
  options.makeClock = [](const sonavela::playback::SyncSettings& settings) {
    return sonavela::playback::MakeClock(settings, settings.GridMeter());
  };
  options.listInputs = [] { return sonavela::playback::ListClockInputs().names; };
  sonavela::ui::MainDialog dialog(std::move(options));
  dialog.exec();
  return 0;
}
