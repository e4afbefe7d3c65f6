#include "plugin/browser_funcs.h"

NPNetscapeFuncs BrowserFuncs;
