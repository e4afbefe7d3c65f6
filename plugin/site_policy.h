// The administrator's site policy: which pages may print, list printers and read hardware addresses.
//
// It is the key HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Ternaport\Print Plugin (64-bit view), read only,
// once per instance when the instance is made, so a changed policy applies to pages loaded after it.
// Without the key, or without a value, nothing is restricted. A value that is there but cannot be
// read as intended restricts: a malformed AllowedOrigins allows no site, a malformed
// AllowHardwareAddresses turns getMacAddresses off. AllowedOrigins is ASCII: an international host is
// written in its xn-- form, and a line holding any character outside printable ASCII is malformed.
#pragma once

#include "npapi/npapi.h"

struct PrintScriptObject;

// What the policy lets one instance do.
struct SiteAccess {
  bool siteAllowed;               // print, getPrinters and getMacAddresses
  bool hardwareAddressesAllowed;  // getMacAddresses
};

// The page's origin as the browser states it (NPNVdocumentOrigin): the browser's NPN_MemAlloc text,
// which the caller frees with ReleaseDocumentOrigin, or null when the browser gives none. The page's
// own script (window.location) is never asked: it can be made to say something else.
char* FetchDocumentOrigin(NPP instance);
void ReleaseDocumentOrigin(char* origin);

// Reads the policy and decides for a page of this origin (null: the browser gave none, which an
// AllowedOrigins list does not admit). False only when memory to read the policy could not be had.
bool DecideSiteAccess(const char* origin, SiteAccess* access);

enum SiteUse { UsePrinters, UseHardwareAddresses };

// Null when the object's instance may make this use, else the message to report: ?501 for a site not
// allowed, ?502 for hardware addresses turned off.
const char* SiteAccessDenial(const PrintScriptObject* object, SiteUse use);
