// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace sonavela {

// What failed, as a kind the front ends word in their own language; the
// parameters of the sentence travel beside it in Error.
enum class ErrorKind : std::uint8_t {
  // MIDI outputs
  kNoSuchDevice,           // number: the index asked for
  kOutputGone,             // subject: the output's name
  kOutputNotOpened,        // subject; detail or cause
  kOutputUnreachable,      // detail
  kOutputFailed,           // nothing more is known
  kVirtualPortNotCreated,  // subject: the port's name; detail or cause
  kVirtualPortFailed,      // subject; detail
  kNoAlsaSequencer,
  kDevicesUnlisted,  // subject: the kind of devices ("JACK", "ALSA"); cause or detail: why
  // JACK
  kNoJackServer,
  kJackVersion,        // detail: libjack's words, if any
  kJackSharedMemory,   // detail
  kJackClientRefused,  // detail
  kJackNotActivated,   // detail
  kJackClientNotSetUp,
  kJackClientNotRun,
  kJackPortGone,
  kJackPortRefused,     // subject: the port; detail
  kJackConnectRefused,  // detail
  kJackNotConnected,
  kJackClientStopped,
  kJackServerQuit,
  kJackInputRemoved,  // subject: the input
  kJackNotTaking,
  kJackLate,
  kNoJackInBuild,
  // masters to follow
  kNoMidiInputNumber,  // subject: the index asked for; number: how many there are; detail: why
                       // kinds of inputs are not listed, a line each
  kNoMidiInputNamed,   // subject: the name asked for; detail as above
  kInputNotOpened,     // subject: the input; detail or cause
  kLinkNotJoined,      // detail: what the network lacks
  kNoMaster,           // this program follows no master
  // the built-in synthesizer
  kSynthNotSetUp,       // detail: FluidSynth's words
  kSynthNotStarted,     // detail
  kNotASoundFont,       // subject: the file
  kSoundFontNotLoaded,  // subject; detail
  kNoAudioOutput,       // detail: each driver tried, with why it failed
  kAudioLost,           // detail
  kAudioDriverIsFile,
  kNoSuchAudioDriver,    // subject: the driver; detail: the drivers there are
  kSoundFontMissing,     // subject: the file; detail: where it was named
  kSoundFontUnreadable,  // subject; detail: where it was named; cause or text after
  kSoundFontIsFolder,    // subject; detail: where it was named
  kSoundFontNotAFile,    // subject; detail
  kSoundFontEmpty,       // subject; detail
  kNoSoundFont,          // detail: the files looked for
  // files
  kNoFileName,
  kIsFolder,
  kNotRegularFile,
  kSystem,        // detail: the system's words (strerror)
  kFileTooLarge,  // number: the limit in MiB
  kWavTooLarge,
  kCutShort,
  kMidiFileNotSaved,  // subject: the file; cause
  kRuleFileNotSaved,  // subject: the file, printable; cause, or detail: the lines it cannot hold
  kUsage,             // detail: the command line's own sentence
  kBadUse,            // detail: what a caller did wrong (a fault of this program)
};

// A failure: its kind and what the sentence names. `cause` is the failure
// underneath, in the same terms, where the system's or a library's own text
// is not all there is to say.
struct Error {
  ErrorKind kind = ErrorKind::kBadUse;
  std::string subject;  // a device, port, input or file, as the user knows it
  std::string detail;   // the library's or system's own words; left as they are
  std::int64_t number = 0;
  std::shared_ptr<const Error> cause;

  [[nodiscard]] static Error Of(ErrorKind kind, std::string subject = {}, std::string detail = {}) {
    return Error{kind, std::move(subject), std::move(detail), 0, nullptr};
  }
  // This failure, caused by `why`.
  [[nodiscard]] Error Because(Error why) && {
    cause = std::make_shared<const Error>(std::move(why));
    return std::move(*this);
  }
};

// The sentence in English, as the command line and the plugin's log say it.
[[nodiscard]] std::string EnglishText(const Error& error);

}  // namespace sonavela
