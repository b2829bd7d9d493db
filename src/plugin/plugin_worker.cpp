// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/plugin_worker.h"

#include <utility>

#include "playback/rule_file_io.h"

namespace sonavela::plugin {

namespace {

// Where saved tables come from, in the messages about them.
constexpr std::string_view kSavedRulesName = "saved rules";

}  // namespace

PluginWorker::PluginWorker(LV2_Log_Logger& logger)
    : logger_(logger), tables_(generator::DefaultRuleTables()) {}

PluginWorker::~PluginWorker() = default;

void PluginWorker::BuildStart() {
  playback::FeedSettings feed;
  feed.seed = settings_.seed;
  feed.opening = settings_.opening;
  feed.tables = tables_;
  ready_ = std::make_unique<playback::ChordFeed>(feed);
}

void PluginWorker::SendUpcoming(const Responder& responder) const {
  Response response;
  response.reply = Reply::kChord;
  response.run = liveRun_;
  response.chord = live_->Upcoming();
  responder.Send(response);
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
  // The chord after it is searched now, while the one handed over waits for
  // its boundary; then the start for the next roll from bar 1 is built.
  live_->Step();
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
        live_->Step();
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
    case Job::kReportLate:
      lv2_log_warning(&logger_,
                      "Sonavela: the host's worker was late with a chord; it came after its "
                      "boundary, at the next cycle\n");
      break;
  }
}

void PluginWorker::LoadRules(const Request& request, const Responder& responder) {
  const std::string path(request.path.data(), request.pathLength);
  const generator::RuleFileReading reading = playback::ReadRuleFile(path);
  if (!reading.Ok()) {
    for (const std::string& problem : reading.problems) {
      lv2_log_error(&logger_, "%s\n", problem.c_str());
    }
    Response refused;
    refused.reply = Reply::kRulesRefused;
    responder.Send(refused);
    return;
  }
  for (const std::string& warning : reading.warnings) {
    lv2_log_warning(&logger_, "%s\n", warning.c_str());
  }
  tables_ = reading.tables;
  tablesFrom_ = path;
  BuildStart();
  Response taken;
  taken.reply = Reply::kRulesTaken;
  taken.pathLength = request.pathLength;
  taken.path = request.path;
  responder.Send(taken);
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
    for (const std::string& problem : reading.problems) {
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
