# Each library shows only its own headers to the code that links it.
#
# zendal_library_headers(<target>) gives <target> an include root of its own,
# build/include/<target>/, holding a link to each header listed in its sources
# under the header's path in the tree (build/include/zendal_link/link/D2XXUnit.h
# -> link/D2XXUnit.h). That root is the target's PUBLIC include directory, so
# "link/D2XXUnit.h" is found by the library itself and by whatever links
# zendal_link (directly or through a PUBLIC dependency), and by nothing else: a
# header of a library that is not a dependency does not exist for the compiler.
#
# The links are made when the directory's CMakeLists.txt has been read, so
# sources added later with target_sources() are included.
function(zendal_library_headers target)
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
    # The deferred call reads its arguments when it runs: they are written in now.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL _zendal_link_headers [[${target}]] [[${root}]]
                                             [[${CMAKE_CURRENT_SOURCE_DIR}]])")
endfunction()

function(_zendal_link_headers target root source_dir)
    # Made afresh on every configure: a header taken out of the list disappears.
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    get_target_property(sources ${target} SOURCES)
    foreach(source ${sources})
        if(NOT source MATCHES "\\.h$")
            continue()
        endif()
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} NORMALIZE OUTPUT_VARIABLE header)
        cmake_path(IS_PREFIX CMAKE_SOURCE_DIR ${header} NORMALIZE inside)
        if(NOT inside)
            message(FATAL_ERROR "${target}: header ${source} lies outside the source tree")
        endif()
        cmake_path(RELATIVE_PATH header BASE_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE name)
        cmake_path(GET name PARENT_PATH folder)
        file(MAKE_DIRECTORY ${root}/${folder})
        file(CREATE_LINK ${header} ${root}/${name} SYMBOLIC)
    endforeach()
endfunction()
