// Symbol visibility: one macro per library, so that each module exports its own symbols and
// nothing of another's.
//
// On Windows a library's macro is dllexport while that library is built (its build defines
// KORVEX_BUILDING_<NAME>) and dllimport everywhere else; on other platforms every macro gives
// default visibility. KORVEX_EXPORT marks what the executable exports: the proxy singleton's
// members, which KorvexMonitor.def lists on Windows. KORVEX_MODULE_API marks the entry points of
// an agent module, looked up by name when the module is loaded.
#pragma once

#include "Compiler.h"

#if defined(_WIN32)
#define KORVEX_DLL_EXPORT __declspec(dllexport)
#define KORVEX_DLL_IMPORT __declspec(dllimport)
#define KORVEX_EXPORT
#else
#define KORVEX_DLL_EXPORT __attribute__((visibility("default")))
#define KORVEX_DLL_IMPORT __attribute__((visibility("default")))
#define KORVEX_EXPORT __attribute__((visibility("default")))
#endif
#define KORVEX_MODULE_API KORVEX_DLL_EXPORT

// What the executable itself exports to the libraries loaded into it (the proxy singleton's
// members): dllexport while the executable, or a test standing in for it, is built
// (KORVEX_BUILDING_MONITOR), dllimport elsewhere, so that no library reaches its data through
// the GNU linker's automatic import, which another compiler does not have.
#if defined(_WIN32) && defined(KORVEX_BUILDING_MONITOR)
#define KORVEX_MONITOR_API KORVEX_DLL_EXPORT
#elif defined(_WIN32)
#define KORVEX_MONITOR_API KORVEX_DLL_IMPORT
#else
#define KORVEX_MONITOR_API KORVEX_EXPORT
#endif

#if defined(KORVEX_BUILDING_TBXUTIL)
#define TBXUTIL_API KORVEX_DLL_EXPORT
#else
#define TBXUTIL_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_TBXIPC)
#define TBXIPC_API KORVEX_DLL_EXPORT
#else
#define TBXIPC_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOCOMMON)
#define VALKOCOMMON_API KORVEX_DLL_EXPORT
#else
#define VALKOCOMMON_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOCONFIG)
#define VALKOCONFIG_API KORVEX_DLL_EXPORT
#else
#define VALKOCONFIG_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOCONTROL)
#define VALKOCONTROL_API KORVEX_DLL_EXPORT
#else
#define VALKOCONTROL_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOERROR)
#define VALKOERROR_API KORVEX_DLL_EXPORT
#else
#define VALKOERROR_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOMONITOR)
#define VALKOMONITOR_API KORVEX_DLL_EXPORT
#else
#define VALKOMONITOR_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOMT)
#define VALKOMT_API KORVEX_DLL_EXPORT
#else
#define VALKOMT_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOMODULEMANAGER)
#define VALKOMODULEMANAGER_API KORVEX_DLL_EXPORT
#else
#define VALKOMODULEMANAGER_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOMSGTRANSMITPROXY)
#define VALKOMSGTRANSMITPROXY_API KORVEX_DLL_EXPORT
#else
#define VALKOMSGTRANSMITPROXY_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOFILEWATCH)
#define VALKOFILEWATCH_API KORVEX_DLL_EXPORT
#else
#define VALKOFILEWATCH_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_VALKOPROCMNG)
#define VALKOPROCMNG_API KORVEX_DLL_EXPORT
#else
#define VALKOPROCMNG_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_FILEQUARA)
#define FILEQUARA_API KORVEX_DLL_EXPORT
#else
#define FILEQUARA_API KORVEX_DLL_IMPORT
#endif

#if defined(KORVEX_BUILDING_MODULECOMMON)
#define MODULECOMMON_API KORVEX_DLL_EXPORT
#else
#define MODULECOMMON_API KORVEX_DLL_IMPORT
#endif

// The Win32 subset's stand-in library on POSIX; on Windows the system's own DLLs and a static
// platform layer, which neither exports nor imports.
#if defined(_WIN32)
#define WIN32STANDIN_API
#elif defined(KORVEX_BUILDING_WIN32STANDIN)
#define WIN32STANDIN_API KORVEX_DLL_EXPORT
#else
#define WIN32STANDIN_API KORVEX_DLL_IMPORT
#endif
