// SPDX-License-Identifier: GPL-3.0-or-later
// The plugin's ports as its Turtle declares them, held against the settings
// the command line and the dialog take their ranges from.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <string>

#include "lv2_host.h"
#include "playback/settings.h"

namespace sonavela::plugin::testing {
namespace {

using playback::Setting;
using playback::SettingKind;
using playback::SettingSpec;

struct Range {
  float min = 0;
  float max = 0;
  float fallback = 0;
  unsigned scalePoints = 0;
};

Range PortRange(const Lv2Host& host, const char* symbol) {
  LilvNode* name = lilv_new_string(host.World(), symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(host.Plugin(), name);
  lilv_node_free(name);
  Range range;
  if (port == nullptr) {
    ADD_FAILURE() << "no port " << symbol;
    return range;
  }
  LilvNode* fallback = nullptr;
  LilvNode* min = nullptr;
  LilvNode* max = nullptr;
  lilv_port_get_range(host.Plugin(), port, &fallback, &min, &max);
  range = {lilv_node_as_float(min), lilv_node_as_float(max), lilv_node_as_float(fallback), 0};
  lilv_node_free(fallback);
  lilv_node_free(min);
  lilv_node_free(max);
  LilvScalePoints* points = lilv_port_get_scale_points(host.Plugin(), port);
  range.scalePoints = points != nullptr ? lilv_scale_points_size(points) : 0;
  lilv_scale_points_free(points);
  return range;
}

TEST(PluginPorts, EverySettingOfThePluginHasTheRangeAndDefaultOfTheSettingsTable) {
  const Lv2Host host;
  const struct {
    const char* symbol;
    Setting setting;
  } ports[] = {
      {"voicing", Setting::kVoicing},
      {"pattern", Setting::kPattern},
      {"beats_per_chord", Setting::kBeatsPerChord},
      {"channel", Setting::kChannel},
      {"bass_channel", Setting::kBassChannel},
      {"velocity", Setting::kVelocity},
      {"humanize", Setting::kHumanize},
  };
  for (const auto& p : ports) {
    SCOPED_TRACE(p.symbol);
    const SettingSpec& spec = playback::Spec(p.setting);
    const Range range = PortRange(host, p.symbol);
    if (spec.kind == SettingKind::kChoice) {
      EXPECT_EQ(range.min, 0.0F);
      EXPECT_EQ(range.max, static_cast<float>(spec.values.size() - 1));
      EXPECT_EQ(range.scalePoints, spec.values.size());
    } else {
      EXPECT_EQ(range.min, static_cast<float>(spec.min));
      EXPECT_EQ(range.max, static_cast<float>(spec.max));
    }
    EXPECT_EQ(range.fallback, static_cast<float>(spec.defaultValue));
  }
  // The register is two ports, its ends, which keep the narrowest width apart.
  const SettingSpec& notes = playback::Spec(Setting::kRegister);
  const Range low = PortRange(host, "register_low");
  const Range high = PortRange(host, "register_high");
  EXPECT_EQ(low.min, static_cast<float>(notes.min));
  EXPECT_EQ(low.max, static_cast<float>(notes.max - notes.narrowest));
  EXPECT_EQ(low.fallback, static_cast<float>(notes.defaultValue));
  EXPECT_EQ(high.min, static_cast<float>(notes.min + notes.narrowest));
  EXPECT_EQ(high.max, static_cast<float>(notes.max));
  EXPECT_EQ(high.fallback, static_cast<float>(notes.defaultHigh));
}

}  // namespace
}  // namespace sonavela::plugin::testing
