# The package a user downloads: one zip holding a folder with both programs,
# the user guide and the licence. Built with every build of all targets, and
# on its own by `cmake --build build --target quillmar_package`.
set(QUILLMAR_PACKAGE_FOLDER quillmar-${QUILLMAR_VERSION_TEXT})
set(QUILLMAR_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/package/${QUILLMAR_PACKAGE_FOLDER}-win32.zip)
set(QUILLMAR_PACKAGE_FILES quillmar.exe quillmar-cli.exe USER-GUIDE.md LICENSE.txt)

set(stage ${CMAKE_BINARY_DIR}/package/stage)
add_custom_command(
  OUTPUT ${QUILLMAR_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${QUILLMAR_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/${QUILLMAR_PACKAGE_FOLDER}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quillmar> $<TARGET_FILE:quillmar-cli>
          ${CMAKE_SOURCE_DIR}/docs/USER-GUIDE.md ${stage}/${QUILLMAR_PACKAGE_FOLDER}/
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${stage}/${QUILLMAR_PACKAGE_FOLDER}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage}
          ${CMAKE_COMMAND} -E tar cf ${QUILLMAR_PACKAGE_ZIP} --format=zip ${QUILLMAR_PACKAGE_FOLDER}
  DEPENDS quillmar quillmar-cli ${CMAKE_SOURCE_DIR}/docs/USER-GUIDE.md ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Packing ${QUILLMAR_PACKAGE_ZIP}"
  VERBATIM)
add_custom_target(quillmar_package ALL DEPENDS ${QUILLMAR_PACKAGE_ZIP})
# scripts/package.sh reads where the zip is from here.
file(WRITE ${CMAKE_BINARY_DIR}/package/zip-path.txt "${QUILLMAR_PACKAGE_ZIP}\n")
