#include "midi/synth_engine.h"

#include <cstdlib>

#if defined(SONAVELA_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif
#if defined(SONAVELA_HAVE_JACK)
#include <jack/jack.h>
#endif

namespace sonavela::midi {

namespace {

#if defined(SONAVELA_HAVE_ALSA)
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

// Trying audio drivers one after the other makes the sound libraries below
// FluidSynth print their own complaints (no ALSA card, no JACK server). The
// reasons that matter reach the user through FluidSynth's log instead, so the
// libraries are kept quiet while the drivers are tried.
class ScopedSoundLibrariesQuiet {
 public:
  ScopedSoundLibrariesQuiet() {
#if defined(SONAVELA_HAVE_ALSA)
    snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
#if defined(SONAVELA_HAVE_JACK)
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
#endif
  }
  ~ScopedSoundLibrariesQuiet() {
#if defined(SONAVELA_HAVE_ALSA)
    snd_lib_error_set_handler(nullptr);
#endif
#if defined(SONAVELA_HAVE_JACK)
    jack_set_error_function(nullptr);
    jack_set_info_function(nullptr);
#endif
  }
  ScopedSoundLibrariesQuiet(const ScopedSoundLibrariesQuiet&) = delete;
  ScopedSoundLibrariesQuiet& operator=(const ScopedSoundLibrariesQuiet&) = delete;
};

// FluidSynth reports its reasons only through its log. While a setup step
// runs, its errors and warnings are collected so that the user sees them in
// the failure message rather than scattered on stderr.
class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    for (int level : kLevels) {
      fluid_set_log_function(level, &Collect, &text_);
    }
  }
  ~ScopedLogCapture() {
    for (int level : kLevels) {
      fluid_set_log_function(level, fluid_default_log_function, nullptr);
    }
  }
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  // The collected text, emptied for the next step.
  std::string Take() {
    std::string taken;
    taken.swap(text_);
    return taken;
  }

 private:
  static constexpr int kLevels[] = {FLUID_PANIC, FLUID_ERR, FLUID_WARN};

  static void Collect(int /*level*/, const char* message, void* data) {
    auto* text = static_cast<std::string*>(data);
    if (!text->empty()) {
      *text += "; ";
    }
    *text += message;
  }

  std::string text_;
};

std::string WithReason(std::string what, const std::string& reason) {
  if (!reason.empty()) {
    what += " (" + reason + ")";
  }
  return what;
}

}  // namespace

std::unique_ptr<SynthEngine> SynthEngine::Create(const std::string& soundFont, double sampleRate,
                                                 std::string& error) {
  ScopedLogCapture log;
  std::unique_ptr<SynthEngine> engine(new SynthEngine());
  engine->settings_.reset(new_fluid_settings());
  if (!engine->settings_) {
    error = WithReason("The built-in synthesizer could not be set up", log.Take());
    return nullptr;
  }
  fluid_settings_setnum(engine->settings_.get(), "synth.sample-rate", sampleRate);
  engine->synth_.reset(new_fluid_synth(engine->settings_.get()));
  if (!engine->synth_) {
    error = WithReason("The built-in synthesizer could not be started", log.Take());
    return nullptr;
  }
  if (fluid_synth_sfload(engine->synth_.get(), soundFont.c_str(), 1) == FLUID_FAILED) {
    error = WithReason("The SoundFont \"" + soundFont + "\" could not be loaded", log.Take());
    return nullptr;
  }
  return engine;
}

SynthEngine::~SynthEngine() = default;

void SynthEngine::Send(std::uint32_t message) {
  fluid_synth_t* synth = synth_.get();
  const int status = static_cast<int>(message & 0xFF);
  const int channel = status & 0x0F;
  const int data1 = static_cast<int>((message >> 8) & 0x7F);
  const int data2 = static_cast<int>((message >> 16) & 0x7F);
  // FluidSynth's own return codes only repeat what the message said; there is
  // no one to tell about a refused note.
  switch (status & 0xF0) {
    case 0x80:
      (void)fluid_synth_noteoff(synth, channel, data1);
      break;
    case 0x90:
      (void)fluid_synth_noteon(synth, channel, data1, data2);
      break;
    case 0xA0:
      (void)fluid_synth_key_pressure(synth, channel, data1, data2);
      break;
    case 0xB0:
      (void)fluid_synth_cc(synth, channel, data1, data2);
      break;
    case 0xC0:
      (void)fluid_synth_program_change(synth, channel, data1);
      break;
    case 0xD0:
      (void)fluid_synth_channel_pressure(synth, channel, data1);
      break;
    case 0xE0:
      (void)fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
      break;
    default:
      if (status == 0xFF) {
        (void)fluid_synth_system_reset(synth);
      }
      break;
  }
}

void SynthEngine::Reset() {
  (void)fluid_synth_all_sounds_off(synth_.get(), -1);
  (void)fluid_synth_system_reset(synth_.get());
}

bool SynthEngine::StartAudio(const std::vector<std::string>& drivers, const std::string& clientName,
                             std::string& error) {
  // Neither FluidSynth's JACK driver nor anything it loads may launch a
  // sound server behind the user's back.
  setenv("JACK_NO_START_SERVER", "1", 0);
  ScopedLogCapture log;
  ScopedSoundLibrariesQuiet quiet;
  fluid_settings_t* settings = settings_.get();
  fluid_settings_setstr(settings, "audio.jack.id", clientName.c_str());
  std::string reasons;
  for (const std::string& name : drivers) {
    std::string reason;
    if (fluid_settings_setstr(settings, "audio.driver", name.c_str()) == FLUID_FAILED) {
      reason = "not available in this FluidSynth";
    } else {
      driver_.reset(new_fluid_audio_driver(settings, synth_.get()));
      if (driver_) {
        audioDriverName_ = name;
        (void)log.Take();
        return true;
      }
      reason = log.Take();
      if (reason.empty()) {
        reason = "failed";
      }
    }
    reasons += (reasons.empty() ? "" : "; ") + name + ": " + reason;
  }
  error = "No audio output for the built-in synthesizer (" + reasons +
          "). Set SONAVELA_AUDIO_DRIVER to choose a FluidSynth audio driver.";
  return false;
}

void SynthEngine::Render(std::span<std::int16_t> interleavedStereo) {
  const int frames = static_cast<int>(interleavedStereo.size() / 2);
  if (frames == 0) {
    return;
  }
  (void)fluid_synth_write_s16(synth_.get(), frames, interleavedStereo.data(), 0, 2,
                              interleavedStereo.data(), 1, 2);
}

}  // namespace sonavela::midi
