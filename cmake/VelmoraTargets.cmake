# Compiler settings shared by every Velmora target and the helpers that create test targets.

# GCC, Clang and MinGW take the GNU-style flags below; MSVC gets its own equivalents.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set(VELMORA_GNU_STYLE ON)
else()
    set(VELMORA_GNU_STYLE OFF)
endif()

if(WIN32)
    # XP is the oldest target: declare it.
    add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 UNICODE _UNICODE)
    # No runtime DLL of our own: the C and C++ runtimes are linked in.
    if(MINGW)
        add_link_options(-static -static-libgcc -static-libstdc++)
    elseif(MSVC)
        set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
        add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
    endif()
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
    if(VELMORA_GNU_STYLE)
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
    elseif(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    endif()
endfunction()

# A program for Windows XP: subsystem and OS version 5.01. KIND is GUI (a window, with the
# UTF-16 entry point wWinMain) or CONSOLE.
function(velmora_xp_program target kind)
    if(kind STREQUAL "GUI")
        set(subsystem windows)
    else()
        set(subsystem console)
    endif()
    if(MINGW)
        if(kind STREQUAL "GUI")
            target_link_options(${target} PRIVATE -municode -mwindows)
        else()
            target_link_options(${target} PRIVATE -mconsole)
        endif()
        target_link_options(${target} PRIVATE -Wl,--subsystem,${subsystem}:5.01
            -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
    elseif(MSVC)
        string(TOUPPER ${subsystem} subsystem)
        # The manifest comes from the resources; the linker must not add a second one.
        target_link_options(${target} PRIVATE /SUBSYSTEM:${subsystem},5.01 /MANIFEST:NO)
    endif()
endfunction()
