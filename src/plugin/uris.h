// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

namespace sonavela::plugin {

inline constexpr const char* kPluginUri = "https://sonavela.github.io/lv2/sonavela";
inline constexpr const char* kRuleFileUri = "https://sonavela.github.io/lv2/sonavela#ruleFile";
inline constexpr const char* kRulesUri = "https://sonavela.github.io/lv2/sonavela#rules";

// The URIs the plugin reads and writes, mapped once at instantiation.
struct Uris {
  explicit Uris(const LV2_URID_Map& map)
      : atomBlank(Map(map, LV2_ATOM__Blank)),
        atomObject(Map(map, LV2_ATOM__Object)),
        atomFloat(Map(map, LV2_ATOM__Float)),
        atomDouble(Map(map, LV2_ATOM__Double)),
        atomInt(Map(map, LV2_ATOM__Int)),
        atomLong(Map(map, LV2_ATOM__Long)),
        atomPath(Map(map, LV2_ATOM__Path)),
        atomString(Map(map, LV2_ATOM__String)),
        atomUrid(Map(map, LV2_ATOM__URID)),
        midiEvent(Map(map, LV2_MIDI__MidiEvent)),
        patchGet(Map(map, LV2_PATCH__Get)),
        patchSet(Map(map, LV2_PATCH__Set)),
        patchProperty(Map(map, LV2_PATCH__property)),
        patchValue(Map(map, LV2_PATCH__value)),
        timePosition(Map(map, LV2_TIME__Position)),
        timeBar(Map(map, LV2_TIME__bar)),
        timeBarBeat(Map(map, LV2_TIME__barBeat)),
        timeBeatsPerBar(Map(map, LV2_TIME__beatsPerBar)),
        timeBeatsPerMinute(Map(map, LV2_TIME__beatsPerMinute)),
        timeSpeed(Map(map, LV2_TIME__speed)),
        ruleFile(Map(map, kRuleFileUri)),
        rules(Map(map, kRulesUri)) {}

  LV2_URID atomBlank;
  LV2_URID atomObject;
  LV2_URID atomFloat;
  LV2_URID atomDouble;
  LV2_URID atomInt;
  LV2_URID atomLong;
  LV2_URID atomPath;
  LV2_URID atomString;
  LV2_URID atomUrid;
  LV2_URID midiEvent;
  LV2_URID patchGet;
  LV2_URID patchSet;
  LV2_URID patchProperty;
  LV2_URID patchValue;
  LV2_URID timePosition;
  LV2_URID timeBar;
  LV2_URID timeBarBeat;
  LV2_URID timeBeatsPerBar;
  LV2_URID timeBeatsPerMinute;
  LV2_URID timeSpeed;
  LV2_URID ruleFile;
  LV2_URID rules;

 private:
  static LV2_URID Map(const LV2_URID_Map& map, const char* uri) { return map.map(map.handle, uri); }
};

}  // namespace sonavela::plugin
