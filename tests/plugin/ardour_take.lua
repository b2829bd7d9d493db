-- SPDX-License-Identifier: GPL-3.0-or-later
-- For ardour7-lua: a session on the Dummy backend at 48 kHz with the plugin
-- on a MIDI track and a second track recording its output, rolled from bar 1
-- for $SONAVELA_SECONDS seconds at the session's 120 BPM, saved in
-- $SONAVELA_SESSION.
local function must(ok, what)
  if not ok then
    print("ardour_take: " .. what)
    quit()
  end
end

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
must(backend ~= nil, "no Dummy backend")
backend:set_device_name("Silence")
backend:set_sample_rate(48000)
backend:set_buffer_size(256)
must(AudioEngine:start(false) == 0, "the engine did not start")
must(create_session(os.getenv("SONAVELA_SESSION"), "take", 48000), "no session")

local one = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local function track(name)
  return Session:new_midi_track(one, one, false, ARDOUR.PluginInfo(), nil, nil, 1, name,
    ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal):front()
end
local gen = track("Gen")
local rec = track("Rec")
local plugin = ARDOUR.LuaAPI.new_plugin(Session, "https://sonavela.github.io/lv2/sonavela",
  ARDOUR.PluginType.LV2, "")
must(not plugin:isnil(), "the plugin did not load")
gen:add_processor_by_index(plugin, 0, nil, true)
rec:input():disconnect_all(nil)
rec:input():midi(0):connect(gen:output():midi(0):name())
rec:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)

Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(math.floor(tonumber(os.getenv("SONAVELA_SECONDS")) * 1000000))
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(500000)
Session:disable_record(false, false)
Session:save_state("", false, false, false, false, false)
print("ardour_take: recorded")
close_session()
quit()
