# Warnings every target of ours is built with; ORV_WERROR (on in CI) makes them errors.
# -Wnull-dereference is clang's only: clang checks what the code says, while GCC 12 works only
# when optimising, and then from paths it invents inside Asio, Qt and the standard library once
# they are inlined into our code (28 false reports in a Release build, none of them ours).
# -Wrestrict is off for GCC: GCC 12 reports overlapping copies inside libstdc++ for every
# "text" + std::string it inlines (its bug 105329), and C++ code of ours has no restrict
# pointers for it to check.
function(orvanta_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-align
        -Wformat=2 -Wimplicit-fallthrough $<$<CXX_COMPILER_ID:Clang>:-Wnull-dereference>
        $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>
        $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual>)
    if(ORV_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
