# Counting a million rows through the embedded engine against a plain sqlite3_step loop.
add_executable(bench_embedded_count bench_embedded_count.cpp)
target_link_libraries(bench_embedded_count PRIVATE quervin_core)
