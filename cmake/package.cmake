# The package a user downloads: one zip holding a folder with both programs,
# the user guide, the licence and the notices of what is linked into the programs.
# Built with every build of all targets, and on its own by
# `cmake --build build --target quillmar_package`.
set(QUILLMAR_PACKAGE_FOLDER quillmar-${QUILLMAR_VERSION_TEXT})
set(QUILLMAR_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/package/${QUILLMAR_PACKAGE_FOLDER}-win32.zip)
set(QUILLMAR_PACKAGE_FILES quillmar.exe quillmar-cli.exe USER-GUIDE.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)

# The text files get Windows line ends there; the guide becomes plain text, which a
# double click opens on any Windows (the Help command opens it too).
set(stage ${CMAKE_BINARY_DIR}/package/stage)
set(staged ${stage}/${QUILLMAR_PACKAGE_FOLDER})
set(text_step ${CMAKE_SOURCE_DIR}/cmake/package_text.cmake)
add_custom_command(
  OUTPUT ${QUILLMAR_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${QUILLMAR_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${staged}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quillmar> $<TARGET_FILE:quillmar-cli> ${staged}/
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/docs/USER-GUIDE.md -DTARGET=${staged}/USER-GUIDE.txt
          -DGUIDE=ON -P ${text_step}
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/LICENSE -DTARGET=${staged}/LICENSE.txt -P ${text_step}
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
          -DTARGET=${staged}/THIRD-PARTY-NOTICES.txt -P ${text_step}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage}
          ${CMAKE_COMMAND} -E tar cf ${QUILLMAR_PACKAGE_ZIP} --format=zip ${QUILLMAR_PACKAGE_FOLDER}
  DEPENDS quillmar quillmar-cli ${CMAKE_SOURCE_DIR}/docs/USER-GUIDE.md ${CMAKE_SOURCE_DIR}/LICENSE
          ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt ${text_step}
  COMMENT "Packing ${QUILLMAR_PACKAGE_ZIP}"
  VERBATIM)
add_custom_target(quillmar_package ALL DEPENDS ${QUILLMAR_PACKAGE_ZIP})
# scripts/package.sh reads where the zip is from here.
file(WRITE ${CMAKE_BINARY_DIR}/package/zip-path.txt "${QUILLMAR_PACKAGE_ZIP}\n")
