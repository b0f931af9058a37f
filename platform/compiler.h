// Compiler-specific spellings, kept in one place so the sources build with
// GCC, clang and other Windows toolchains alike.
#ifndef QV_PLATFORM_COMPILER_H
#define QV_PLATFORM_COMPILER_H

// The number of elements of an array (not of a pointer).
#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))

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
#define QV_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define QV_NOINLINE __declspec(noinline)
#else
#define QV_NOINLINE
#endif

// Atomic loads and stores of a plain integer, from the compiler: the
// library links no C++ runtime on every target.
#define QV_LOAD_ACQUIRE(p) __atomic_load_n((p), __ATOMIC_ACQUIRE)
#define QV_STORE_RELEASE(p, v) __atomic_store_n((p), (v), __ATOMIC_RELEASE)
#define QV_LOAD_RELAXED(p) __atomic_load_n((p), __ATOMIC_RELAXED)
#define QV_STORE_RELAXED(p, v) __atomic_store_n((p), (v), __ATOMIC_RELAXED)

// A function that reads whole aligned 16-byte blocks around a text, past
// its terminator (never across a page), as the C library's strlen does:
// the sanitizers' object bounds do not apply to it.
#if defined(__GNUC__) || defined(__clang__)
#define QV_READS_ALIGNED_BLOCKS                                                \
  __attribute__((no_sanitize("address", "thread")))
#else
#define QV_READS_ALIGNED_BLOCKS
#endif

#endif
