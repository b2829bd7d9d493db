// SPDX-License-Identifier: GPL-3.0-or-later
// The C interface the host sees: the descriptor, the worker and the state.

#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "plugin/plugin_instance.h"
#include "plugin/uris.h"

namespace sonavela::plugin {
namespace {

PluginInstance& Of(LV2_Handle handle) {
  return *static_cast<PluginInstance*>(handle);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  const LV2_URID_Map* map = nullptr;
  const LV2_Worker_Schedule* schedule = nullptr;
  LV2_Log_Logger logger{};
  const char* missing =
      lv2_features_query(features, LV2_LOG__log, &logger.log, false, LV2_URID__map, &map, true,
                         LV2_WORKER__schedule, &schedule, true, nullptr);
  lv2_log_logger_set_map(&logger, const_cast<LV2_URID_Map*>(map));
  if (missing != nullptr) {
    lv2_log_error(&logger, "Sonavela: the host does not offer %s\n", missing);
    return nullptr;
  }
  try {
    return std::make_unique<PluginInstance>(rate, *map, *schedule, logger).release();
  } catch (const std::exception& e) {
    lv2_log_error(&logger, "Sonavela: cannot start: %s\n", e.what());
    return nullptr;
  }
}

void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) {
  Of(handle).ConnectPort(port, data);
}

void Activate(LV2_Handle handle) {
  Of(handle).Activate();
}

void Run(LV2_Handle handle, std::uint32_t frames) {
  Of(handle).Run(frames);
}

void Cleanup(LV2_Handle handle) {
  std::unique_ptr<PluginInstance> owned(&Of(handle));
}

LV2_Worker_Status Work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle respondHandle, std::uint32_t size,
                       const void* data) {
  Request request;
  std::memcpy(&request, data, std::min<std::size_t>(size, sizeof(Request)));
  request.pathLength = std::min<std::uint32_t>(request.pathLength, kPathCapacity);
  try {
    Of(handle).Worker().Work(request, Responder{respond, respondHandle});
  } catch (const std::exception&) {
    return LV2_WORKER_ERR_UNKNOWN;
  }
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status WorkResponse(LV2_Handle handle, std::uint32_t size, const void* data) {
  Of(handle).WorkResponse(size, data);
  return LV2_WORKER_SUCCESS;
}

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store,
                      LV2_State_Handle stateHandle, std::uint32_t, const LV2_Feature* const*) {
  PluginInstance& plugin = Of(handle);
  try {
    const std::string rules = plugin.Worker().SavedRules();
    const LV2_State_Status saved =
        store(stateHandle, plugin.UriMap().rules, rules.c_str(), rules.size() + 1,
              plugin.UriMap().atomString, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    // Only to name the tables' origin: the tables themselves are saved above.
    const std::string from = plugin.Worker().TablesFrom();
    if (saved != LV2_STATE_SUCCESS || from.empty()) {
      return saved;
    }
    return store(stateHandle, plugin.UriMap().ruleFile, from.c_str(), from.size() + 1,
                 plugin.UriMap().atomString, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  } catch (const std::exception&) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle stateHandle, std::uint32_t, const LV2_Feature* const*) {
  PluginInstance& plugin = Of(handle);
  std::size_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t flags = 0;
  const void* value = retrieve(stateHandle, plugin.UriMap().rules, &size, &type, &flags);
  if (value == nullptr) {
    return LV2_STATE_SUCCESS;  // a state of before any rule file: the tables stay
  }
  if (type != plugin.UriMap().atomString) {
    return LV2_STATE_ERR_BAD_TYPE;
  }
  try {
    const char* text = static_cast<const char*>(value);
    std::size_t fromSize = 0;
    const void* fromValue =
        retrieve(stateHandle, plugin.UriMap().ruleFile, &fromSize, &type, &flags);
    const std::string_view from =
        fromValue != nullptr && type == plugin.UriMap().atomString
            ? std::string_view(static_cast<const char*>(fromValue),
                               strnlen(static_cast<const char*>(fromValue), fromSize))
            : std::string_view();
    if (!plugin.Worker().RestoreRules(std::string_view(text, strnlen(text, size)), from)) {
      return LV2_STATE_ERR_UNKNOWN;
    }
    plugin.RestoredRuleFile(from);
  } catch (const std::exception&) {
    return LV2_STATE_ERR_UNKNOWN;
  }
  return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri) {
  static const LV2_Worker_Interface worker{Work, WorkResponse, nullptr};
  static const LV2_State_Interface state{Save, Restore};
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) {
    return &worker;
  }
  if (std::strcmp(uri, LV2_STATE__interface) == 0) {
    return &state;
  }
  return nullptr;
}

const LV2_Descriptor kDescriptor{kPluginUri, Instantiate, ConnectPort, Activate,
                                 Run,        nullptr,     Cleanup,     ExtensionData};

}  // namespace
}  // namespace sonavela::plugin

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index == 0 ? &sonavela::plugin::kDescriptor : nullptr;
}
