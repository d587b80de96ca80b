# Installs the subsystem libraries as the CMake package Vrenn. Each folder's library becomes
# the component Vrenn::<folder>, its headers go to include/vrenn/<folder> (consumers include
# <vrenn/geometry/Mesh.h>; the headers themselves, and older consumers, name each other as
# "geometry/Mesh.h", which include/vrenn on the path keeps working), and the package config
# loads, for the
# components asked for and those they use, the third-party libraries they were built with.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VRENN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vrenn)

# The package config's name for a third-party target a library links: a package name for
# find_dependency, or PkgConfig:<prefix>:<module> for a pkg-config module. Empty for a target
# the package does not know how to find again.
function(_vrenn_third_party_package target out)
    set(result "")
    if(target STREQUAL "Threads::Threads")
        set(result Threads)
    elseif(target STREQUAL "ZLIB::ZLIB")
        set(result ZLIB)
    elseif(target STREQUAL "JPEG::JPEG")
        set(result JPEG)
    elseif(target STREQUAL "PkgConfig::MINIZIP")
        set(result PkgConfig:MINIZIP:minizip)
    elseif(target STREQUAL "OpenEXR::OpenEXR")
        set(result OpenEXR)
    elseif(target STREQUAL "PkgConfig::PNG")
        set(result PkgConfig:PNG:libpng)
    elseif(target STREQUAL "PkgConfig::SDL2")
        set(result PkgConfig:SDL2:sdl2)
    elseif(target STREQUAL "PkgConfig::EPOXY")
        set(result PkgConfig:EPOXY:epoxy)
    endif()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

# The targets a link list names, with LINK_ONLY and BUILD_INTERFACE unwrapped and
# INSTALL_INTERFACE entries dropped: our own targets, and names with "::", which are
# imported targets even where they are not visible from here (pkg-config targets are local
# to the folder that made them).
function(_vrenn_linked_targets list out)
    set(result "")
    foreach(item IN LISTS list)
        if(item MATCHES "^\\$<INSTALL_INTERFACE:")
            continue()
        endif()
        string(REGEX REPLACE "\\$<(LINK_ONLY|BUILD_INTERFACE):" "" item "${item}")
        string(REGEX REPLACE ">+$" "" item "${item}")
        if(TARGET "${item}" OR item MATCHES "::")
            list(APPEND result "${item}")
        endif()
    endforeach()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

# vrenn_install_package(<folder>...)
# Installs the library of each folder (given in build order, each using only folders before
# it) as a component of the package, with its headers, the exported target and the package
# config and version files. Call it after the folders are added.
function(vrenn_install_package)
    set(components ${ARGN})
    set(component_of_target "")
    set(table "")
    foreach(component IN LISTS components)
        set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${component})
        get_directory_property(dir_targets DIRECTORY ${dir} BUILDSYSTEM_TARGETS)
        set(target "")
        foreach(candidate IN LISTS dir_targets)
            get_target_property(type ${candidate} TYPE)
            if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "SHARED_LIBRARY")
                if(target)
                    message(FATAL_ERROR "vrenn_install_package: ${component} builds two "
                        "libraries (${target}, ${candidate}); a folder is one component")
                endif()
                set(target ${candidate})
            endif()
        endforeach()
        if(NOT target)
            message(FATAL_ERROR "vrenn_install_package: ${component} builds no library")
        endif()

        # Components this one links, and the third-party packages it needs found again.
        get_target_property(links ${target} LINK_LIBRARIES)
        get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
        set(requires "")
        set(packages "")
        _vrenn_linked_targets("${links};${interface_links}" linked)
        list(REMOVE_DUPLICATES linked)
        foreach(lib IN LISTS linked)
            set(imported TRUE)
            if(TARGET ${lib})
                get_target_property(imported ${lib} IMPORTED)
            endif()
            if(lib STREQUAL "vrenn_warnings")
                continue()
            elseif(NOT imported)
                list(FIND component_of_target ${lib} index)
                if(index EQUAL -1)
                    message(FATAL_ERROR "vrenn_install_package: ${target} links ${lib}, which "
                        "is not a component installed before it")
                endif()
                math(EXPR index "${index} + 1")
                list(GET component_of_target ${index} used)
                list(APPEND requires ${used})
            else()
                _vrenn_third_party_package(${lib} package)
                if(NOT package)
                    message(FATAL_ERROR "vrenn_install_package: ${target} links ${lib}; "
                        "say in cmake/VrennInstall.cmake how the package config finds it")
                endif()
                list(APPEND packages ${package})
            endif()
        endforeach()
        string(APPEND table "set(_Vrenn_${component}_requires ${requires})\n")
        string(APPEND table "set(_Vrenn_${component}_packages ${packages})\n")
        list(APPEND component_of_target ${target} ${component})

        # Our warning flags stay ours: the warnings target is linked in the build tree only.
        # Include paths into the source tree hold in the build tree; installed, the headers
        # are under include/vrenn.
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(values ${target} ${property})
            if(values)
                list(TRANSFORM values REPLACE "^vrenn_warnings$"
                    "$<BUILD_INTERFACE:vrenn_warnings>")
                list(TRANSFORM values REPLACE "^\\$<LINK_ONLY:vrenn_warnings>$"
                    "$<LINK_ONLY:$<BUILD_INTERFACE:vrenn_warnings>>")
                set_target_properties(${target} PROPERTIES ${property} "${values}")
            endif()
        endforeach()
        get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
        set(wrapped "")
        if(includes)
            foreach(include IN LISTS includes)
                if(include MATCHES "^\\$<")
                    list(APPEND wrapped "${include}")
                else()
                    list(APPEND wrapped "$<BUILD_INTERFACE:${include}>")
                endif()
            endforeach()
        endif()
        list(APPEND wrapped "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>"
            "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vrenn>")
        set_target_properties(${target} PROPERTIES
            INTERFACE_INCLUDE_DIRECTORIES "${wrapped}"
            EXPORT_NAME ${component})
        # The headers are C++20.
        target_compile_features(${target} INTERFACE cxx_std_20)

        install(TARGETS ${target} EXPORT Vrenn-${component}
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
        install(EXPORT Vrenn-${component} NAMESPACE Vrenn::
            FILE VrennTargets-${component}.cmake
            DESTINATION ${VRENN_INSTALL_CMAKEDIR})
        install(DIRECTORY ${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrenn/${component}
            FILES_MATCHING PATTERN "*.h")
    endforeach()

    set(VRENN_COMPONENTS "${components}")
    set(VRENN_COMPONENT_TABLE "${table}")
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VrennConfig.cmake.in
        ${PROJECT_BINARY_DIR}/VrennConfig.cmake
        INSTALL_DESTINATION ${VRENN_INSTALL_CMAKEDIR})
    write_basic_package_version_file(${PROJECT_BINARY_DIR}/VrennConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
    install(FILES ${PROJECT_BINARY_DIR}/VrennConfig.cmake
        ${PROJECT_BINARY_DIR}/VrennConfigVersion.cmake
        DESTINATION ${VRENN_INSTALL_CMAKEDIR})
endfunction()
