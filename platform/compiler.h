// Compiler-specific spellings, kept in one place so the sources build with
// GCC, clang and other Windows toolchains alike.
#ifndef QV_PLATFORM_COMPILER_H
#define QV_PLATFORM_COMPILER_H

#if defined(__MINGW32__) && defined(__GNUC__) && !defined(__clang__)
// MinGW formats through its own C99 printf (__USE_MINGW_ANSI_STDIO).
#define QV_PRINTF_FORMAT(fmt, args)                                            \
  __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__) || defined(__clang__)
#define QV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QV_PRINTF_FORMAT(fmt, args)
#endif

#if defined(__GNUC__) || defined(__clang__)
#define QV_UNUSED __attribute__((unused))
#else
#define QV_UNUSED
#endif

#endif
