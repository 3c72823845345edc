# Counting a million rows through the embedded engine against a plain sqlite3_step loop.
add_executable(bench_embedded_count bench_embedded_count.cpp)
target_link_libraries(bench_embedded_count PRIVATE quervin_core)
# Translating deeply nested and very long statements, against a target time.
add_executable(bench_translate bench_translate.cpp)
target_link_libraries(bench_translate PRIVATE quervin_core)
# Gathering optimizer statistics on a million rows, against ten times a hundred thousand.
add_executable(bench_embedded_gather bench_embedded_gather.cpp)
target_link_libraries(bench_embedded_gather PRIVATE quervin_core)
# A run of an UPDATE measured and rolled back, against the same run committed.
add_executable(bench_rollback bench_rollback.cpp)
target_link_libraries(bench_rollback PRIVATE quervin_core)
# A what-if of one virtual index on 400,000 rows, against a target of one second.
add_executable(bench_whatif bench_whatif.cpp)
target_link_libraries(bench_whatif PRIVATE quervin_core)
# The sample's category report hash-joined, against the same join by nested loops.
add_executable(bench_hash_join bench_hash_join.cpp)
target_link_libraries(bench_hash_join PRIVATE quervin_core)
# A one-step statement's result step with per-line figures on, against the same with them off.
add_executable(bench_measured_steps bench_measured_steps.cpp)
target_link_libraries(bench_measured_steps PRIVATE quervin_core)
