// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/synth/synth_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#if defined(SONAVELA_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif
#if defined(SONAVELA_HAVE_GLIB)
#include <glib.h>
#endif
#if defined(SONAVELA_HAVE_JACK)
#include <jack/jack.h>

#include "midi/devices/jack/jack_session.h"
#endif

namespace sonavela::midi {

namespace {

#if defined(SONAVELA_HAVE_ALSA)
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

// The sound libraries below FluidSynth print their own complaints (no ALSA
// card, no JACK server, a server that went away), also on their real-time
// threads. The reasons that matter reach the user through FluidSynth's log.
// Their message functions belong to the whole process, and the program's
// other JACK client keeps libjack off stderr as well, so they are never
// handed back to the libraries' defaults.
void QuietSoundLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
#if defined(SONAVELA_HAVE_ALSA)
    snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
#if defined(SONAVELA_HAVE_JACK)
    QuietLibjack();
#endif
  });
}

// The loaders FluidSynth tries on a file that is no SF2 (libinstpatch's DLS
// reader) report their own assertion failures through GLib; FluidSynth's
// log already says what went wrong with the file.
#if defined(SONAVELA_HAVE_GLIB)
class ScopedGLibQuiet {
 public:
  ScopedGLibQuiet() : previous_(g_log_set_default_handler(&Ignore, nullptr)) {}
  ~ScopedGLibQuiet() { (void)g_log_set_default_handler(previous_, nullptr); }
  ScopedGLibQuiet(const ScopedGLibQuiet&) = delete;
  ScopedGLibQuiet& operator=(const ScopedGLibQuiet&) = delete;

 private:
  static void Ignore(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

  GLogFunc previous_;
};
#else
class ScopedGLibQuiet {};
#endif

// Room for minutes of chords sent ahead; when it is full, the callback has
// long stopped taking them.
constexpr std::size_t kScheduleCapacity = 4096;

#if defined(SONAVELA_HAVE_JACK)
struct JackClientDeleter {
  void operator()(jack_client_t* client) const { (void)jack_client_close(client); }
};
#endif

}  // namespace

// FluidSynth's drivers that cannot hand their buffers to a callback of ours.
bool SynthEngine::RendersOnItsOwn(const std::string& name) {
  static constexpr const char* kNames[] = {"sdl2", "portaudio", "oboe", "opensles", "dart", "file"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

std::vector<std::string> SynthEngine::AudioDrivers() {
  std::vector<std::string> names;
  const std::unique_ptr<fluid_settings_t, SettingsDeleter> settings(new_fluid_settings());
  if (settings) {
    fluid_settings_foreach_option(settings.get(), "audio.driver", &names,
                                  [](void* data, const char* /*name*/, const char* option) {
                                    static_cast<std::vector<std::string>*>(data)->push_back(option);
                                  });
  }
  return names;
}

std::optional<JackOutput> SynthEngine::ProbeJack() {
#if defined(SONAVELA_HAVE_JACK)
  QuietSoundLibraries();
  jack_status_t status{};
  const std::unique_ptr<jack_client_t, JackClientDeleter> client(
      jack_client_open("sonavela_probe", JackNoStartServer, &status));
  if (!client) {
    return std::nullopt;
  }
  JackOutput output;
  output.sampleRate = jack_get_sample_rate(client.get());
  output.bufferFrames = static_cast<int>(jack_get_buffer_size(client.get()));
  const char** ports = jack_get_ports(client.get(), nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsInput | JackPortIsPhysical);
  output.hasPlaybackPorts = ports != nullptr && ports[0] != nullptr;
  jack_free(static_cast<void*>(ports));
  return output;
#else
  return std::nullopt;
#endif
}

Result<std::unique_ptr<SynthEngine>> SynthEngine::Create(const std::string& soundFont,
                                                         double sampleRate, const SynthSound& sound,
                                                         bool shared) {
  std::unique_ptr<SynthEngine> engine(new SynthEngine());
  SynthLog& log = engine->log_;
  engine->settings_.reset(new_fluid_settings());
  if (!engine->settings_) {
    return Error::Of(ErrorKind::kSynthNotSetUp, {}, log.Reasons());
  }
  fluid_settings_setnum(engine->settings_.get(), "synth.sample-rate", sampleRate);
  // Off where only our callback renders: it takes every note from a lock-free
  // schedule, so nothing else ever touches the synthesizer while it plays.
  engine->shared_ = shared;
  fluid_settings_setint(engine->settings_.get(), "synth.threadsafe-api", shared ? 1 : 0);
  fluid_settings_setint(engine->settings_.get(), "synth.reverb.active", sound.reverb ? 1 : 0);
  fluid_settings_setint(engine->settings_.get(), "synth.chorus.active", sound.chorus ? 1 : 0);
  if (sound.gainDb != 0.0) {
    double gain = 0.0;
    fluid_settings_getnum_default(engine->settings_.get(), "synth.gain", &gain);
    fluid_settings_setnum(engine->settings_.get(), "synth.gain",
                          gain * std::pow(10.0, sound.gainDb / 20.0));
  }
  engine->synth_.reset(new_fluid_synth(engine->settings_.get()));
  if (!engine->synth_) {
    return Error::Of(ErrorKind::kSynthNotStarted, {}, log.Reasons());
  }
  const ScopedGLibQuiet quietGLib;
  log.Clear();
  if (fluid_is_soundfont(soundFont.c_str()) == 0) {
    return Error::Of(ErrorKind::kNotASoundFont, soundFont);
  }
  log.Clear();
  if (fluid_synth_sfload(engine->synth_.get(), soundFont.c_str(), 1) == FLUID_FAILED) {
    return Error::Of(ErrorKind::kSoundFontNotLoaded, soundFont, log.Reasons());
  }
  return engine;
}

SynthEngine::~SynthEngine() = default;

void SynthEngine::Send(const MidiMessage& message) {
  ApplyMessage(synth_.get(), message);
}

bool SynthEngine::Schedule(const MidiMessage& message, Timestamp at) {
  if (!schedule_) {
    Send(message);
    return true;
  }
  if (schedule_->Push(message, at)) {
    return true;
  }
  scheduleOverflowed_ = true;
  return false;
}

std::chrono::nanoseconds SynthEngine::Lookahead() const {
  return schedule_ ? schedule_->Lookahead(expectedCycleFrames_) : std::chrono::nanoseconds{};
}

int SynthEngine::Play(void* engine, int frames, int /*nfx*/, float* /*fx*/[], int nout,
                      float* out[]) {
  auto* self = static_cast<SynthEngine*>(engine);
  if (frames <= 0 || nout < 2 || out == nullptr) {
    return FLUID_OK;
  }
  // FluidSynth mixes into what is there.
  std::fill_n(out[0], frames, 0.0F);
  std::fill_n(out[1], frames, 0.0F);
  self->schedule_->Process(self->synth_.get(), frames, out[0], out[1], MidiClock::now());
  return FLUID_OK;
}

void SynthEngine::Reset() {
  (void)fluid_synth_all_sounds_off(synth_.get(), -1);
  (void)fluid_synth_system_reset(synth_.get());
}

Status SynthEngine::StartAudio(const std::vector<std::string>& drivers,
                               const std::string& clientName,
                               const std::optional<JackOutput>& jack) {
  // Neither FluidSynth's JACK driver nor anything it loads may launch a
  // sound server behind the user's back.
  setenv("JACK_NO_START_SERVER", "1", 0);
  QuietSoundLibraries();
  fluid_settings_t* settings = settings_.get();
  fluid_settings_setstr(settings, "audio.jack.id", clientName.c_str());
  // Unconnected JACK ports play to nobody, and a JACK user would hear nothing.
  fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
  int periodFrames = 0;
  (void)fluid_settings_getint(settings, "audio.period-size", &periodFrames);
  std::string reasons;
  for (const std::string& name : drivers) {
    std::string reason;
    log_.Clear();
    if (fluid_settings_setstr(settings, "audio.driver", name.c_str()) == FLUID_FAILED) {
      reason = "not available in this FluidSynth";
    } else {
      if (RendersOnItsOwn(name)) {
        if (!shared_) {
          reason = "renders on a thread of its own, and this synthesizer was made without a lock";
          reasons += (reasons.empty() ? "" : "; ") + name + ": " + reason;
          continue;
        }
        driver_.reset(new_fluid_audio_driver(settings, synth_.get()));
      } else {
        double sampleRate = 0;
        (void)fluid_settings_getnum(settings, "synth.sample-rate", &sampleRate);
        schedule_ = std::make_unique<SynthSchedule>(
            sampleRate, fluid_synth_get_internal_bufsize(synth_.get()), kScheduleCapacity);
        driver_.reset(new_fluid_audio_driver2(settings, &SynthEngine::Play, this));
      }
      if (driver_) {
        audioDriverName_ = name;
        // JACK calls back with its own period, the others with FluidSynth's.
        expectedCycleFrames_ =
            name == "jack" && jack && jack->bufferFrames > 0 ? jack->bufferFrames : periodFrames;
        log_.WatchAudio();
        return {};
      }
      schedule_.reset();
      reason = log_.Reasons();
      if (reason.empty()) {
        reason = "failed";
      }
    }
    reasons += (reasons.empty() ? "" : "; ") + name + ": " + reason;
  }
  return Error::Of(ErrorKind::kNoAudioOutput, {}, reasons);
}

std::optional<Error> SynthEngine::AudioFailure() const {
  std::optional<std::string> loss = log_.AudioLoss();
  if (!loss && scheduleOverflowed_) {
    loss = "its audio callback stopped taking notes";
  }
  if (!loss) {
    return std::nullopt;
  }
  return Error::Of(ErrorKind::kAudioLost, {}, *loss);
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
