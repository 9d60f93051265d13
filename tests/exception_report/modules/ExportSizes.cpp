// Routines of known byte sizes, each ending in its return, with int3 filler
// between them so that an address can lie past one routine and before the
// next. The byte sequences decode alike on both builds, so the sizes hold
// for either.
#define BRX_STR2(x) #x
#define BRX_STR(x) BRX_STR2(x)
#define BRX_SYM(name) BRX_STR(__USER_LABEL_PREFIX__) #name

asm(".text\n"
    ".p2align 4\n"
    ".globl " BRX_SYM(brx_sized_plain) "\n"
    BRX_SYM(brx_sized_plain) ":\n"
    "  .byte 0x31, 0xC0, 0xC3\n"  // xor eax, eax; ret: 3 bytes
    "  .fill 29, 1, 0xCC\n"
    ".globl " BRX_SYM(brx_sized_at_form) "\n"
    BRX_SYM(brx_sized_at_form) ":\n"
    "  .byte 0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3\n"  // mov eax, 1; ret: 6 bytes
    "  .fill 26, 1, 0xCC\n"
    ".globl " BRX_SYM(brx_sized_dotted2) "\n"
    BRX_SYM(brx_sized_dotted2) ":\n"
    "  .byte 0x90, 0x90, 0x90, 0x90, 0xC3\n"  // four nops; ret: 5 bytes
    "  .fill 27, 1, 0xCC\n"
    ".globl " BRX_SYM(brx_sized_dotted3) "\n"
    BRX_SYM(brx_sized_dotted3) ":\n"
    "  .byte 0x90, 0xC3\n"  // nop; ret: 2 bytes
    "  .fill 30, 1, 0xCC\n"
    ".globl " BRX_SYM(brx_sized_cpp) "\n"
    BRX_SYM(brx_sized_cpp) ":\n"
    "  .byte 0xC3\n"  // ret: 1 byte
    "  .fill 31, 1, 0xCC\n"
    // push target; jmp next; ret: 11 bytes. Outside the NT family such a
    // stub stands for the routine it pushes: the first one here on the
    // 32-bit build; on the 64-bit build, where a pushed 32-bit address of
    // this module cannot be linked, address 0.
    ".globl " BRX_SYM(brx_sized_stub) "\n"
    BRX_SYM(brx_sized_stub) ":\n"
#ifdef __i386__
    "  .byte 0x68\n  .long " BRX_SYM(brx_sized_plain) "\n"
#else
    "  .byte 0x68\n  .long 0\n"
#endif
    "  .byte 0xE9\n  .long 0\n"
    "  .byte 0xC3\n"
    "  .fill 21, 1, 0xCC\n");
