# The window against thousands of simulated cameras; run it with
# bench/run-discovery-bench.sh. Kept in a file of its own so that
# bench/build-discovery-baseline.sh can add the same target to an earlier commit.
add_executable(galvorn_bench_discovery ${CMAKE_CURRENT_LIST_DIR}/discovery_bench.cpp)
target_link_libraries(galvorn_bench_discovery PRIVATE
    galvorn_ui galvorn_app galvorn_resources Qt6::Widgets)
