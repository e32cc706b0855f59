# The web site in the build folder's site/ (scripts/web-site.sh), laid out
# afresh with every build.
add_custom_target(web_site ALL COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/web-site.sh ${CMAKE_BINARY_DIR} ${COMPOFILLER_THIRD_PARTY})
add_dependencies(web_site compofiller-web song)
