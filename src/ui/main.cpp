// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <string_view>

#include "midi/devices/system_backend.h"
#include "playback/licence.h"
#include "timing/clock_factory.h"
#include "ui/language.h"
#include "ui/main_dialog.h"

namespace {

constexpr int kExitUsage = 2;

constexpr std::string_view kHelp = R"(Usage: sonavela [OPTION]...
Opens the dialog that invents an endless chord progression and plays it live.
The same progression without a window: sonavela-cli (see sonavela-cli --help).

Options:
  --lang en|ja   the dialog's language for this run (default: the one last
                 chosen in the window menu, at first Japanese)
  -h, --help     show this help and exit
  --version      print the version and exit
Qt's own options (-platform NAME, -style NAME, -display NAME, ...) are taken too.
)";

void Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// --help and --version are answered before anything needs a display.
std::optional<int> Answered(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Print(kHelp);
      return 0;
    }
    if (arg == "--version") {
      Print("sonavela " SONAVELA_VERSION "\n");
      Print(sonavela::playback::kLicenceNotice);
      return 0;
    }
  }
  return std::nullopt;
}

// "--lang en" or "--lang=en" at the front of `rest`, taken off it.
std::optional<QString> TakeLanguageOption(QStringList& rest) {
  if (rest.isEmpty()) {
    return std::nullopt;
  }
  const QString first = rest.front();
  if (first.startsWith(QStringLiteral("--lang="))) {
    rest.removeFirst();
    return first.mid(7);
  }
  if (first == QStringLiteral("--lang")) {
    rest.removeFirst();
    // Without a value: said as such, not as an empty language.
    return rest.isEmpty() ? QString() : rest.takeFirst();
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const std::optional<int> status = Answered(argc, argv)) {
    return *status;
  }
  QApplication app(argc, argv);
  QApplication::setDesktopFileName(QStringLiteral("sonavela"));
  // Qt has taken its own options out by now; anything else is a mistake.
  QStringList rest = QApplication::arguments().mid(1);
  std::optional<sonavela::ui::Language> language;
  if (const std::optional<QString> name = TakeLanguageOption(rest)) {
    if (name->isEmpty()) {
      std::fprintf(stderr, "sonavela: option '--lang' needs a value: en or ja\n");
      return kExitUsage;
    }
    language = sonavela::ui::LanguageNamed(name->toStdString());
    if (!language) {
      std::fprintf(stderr, "sonavela: --lang: '%s' is neither en nor ja\n", qPrintable(*name));
      return kExitUsage;
    }
  }
  if (!rest.isEmpty()) {
    std::fprintf(stderr, "sonavela: unknown option '%s' (see sonavela --help)\n",
                 qPrintable(rest.front()));
    return kExitUsage;
  }
  sonavela::ui::Translations translations;
  if (!translations.Use(language.value_or(sonavela::ui::SavedLanguage()))) {
    std::fprintf(stderr,
                 "sonavela: a translation is missing (Qt's are looked for in %s): some texts "
                 "stay as they are written (Debian package qt6-translations-l10n)\n",
                 qPrintable(sonavela::ui::QtTranslationFolder()));
  }

  sonavela::ui::MainDialogOptions options;
  options.synth = std::make_shared<sonavela::midi::SynthChoice>();
  sonavela::midi::SystemBackendOptions devices;
  devices.synthChoice = options.synth;
  options.backend = sonavela::midi::MakeSystemBackend(devices);
  options.makeClock = [](const sonavela::timing::SyncSettings& settings) {
    return sonavela::timing::MakeClock(settings, settings.GridMeter());
  };
  options.listInputs = [] { return sonavela::timing::ListClockInputs().names; };
  options.translations = &translations;
  options.rememberSettings = true;
  sonavela::ui::MainDialog dialog(std::move(options));
  dialog.exec();
  return 0;
}
