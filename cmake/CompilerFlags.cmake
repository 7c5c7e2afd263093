# Warnings everywhere; sanitizers on request.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-Wall -Wextra)
    if(WITH_SANITIZERS)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
elseif(MSVC)
    add_compile_options(/W4 /utf-8)
endif()

# The program's own log lines carry no source context in any build type.
add_compile_definitions(QT_NO_MESSAGELOGCONTEXT)
