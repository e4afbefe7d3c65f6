// The browser's function table as the host hands it to a plug-in.
#include "host/host_internal.h"

namespace host {

NPNetscapeFuncs BrowserTable() {
  NPNetscapeFuncs table{};
  table.size = sizeof(NPNetscapeFuncs);
  table.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
  table.memalloc = detail::MemAlloc;
  table.memfree = detail::MemFree;
  table.memflush = detail::MemFlush;
  table.getvalue = detail::GetValue;
  table.getstringidentifier = detail::GetStringIdentifier;
  table.getstringidentifiers = detail::GetStringIdentifiers;
  table.getintidentifier = detail::GetIntIdentifier;
  table.identifierisstring = detail::IdentifierIsString;
  table.utf8fromidentifier = detail::UTF8FromIdentifier;
  table.intfromidentifier = detail::IntFromIdentifier;
  table.createobject = detail::CreateObject;
  table.retainobject = detail::RetainObject;
  table.releaseobject = detail::ReleaseObject;
  table.invoke = detail::Invoke;
  table.invokeDefault = detail::InvokeDefault;
  table.getproperty = detail::GetProperty;
  table.setproperty = detail::SetProperty;
  table.removeproperty = detail::RemoveProperty;
  table.hasproperty = detail::HasProperty;
  table.hasmethod = detail::HasMethod;
  table.releasevariantvalue = detail::ReleaseVariantValue;
  table.setexception = detail::SetException;
  table.enumerate = detail::Enumerate;
  table.construct = detail::Construct;
  return table;
}

}  // namespace host
