# orvanta_stamp_version(<target> [DLL])
#
# Embeds the project's version in <target> as a 52-byte fixed file information block in the
# section ".orvanta_version", where GetFileVersion finds it without loading the file. DLL marks a
# loadable module (file type 2) instead of an application (file type 1).
set(ORV_VERSION_STAMP_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/version_stamp.c.in")

function(orvanta_stamp_version target)
    cmake_parse_arguments(ARG "DLL" "" "" ${ARGN})
    set(ORV_FILE_TYPE 1)
    if(ARG_DLL)
        set(ORV_FILE_TYPE 2)
    endif()
    foreach(part MAJOR MINOR PATCH TWEAK)
        set(ORV_VERSION_${part} "${PROJECT_VERSION_${part}}")
        if(ORV_VERSION_${part} STREQUAL "")
            set(ORV_VERSION_${part} 0)
        endif()
    endforeach()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_stamp.c")
    configure_file("${ORV_VERSION_STAMP_TEMPLATE}" "${out}" @ONLY)
    target_sources(${target} PRIVATE "${out}")
    target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}/include")
endfunction()
