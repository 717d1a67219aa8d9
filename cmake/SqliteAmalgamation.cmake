# SQLite for the Windows builds: the amalgamation of release 3.40.0, which compiles for XP.
# It is fetched by the build, never committed: the npm package sqlite3 5.1.4 carries SQLite's own
# sqlite-autoconf-3400000.tar.gz unchanged. The package is checked against the SHA-512 that the
# npm registry gives for it, and sqlite3.c against the SHA3-256 that SQLite publishes in its
# change log for 3.40.0 (Debian's sqlite3-doc carries the page: /usr/share/doc/sqlite3/changes.html).
# SQLite publishes no hash of sqlite3.h; it comes out of the same checked package.
set(VELMORA_SQLITE_NPM_PACKAGE sqlite3@5.1.4)
set(VELMORA_SQLITE_NPM_SHA512
    8b4525580ccf9735f70795cfd9c62e856409b13b65303ea86ce6b53e07844380c711752ec89920bf9d08de2b2a6403f9a057364fc385bda9260e1d96e88f98a4)
set(VELMORA_SQLITE_TARBALL package/deps/sqlite-autoconf-3400000.tar.gz)
set(VELMORA_SQLITE_C_SHA3_256 ab8da6bc754642989e67d581f26683dc705b068cea671970f0a7d32cfacbad19)
set(VELMORA_SQLITE_H_SHA3_256 1bb4ca739b7c181ecd7b5550e4f818ca55149a9e585450c746d30487e0995efc)

set(sqlite_dir ${CMAKE_BINARY_DIR}/_deps/sqlite)

function(velmora_sqlite_matches file expected result)
    set(${result} OFF PARENT_SCOPE)
    if(EXISTS ${file})
        file(SHA3_256 ${file} actual)
        if(actual STREQUAL expected)
            set(${result} ON PARENT_SCOPE)
        endif()
    endif()
endfunction()

velmora_sqlite_matches(${sqlite_dir}/sqlite3.c ${VELMORA_SQLITE_C_SHA3_256} have_c)
velmora_sqlite_matches(${sqlite_dir}/sqlite3.h ${VELMORA_SQLITE_H_SHA3_256} have_h)
if(NOT have_c OR NOT have_h)
    find_program(VELMORA_NPM npm)
    if(NOT VELMORA_NPM)
        message(FATAL_ERROR "The Windows builds fetch SQLite with npm, which is missing: "
            "apt-get install npm (scripts/install-deps.sh does)")
    endif()
    set(download ${sqlite_dir}/download)
    file(REMOVE_RECURSE ${download})
    file(MAKE_DIRECTORY ${download})
    message(STATUS "Fetching SQLite 3.40.0's amalgamation: npm pack ${VELMORA_SQLITE_NPM_PACKAGE}")
    execute_process(COMMAND ${VELMORA_NPM} pack ${VELMORA_SQLITE_NPM_PACKAGE} --silent
        WORKING_DIRECTORY ${download} RESULT_VARIABLE failed OUTPUT_VARIABLE packed
        ERROR_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed)
        message(FATAL_ERROR "npm pack ${VELMORA_SQLITE_NPM_PACKAGE} failed: ${why}")
    endif()
    file(SHA512 ${download}/${packed} actual)
    if(NOT actual STREQUAL VELMORA_SQLITE_NPM_SHA512)
        message(FATAL_ERROR "${download}/${packed} is not the package the registry published "
            "(SHA-512 ${actual}): not used")
    endif()
    file(ARCHIVE_EXTRACT INPUT ${download}/${packed} DESTINATION ${download}
        PATTERNS ${VELMORA_SQLITE_TARBALL})
    file(ARCHIVE_EXTRACT INPUT ${download}/${VELMORA_SQLITE_TARBALL} DESTINATION ${download}
        PATTERNS */sqlite3.c */sqlite3.h)
    foreach(name sqlite3.c sqlite3.h)
        file(GLOB found ${download}/sqlite-autoconf-*/${name})
        file(COPY ${found} DESTINATION ${sqlite_dir})
    endforeach()
    file(REMOVE_RECURSE ${download})
    velmora_sqlite_matches(${sqlite_dir}/sqlite3.c ${VELMORA_SQLITE_C_SHA3_256} have_c)
    velmora_sqlite_matches(${sqlite_dir}/sqlite3.h ${VELMORA_SQLITE_H_SHA3_256} have_h)
    if(NOT have_c OR NOT have_h)
        file(REMOVE ${sqlite_dir}/sqlite3.c ${sqlite_dir}/sqlite3.h)
        message(FATAL_ERROR "The fetched sqlite3.c or sqlite3.h does not have SQLite's published "
            "SHA3-256: not used")
    endif()
endif()

add_library(velmora_sqlite3 STATIC ${sqlite_dir}/sqlite3.c)
target_include_directories(velmora_sqlite3 SYSTEM PUBLIC ${sqlite_dir})
# SQLite's recommended options, less what records do not use; extensions are never loaded.
target_compile_definitions(velmora_sqlite3 PRIVATE
    SQLITE_DQS=0 SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_OMIT_DEPRECATED SQLITE_OMIT_LOAD_EXTENSION
    SQLITE_OMIT_SHARED_CACHE SQLITE_USE_ALLOCA)
# Third-party code keeps its own warnings.
target_compile_options(velmora_sqlite3 PRIVATE -w)
