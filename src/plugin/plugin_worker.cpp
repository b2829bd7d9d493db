// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/plugin_worker.h"

#include <utility>

#include "base/error.h"
#include "base/notice.h"
#include "generator/generator.h"
#include "generator/rule_check.h"
#include "playback/playback_control.h"
#include "playback/rule_file_io.h"

namespace sonavela::plugin {

namespace {

// Where saved tables come from, in the messages about them.
constexpr std::string_view kSavedRulesName = "saved rules";

}  // namespace

struct PluginWorker::Progression {
  // Played up to its first chord, with the second searched for: what run()
  // plays at the start and the first chord it asks for.
  Progression(const StartSettings& settings, const generator::RuleTables& tables)
      : chords(generator, [settings, tables] {
          playback::StartInputs inputs;
          inputs.instrument = settings.instrument;
          inputs.minor = settings.homeKey.mode == harmony::kMinor;
          inputs.homeKey = settings.homeKey;
          inputs.connection = tables.connection;
          inputs.substitution = tables.substitution;
          return inputs;
        }) {
    generator.SetRandomState(settings.seed);
    (void)chords.Begin();
    chords.Played();
  }

  generator::ProgressionGenerator generator;
  playback::GeneratedChords chords;
};

PluginWorker::PluginWorker(LV2_Log_Logger& logger)
    : logger_(logger), tables_(generator::DefaultRuleTables()) {}

PluginWorker::~PluginWorker() = default;

void PluginWorker::BuildStart() {
  ready_ = std::make_unique<Progression>(settings_, tables_);
}

void PluginWorker::SendUpcoming(const Responder& responder) const {
  Response response;
  response.reply = Reply::kChord;
  response.run = liveRun_;
  response.step = live_->chords.Next().value_or(generator::ProgressionStep{});
  responder.Send(response);
  // The chord after it is searched now, while the one handed over waits for
  // its boundary.
  live_->chords.Played();
}

void PluginWorker::GoLive(const Request& request, const Responder& responder) {
  // The start built ahead is taken if it was built for what run() played.
  if (!ready_ || !(request.settings == settings_)) {
    settings_ = request.settings;
    BuildStart();
  }
  live_ = std::move(ready_);
  liveRun_ = request.run;
  SendUpcoming(responder);
  // Then the start for the next roll from bar 1.
  BuildStart();
}

void PluginWorker::Work(const Request& request, const Responder& responder) {
  const std::lock_guard lock(mutex_);
  switch (request.job) {
    case Job::kSettings:
      settings_ = request.settings;
      BuildStart();
      break;
    case Job::kGoLive:
      GoLive(request, responder);
      break;
    case Job::kNext:
      if (live_ && request.run == liveRun_) {
        SendUpcoming(responder);
      }
      break;
    case Job::kLoadRules:
      LoadRules(request, responder);
      break;
    case Job::kPathTooLong: {
      lv2_log_error(&logger_, "Sonavela: a rule file path longer than %zu bytes is refused\n",
                    kPathCapacity - 1);
      Response refused;
      refused.reply = Reply::kRulesRefused;
      responder.Send(refused);
      break;
    }
    case Job::kLog:
      Log(request.log);
      break;
  }
}

void PluginWorker::Log(const LogEntry& entry) {
  switch (entry.what) {
    case LogEntry::What::kNotice: {
      Notice notice;
      notice.kind = static_cast<NoticeKind>(entry.kind);
      lv2_log_warning(&logger_, "Sonavela: %s\n", EnglishText(notice).c_str());
      break;
    }
    case LogEntry::What::kFailure:
      lv2_log_error(&logger_, "Sonavela: %s\n",
                    EnglishText(Error::Of(static_cast<ErrorKind>(entry.kind))).c_str());
      break;
  }
}

void PluginWorker::LoadRules(const Request& request, const Responder& responder) {
  const std::string path(request.path.data(), request.pathLength);
  const generator::RuleFileReading reading = playback::ReadRuleFile(path);
  if (!reading.Ok()) {
    for (const std::string& problem : generator::EnglishTexts(reading.problems)) {
      lv2_log_error(&logger_, "%s\n", problem.c_str());
    }
    Response refused;
    refused.reply = Reply::kRulesRefused;
    responder.Send(refused);
    return;
  }
  for (const std::string& warning : generator::EnglishTexts(reading.warnings)) {
    lv2_log_warning(&logger_, "%s\n", warning.c_str());
  }
  tables_ = reading.tables;
  tablesFrom_ = path;
  LogRuleWarnings(path, reading.lines);
  BuildStart();
  Response taken;
  taken.reply = Reply::kRulesTaken;
  taken.pathLength = request.pathLength;
  taken.path = request.path;
  responder.Send(taken);
}

void PluginWorker::LogRuleWarnings(std::string_view path, const generator::RuleLineNumbers& lines) {
  // A screenful in the host's log, as the command line prints them.
  constexpr std::size_t kShown = 20;
  const generator::RuleCheck check = generator::CheckRules(tables_, settings_.homeKey);
  std::size_t warnings = 0;
  for (const generator::RuleFinding& finding : check.findings) {
    if (finding.level != generator::FindingLevel::kWarning) {
      continue;
    }
    if (++warnings <= kShown) {
      lv2_log_warning(&logger_, "Sonavela: %s\n",
                      generator::EnglishLine(finding, path, lines).c_str());
    }
  }
  if (warnings > kShown) {
    lv2_log_warning(&logger_, "Sonavela: %zu more warnings (see sonavela-cli --check-rules)\n",
                    warnings - kShown);
  }
}

std::string PluginWorker::SavedRules() const {
  const std::lock_guard lock(mutex_);
  return generator::FormatRuleFile(tables_.connection, tables_.substitution).text;
}

std::string PluginWorker::TablesFrom() const {
  const std::lock_guard lock(mutex_);
  return tablesFrom_;
}

bool PluginWorker::RestoreRules(std::string_view text, std::string_view from) {
  const generator::RuleFileReading reading = generator::ParseRuleFile(text, kSavedRulesName);
  if (!reading.Ok()) {
    for (const std::string& problem : generator::EnglishTexts(reading.problems)) {
      lv2_log_error(&logger_, "%s\n", problem.c_str());
    }
    return false;
  }
  const std::lock_guard lock(mutex_);
  tables_ = reading.tables;
  tablesFrom_ = from;
  ready_.reset();  // built with the old tables
  return true;
}

}  // namespace sonavela::plugin
