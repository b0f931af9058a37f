// The Arm64X qvmapi.dll is a forwarder with no code: this is its native
// (ARM64) view's load configuration, a plain IMAGE_LOAD_CONFIG_DIRECTORY64
// of 0x140 bytes. lld fills in what an Arm64X image needs of it.
        .section .rdata,"dr"
        .globl _load_config_used
        .p2align 3, 0
_load_config_used:
        .word 0x140
        .fill 0x13c, 1, 0
