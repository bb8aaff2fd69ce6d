# The one version of both programs is the project's (the project() line of the
# top CMakeLists.txt). From it come a header for the code and the resource
# scripts, and each program's manifest, all in the build's generated/ folder.
set(QUILLMAR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(QUILLMAR_PRODUCT "Quillmar")
set(QUILLMAR_COMPANY "Brennock")
set(QUILLMAR_COPYRIGHT "Copyright (C) 2026 Brennock")

set(QUILLMAR_VERSION_BUILD ${PROJECT_VERSION_TWEAK})
if(QUILLMAR_VERSION_BUILD STREQUAL "")
  set(QUILLMAR_VERSION_BUILD 0)
endif()
if(PROJECT_VERSION_PATCH STREQUAL "")
  message(FATAL_ERROR "the project version needs at least three numbers: ${PROJECT_VERSION}")
endif()
set(QUILLMAR_VERSION_TEXT
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${QUILLMAR_VERSION_BUILD})

configure_file(${CMAKE_SOURCE_DIR}/res/quillmar_version.h.in ${QUILLMAR_GENERATED_DIR}/quillmar_version.h @ONLY)
file(READ ${CMAKE_SOURCE_DIR}/res/manifest_common.xml QUILLMAR_MANIFEST_COMMON)
string(STRIP "${QUILLMAR_MANIFEST_COMMON}" QUILLMAR_MANIFEST_COMMON)
set(QUILLMAR_MANIFEST_COMMON "  ${QUILLMAR_MANIFEST_COMMON}")
foreach(program quillmar quillmar-cli)
  configure_file(${CMAKE_SOURCE_DIR}/res/${program}.manifest.in ${QUILLMAR_GENERATED_DIR}/${program}.manifest @ONLY)
endforeach()
# Reconfigure when the shared part of the manifests changes.
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/res/manifest_common.xml)

# Every target finds the generated header ("quillmar_version.h") and manifests.
include_directories(${QUILLMAR_GENERATED_DIR})

# quillmar_program(TARGET RESOURCE_SCRIPT): a shipped program gets its resources
# (version, manifest, icon) and is stripped in release builds.
function(quillmar_program target script)
  target_sources(${target} PRIVATE ${script})
  if(MINGW)
    target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endfunction()

# A resource script names its manifest as a file, which the scan of includes does
# not follow: every script with a generated manifest of its name is recompiled when
# that manifest changes. Called once, after every folder has defined its targets.
function(quillmar_track_manifests dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
      get_filename_component(name "${source}" NAME_WE)
      set(manifest ${QUILLMAR_GENERATED_DIR}/${name}.manifest)
      if(source MATCHES "\\.rc$" AND EXISTS ${manifest})
        set_property(SOURCE ${source} DIRECTORY ${dir} APPEND PROPERTY OBJECT_DEPENDS ${manifest})
      endif()
    endforeach()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    quillmar_track_manifests(${subdir})
  endforeach()
endfunction()
