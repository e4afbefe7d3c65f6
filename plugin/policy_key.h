// Where the administrator's site policy is kept, and whether one is set. The module reads the policy
// through these names (plugin/site_policy.cpp); programs around it use them to report on it.
#pragma once

#include "platform/windows_api.h"

// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Ternaport\Print Plugin, read in the 64-bit view.
extern const char kPolicyKey[];
extern const WCHAR kPolicyAllowedOrigins[];
extern const WCHAR kPolicyAllowHardwareAddresses[];

enum PolicyKeyOpen { PolicyKeyAbsent, PolicyKeyOpened, PolicyKeyUnreadable };

// Opens the key for reading values; *key is the caller's to close when PolicyKeyOpened.
PolicyKeyOpen OpenPolicyKey(HKEY* key);

// True when a policy decides which sites may use the plug-in: the key holds AllowedOrigins (whatever
// its type or content: a malformed one restricts too), or the key is there and cannot be read.
bool SitePolicySet();
