// NPAPI declarations shared by the plug-in module and the browser host.
//
// Written from the published Netscape Plug-in API: the types, constants and the two function tables
// (the browser's NPNetscapeFuncs and the plug-in's NPPluginFuncs) with their slots in published order.
// On Windows the exported entry points use the calling conventions the NPAPI declares there; elsewhere
// the convention macros are empty so that the same sources build natively for tests.
//
// XP_UNIX selects the Unix plug-in ABI, as the published headers do: the variables of the
// NP_ABI_MASK family carry the GCC 3 ABI bit, and the module exports four entry points, of which
// NP_Initialize also fills the plug-in's table (there is no NP_GetEntryPoints).
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(XP_UNIX)
#define NP_ABI_MASK 0x10000000
#else
#define NP_ABI_MASK 0
#endif

#if defined(_WIN32)
#define NP_STDCALL __stdcall
#define NP_CDECL __cdecl
#else
#define NP_STDCALL
#define NP_CDECL
#endif

typedef int16_t NPError;
typedef int16_t NPReason;
typedef unsigned char NPBool;
typedef char NPUTF8;
typedef void* NPIdentifier;
typedef char* NPMIMEType;

enum : NPError {
  NPERR_NO_ERROR = 0,
  NPERR_GENERIC_ERROR = 1,
  NPERR_INVALID_INSTANCE_ERROR = 2,
  NPERR_INVALID_FUNCTABLE_ERROR = 3,
  NPERR_MODULE_LOAD_FAILED_ERROR = 4,
  NPERR_OUT_OF_MEMORY_ERROR = 5,
  NPERR_INVALID_PLUGIN_ERROR = 6,
  NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
  NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
  NPERR_INVALID_PARAM = 9,
  NPERR_INVALID_URL = 10,
  NPERR_FILE_NOT_FOUND = 11,
  NPERR_NO_DATA = 12,
  NPERR_STREAM_NOT_SEEKABLE = 13,
};

enum : uint16_t {
  NP_VERSION_MAJOR = 0,
  NP_VERSION_MINOR = 27,
  NPVERS_HAS_NPRUNTIME_SCRIPTING = 14,
};

enum : uint16_t { NP_NORMAL = 1, NP_SEEK = 2, NP_ASFILE = 3, NP_ASFILEONLY = 4 };
enum : uint16_t { NP_EMBED = 1, NP_FULL = 2 };

typedef struct _NPP {
  void* pdata;  // the plug-in's per-instance data
  void* ndata;  // the browser's per-instance data
} NPP_t;
typedef NPP_t* NPP;

typedef enum {
  NPPVpluginNameString = 1,
  NPPVpluginDescriptionString = 2,
  NPPVpluginWindowBool = 3,
  NPPVpluginTransparentBool = 4,
  NPPVjavaClass = 5,
  NPPVpluginWindowSize = 6,
  NPPVpluginTimerInterval = 7,
  NPPVpluginScriptableInstance = (10 | NP_ABI_MASK),
  NPPVpluginScriptableIID = 11,
  NPPVjavascriptPushCallerBool = 12,
  NPPVpluginKeepLibraryInMemory = 13,
  NPPVpluginNeedsXEmbed = 14,
  NPPVpluginScriptableNPObject = 15,
  NPPVformValue = 16,
  NPPVpluginUrlRequestsDisplayedBool = 17,
  NPPVpluginWantsAllNetworkStreams = 18,
  NPPVpluginNativeAccessibleAtkPlugId = 19,
  NPPVpluginCancelSrcStream = 20,
  NPPVsupportsAdvancedKeyHandling = 21,
  NPPVpluginUsesDOMForCursorBool = 22,
  NPPVpluginDrawingModel = 1000,
} NPPVariable;

typedef enum {
  NPNVxDisplay = 1,
  NPNVxtAppContext = 2,
  NPNVnetscapeWindow = 3,
  NPNVjavascriptEnabledBool = 4,
  NPNVasdEnabledBool = 5,
  NPNVisOfflineBool = 6,
  NPNVserviceManager = (10 | NP_ABI_MASK),
  NPNVDOMElement = (11 | NP_ABI_MASK),
  NPNVDOMWindow = (12 | NP_ABI_MASK),
  NPNVToolkit = (13 | NP_ABI_MASK),
  NPNVSupportsXEmbedBool = 14,
  NPNVWindowNPObject = 15,
  NPNVPluginElementNPObject = 16,
  NPNVSupportsWindowless = 17,
  NPNVprivateModeBool = 18,
  NPNVdocumentOrigin = 22,  // the page's origin as NPN_MemAlloc text, which the plug-in frees
} NPNVariable;

typedef struct _NPSavedData {
  int32_t len;
  void* buf;
} NPSavedData;

typedef struct _NPStream {
  void* pdata;
  void* ndata;
  const char* url;
  uint32_t end;
  uint32_t lastmodified;
  void* notifyData;
  const char* headers;
} NPStream;

typedef struct _NPByteRange {
  int32_t offset;
  uint32_t length;
  struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPRect {
  uint16_t top, left, bottom, right;
} NPRect;

typedef void* NPRegion;

typedef struct _NPWindow {
  void* window;
  int32_t x, y;
  uint32_t width, height;
  NPRect clipRect;
  uint32_t type;
} NPWindow;

typedef struct _NPPrint NPPrint;  // the module has no print callback; only the pointer type is needed
typedef void NPEvent;             // events are passed through untouched

// ---- Scripting (npruntime) ----

typedef struct NPObject NPObject;
typedef struct NPClass NPClass;

typedef struct _NPString {
  const NPUTF8* UTF8Characters;
  uint32_t UTF8Length;
} NPString;

typedef enum {
  NPVariantType_Void = 0,
  NPVariantType_Null = 1,
  NPVariantType_Bool = 2,
  NPVariantType_Int32 = 3,
  NPVariantType_Double = 4,
  NPVariantType_String = 5,
  NPVariantType_Object = 6,
} NPVariantType;

typedef struct _NPVariant {
  NPVariantType type;
  union {
    bool boolValue;
    int32_t intValue;
    double doubleValue;
    NPString stringValue;
    NPObject* objectValue;
  } value;
} NPVariant;

typedef NPObject* (*NPAllocateFunctionPtr)(NPP npp, NPClass* aClass);
typedef void (*NPDeallocateFunctionPtr)(NPObject* npobj);
typedef void (*NPInvalidateFunctionPtr)(NPObject* npobj);
typedef bool (*NPHasMethodFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPInvokeFunctionPtr)(NPObject* npobj, NPIdentifier name, const NPVariant* args,
                                    uint32_t argCount, NPVariant* result);
typedef bool (*NPInvokeDefaultFunctionPtr)(NPObject* npobj, const NPVariant* args, uint32_t argCount,
                                           NPVariant* result);
typedef bool (*NPHasPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPGetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name, NPVariant* result);
typedef bool (*NPSetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name, const NPVariant* value);
typedef bool (*NPRemovePropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPEnumerationFunctionPtr)(NPObject* npobj, NPIdentifier** value, uint32_t* count);
typedef bool (*NPConstructFunctionPtr)(NPObject* npobj, const NPVariant* args, uint32_t argCount,
                                       NPVariant* result);

enum : uint32_t { NP_CLASS_STRUCT_VERSION = 3, NP_CLASS_STRUCT_VERSION_ENUM = 2, NP_CLASS_STRUCT_VERSION_CTOR = 3 };

struct NPClass {
  uint32_t structVersion;
  NPAllocateFunctionPtr allocate;
  NPDeallocateFunctionPtr deallocate;
  NPInvalidateFunctionPtr invalidate;
  NPHasMethodFunctionPtr hasMethod;
  NPInvokeFunctionPtr invoke;
  NPInvokeDefaultFunctionPtr invokeDefault;
  NPHasPropertyFunctionPtr hasProperty;
  NPGetPropertyFunctionPtr getProperty;
  NPSetPropertyFunctionPtr setProperty;
  NPRemovePropertyFunctionPtr removeProperty;
  NPEnumerationFunctionPtr enumerate;
  NPConstructFunctionPtr construct;
};

struct NPObject {
  NPClass* _class;
  uint32_t referenceCount;
};

// Variant helpers, as the published npruntime header offers them.
inline void VOID_TO_NPVARIANT(NPVariant& v) { v.type = NPVariantType_Void; v.value.objectValue = nullptr; }
inline void NULL_TO_NPVARIANT(NPVariant& v) { v.type = NPVariantType_Null; v.value.objectValue = nullptr; }
inline void BOOLEAN_TO_NPVARIANT(bool b, NPVariant& v) { v.type = NPVariantType_Bool; v.value.boolValue = b; }
inline void INT32_TO_NPVARIANT(int32_t i, NPVariant& v) { v.type = NPVariantType_Int32; v.value.intValue = i; }
inline void DOUBLE_TO_NPVARIANT(double d, NPVariant& v) { v.type = NPVariantType_Double; v.value.doubleValue = d; }
inline void STRINGN_TO_NPVARIANT(const NPUTF8* s, uint32_t n, NPVariant& v) {
  v.type = NPVariantType_String;
  v.value.stringValue.UTF8Characters = s;
  v.value.stringValue.UTF8Length = n;
}
inline void OBJECT_TO_NPVARIANT(NPObject* o, NPVariant& v) { v.type = NPVariantType_Object; v.value.objectValue = o; }

// ---- The browser's function table (NPN_*) ----

typedef NPError (*NPN_GetURLProcPtr)(NPP, const char*, const char*);
typedef NPError (*NPN_PostURLProcPtr)(NPP, const char*, const char*, uint32_t, const char*, NPBool);
typedef NPError (*NPN_RequestReadProcPtr)(NPStream*, NPByteRange*);
typedef NPError (*NPN_NewStreamProcPtr)(NPP, NPMIMEType, const char*, NPStream**);
typedef int32_t (*NPN_WriteProcPtr)(NPP, NPStream*, int32_t, void*);
typedef NPError (*NPN_DestroyStreamProcPtr)(NPP, NPStream*, NPReason);
typedef void (*NPN_StatusProcPtr)(NPP, const char*);
typedef const char* (*NPN_UserAgentProcPtr)(NPP);
typedef void* (*NPN_MemAllocProcPtr)(uint32_t);
typedef void (*NPN_MemFreeProcPtr)(void*);
typedef uint32_t (*NPN_MemFlushProcPtr)(uint32_t);
typedef void (*NPN_ReloadPluginsProcPtr)(NPBool);
typedef void* (*NPN_GetJavaEnvProcPtr)(void);
typedef void* (*NPN_GetJavaPeerProcPtr)(NPP);
typedef NPError (*NPN_GetURLNotifyProcPtr)(NPP, const char*, const char*, void*);
typedef NPError (*NPN_PostURLNotifyProcPtr)(NPP, const char*, const char*, uint32_t, const char*, NPBool,
                                            void*);
typedef NPError (*NPN_GetValueProcPtr)(NPP, NPNVariable, void*);
typedef NPError (*NPN_SetValueProcPtr)(NPP, NPPVariable, void*);
typedef void (*NPN_InvalidateRectProcPtr)(NPP, NPRect*);
typedef void (*NPN_InvalidateRegionProcPtr)(NPP, NPRegion);
typedef void (*NPN_ForceRedrawProcPtr)(NPP);
typedef NPIdentifier (*NPN_GetStringIdentifierProcPtr)(const NPUTF8*);
typedef void (*NPN_GetStringIdentifiersProcPtr)(const NPUTF8**, int32_t, NPIdentifier*);
typedef NPIdentifier (*NPN_GetIntIdentifierProcPtr)(int32_t);
typedef bool (*NPN_IdentifierIsStringProcPtr)(NPIdentifier);
typedef NPUTF8* (*NPN_UTF8FromIdentifierProcPtr)(NPIdentifier);
typedef int32_t (*NPN_IntFromIdentifierProcPtr)(NPIdentifier);
typedef NPObject* (*NPN_CreateObjectProcPtr)(NPP, NPClass*);
typedef NPObject* (*NPN_RetainObjectProcPtr)(NPObject*);
typedef void (*NPN_ReleaseObjectProcPtr)(NPObject*);
typedef bool (*NPN_InvokeProcPtr)(NPP, NPObject*, NPIdentifier, const NPVariant*, uint32_t, NPVariant*);
typedef bool (*NPN_InvokeDefaultProcPtr)(NPP, NPObject*, const NPVariant*, uint32_t, NPVariant*);
typedef bool (*NPN_EvaluateProcPtr)(NPP, NPObject*, NPString*, NPVariant*);
typedef bool (*NPN_GetPropertyProcPtr)(NPP, NPObject*, NPIdentifier, NPVariant*);
typedef bool (*NPN_SetPropertyProcPtr)(NPP, NPObject*, NPIdentifier, const NPVariant*);
typedef bool (*NPN_RemovePropertyProcPtr)(NPP, NPObject*, NPIdentifier);
typedef bool (*NPN_HasPropertyProcPtr)(NPP, NPObject*, NPIdentifier);
typedef bool (*NPN_HasMethodProcPtr)(NPP, NPObject*, NPIdentifier);
typedef void (*NPN_ReleaseVariantValueProcPtr)(NPVariant*);
typedef void (*NPN_SetExceptionProcPtr)(NPObject*, const NPUTF8*);
typedef void (*NPN_PushPopupsEnabledStateProcPtr)(NPP, NPBool);
typedef void (*NPN_PopPopupsEnabledStateProcPtr)(NPP);
typedef bool (*NPN_EnumerateProcPtr)(NPP, NPObject*, NPIdentifier**, uint32_t*);
typedef void (*NPN_PluginThreadAsyncCallProcPtr)(NPP, void (*)(void*), void*);
typedef bool (*NPN_ConstructProcPtr)(NPP, NPObject*, const NPVariant*, uint32_t, NPVariant*);
typedef NPError (*NPN_GetValueForURLPtr)(NPP, int, const char*, char**, uint32_t*);
typedef NPError (*NPN_SetValueForURLPtr)(NPP, int, const char*, const char*, uint32_t);
typedef NPError (*NPN_GetAuthenticationInfoPtr)(NPP, const char*, const char*, int32_t, const char*,
                                                const char*, char**, uint32_t*, char**, uint32_t*);
typedef uint32_t (*NPN_ScheduleTimerPtr)(NPP, uint32_t, NPBool, void (*)(NPP, uint32_t));
typedef void (*NPN_UnscheduleTimerPtr)(NPP, uint32_t);
typedef NPError (*NPN_PopUpContextMenuPtr)(NPP, void*);
typedef NPBool (*NPN_ConvertPointPtr)(NPP, double, double, int, double*, double*, int);
typedef NPBool (*NPN_HandleEventPtr)(NPP, void*, NPBool);
typedef NPBool (*NPN_UnfocusInstancePtr)(NPP, int);
typedef void (*NPN_URLRedirectResponsePtr)(NPP, void*, NPBool);

typedef struct _NPNetscapeFuncs {
  uint16_t size;
  uint16_t version;
  NPN_GetURLProcPtr geturl;
  NPN_PostURLProcPtr posturl;
  NPN_RequestReadProcPtr requestread;
  NPN_NewStreamProcPtr newstream;
  NPN_WriteProcPtr write;
  NPN_DestroyStreamProcPtr destroystream;
  NPN_StatusProcPtr status;
  NPN_UserAgentProcPtr uagent;
  NPN_MemAllocProcPtr memalloc;
  NPN_MemFreeProcPtr memfree;
  NPN_MemFlushProcPtr memflush;
  NPN_ReloadPluginsProcPtr reloadplugins;
  NPN_GetJavaEnvProcPtr getJavaEnv;
  NPN_GetJavaPeerProcPtr getJavaPeer;
  NPN_GetURLNotifyProcPtr geturlnotify;
  NPN_PostURLNotifyProcPtr posturlnotify;
  NPN_GetValueProcPtr getvalue;
  NPN_SetValueProcPtr setvalue;
  NPN_InvalidateRectProcPtr invalidaterect;
  NPN_InvalidateRegionProcPtr invalidateregion;
  NPN_ForceRedrawProcPtr forceredraw;
  NPN_GetStringIdentifierProcPtr getstringidentifier;
  NPN_GetStringIdentifiersProcPtr getstringidentifiers;
  NPN_GetIntIdentifierProcPtr getintidentifier;
  NPN_IdentifierIsStringProcPtr identifierisstring;
  NPN_UTF8FromIdentifierProcPtr utf8fromidentifier;
  NPN_IntFromIdentifierProcPtr intfromidentifier;
  NPN_CreateObjectProcPtr createobject;
  NPN_RetainObjectProcPtr retainobject;
  NPN_ReleaseObjectProcPtr releaseobject;
  NPN_InvokeProcPtr invoke;
  NPN_InvokeDefaultProcPtr invokeDefault;
  NPN_EvaluateProcPtr evaluate;
  NPN_GetPropertyProcPtr getproperty;
  NPN_SetPropertyProcPtr setproperty;
  NPN_RemovePropertyProcPtr removeproperty;
  NPN_HasPropertyProcPtr hasproperty;
  NPN_HasMethodProcPtr hasmethod;
  NPN_ReleaseVariantValueProcPtr releasevariantvalue;
  NPN_SetExceptionProcPtr setexception;
  NPN_PushPopupsEnabledStateProcPtr pushpopupsenabledstate;
  NPN_PopPopupsEnabledStateProcPtr poppopupsenabledstate;
  NPN_EnumerateProcPtr enumerate;
  NPN_PluginThreadAsyncCallProcPtr pluginthreadasynccall;
  NPN_ConstructProcPtr construct;
  NPN_GetValueForURLPtr getvalueforurl;
  NPN_SetValueForURLPtr setvalueforurl;
  NPN_GetAuthenticationInfoPtr getauthenticationinfo;
  NPN_ScheduleTimerPtr scheduletimer;
  NPN_UnscheduleTimerPtr unscheduletimer;
  NPN_PopUpContextMenuPtr popupcontextmenu;
  NPN_ConvertPointPtr convertpoint;
  NPN_HandleEventPtr handleevent;
  NPN_UnfocusInstancePtr unfocusinstance;
  NPN_URLRedirectResponsePtr urlredirectresponse;
} NPNetscapeFuncs;

// ---- The plug-in's function table (NPP_*) ----

typedef NPError (*NPP_NewProcPtr)(NPMIMEType, NPP, uint16_t, int16_t, char**, char**, NPSavedData*);
typedef NPError (*NPP_DestroyProcPtr)(NPP, NPSavedData**);
typedef NPError (*NPP_SetWindowProcPtr)(NPP, NPWindow*);
typedef NPError (*NPP_NewStreamProcPtr)(NPP, NPMIMEType, NPStream*, NPBool, uint16_t*);
typedef NPError (*NPP_DestroyStreamProcPtr)(NPP, NPStream*, NPReason);
typedef void (*NPP_StreamAsFileProcPtr)(NPP, NPStream*, const char*);
typedef int32_t (*NPP_WriteReadyProcPtr)(NPP, NPStream*);
typedef int32_t (*NPP_WriteProcPtr)(NPP, NPStream*, int32_t, int32_t, void*);
typedef void (*NPP_PrintProcPtr)(NPP, NPPrint*);
typedef int16_t (*NPP_HandleEventProcPtr)(NPP, void*);
typedef void (*NPP_URLNotifyProcPtr)(NPP, const char*, NPReason, void*);
typedef NPError (*NPP_GetValueProcPtr)(NPP, NPPVariable, void*);
typedef NPError (*NPP_SetValueProcPtr)(NPP, NPNVariable, void*);
typedef NPBool (*NPP_GotFocusPtr)(NPP, int);
typedef void (*NPP_LostFocusPtr)(NPP);
typedef void (*NPP_URLRedirectNotifyPtr)(NPP, const char*, int32_t, void*);
typedef NPError (*NPP_ClearSiteDataPtr)(const char*, uint64_t, uint64_t);
typedef char** (*NPP_GetSitesWithDataPtr)(void);
typedef void (*NPP_DidCompositePtr)(NPP);

typedef struct _NPPluginFuncs {
  uint16_t size;
  uint16_t version;
  NPP_NewProcPtr newp;
  NPP_DestroyProcPtr destroy;
  NPP_SetWindowProcPtr setwindow;
  NPP_NewStreamProcPtr newstream;
  NPP_DestroyStreamProcPtr destroystream;
  NPP_StreamAsFileProcPtr asfile;
  NPP_WriteReadyProcPtr writeready;
  NPP_WriteProcPtr write;
  NPP_PrintProcPtr print;
  NPP_HandleEventProcPtr event;
  NPP_URLNotifyProcPtr urlnotify;
  void* javaClass;
  NPP_GetValueProcPtr getvalue;
  NPP_SetValueProcPtr setvalue;
  NPP_GotFocusPtr gotfocus;
  NPP_LostFocusPtr lostfocus;
  NPP_URLRedirectNotifyPtr urlredirectnotify;
  NPP_ClearSiteDataPtr clearsitedata;
  NPP_GetSitesWithDataPtr getsiteswithdata;
  NPP_DidCompositePtr didComposite;
} NPPluginFuncs;

// ---- The module's exports ----

typedef NPError(NP_STDCALL* NP_GetEntryPointsFunc)(NPPluginFuncs*);
typedef NPError(NP_STDCALL* NP_InitializeFunc)(NPNetscapeFuncs*);
typedef NPError(NP_STDCALL* NP_ShutdownFunc)(void);
typedef const char*(NP_CDECL* NP_GetMIMEDescriptionFunc)(void);
typedef NPError(NP_CDECL* NP_GetValueFunc)(void*, NPPVariable, void*);
// The Unix ABI's NP_Initialize: the browser's table in, the plug-in's table filled.
typedef NPError (*NP_InitializeUnixFunc)(NPNetscapeFuncs*, NPPluginFuncs*);

// Layout facts of the 32-bit Windows ABI the product is built for. Both tables grow by one pointer per
// slot; a browser's table of `size` bytes supplies every slot that ends within it.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void*) == 4, "32-bit build");
static_assert(sizeof(NPNetscapeFuncs) == 224, "browser table: two words and 55 slots");
static_assert(offsetof(NPNetscapeFuncs, urlredirectresponse) == 220, "last browser slot");
static_assert(offsetof(NPNetscapeFuncs, setexception) == 160, "slot order");
static_assert(offsetof(NPPluginFuncs, setvalue) == 56, "plug-in slots through setvalue");
static_assert(sizeof(NPVariant) == 16, "variant: type and an 8-byte aligned union");
static_assert(sizeof(NPString) == 8, "string: pointer and length");
static_assert(sizeof(NPObject) == 8, "object header");
static_assert(sizeof(NPClass) == 52, "class table");
static_assert(sizeof(NPP_t) == 8, "instance handle");
#endif
// The 64-bit Unix ABI, as QtWebKit's tables have it: a 448-byte browser table, and a plug-in table of
// 160 bytes (through getsiteswithdata), of which the module fills the slots through setvalue.
#if defined(XP_UNIX) && defined(__LP64__)
static_assert(sizeof(NPNetscapeFuncs) == 448, "browser table: two words and 55 slots");
static_assert(offsetof(NPPluginFuncs, getsiteswithdata) + sizeof(void*) == 160, "plug-in table");
static_assert(offsetof(NPPluginFuncs, setvalue) + sizeof(void*) <= 160, "filled slots");
#endif
static_assert(offsetof(NPNetscapeFuncs, geturl) == 2 * sizeof(uint16_t) ||
                  offsetof(NPNetscapeFuncs, geturl) == sizeof(void*),
              "slots follow the two words");
static_assert(sizeof(NPNetscapeFuncs) == offsetof(NPNetscapeFuncs, geturl) + 55 * sizeof(void*),
              "55 browser slots");
