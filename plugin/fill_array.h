// The array-filling methods getPrinters and getMacAddresses: a producer makes a NameList, and each
// entry is handed to the page's array through the array's own "push".
#pragma once

#include "plugin/script_object.h"

// Makes a NameList (plugin/name_list.h) into *list: 0 and a ModuleAlloc block that the caller frees,
// or any other code with nothing allocated and *list not to be read.
typedef int (*NameListProducer)(char** list);

// Checks that the first argument is an object with a "push" method (else the ?101 failure, result not
// written), runs the producer (on failure failureMessage, result false), then pushes every entry as
// one string and frees the list (result true; when page script destroys the instance from a push
// before the last, failureMessage and result false, still returning true). Returns what invoke hands
// back to the browser.
bool FillArrayFromNameList(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                           NPVariant* result, NameListProducer produce, const char* failureMessage);

// The two script methods, as the dispatch runs them.
bool InvokeGetPrinters(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                       NPVariant* result);
bool InvokeGetMacAddresses(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                           NPVariant* result);
