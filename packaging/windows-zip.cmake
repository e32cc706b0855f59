# The Windows build's zip (scripts/windows-zip.sh), made with every build.
add_custom_target(windows_zip ALL COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/windows-zip.sh ${CMAKE_BINARY_DIR}
                  BYPRODUCTS ${CMAKE_BINARY_DIR}/compofiller-windows-x64.zip)
add_dependencies(windows_zip compofiller song)
