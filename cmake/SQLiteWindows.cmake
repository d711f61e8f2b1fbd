# SQLite for the Windows cross builds, which have no system SQLite to link (Wine has no
# winsqlite3.dll): the amalgamation that scripts/sqlite-windows.sh makes from Debian's own
# sqlite3 source package, compiled in as a static library. The same release as the Linux
# build's libsqlite3, with the options of Debian's build that change what SQL does (FTS5 for the
# full-text search, JSON, math functions, LIKE, limits); extensions cannot be loaded.
if(DEFINED ENV{TESSARY_SQLITE_SOURCE})
  set(default "$ENV{TESSARY_SQLITE_SOURCE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(default "$ENV{XDG_CACHE_HOME}/tessary/sqlite3")
else()
  set(default "$ENV{HOME}/.cache/tessary/sqlite3")
endif()
set(TESSARY_SQLITE_SOURCE "${default}" CACHE PATH
  "The SQLite amalgamation (sqlite3.c, sqlite3.h) made by scripts/sqlite-windows.sh")
if(NOT EXISTS "${TESSARY_SQLITE_SOURCE}/sqlite3.c" OR NOT EXISTS "${TESSARY_SQLITE_SOURCE}/sqlite3.h")
  message(FATAL_ERROR "The SQLite amalgamation is not in ${TESSARY_SQLITE_SOURCE}: run "
    "scripts/deps-windows.sh (or scripts/sqlite-windows.sh), or set TESSARY_SQLITE_SOURCE")
endif()
file(READ "${TESSARY_SQLITE_SOURCE}/VERSION" version LIMIT 80)
string(STRIP "${version}" version)
message(STATUS "SQLite for Windows: Debian's ${version}, from ${TESSARY_SQLITE_SOURCE}")

add_library(tessary_sqlite3 STATIC "${TESSARY_SQLITE_SOURCE}/sqlite3.c")
target_include_directories(tessary_sqlite3 SYSTEM PUBLIC "${TESSARY_SQLITE_SOURCE}")
target_compile_definitions(tessary_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_ENABLE_FTS5
  SQLITE_ENABLE_FTS3 SQLITE_ENABLE_FTS3_PARENTHESIS SQLITE_ENABLE_FTS4 SQLITE_ENABLE_RTREE=1
  SQLITE_ENABLE_MATH_FUNCTIONS SQLITE_SOUNDEX=1 SQLITE_SECURE_DELETE SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_ENABLE_DBSTAT_VTAB SQLITE_ENABLE_STMTVTAB SQLITE_ENABLE_UPDATE_DELETE_LIMIT=1
  SQLITE_USE_URI=1 SQLITE_MAX_SCHEMA_RETRY=25 SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_OMIT_LOOKASIDE=1 SQLITE_OMIT_LOAD_EXTENSION)
# The amalgamation is SQLite's own code: built as SQLite builds it, without our warnings.
target_compile_options(tessary_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS tessary_sqlite3)
