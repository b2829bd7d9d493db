// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/error.h"

namespace sonavela {

namespace {

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// " (detail)", or nothing.
std::string InParentheses(const std::string& detail) {
  return detail.empty() ? std::string() : " (" + detail + ")";
}

// How a sentence about something that could not be done ends: with what
// caused it, or the library's words, or just the full stop.
std::string Ending(const Error& error) {
  if (error.cause) {
    return ": " + EnglishText(*error.cause) + ".";
  }
  return InParentheses(error.detail) + ".";
}

std::string NotListed(const std::string& lines) {
  std::string text;
  std::size_t begin = 0;
  while (begin < lines.size()) {
    std::size_t end = lines.find('\n', begin);
    if (end == std::string::npos) {
      end = lines.size();
    }
    text += "; not listed: " + lines.substr(begin, end - begin);
    begin = end + 1;
  }
  return text;
}

std::string SoundFont(const Error& error) {
  return "The SoundFont " + Quoted(error.subject) + " (" + error.detail + ") ";
}

}  // namespace

std::string EnglishText(const Error& error) {
  switch (error.kind) {
    case ErrorKind::kNoSuchDevice:
      return "There is no MIDI output device number " + std::to_string(error.number) + ".";
    case ErrorKind::kOutputGone:
      return "The MIDI output " + Quoted(error.subject) + " is no longer available.";
    case ErrorKind::kOutputNotOpened:
      return "The MIDI output " + Quoted(error.subject) + " could not be opened" + Ending(error);
    case ErrorKind::kOutputUnreachable:
      return "The MIDI output cannot be reached any more" + InParentheses(error.detail) + ".";
    case ErrorKind::kOutputFailed:
      return "the MIDI output failed";
    case ErrorKind::kVirtualPortNotCreated:
      return "The " + error.subject + " could not be created" + Ending(error);
    case ErrorKind::kVirtualPortFailed:
      return "The " + error.subject + " failed" + InParentheses(error.detail) + ".";
    case ErrorKind::kNoAlsaSequencer:
      return "no ALSA sequencer (/dev/snd/seq is missing or not accessible)";
    case ErrorKind::kDevicesUnlisted:
      return error.subject + ": " + (error.cause ? EnglishText(*error.cause) : error.detail);
    case ErrorKind::kNoJackServer:
      return "no JACK server is running";
    case ErrorKind::kJackVersion:
      return "the JACK server speaks another protocol version" + InParentheses(error.detail);
    case ErrorKind::kJackSharedMemory:
      return "the JACK server's shared memory cannot be reached" + InParentheses(error.detail);
    case ErrorKind::kJackClientRefused:
      return "the JACK server refused the client" + InParentheses(error.detail);
    case ErrorKind::kJackNotActivated:
      return "the JACK client could not be activated" + InParentheses(error.detail);
    case ErrorKind::kJackClientNotSetUp:
      return "the JACK client could not be set up" + InParentheses(error.detail);
    case ErrorKind::kJackClientNotRun:
      return "the JACK server does not run the client";
    case ErrorKind::kJackPortGone:
      return "it is no longer available";
    case ErrorKind::kJackPortRefused:
      return "JACK refused the port " + Quoted(error.subject) + InParentheses(error.detail);
    case ErrorKind::kJackConnectRefused:
      return "JACK refused to connect to it" + InParentheses(error.detail);
    case ErrorKind::kJackNotConnected:
      return "it could not be connected";
    case ErrorKind::kJackClientStopped:
      return "the JACK server stopped this program's client (it fell behind)";
    case ErrorKind::kJackServerQuit:
      return "the JACK server has quit";
    case ErrorKind::kJackInputRemoved:
      return "the MIDI input " + Quoted(error.subject) + " was removed";
    case ErrorKind::kJackNotTaking:
      return "the JACK server has stopped taking MIDI messages";
    case ErrorKind::kJackLate:
      return "the JACK server did not deliver the last MIDI messages in time";
    case ErrorKind::kNoJackInBuild:
      return "this build of the program has no JACK";
    case ErrorKind::kNoMidiInputNumber:
      return "there is no MIDI input " + error.subject + " (there " +
             (error.number == 1 ? "is 1 input"
                                : "are " + std::to_string(error.number) + " inputs") +
             ")" + NotListed(error.detail);
    case ErrorKind::kNoMidiInputNamed:
      return "there is no MIDI input named " + Quoted(error.subject) + NotListed(error.detail);
    case ErrorKind::kInputNotOpened:
      return "the MIDI input " + Quoted(error.subject) + " could not be opened" +
             (error.cause ? " (" + EnglishText(*error.cause) + ")" : InParentheses(error.detail));
    case ErrorKind::kLinkNotJoined:
      return "cannot join an Ableton Link session: " + error.detail;
    case ErrorKind::kNoMaster:
      return "this program follows no master";
    case ErrorKind::kSynthNotSetUp:
      return "The built-in synthesizer could not be set up" + InParentheses(error.detail);
    case ErrorKind::kSynthNotStarted:
      return "The built-in synthesizer could not be started" + InParentheses(error.detail);
    case ErrorKind::kNotASoundFont:
      return "The file " + Quoted(error.subject) + " is not a SoundFont (SF2, SF3 or DLS).";
    case ErrorKind::kSoundFontNotLoaded:
      return "The SoundFont " + Quoted(error.subject) + " could not be loaded" +
             InParentheses(error.detail);
    case ErrorKind::kNoAudioOutput:
      return "No audio output for the built-in synthesizer" + InParentheses(error.detail) +
             ". Set SONAVELA_AUDIO_DRIVER to choose a FluidSynth audio driver.";
    case ErrorKind::kAudioLost:
      return "the built-in synthesizer lost its audio output" + InParentheses(error.detail);
    case ErrorKind::kAudioDriverIsFile:
      return "The audio driver \"file\" writes fluidsynth.wav into the current folder instead of "
             "playing; to render into a WAV file, use sonavela-cli --wav.";
    case ErrorKind::kNoSuchAudioDriver:
      return "This FluidSynth has no audio driver " + Quoted(error.subject) +
             (error.detail.empty()
                  ? ", nor any other to play live."
                  : ". Set SONAVELA_AUDIO_DRIVER to one of: " + error.detail + ".");
    case ErrorKind::kSoundFontMissing:
      return SoundFont(error) + "does not exist.";
    case ErrorKind::kSoundFontUnreadable:
      return SoundFont(error) + "cannot be read" +
             (error.cause ? ": " + EnglishText(*error.cause) : std::string()) + ".";
    case ErrorKind::kSoundFontIsFolder:
      return SoundFont(error) + "is a folder, not a file.";
    case ErrorKind::kSoundFontNotAFile:
      return SoundFont(error) + "is not a regular file.";
    case ErrorKind::kSoundFontEmpty:
      return SoundFont(error) + "is empty.";
    case ErrorKind::kNoSoundFont:
      return "No General MIDI SoundFont found. Install one (for example the package "
             "timgm6mb-soundfont or fluid-soundfont-gm) or set SONAVELA_SOUNDFONT. Looked for:" +
             error.detail;
    case ErrorKind::kNoFileName:
      return "no file name was given";
    case ErrorKind::kIsFolder:
      return "is a folder";
    case ErrorKind::kNotRegularFile:
      return "is not a regular file (a device, FIFO or socket is never replaced)";
    case ErrorKind::kSystem:
      return error.detail;
    case ErrorKind::kFileTooLarge:
      return "larger than " + std::to_string(error.number) + " MiB, not a rule file";
    case ErrorKind::kWavTooLarge:
      return "a WAV file cannot hold more than 4 GiB";
    case ErrorKind::kCutShort:
      return "the recording's temporary file was cut short";
    case ErrorKind::kMidiFileNotSaved:
      return "Cannot save the MIDI file " + Quoted(error.subject) + Ending(error);
    case ErrorKind::kRuleFileNotSaved:
      return error.subject +
             ": cannot save: " + (error.cause ? EnglishText(*error.cause) : error.detail);
    case ErrorKind::kUsage:
    case ErrorKind::kBadUse:
      return error.detail;
  }
  return error.detail;
}

}  // namespace sonavela
