// SPDX-License-Identifier: GPL-3.0-or-later
// The host's side of the features it lends the plugin, its state files, and
// the bundle it installs.
#include <gtest/gtest.h>
#include <lv2/state/state.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "allocation_counter.h"
#include "cli/subprocess.h"
#include "lv2_host.h"

namespace sonavela::plugin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStateFile = "state.ttl";

// The bundle installed by the build's own install rules into a prefix of
// this process, removed when the process ends.
class InstalledBundle {
 public:
  InstalledBundle() {
    std::string prefix = (fs::temp_directory_path() / "sonavela-lv2-XXXXXX").string();
    if (::mkdtemp(prefix.data()) == nullptr) {
      throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    }
    prefix_ = prefix;
    cli::testing::ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    const cli::testing::ProcessResult r = cli::testing::RunProgram(
        SONAVELA_CMAKE_COMMAND,
        {"--install", SONAVELA_PROJECT_BINARY_DIR, "--prefix", prefix, "--component", "lv2"},
        options);
    bundle_ = prefix_ / "lib" / "lv2" / "sonavela.lv2";
    if (!r.exited || r.status != 0 || !fs::exists(bundle_ / "manifest.ttl")) {
      RemovePrefix();
      throw std::runtime_error("cmake --install --component lv2 did not install " +
                               bundle_.string() + ":\n" + r.out + r.err);
    }
  }
  ~InstalledBundle() { RemovePrefix(); }
  InstalledBundle(const InstalledBundle&) = delete;
  InstalledBundle& operator=(const InstalledBundle&) = delete;

  [[nodiscard]] const fs::path& Bundle() const { return bundle_; }

 private:
  void RemovePrefix() {
    std::error_code ignored;
    fs::remove_all(prefix_, ignored);
  }

  fs::path prefix_;
  fs::path bundle_;
};

}  // namespace

const fs::path& Lv2Host::Bundle() {
  static const InstalledBundle installed;
  return installed.Bundle();
}

LV2_Worker_Status Lv2Host::Schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                    const void* data) {
  auto* host = static_cast<Lv2Host*>(handle);
  if (!host->requests_.Push(size, data, host->cyclesStarted_ - 1 + host->workerDelay_)) {
    host->queueOverflow_ = true;
    return LV2_WORKER_ERR_NO_SPACE;
  }
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2Host::Respond(LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                   const void* data) {
  auto* host = static_cast<Lv2Host*>(handle);
  if (!host->responses_.Push(size, data, 0)) {
    host->queueOverflow_ = true;
    return LV2_WORKER_ERR_NO_SPACE;
  }
  return LV2_WORKER_SUCCESS;
}

LV2_URID Lv2Host::Map(LV2_URID_Map_Handle handle, const char* uri) {
  auto& uris = static_cast<Lv2Host*>(handle)->uris_;
  for (std::size_t i = 0; i < uris.size(); ++i) {
    if (uris[i] == uri) {
      return static_cast<LV2_URID>(i + 1);
    }
  }
  uris.emplace_back(uri);
  return static_cast<LV2_URID>(uris.size());
}

const char* Lv2Host::Unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  const auto& uris = static_cast<Lv2Host*>(handle)->uris_;
  return urid == 0 || urid > uris.size() ? nullptr : uris[urid - 1].c_str();
}

int Lv2Host::LogPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = LogVprintf(handle, type, format, args);
  va_end(args);
  return n;
}

int Lv2Host::LogVprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args) {
  // Keeping the message is the host's own work, not the plugin's.
  const CountingRegion uncounted(Region::kNone);
  auto* host = static_cast<Lv2Host*>(handle);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  const Urids& u = host->urids_;
  const char* name = type == u.logError     ? "Error"
                     : type == u.logWarning ? "Warning"
                     : type == u.logNote    ? "Note"
                     : type == u.logTrace   ? "Trace"
                                            : "?";
  host->log_.push_back({name, text});
  return n;
}

const void* Lv2Host::GetPortValue(const char* symbol, void* user, std::uint32_t* size,
                                  std::uint32_t* type) {
  auto* host = static_cast<Lv2Host*>(user);
  for (std::size_t i = 2; i < kPortSymbols.size(); ++i) {
    if (std::strcmp(symbol, kPortSymbols[i]) == 0) {
      *size = sizeof(float);
      *type = host->urids_.atomFloat;
      return &host->controls_[i];
    }
  }
  host->Fail(std::string("a value asked for port ") + symbol);
  *size = 0;
  *type = 0;
  return nullptr;
}

void Lv2Host::SetPortValue(const char* symbol, void* user, const void* value, std::uint32_t size,
                           std::uint32_t type) {
  auto* host = static_cast<Lv2Host*>(user);
  for (std::size_t i = 2; i < kPortSymbols.size(); ++i) {
    if (std::strcmp(symbol, kPortSymbols[i]) == 0 && type == host->urids_.atomFloat &&
        size == sizeof(float)) {
      std::memcpy(&host->controls_[i], value, sizeof(float));
      return;
    }
  }
  host->Fail(std::string("a restored value for port ") + symbol + " that is no float control");
}

void Lv2Host::SaveState(const fs::path& dir) {
  fs::create_directories(dir);
  LilvState* state = lilv_state_new_from_instance(
      plugin_, instance_.get(), &map_, nullptr, nullptr, nullptr, dir.c_str(), GetPortValue, this,
      LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_.data());
  if (state == nullptr) {
    throw std::runtime_error("lilv_state_new_from_instance failed");
  }
  const int status =
      lilv_state_save(world_.get(), &map_, &unmap_, state, nullptr, dir.c_str(), kStateFile);
  lilv_state_free(state);
  if (status != 0) {
    throw std::runtime_error("lilv_state_save into " + dir.string() + " failed");
  }
}

void Lv2Host::Restore(const fs::path& dir) {
  const std::string file = (dir / kStateFile).string();
  LilvState* state = lilv_state_new_from_file(world_.get(), &map_, nullptr, file.c_str());
  if (state == nullptr) {
    throw std::runtime_error("no state in " + file);
  }
  lilv_state_restore(state, instance_.get(), SetPortValue, this, 0, features_.data());
  lilv_state_free(state);
}

}  // namespace sonavela::plugin::testing
