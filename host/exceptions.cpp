// Exceptions. A plug-in's NPN_SetException belongs to the plug-in call under way and is raised in
// script when that call returns; calls nest when script inside a plug-in call calls the plug-in again,
// so each call keeps its own. Exceptions thrown by script that the plug-in called are cleared at the
// boundary of that script call, as QtWebKit does, and do not become the plug-in call's exception.
#include <utility>

#include "host/host_internal.h"

namespace host {
namespace {

detail::OptionalText& Pending() {
  static detail::OptionalText* pending = new detail::OptionalText;
  return *pending;
}

}  // namespace

namespace detail {

// The latest exception of a call wins, as in browsers that keep one pending exception per call.
void SetException(NPObject*, const NPUTF8* message) {
  Pending().set = true;
  Pending().text = message ? message : "";
}

void ThrowScriptException() { ++MutableCounters().scriptExceptions; }

ExceptionScope::ExceptionScope() : outerSet_(Pending().set), outerText_(std::move(Pending().text)) {
  Pending() = detail::OptionalText();
}

ExceptionScope::~ExceptionScope() {
  Pending().set = outerSet_;
  Pending().text = std::move(outerText_);
}

bool ExceptionScope::Collect(std::string* text) {
  bool set = Pending().set;
  if (text) *text = Pending().text;
  Pending() = detail::OptionalText();
  return set;
}

}  // namespace detail

bool TakeException(std::string* text) { return detail::ExceptionScope::Collect(text); }

}  // namespace host
