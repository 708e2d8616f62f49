# One switch for AddressSanitizer + UndefinedBehaviorSanitizer over everything we build,
# including the test modules that the tests load with dlopen (they must share the runtime).
if(ORV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
