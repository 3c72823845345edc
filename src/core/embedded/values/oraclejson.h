#pragma once

#include <sqlite3.h>

namespace qv::embedded {

// Oracle's SQL/JSON on text, for what install scripts and reports use (the README says which):
//   match('json', x)          x IS JSON, written by the translation as x MATCH 'json': 1 for
//                             well-formed JSON, 0 for other text, NULL for NULL;
//   qv_json_value(x, path)    JSON_VALUE: the scalar the path finds, as text;
//   qv_json_query(x, path, w) JSON_QUERY: the object or array it finds as JSON text; with w
//                             (WITH WRAPPER) whatever it finds, in an array;
//   qv_json_exists(x, path)   JSON_EXISTS: 1 when the path finds anything, else 0.
// Paths: $, .name (also ."quoted name"), [n], [*], [n to m] and lists [1, 3]. As Oracle's
// default NULL ON ERROR: malformed JSON, a bad path, or a result of the wrong kind give NULL (0
// for JSON_EXISTS). Returns SQLite's result code.
int registerJsonFunctions(sqlite3* db);

}  // namespace qv::embedded
