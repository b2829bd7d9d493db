// SPDX-License-Identifier: GPL-3.0-or-later
#include "lv2_host.h"

#include <gtest/gtest.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "allocation_counter.h"

namespace sonavela::plugin::testing {
namespace {

constexpr const char* kRuleFileUri = "https://sonavela.github.io/lv2/sonavela#ruleFile";
constexpr std::size_t kInputBytes = 64 * 1024;
constexpr std::size_t kOutputBytes = 64 * 1024;

}  // namespace

Lv2Host::Urids::Urids(LV2_URID_Map& map)
    : atomChunk(map.map(map.handle, LV2_ATOM__Chunk)),
      atomFloat(map.map(map.handle, LV2_ATOM__Float)),
      atomObject(map.map(map.handle, LV2_ATOM__Object)),
      atomBlank(map.map(map.handle, LV2_ATOM__Blank)),
      atomPath(map.map(map.handle, LV2_ATOM__Path)),
      atomSequence(map.map(map.handle, LV2_ATOM__Sequence)),
      atomUrid(map.map(map.handle, LV2_ATOM__URID)),
      midiEvent(map.map(map.handle, LV2_MIDI__MidiEvent)),
      patchSet(map.map(map.handle, LV2_PATCH__Set)),
      patchProperty(map.map(map.handle, LV2_PATCH__property)),
      patchValue(map.map(map.handle, LV2_PATCH__value)),
      ruleFile(map.map(map.handle, kRuleFileUri)),
      timePosition(map.map(map.handle, LV2_TIME__Position)),
      timeFrame(map.map(map.handle, LV2_TIME__frame)),
      timeSpeed(map.map(map.handle, LV2_TIME__speed)),
      timeBar(map.map(map.handle, LV2_TIME__bar)),
      timeBarBeat(map.map(map.handle, LV2_TIME__barBeat)),
      timeBeatsPerBar(map.map(map.handle, LV2_TIME__beatsPerBar)),
      timeBeatsPerMinute(map.map(map.handle, LV2_TIME__beatsPerMinute)),
      timeBeatUnit(map.map(map.handle, LV2_TIME__beatUnit)),
      logError(map.map(map.handle, LV2_LOG__Error)),
      logWarning(map.map(map.handle, LV2_LOG__Warning)),
      logNote(map.map(map.handle, LV2_LOG__Note)),
      logTrace(map.map(map.handle, LV2_LOG__Trace)) {}

void Lv2Host::InstanceDeleter::operator()(LilvInstance* instance) const {
  lilv_instance_free(instance);
}

Lv2Host::Lv2Host(const HostOptions& options)
    : input_(kInputBytes / sizeof(std::uint64_t)), output_(kOutputBytes / sizeof(std::uint64_t)) {
  featureList_ = {{{LV2_URID__map, &map_},
                   {LV2_URID__unmap, &unmap_},
                   {LV2_WORKER__schedule, &schedule_},
                   {LV2_LOG__log, &logFeature_}}};
  for (std::size_t i = 0; i < featureList_.size(); ++i) {
    features_[i] = &featureList_[i];
  }
  lv2_atom_forge_init(&forge_, &map_);

  world_.reset(lilv_world_new());
  const std::string bundleDir = Bundle().string() + "/";
  LilvNode* bundle = lilv_new_file_uri(world_.get(), nullptr, bundleDir.c_str());
  lilv_world_load_bundle(world_.get(), bundle);
  lilv_node_free(bundle);
  LilvNode* uri = lilv_new_uri(world_.get(), kPluginUri);
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_.get()), uri);
  lilv_node_free(uri);
  if (plugin_ == nullptr) {
    throw std::runtime_error(bundleDir + " has no plugin " + kPluginUri);
  }
  CheckPorts();

  std::vector<float> defaults(kPortSymbols.size(), 0.0f);
  lilv_plugin_get_port_ranges_float(plugin_, nullptr, nullptr, defaults.data());
  std::copy(defaults.begin(), defaults.end(), controls_.begin());

  instance_.reset(lilv_plugin_instantiate(plugin_, kSampleRate, features_.data()));
  if (!instance_) {
    throw std::runtime_error("the plugin did not instantiate");
  }
  worker_ = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(instance_.get(), LV2_WORKER__interface));
  if (worker_ == nullptr || worker_->work == nullptr || worker_->work_response == nullptr) {
    throw std::runtime_error("the plugin has no work:interface");
  }
  lilv_instance_connect_port(instance_.get(), 0, input_.data());
  lilv_instance_connect_port(instance_.get(), 1, output_.data());
  for (std::uint32_t port = 2; port < controls_.size(); ++port) {
    lilv_instance_connect_port(instance_.get(), port, &controls_[port]);
  }
  if (!options.restoreFrom.empty()) {
    Restore(options.restoreFrom);
  }
  lilv_instance_activate(instance_.get());
  active_ = true;
}

Lv2Host::~Lv2Host() {
  if (active_) {
    lilv_instance_deactivate(instance_.get());
  }
}

void Lv2Host::CheckPorts() const {
  if (lilv_plugin_get_num_ports(plugin_) != kPortSymbols.size()) {
    throw std::runtime_error("the plugin has " +
                             std::to_string(lilv_plugin_get_num_ports(plugin_)) + " ports, not " +
                             std::to_string(kPortSymbols.size()));
  }
  for (std::uint32_t i = 0; i < kPortSymbols.size(); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
    const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin_, port));
    if (std::strcmp(symbol, kPortSymbols[i]) != 0) {
      throw std::runtime_error("port " + std::to_string(i) + " is " + symbol + ", not " +
                               kPortSymbols[i]);
    }
  }
}

void Lv2Host::SetControl(Control control, float value) {
  controls_[static_cast<std::size_t>(control)] = value;
}

float Lv2Host::GetControl(Control control) const {
  return controls_[static_cast<std::size_t>(control)];
}

void Lv2Host::SendPosition(std::int64_t frame, const Position& position) {
  pending_.emplace(frame, position);
}

void Lv2Host::SendRuleFile(std::int64_t frame, const std::string& path) {
  pending_.emplace(frame, RuleFileEvent{path});
}

void Lv2Host::RunUntil(std::int64_t frame, std::uint32_t block) {
  while (frame_ < frame) {
    RunCycle(block);
  }
}

void Lv2Host::RunCycle(std::uint32_t frames) {
  if (cyclesStarted_ == 0) {
    BetweenCycles(-1);
  }
  ForgeInput(frames);
  auto* out = reinterpret_cast<LV2_Atom*>(output_.data());
  out->size = static_cast<std::uint32_t>(kOutputBytes - sizeof(LV2_Atom));
  out->type = urids_.atomChunk;
  ++cyclesStarted_;
  timespec before{};
  timespec after{};
  {
    const CountingRegion realtime(Region::kRealtime);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    lilv_instance_run(instance_.get(), frames);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
  }
  if (measureRuns_) {
    runNanoseconds_.push_back((after.tv_sec - before.tv_sec) * 1'000'000'000LL + after.tv_nsec -
                              before.tv_nsec);
  }
  DecodeOutput(frames);
  frame_ += frames;
  BetweenCycles(cyclesStarted_ - 1);
  if (queueOverflow_) {
    Fail("the worker's queues were full");
    queueOverflow_ = false;
  }
}

void Lv2Host::ForgeInput(std::uint32_t frames) {
  lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<std::uint8_t*>(input_.data()), kInputBytes);
  LV2_Atom_Forge_Frame sequence;
  lv2_atom_forge_sequence_head(&forge_, &sequence, 0);
  const auto end = pending_.lower_bound(frame_ + frames);
  for (auto it = pending_.begin(); it != end; ++it) {
    ForgeEvent(static_cast<std::uint32_t>(std::max<std::int64_t>(0, it->first - frame_)),
               it->second);
  }
  lv2_atom_forge_pop(&forge_, &sequence);
  pending_.erase(pending_.begin(), end);
}

void Lv2Host::ForgeEvent(std::uint32_t offset, const Event& event) {
  LV2_Atom_Forge* f = &forge_;
  LV2_Atom_Forge_Frame object;
  if (lv2_atom_forge_frame_time(f, offset) == 0) {
    Fail("the control input is full");
    return;
  }
  if (const auto* p = std::get_if<Position>(&event)) {
    const double beat = static_cast<double>(p->bar) * p->beatsPerBar + p->barBeat;
    lv2_atom_forge_object(f, &object, 0, urids_.timePosition);
    lv2_atom_forge_key(f, urids_.timeFrame);
    lv2_atom_forge_long(f, std::llround(beat * 60.0 / p->beatsPerMinute * kSampleRate));
    lv2_atom_forge_key(f, urids_.timeSpeed);
    lv2_atom_forge_float(f, static_cast<float>(p->speed));
    lv2_atom_forge_key(f, urids_.timeBar);
    lv2_atom_forge_long(f, p->bar);
    lv2_atom_forge_key(f, urids_.timeBarBeat);
    lv2_atom_forge_float(f, static_cast<float>(p->barBeat));
    lv2_atom_forge_key(f, urids_.timeBeatUnit);
    lv2_atom_forge_int(f, 4);
    lv2_atom_forge_key(f, urids_.timeBeatsPerBar);
    lv2_atom_forge_float(f, static_cast<float>(p->beatsPerBar));
    lv2_atom_forge_key(f, urids_.timeBeatsPerMinute);
    lv2_atom_forge_float(f, static_cast<float>(p->beatsPerMinute));
  } else {
    const std::string& path = std::get<RuleFileEvent>(event).path;
    lv2_atom_forge_object(f, &object, 0, urids_.patchSet);
    lv2_atom_forge_key(f, urids_.patchProperty);
    lv2_atom_forge_urid(f, urids_.ruleFile);
    lv2_atom_forge_key(f, urids_.patchValue);
    lv2_atom_forge_path(f, path.c_str(), static_cast<std::uint32_t>(path.size()));
  }
  lv2_atom_forge_pop(f, &object);
}

void Lv2Host::DecodeOutput(std::uint32_t frames) {
  const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(output_.data());
  if (sequence->atom.type != urids_.atomSequence ||
      sequence->atom.size > kOutputBytes - sizeof(LV2_Atom)) {
    Fail("midi_out does not hold a sequence after run()");
    return;
  }
  std::int64_t last = 0;
  LV2_ATOM_SEQUENCE_FOREACH(sequence, ev) {
    const std::int64_t at = ev->time.frames;
    if (at < last || at >= frames) {
      Fail("an output event at frame " + std::to_string(at) + " of a cycle of " +
           std::to_string(frames) + ", after one at " + std::to_string(last));
    }
    last = at;
    if (ev->body.type == urids_.midiEvent) {
      const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body));
      midi_.push_back({frame_ + at, {bytes, bytes + ev->body.size}});
      continue;
    }
    if (ev->body.type != urids_.atomObject && ev->body.type != urids_.atomBlank) {
      continue;
    }
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    if (object->body.otype != urids_.patchSet) {
      continue;
    }
    lv2_atom_object_get(object, urids_.patchProperty, &property, urids_.patchValue, &value, 0);
    if (property != nullptr && property->type == urids_.atomUrid &&
        reinterpret_cast<const LV2_Atom_URID*>(property)->body == urids_.ruleFile &&
        value != nullptr && value->type == urids_.atomPath) {
      echoes_.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
    }
  }
}

void Lv2Host::BetweenCycles(std::int64_t ran) {
  LV2_Handle handle = lilv_instance_get_handle(instance_.get());
  for (const Slot* request = requests_.Front(); request != nullptr && request->due <= ran;
       request = requests_.Front()) {
    LV2_Worker_Status status = LV2_WORKER_SUCCESS;
    {
      const CountingRegion worker(Region::kWorker);
      status = worker_->work(handle, Respond, this, request->size, request->bytes.data());
    }
    if (status != LV2_WORKER_SUCCESS) {
      Fail("work() returned " + std::to_string(status));
    }
    requests_.Pop();
  }
  bool delivered = false;
  {
    const CountingRegion realtime(Region::kRealtime);
    for (const Slot* response = responses_.Front(); response != nullptr;
         response = responses_.Front()) {
      worker_->work_response(handle, response->size, response->bytes.data());
      responses_.Pop();
      delivered = true;
    }
    if (ran >= 0 && worker_->end_run != nullptr) {
      worker_->end_run(handle);
    }
  }
  if (delivered) {
    responseFrames_.push_back(frame_);
  }
}

bool Lv2Host::SlotQueue::Push(std::uint32_t size, const void* data, std::int64_t due) {
  if (count_ == slots_.size() || size > kSlotBytes) {
    return false;
  }
  Slot& slot = slots_[(head_ + count_) % slots_.size()];
  slot.size = size;
  slot.due = due;
  std::memcpy(slot.bytes.data(), data, size);
  ++count_;
  return true;
}

void Lv2Host::SlotQueue::Pop() {
  head_ = (head_ + 1) % slots_.size();
  --count_;
}

void Lv2Host::Fail(const std::string& what) const {
  ADD_FAILURE() << "LV2 host: " << what;
}

}  // namespace sonavela::plugin::testing
