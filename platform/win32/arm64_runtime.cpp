// What a C runtime would give the ARM64 DLL, which links none (Debian has
// no aarch64 mingw-w64 CRT): the stack probe. The memory and string
// functions come from ucrtbase.dll.
//
// __chkstk: the compiler calls it before a frame of more than a page, with
// the frame's size in 16-byte units in x15. It touches each page from the
// stack pointer down, in order, so that the system grows the stack one
// guard page at a time; it changes nothing but x16 and x17, and the caller
// moves the stack pointer itself.
#if defined(__aarch64__)
asm(R"(
  .text
  .globl __chkstk
  .p2align 2
__chkstk:
  lsl x16, x15, #4
  mov x17, sp
  sub x16, x17, x16
1:
  sub x17, x17, #0x1000
  cmp x17, x16
  b.lo 2f
  ldr xzr, [x17]
  b 1b
2:
  ldr xzr, [x16]
  ret
)");
#endif
