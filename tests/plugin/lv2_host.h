// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small LV2 host for the plugin's tests, on lilv: it loads the bundle that
// `cmake --install --component lv2` puts into a temporary prefix (once per
// test process), runs the plugin in cycles of a chosen length, feeds it
// time:Position and patch:Set events at given frames, and records what comes
// out with absolute frames. Its worker is deferred and deterministic: the
// plugin's work() runs between cycles, optionally some cycles late, and the
// responses reach work_response() before the next run(). Only run(),
// work_response() and end_run() are counted by the allocation counter.
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdarg>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace sonavela::plugin::testing {

inline constexpr double kSampleRate = 48000.0;
inline constexpr const char* kPluginUri = "https://sonavela.github.io/lv2/sonavela";

// The ports' symbols, by index.
inline constexpr std::array<const char*, 15> kPortSymbols{
    "control", "midi_out",     "minor",    "instrument",   "beats_per_chord",
    "seed",    "key",          "voicing",  "register_low", "register_high",
    "channel", "bass_channel", "velocity", "pattern",      "humanize"};

// The control ports, by the index the bundle gives them.
enum class Control : std::uint32_t {
  kMinor = 2,
  kInstrument = 3,
  kBeatsPerChord = 4,
  kSeed = 5,
  kKey = 6,
  kVoicing = 7,
  kRegisterLow = 8,
  kRegisterHigh = 9,
  kChannel = 10,
  kBassChannel = 11,
  kVelocity = 12,
  kPattern = 13,
  kHumanize = 14,
};

// One time:Position as a host sends it: where the transport is at the frame
// of the event.
struct Position {
  std::int64_t bar = 0;  // zero-based
  double barBeat = 0.0;
  double beatsPerMinute = 120.0;
  double speed = 1.0;
  double beatsPerBar = 4.0;
};

struct MidiRecord {
  std::int64_t frame = 0;  // since the first run() after activation
  std::vector<std::uint8_t> bytes;
};

struct LogRecord {
  std::string type;  // "Error", "Warning", "Note" or "Trace"
  std::string text;
};

struct HostOptions {
  // A folder written by SaveState, restored into the new instance before it
  // is activated; empty for none.
  std::filesystem::path restoreFrom;
};

class Lv2Host {
 public:
  explicit Lv2Host(const HostOptions& options = {});
  ~Lv2Host();
  Lv2Host(const Lv2Host&) = delete;
  Lv2Host& operator=(const Lv2Host&) = delete;

  void SetControl(Control control, float value);
  [[nodiscard]] float GetControl(Control control) const;

  // Events for the cycle that holds `frame`, at their offset in it; events
  // for frames already run go at the start of the next cycle.
  void SendPosition(std::int64_t frame, const Position& position);
  void SendRuleFile(std::int64_t frame, const std::string& path);

  // From now on, work() for a request runs only after `cycles` more cycles
  // have run, as with a worker thread that falls behind.
  void SetWorkerDelay(int cycles) { workerDelay_ = cycles; }

  // Runs cycles of `block` frames until at least `frame` frames have run.
  void RunUntil(std::int64_t frame, std::uint32_t block);
  void RunCycle(std::uint32_t frames);

  // From now on, the thread CPU time of every run() call is kept, for the
  // benchmarks.
  void MeasureRuns() { measureRuns_ = true; }
  [[nodiscard]] const std::vector<std::int64_t>& RunNanoseconds() const { return runNanoseconds_; }

  [[nodiscard]] std::int64_t Frame() const { return frame_; }
  [[nodiscard]] const std::vector<MidiRecord>& Midi() const { return midi_; }
  // The paths of the patch:Set sv:ruleFile messages that came out.
  [[nodiscard]] const std::vector<std::string>& RuleFileEchoes() const { return echoes_; }
  [[nodiscard]] const std::vector<LogRecord>& Log() const { return log_; }
  // The first frame of each cycle whose run() came right after a worker
  // response was delivered.
  [[nodiscard]] const std::vector<std::int64_t>& ResponseFrames() const { return responseFrames_; }

  // Saves the state with the controls as port values into `dir`.
  void SaveState(const std::filesystem::path& dir);

  // The bundle as installed for this test process.
  [[nodiscard]] static const std::filesystem::path& Bundle();
  // The plugin as lilv read it from the bundle's Turtle.
  [[nodiscard]] LilvWorld* World() const { return world_.get(); }
  [[nodiscard]] const LilvPlugin* Plugin() const { return plugin_; }

 private:
  static constexpr std::size_t kSlotBytes = 8192;
  struct Slot {
    std::uint32_t size = 0;
    std::int64_t due = 0;  // worked once the cycle of this index has run
    alignas(16) std::array<std::uint8_t, kSlotBytes> bytes{};
  };
  // A first-in first-out queue of fixed slots, filled without allocating.
  class SlotQueue {
   public:
    explicit SlotQueue(std::size_t capacity) : slots_(capacity) {}
    bool Push(std::uint32_t size, const void* data, std::int64_t due);
    [[nodiscard]] const Slot* Front() const { return count_ == 0 ? nullptr : &slots_[head_]; }
    void Pop();

   private:
    std::vector<Slot> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
  };
  struct RuleFileEvent {
    std::string path;
  };
  using Event = std::variant<Position, RuleFileEvent>;

  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);
  static const char* Unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid);
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                    const void* data);
  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                   const void* data);
  static int LogPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
  static int LogVprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args);
  static const void* GetPortValue(const char* symbol, void* user, std::uint32_t* size,
                                  std::uint32_t* type);
  static void SetPortValue(const char* symbol, void* user, const void* value, std::uint32_t size,
                           std::uint32_t type);

  // What the host maps once, so that forging and reading map nothing.
  struct Urids {
    explicit Urids(LV2_URID_Map& map);
    LV2_URID atomChunk, atomFloat, atomObject, atomBlank, atomPath, atomSequence, atomUrid;
    LV2_URID midiEvent, patchSet, patchProperty, patchValue, ruleFile;
    LV2_URID timePosition, timeFrame, timeSpeed, timeBar, timeBarBeat, timeBeatsPerBar;
    LV2_URID timeBeatsPerMinute, timeBeatUnit;
    LV2_URID logError, logWarning, logNote, logTrace;
  };

  void CheckPorts() const;
  void Restore(const std::filesystem::path& dir);
  void ForgeInput(std::uint32_t frames);
  void ForgeEvent(std::uint32_t offset, const Event& event);
  void DecodeOutput(std::uint32_t frames);
  // work() for the requests that are due once cycle `ran` has run, then the
  // responses to work_response() and end_run().
  void BetweenCycles(std::int64_t ran);
  void Fail(const std::string& what) const;

  // URIDs are indexes into this plus one; a deque keeps each string where
  // it is, so the pointers Unmap hands out stay valid.
  std::deque<std::string> uris_;
  LV2_URID_Map map_{this, Map};
  LV2_URID_Unmap unmap_{this, Unmap};
  LV2_Worker_Schedule schedule_{this, Schedule};
  LV2_Log_Log logFeature_{this, LogPrintf, LogVprintf};
  std::array<LV2_Feature, 4> featureList_{};
  std::array<const LV2_Feature*, 5> features_{};

  struct WorldDeleter {
    void operator()(LilvWorld* world) const { lilv_world_free(world); }
  };
  struct InstanceDeleter {
    void operator()(LilvInstance* instance) const;
  };
  // The instance goes before the world it came from.
  std::unique_ptr<LilvWorld, WorldDeleter> world_;
  const LilvPlugin* plugin_ = nullptr;
  std::unique_ptr<LilvInstance, InstanceDeleter> instance_;
  const LV2_Worker_Interface* worker_ = nullptr;

  Urids urids_{map_};
  LV2_Atom_Forge forge_{};
  std::vector<std::uint64_t> input_;   // 8-byte aligned, as atoms must be
  std::vector<std::uint64_t> output_;  // the same
  std::array<float, kPortSymbols.size()> controls_{};
  std::multimap<std::int64_t, Event> pending_;

  SlotQueue requests_{64};
  SlotQueue responses_{64};
  bool queueOverflow_ = false;
  int workerDelay_ = 0;
  bool active_ = false;
  std::int64_t cyclesStarted_ = 0;
  std::int64_t frame_ = 0;

  bool measureRuns_ = false;
  std::vector<std::int64_t> runNanoseconds_;
  std::vector<MidiRecord> midi_;
  std::vector<std::string> echoes_;
  std::vector<LogRecord> log_;
  std::vector<std::int64_t> responseFrames_;
};

}  // namespace sonavela::plugin::testing
