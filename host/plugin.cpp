// A plug-in module driven the way a browser drives it: entry points first, then initialisation with
// the host's table, shutdown when the host is done with it.
#include <string.h>

#include "host/host_internal.h"

namespace host {

Plugin::Plugin(const PluginEntryPoints& entryPoints) : entryPoints_(entryPoints) {}

Plugin::~Plugin() {
  if (initialized_ && entryPoints_.shutdown) entryPoints_.shutdown();
}

NPError Plugin::Initialize() {
  if (!entryPoints_.getEntryPoints || !entryPoints_.initialize) return NPERR_INVALID_PLUGIN_ERROR;
  funcs_ = NPPluginFuncs{};
  funcs_.size = sizeof(NPPluginFuncs);
  NPError error = entryPoints_.getEntryPoints(&funcs_);
  if (error != NPERR_NO_ERROR) return error;
  // The plug-in keeps its own copy of the table.
  NPNetscapeFuncs table = BrowserTable();
  error = entryPoints_.initialize(&table);
  initialized_ = initialized_ || error == NPERR_NO_ERROR;
  return error;
}

std::string Plugin::FirstMimeType() const {
  const char* description = entryPoints_.getMimeDescription ? entryPoints_.getMimeDescription() : nullptr;
  if (!description) return std::string();
  // "type:extensions:description", entries separated by ';'.
  return std::string(description, strcspn(description, ":;"));
}

}  // namespace host
