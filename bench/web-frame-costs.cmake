# The web build's frame-costs: the same program as the native one
# (bench/frame_costs.cpp), built for node, so the cells' cost in WebAssembly
# prints beside the native figures without a browser:
#   node build-web/bench/frame-costs.js [SONG] [FPS]
add_executable(frame-costs-web ${CMAKE_SOURCE_DIR}/bench/frame_costs.cpp ${CMAKE_SOURCE_DIR}/tools/record/recorder.cpp)
target_link_libraries(frame-costs-web PRIVATE cf_demo)
target_compile_definitions(frame-costs-web PRIVATE COMPOFILLER_BUILD_DIR="${CMAKE_BINARY_DIR}")
set_target_properties(frame-costs-web PROPERTIES OUTPUT_NAME frame-costs RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_link_options(frame-costs-web PRIVATE -sNODERAWFS=1 -sEXIT_RUNTIME=1 -sENVIRONMENT=node -sALLOW_MEMORY_GROWTH=1)
add_dependencies(frame-costs-web song)
