// What only some compilers understand, behind one set of macros: every other compiler (the
// agent's own among them) sees them empty.
#pragma once

// KORVEX_IGNORE_ATTRIBUTE_NOTES silences the notes about attributes given after a class became
// complete, up to KORVEX_DIAGNOSTICS_POP. KORVEX_PRINTF_FORMAT(f, a) has the compiler check a
// printf-style format in parameter f against the values from parameter a on.
#if defined(__GNUC__) || defined(__clang__)
#define KORVEX_IGNORE_ATTRIBUTE_NOTES \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wattributes\"")
#define KORVEX_DIAGNOSTICS_POP _Pragma("GCC diagnostic pop")
#if defined(__MINGW32__)
// mingw's C++ runtime formats in the C99 dialect (__USE_MINGW_ANSI_STDIO), not Microsoft's.
#define KORVEX_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define KORVEX_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif
#else
#define KORVEX_IGNORE_ATTRIBUTE_NOTES
#define KORVEX_DIAGNOSTICS_POP
#define KORVEX_PRINTF_FORMAT(f, a)
#endif

// KORVEX_NO_SANITIZE_VPTR keeps the undefined-behaviour sanitizer's type check off a function.
#if defined(__GNUC__) || defined(__clang__)
#define KORVEX_NO_SANITIZE_VPTR __attribute__((no_sanitize("vptr")))
#else
#define KORVEX_NO_SANITIZE_VPTR
#endif
