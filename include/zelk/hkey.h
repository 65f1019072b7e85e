/// @file
/// The registry's handle type, predefined root keys and value type codes, as
/// a host writes them on Windows, for FReg (freg.h).
///
/// On Windows these names come from <windows.h>; this header declares them
/// the same way, token for token as the mingw-w64 headers do, so a host may
/// include <windows.h> before or after it without a clash or a redefinition
/// warning.  On POSIX systems, where the library keeps a registry of its own,
/// this header is where the names come from; the roots have the same values
/// as on Windows (0x80000000 and up, sign-extended to a pointer), so a host
/// writes the same calls on both.  No system header is included here.
#pragma once

// The same incomplete struct and pointer typedef that <windows.h> declares
// with its STRICT handle types.
struct HKEY__;
/// A handle of an open registry key, or one of the predefined roots.  FReg
/// opens and closes the keys; a host rarely needs more than the roots.
typedef struct HKEY__* HKEY;

/// @def HKEY_CLASSES_ROOT
/// The root of file associations and COM classes.

/// @def HKEY_CURRENT_USER
/// The root of the calling user's settings, where a host keeps its own.

/// @def HKEY_LOCAL_MACHINE
/// The root of the machine's settings, shared by every user.

/// @def HKEY_USERS
/// The root of every user's profile.

#if defined(_WIN32)

// The root key macros below name LONG and ULONG_PTR; these typedefs agree
// with <windows.h> on both 32- and 64-bit Windows, so repeating them there
// is harmless.
typedef long LONG;
#  if defined(_WIN64)
typedef unsigned long long ULONG_PTR;
#  else
typedef unsigned long ULONG_PTR;
#  endif

#  ifndef HKEY_CLASSES_ROOT
#    define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#  endif
#  ifndef HKEY_CURRENT_USER
#    define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#  endif
#  ifndef HKEY_LOCAL_MACHINE
#    define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#  endif
#  ifndef HKEY_USERS
#    define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#  endif

#else

// `long` has the width of a pointer on the POSIX targets (ILP32 and LP64);
// the cast through int makes 0x80000000 negative first, so the handle is
// sign-extended as Windows' own (LONG) cast makes it.
#  ifndef HKEY_CLASSES_ROOT
#    define HKEY_CLASSES_ROOT ((HKEY)(long)(int)0x80000000u)
#  endif
#  ifndef HKEY_CURRENT_USER
#    define HKEY_CURRENT_USER ((HKEY)(long)(int)0x80000001u)
#  endif
#  ifndef HKEY_LOCAL_MACHINE
#    define HKEY_LOCAL_MACHINE ((HKEY)(long)(int)0x80000002u)
#  endif
#  ifndef HKEY_USERS
#    define HKEY_USERS ((HKEY)(long)(int)0x80000003u)
#  endif

#endif

// Value type codes, spelt as <windows.h> spells them; FindValues() reports them.
#ifndef REG_NONE
/// No type.
#  define REG_NONE (0)
#endif
#ifndef REG_SZ
/// A zero-terminated text: what FReg::GetString() reads and FReg::SetString() writes.
#  define REG_SZ (1)
#endif
#ifndef REG_EXPAND_SZ
/// A text with references to environment variables (FReg::GetString() gives its default for it).
#  define REG_EXPAND_SZ (2)
#endif
#ifndef REG_BINARY
/// Bytes of any kind.
#  define REG_BINARY (3)
#endif
#ifndef REG_DWORD
/// A 32-bit number: what FReg::GetDWORD() reads and FReg::SetDWORD() writes.
#  define REG_DWORD (4)
#endif
#ifndef REG_DWORD_BIG_ENDIAN
/// A 32-bit number, high byte first.
#  define REG_DWORD_BIG_ENDIAN (5)
#endif
#ifndef REG_MULTI_SZ
/// A list of zero-terminated texts ended by an empty one.
#  define REG_MULTI_SZ (7)
#endif
#ifndef REG_QWORD
/// A 64-bit number.
#  define REG_QWORD (11)
#endif
