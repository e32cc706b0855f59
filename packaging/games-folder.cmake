# Run by cpack once the package's files are staged, before it builds the
# package: Debian keeps games in /usr/games, so the demo moves there from
# /usr/bin, where the tools stay. It finds its song from its own folder as
# ../share/compofiller, which is the same folder from either.
set(staged "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${staged}/games")
file(RENAME "${staged}/bin/compofiller" "${staged}/games/compofiller")
