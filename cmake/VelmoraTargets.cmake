# Compiler settings shared by every Velmora target and the helpers that create test targets.

if(WIN32)
    # XP is the oldest target: declare it, and link the runtime statically (no extra DLL).
    add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 UNICODE _UNICODE)
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(VELMORA_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(VELMORA_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT VELMORA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VELMORA_SANITIZE must be address, thread or empty")
endif()

# Warnings are errors on our own code only; third-party test frameworks keep their own flags.
function(velmora_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
endfunction()

# A GUI program for Windows XP with a UTF-16 entry point: subsystem and OS version 5.01.
function(velmora_xp_gui target)
    target_link_options(${target} PRIVATE -municode -mwindows
        -Wl,--subsystem,windows:5.01
        -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
endfunction()
