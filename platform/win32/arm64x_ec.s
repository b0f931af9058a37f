// The Arm64EC view's load configuration of the Arm64X forwarder, whose
// CHPEMetadataPointer (at 0xC8) names the CHPE metadata below: without it
// lld writes an image Windows does not take for Arm64X. The metadata
// (IMAGE_ARM64EC_METADATA, version 2) is made of the tables lld lays out
// for the image; a forwarder has no code, so most are empty.
        .section .rdata,"dr"
        .globl _load_config_used
        .p2align 3, 0
_load_config_used:
        .word 0x140
        .fill 0xc4, 1, 0
        .xword __chpe_metadata
        .fill 0x70, 1, 0

        .data
        .globl __chpe_metadata
        .p2align 3, 0
__chpe_metadata:
        .word 2                                     // Version
        .rva __hybrid_code_map                      // CodeMap
        .word __hybrid_code_map_count               // CodeMapCount
        .rva __x64_code_ranges_to_entry_points      // CodeRangesToEntryPoints
        .rva __arm64x_redirection_metadata          // RedirectionMetadata
        .word 0                                     // DispatchCallNoRedirect
        .word 0                                     // DispatchRet
        .word 0                                     // DispatchCall
        .word 0                                     // DispatchIndirectCall
        .word 0                                     // DispatchIndirectCallCfg
        .rva __arm64x_native_entrypoint             // AlternateEntryPoint
        .rva __hybrid_auxiliary_iat                 // AuxiliaryIAT
        .word __x64_code_ranges_to_entry_points_count
        .word __arm64x_redirection_metadata_count
        .word 0                                     // GetX64InformationFunctionPointer
        .word 0                                     // SetX64InformationFunctionPointer
        .rva __arm64x_extra_rfe_table               // ExtraRFETable
        .word __arm64x_extra_rfe_table_size         // ExtraRFETableSize
        .word 0                                     // DispatchFptr
        .rva __hybrid_auxiliary_iat_copy            // AuxiliaryIATCopy
        .rva __hybrid_auxiliary_delayload_iat       // AuxiliaryDelayloadIAT
        .rva __hybrid_auxiliary_delayload_iat_copy  // AuxiliaryDelayloadIATCopy
        .word __hybrid_image_info_bitfield          // HybridImageInfoBitfield
        .fill 6, 4, 0                               // reserved helpers
