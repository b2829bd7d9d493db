// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lv2/log/logger.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "generator/rule_file.h"
#include "plugin/worker_messages.h"

namespace sonavela::plugin {

// How the worker hands its results back to run().
struct Responder {
  LV2_Worker_Respond_Function respond = nullptr;
  LV2_Worker_Respond_Handle handle = nullptr;

  void Send(const Response& response) const { (void)respond(handle, response.Size(), &response); }
};

// Everything of the plugin that may take time, allocate or read files, done
// off the audio thread: the progression's search, the start kept ready for
// the next roll from bar 1, rule files, the saved state and the log. One lock keeps
// the host's worker thread and its state calls apart; run() never takes it.
class PluginWorker {
 public:
  explicit PluginWorker(LV2_Log_Logger& logger);
  ~PluginWorker();
  PluginWorker(const PluginWorker&) = delete;
  PluginWorker& operator=(const PluginWorker&) = delete;

  void Work(const Request& request, const Responder& responder);

  // The tables the next start uses, as the text of a rule file.
  [[nodiscard]] std::string SavedRules() const;
  // The rule file those tables were read from; empty for the defaults.
  [[nodiscard]] std::string TablesFrom() const;
  // Takes tables saved by SavedRules, read from the file `from`, for the
  // next start; a text with problems is refused, with its problems logged,
  // and the tables stay as they were.
  [[nodiscard]] bool RestoreRules(std::string_view text, std::string_view from);

 private:
  void BuildStart();
  void GoLive(const Request& request, const Responder& responder);
  void SendUpcoming(const Responder& responder) const;
  void LoadRules(const Request& request, const Responder& responder);
  // What the rule check warns of in the tables just taken, for the home key.
  void LogRuleWarnings(std::string_view path, const generator::RuleLineNumbers& lines);
  void Log(const LogEntry& entry);

  // One start's progression, searched by this program's generator.
  struct Progression;

  LV2_Log_Logger& logger_;
  mutable std::mutex mutex_;
  generator::RuleTables tables_;
  std::string tablesFrom_;
  StartSettings settings_;
  std::unique_ptr<Progression> ready_;  // the next start, built ahead for settings_
  std::unique_ptr<Progression> live_;   // the start that is playing
  std::uint32_t liveRun_ = 0;
};

}  // namespace sonavela::plugin
