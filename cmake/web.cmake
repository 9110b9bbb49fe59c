# The web build, configured with emcmake by scripts/build_web.sh: the
# library in WebAssembly as the browser viewer's module, and the view and
# benchmark programs for Node that compare it with the native build.
set(PLOTMIRA_FREETYPE_PREFIX "" CACHE PATH "FreeType built with emscripten (include/freetype2, lib/libfreetype.a)")
set(PLOTMIRA_CP932_TABLES_DIR "" CACHE PATH "Folder of cp932_tables.h, made by make_cp932_tables")
if(NOT EXISTS "${PLOTMIRA_FREETYPE_PREFIX}/lib/libfreetype.a" OR NOT EXISTS "${PLOTMIRA_CP932_TABLES_DIR}/cp932_tables.h")
  message(FATAL_ERROR "the web build needs PLOTMIRA_FREETYPE_PREFIX and PLOTMIRA_CP932_TABLES_DIR: run scripts/build_web.sh")
endif()

# Exceptions as WebAssembly's own: the library answers an allocation that
# fails with a status, and the page goes on.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions -sALLOW_MEMORY_GROWTH=1)

add_library(plotmira_platform STATIC ${PLOTMIRA_PORTABLE_SOURCES}
  src/platform/portable/code_page_tables.cpp src/platform/portable/font_lookup_files.cpp)
target_include_directories(plotmira_platform PRIVATE src ${PLOTMIRA_CP932_TABLES_DIR})
target_include_directories(plotmira_platform SYSTEM PUBLIC ${PLOTMIRA_FREETYPE_PREFIX}/include/freetype2)
target_link_libraries(plotmira_platform PUBLIC ${PLOTMIRA_FREETYPE_PREFIX}/lib/libfreetype.a)

add_library(plotmira_core STATIC ${PLOTMIRA_MODULE_SOURCES})
target_include_directories(plotmira_core PRIVATE src PUBLIC include)
target_link_libraries(plotmira_core PUBLIC plotmira_platform)

# The page's module: an ES module for the render worker.
set(web_exports _malloc _free _plotmira_open_memory _plotmira_close _plotmira_strerror _plotmira_version
  _plotmira_web_describe _plotmira_web_render _plotmira_web_missing_fonts _plotmira_web_fonts_arrived
  _plotmira_web_export_dxf _plotmira_web_output _plotmira_web_output_size _plotmira_web_output_release _plotmira_web_texts _plotmira_web_snap
  _plotmira_web_render_tile)
string(REPLACE ";" "," web_exports "${web_exports}")
add_executable(plotmira_web hosts/web/web_api.cpp)
target_include_directories(plotmira_web PRIVATE src)
target_link_libraries(plotmira_web PRIVATE plotmira_core)
set_target_properties(plotmira_web PROPERTIES OUTPUT_NAME plotmira SUFFIX .mjs)
target_link_options(plotmira_web PRIVATE -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createPlotmira
  -sENVIRONMENT=worker -sEXPORTED_FUNCTIONS=${web_exports} -sEXPORTED_RUNTIME_METHODS=FS,UTF8ToString)

# Node programs over the real file system: the views of tests/host for the
# comparison with native pictures, and the library benchmark.
set(node_options -sNODERAWFS=1 -sENVIRONMENT=node -sEXIT_RUNTIME=1 --pre-js ${CMAKE_SOURCE_DIR}/hosts/web/node_env.js)
add_executable(view_render tests/host/view_render.cpp)
target_link_libraries(view_render PRIVATE plotmira_core)
target_link_options(view_render PRIVATE ${node_options})
add_executable(bench_library bench/library_views.cpp)
target_include_directories(bench_library PRIVATE src ${CMAKE_SOURCE_DIR})
target_link_libraries(bench_library PRIVATE plotmira_core)
target_link_options(bench_library PRIVATE ${node_options})
add_executable(bench_snap bench/snap_points.cpp)
target_include_directories(bench_snap PRIVATE src ${CMAKE_SOURCE_DIR})
target_link_libraries(bench_snap PRIVATE plotmira_core)
target_link_options(bench_snap PRIVATE ${node_options})
