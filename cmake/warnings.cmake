# Warnings every target of ours is built with; ORV_WERROR (on in CI) makes them errors.
function(orvanta_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-align
        -Wformat=2 -Wnull-dereference -Wimplicit-fallthrough
        $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual>)
    if(ORV_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
