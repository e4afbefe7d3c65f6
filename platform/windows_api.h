// The one header through which the module reaches Windows.
//
// Windows builds include the real headers and link the real libraries (WINSPOOL, IPHLPAPI, KERNEL32,
// ADVAPI32).
// Other builds declare the same names and record layouts here, and the test doubles implement them,
// so module code calls the platform by its real names everywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winspool.h>
#include <iphlpapi.h>

#else

typedef int BOOL;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef BYTE* LPBYTE;
typedef void* HANDLE;
typedef HANDLE* LPHANDLE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef void* LPVOID;
typedef int32_t LONG;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define WINAPI
#define TRUE 1
#define FALSE 0

#define NO_ERROR 0u
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_MORE_DATA 234u
#define ERROR_INVALID_PRINTER_NAME 1801u
#define ERROR_NO_UNICODE_TRANSLATION 1113u

#define CP_ACP 0u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define KEY_QUERY_VALUE 0x0001u
#define KEY_WOW64_64KEY 0x0100u
#define REG_SZ 1u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define CSTR_EQUAL 2

#define PRINTER_ENUM_LOCAL 0x00000002u
#define PRINTER_ENUM_CONNECTIONS 0x00000004u

typedef struct _DOC_INFO_1A {
  LPSTR pDocName;
  LPSTR pOutputFile;
  LPSTR pDatatype;
} DOC_INFO_1A;

typedef struct _PRINTER_INFO_4A {
  LPSTR pPrinterName;
  LPSTR pServerName;
  DWORD Attributes;
} PRINTER_INFO_4A;

typedef struct _PRINTER_DEFAULTSA PRINTER_DEFAULTSA;
typedef PRINTER_DEFAULTSA* LPPRINTER_DEFAULTSA;

#define MAX_INTERFACE_NAME_LEN 256
#define MAXLEN_PHYSADDR 8
#define MAXLEN_IFDESCR 256

typedef struct _MIB_IFROW {
  WCHAR wszName[MAX_INTERFACE_NAME_LEN];
  DWORD dwIndex;
  DWORD dwType;
  DWORD dwMtu;
  DWORD dwSpeed;
  DWORD dwPhysAddrLen;
  BYTE bPhysAddr[MAXLEN_PHYSADDR];
  DWORD dwAdminStatus;
  DWORD dwOperStatus;
  DWORD dwLastChange;
  DWORD dwInOctets;
  DWORD dwInUcastPkts;
  DWORD dwInNUcastPkts;
  DWORD dwInDiscards;
  DWORD dwInErrors;
  DWORD dwInUnknownProtos;
  DWORD dwOutOctets;
  DWORD dwOutUcastPkts;
  DWORD dwOutNUcastPkts;
  DWORD dwOutDiscards;
  DWORD dwOutErrors;
  DWORD dwOutQLen;
  DWORD dwDescrLen;
  BYTE bDescr[MAXLEN_IFDESCR];
} MIB_IFROW;

typedef struct _MIB_IFTABLE {
  DWORD dwNumEntries;
  MIB_IFROW table[1];
} MIB_IFTABLE;
typedef MIB_IFTABLE* PMIB_IFTABLE;

extern "C" {
// KERNEL32
DWORD GetLastError(void);
void SetLastError(DWORD error);
UINT GetACP(void);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textLength, LPWSTR wide,
                        int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text,
                        int textLength, LPCSTR defaultChar, LPBOOL usedDefaultChar);
int CompareStringOrdinal(LPCWSTR text1, int length1, LPCWSTR text2, int length2, BOOL ignoreCase);
// WINSPOOL
BOOL GetDefaultPrinterA(LPSTR buffer, LPDWORD size);
BOOL OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults);
DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo);
BOOL StartPagePrinter(HANDLE printer);
BOOL WritePrinter(HANDLE printer, LPVOID bytes, DWORD count, LPDWORD written);
BOOL EndPagePrinter(HANDLE printer);
BOOL EndDocPrinter(HANDLE printer);
BOOL ClosePrinter(HANDLE printer);
BOOL EnumPrintersA(DWORD flags, LPSTR serverName, DWORD level, LPBYTE buffer, DWORD bufferSize,
                   LPDWORD needed, LPDWORD returned);
// IPHLPAPI
DWORD GetIfTable(PMIB_IFTABLE table, DWORD* size, BOOL order);
// ADVAPI32
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegCloseKey(HKEY key);
}

#endif

// A UTF-16 string literal of the platform's WCHAR type.
#if defined(_WIN32)
#define WIDE_LITERAL(text) L##text
#else
#define WIDE_LITERAL(text) u##text
#endif

// The row layout the module reads, fixed by the platform on every architecture.
static_assert(sizeof(MIB_IFROW) == 860, "interface row");
static_assert(offsetof(MIB_IFROW, dwPhysAddrLen) == 528, "address length field");
static_assert(offsetof(MIB_IFROW, bPhysAddr) == 532, "address bytes");
static_assert(offsetof(MIB_IFTABLE, table) == 4, "rows follow the count");
